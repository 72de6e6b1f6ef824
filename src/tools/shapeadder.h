#pragma once

#include <QGroupBox>
#include <QString>

class Grid;
class QComboBox;
class QLineEdit;
class QPushButton;

// The Mesher's "Add Shape" box: a sphere, cylinder, box or STL surface at a
// centre (counted from 1, as the Mesher's box fields are), with its size and
// wall scheme, placed on the grid as curved walls. Entries that cannot make
// a shape (not numbers, a size of zero, a shape that covers no site of the
// grid, an STL file that cannot be read) change nothing and are explained
// through refused.
class ShapeAdder : public QGroupBox
{
    Q_OBJECT

public:
    explicit ShapeAdder(Grid &grid, QWidget *parent = nullptr);

signals:
    // A shape was placed: the grid's cells changed.
    void added();
    void refused(const QString &message);

private slots:
    void on_addShape_clicked();
    void on_shapeBrowse_clicked();
    void on_shapeKind_currentIndexChanged(int kind);

private:
    bool readNumber(QLineEdit *edit, double *value);

    Grid &grid;
    QComboBox *kind;
    QLineEdit *centre[3];
    QLineEdit *size;
    QLineEdit *half[3];
    QLineEdit *length;
    QComboBox *axis;
    QLineEdit *file;
    QPushButton *browse;
    QComboBox *scheme;
};
