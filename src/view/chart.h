#pragma once

#include <QDialog>
#include <QPointF>
#include <QPointer>
#include <QVector>

class Grid;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QwtPlot;
class QwtPlotCurve;
class QwtPlotGrid;
class QwtPlotMarker;
class QwtPlotPicker;

// A plot of the run: a time series of -log10(deltaP), the drag, the force on
// a shape, or the
// velocity or pressure of a probe cell (one point per update, x = iteration),
// or a profile of velocity or pressure along one lattice axis through the
// probe cell. The run loop updates it every "Interval:" iterations. A long
// series is thinned by halves so that it never holds more than maxPoints.
class Chart : public QDialog
{
    Q_OBJECT

public:
    static constexpr int maxPoints = 2000;

    explicit Chart(QWidget *parent = nullptr);
    ~Chart() override;

    using QDialog::update;
    // With a grid: samples it and redraws. With null: redraws from the last grid.
    void update(Grid *grid);
    int interval() const;
    // The chart type cannot be changed while charts are disabled; the chart
    // then says so, and how to enable them.
    void enable(bool disabled);
    // Forgets the series (Reset of the simulation).
    void clearSeries();

    const QVector<QPointF> &getSeries() const { return series; }
    // The points the curve shows: the series, or the profile.
    QVector<QPointF> shownPoints() const;
    bool isOpen() const { return open; }
    // The point the marker stands on, and its label.
    QPointF pickedPoint() const;
    QString pickedLabel() const;
    // Lower and upper bound of the plot's x (0) or y (1) axis.
    QPointF axisBounds(int axis) const;
    void reopen() { open = true; }

protected:
    void done(int result) override;

private slots:
    void plotPickerSelected(const QPointF &point);
    void on_fixedUpdate_clicked();
    void on_fixedScale_clicked();
    void on_autoScale_clicked();
    void on_xValue_textChanged(const QString &text);
    void on_yValue_textChanged(const QString &text);
    void on_zValue_textChanged(const QString &text);
    void on_chartType_currentIndexChanged(const QString &text);
    void on_x_clicked();
    void on_y_clicked();
    void on_z_clicked();
    void on_axis_currentIndexChanged(int index);
    void on_time_clicked();
    void on_showGrid_clicked();
    void on_clear_clicked();
    void on_other_returnPressed();

private:
    // ShapeForce: the force on the shape numbered in the component field.
    enum Type { None, DeltaP, Velocity, Pressure, Drag, ShapeForce };

    void append(double x, double y);
    // The plotted quantity of a cell, or false when the cell is missing or no fluid.
    bool quantityAt(Grid *grid, int x, int y, int z, double *q) const;
    void redraw();
    void axisChosen(int axis);
    void restart();

    QVector<QPointF> series;
    QVector<QPointF> profile;
    // Every stride-th sample is kept; the stride doubles at each thinning.
    int stride = 1;
    int skipped = 0;
    Grid *lastGrid = nullptr;
    bool open = true;

    QComboBox *chartType;
    QLabel *disabledNote;
    QRadioButton *axisButtons[4];
    QLineEdit *probe[3];
    QLineEdit *other;
    QComboBox *axis;
    QRadioButton *autoScale;
    QRadioButton *fixedScale;
    QLineEdit *scale[4];
    QPushButton *fixedUpdate;
    QSpinBox *intervalBox;
    QCheckBox *showGrid;
    QPushButton *clear;

    QwtPlot *plot;
    QwtPlotCurve *curve;
    QwtPlotGrid *gridLines;
    QwtPlotPicker *picker;
    QwtPlotMarker *marker;
};
