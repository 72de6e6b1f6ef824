#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class Mesher;
}

class Grid;

// A small dialog that edits the current grid in place: the cells of a box
// become fluid or wall, the grid is refined by an integer factor, enclosed
// walls become inert, random walls make a porous medium, a shape is added
// (ShapeAdder), or a new empty grid replaces the old one. Each command is one grid operation; every command
// but Optimize then asks the view to rebuild through geometryChanged.
// Impossible entries (unparsable numbers, empty or oversized grids) change
// nothing and are explained in the dialog.
class Mesher : public QDialog
{
    Q_OBJECT

public:
    explicit Mesher(Grid &grid, QWidget *parent = nullptr);
    ~Mesher() override;

    // The explanation of the last refused command; empty after a success.
    QString message() const;

signals:
    // The grid's cells or extents changed: the view rebuilds its geometry
    // and repaints.
    void geometryChanged();
    // The relaxation time and the unit scales changed with a refinement.
    void parametersChanged();

private slots:
    void on_changeCells_clicked();
    void on_resizeGeometry_clicked();
    void on_optimize_clicked();
    void on_porous_clicked();
    void on_newGrid_clicked();

private:
    bool readInt(const char *field, int *value);
    void refuse(const QString &text);
    void refresh(bool rebuildNeighbours);

    std::unique_ptr<Ui::Mesher> ui;
    Grid &grid;
};
