#pragma once

#include <QColor>
#include <QDialog>
#include <QModelIndex>

class Grid;
class ImprovedLineEdit;
class QLabel;
class QListWidget;
class QRadioButton;

// Edits the tracer regions and their settings, or, with "Passive Scalar"
// chosen, the coloured scalar sources: the same fields address either
// target. Corner fields are 1-based. Changes apply at once; the view is told
// through changed() so it can repaint.
class Particles : public QDialog
{
    Q_OBJECT

public:
    explicit Particles(Grid *grid, QWidget *parent = nullptr);

    // Shows the settings and the list of the current target again (after a
    // document was loaded, or the target changed).
    void refresh();
    // The two colours New and Update give a region (normally chosen in a
    // colour dialog by the Color buttons).
    void setColours(const QColor &first, const QColor &second);
    bool scalarSelected() const;

signals:
    void changed();

private slots:
    void on_diffusionEffect_returnPressed();
    void on_velocity_returnPressed();
    void on_deleteAll_clicked();
    void on_resetAll_clicked();
    void on_particlesDelete_clicked();
    void on_reset_clicked();
    void on_update_clicked();
    void on_particles_clicked(const QModelIndex &index);
    void on_color_clicked();
    void on_particlesNew_clicked();
    void on_gridSpacing_returnPressed();
    void on_injectionPeriod_returnPressed();
    void on_color2_clicked();
    void on_particlesType_clicked();
    void on_passiveScalarType_clicked();
    void on_injectionTime_returnPressed();
    void on_initialConcentration_returnPressed();
    void on_fixedConcentration_returnPressed();

private:
    ImprovedLineEdit *entry(const char *name, bool doubles, bool negatives);
    // The id of the selected list entry, or -1.
    int selectedId() const;
    int nextId() const;
    // The box of the corner fields, counted from 0, in the grid: bounds in
    // either order, parts outside the grid cut off, and on a 2D grid the
    // one layer whatever the z fields say. False with a message when the box
    // misses the grid.
    bool boxFromFields(int box[6]);
    // Adds the region or source of the given id and box to the current target.
    void add(int id, const int box[6]);
    void showColour();
    void showEpsilonWarning();

    Grid *grid;
    QRadioButton *particlesType;
    QRadioButton *passiveScalarType;
    ImprovedLineEdit *diffusionEffect, *velocity, *gridSpacing, *injectionPeriod, *injectionTime;
    ImprovedLineEdit *initialConcentration, *fixedConcentration;
    ImprovedLineEdit *corners[6];
    QListWidget *list;
    QLabel *colourPreview;
    QLabel *warning;
    QLabel *boxMessage;
    QColor colour1 = Qt::red, colour2 = Qt::blue;
};
