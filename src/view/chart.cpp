#include "chart.h"
#include "chartscaledraw.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/shapes/shapeset.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <qwt_picker_machine.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_picker.h>
#include <qwt_scale_div.h>
#include <qwt_symbol.h>

#include <cmath>

namespace {

QString number(double v)
{
    return QString::number(v, 'g', 6);
}

template <typename W> W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

Chart::Chart(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Chart"));
    setObjectName(QStringLiteral("chart"));

    chartType = named(new QComboBox, "chartType");
    chartType->addItems({QStringLiteral("None"), QStringLiteral("-log(DeltaP)"), QStringLiteral("Velocity"),
                         QStringLiteral("Pressure"), QStringLiteral("Drag"),
                         QStringLiteral("Shape Force")});
    const char *axisNames[4] = {"x", "y", "z", "time"};
    auto *axisGroup = new QButtonGroup(this);
    auto *axisRow = new QHBoxLayout;
    for (int i = 0; i < 4; ++i) {
        axisButtons[i] = named(new QRadioButton(QLatin1String(axisNames[i])), axisNames[i]);
        axisGroup->addButton(axisButtons[i]);
        axisRow->addWidget(axisButtons[i]);
    }
    axisButtons[3]->setChecked(true);
    const char *probeNames[3] = {"xValue", "yValue", "zValue"};
    auto *probeRow = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        probe[i] = named(new QLineEdit(i == 2 ? QStringLiteral("1") : QStringLiteral("0")), probeNames[i]);
        probe[i]->setMaximumWidth(60);
        probeRow->addWidget(probe[i]);
    }
    other = named(new QLineEdit(QStringLiteral("0")), "other");
    other->setMaximumWidth(60);
    axis = named(new QComboBox, "axis");
    axis->addItems({QString(), QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")});

    autoScale = named(new QRadioButton(QStringLiteral("AutoScale")), "autoScale");
    fixedScale = named(new QRadioButton(QStringLiteral("Fixed Scale")), "fixedScale");
    auto *scaleGroup = new QButtonGroup(this);
    scaleGroup->addButton(autoScale);
    scaleGroup->addButton(fixedScale);
    autoScale->setChecked(true);
    const char *scaleNames[4] = {"yMin", "yMax", "xMin", "xMax"};
    auto *scaleRow = new QHBoxLayout;
    for (int i = 0; i < 4; ++i) {
        scale[i] = named(new QLineEdit, scaleNames[i]);
        scale[i]->setValidator(new QDoubleValidator(scale[i]));
        scale[i]->setEnabled(false);
        scale[i]->setMaximumWidth(80);
        scaleRow->addWidget(scale[i]);
    }
    fixedUpdate = named(new QPushButton(QStringLiteral("Update")), "fixedUpdate");
    scaleRow->addWidget(fixedUpdate);

    intervalBox = named(new QSpinBox, "interval");
    intervalBox->setRange(1, 999999999);
    intervalBox->setValue(100);
    showGrid = named(new QCheckBox(QStringLiteral("Grid")), "showGrid");
    clear = named(new QPushButton(QStringLiteral("Clear")), "clear");

    plot = named(new QwtPlot, "plot");
    plot->setCanvasBackground(Qt::white);
    plot->setAxisScaleDraw(QwtPlot::yLeft, new ChartScaleDraw);
    plot->setAxisScaleDraw(QwtPlot::xBottom, new ChartScaleDraw);
    plot->setAxisTitle(QwtPlot::xBottom, QStringLiteral("iteration"));
    curve = new QwtPlotCurve;
    curve->setPen(QColor(0, 255, 0));
    curve->setSymbol(
        new QwtSymbol(QwtSymbol::Diamond, QBrush(QColor(0, 0, 255)), QPen(QColor(0, 0, 255)), QSize(5, 5)));
    curve->attach(plot);
    gridLines = new QwtPlotGrid;
    gridLines->setPen(QColor(192, 192, 192));
    marker = new QwtPlotMarker;
    marker->setSymbol(new QwtSymbol(QwtSymbol::Cross, QBrush(), QPen(QColor(255, 0, 0)), QSize(10, 10)));
    marker->setLineStyle(QwtPlotMarker::VLine);
    marker->setLinePen(QColor(255, 0, 0));
    marker->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);
    picker = new QwtPlotPicker(plot->canvas());
    picker->setStateMachine(new QwtPickerClickPointMachine);
    connect(picker, qOverload<const QPointF &>(&QwtPlotPicker::selected), this, &Chart::plotPickerSelected);

    auto *controls = new QFormLayout;
    controls->addRow(QStringLiteral("Type:"), chartType);
    controls->addRow(QStringLiteral("Along:"), axisRow);
    controls->addRow(QStringLiteral("Probe (x, y, z):"), probeRow);
    auto *componentRow = new QHBoxLayout;
    componentRow->addWidget(other);
    componentRow->addWidget(new QLabel(QStringLiteral("Velocity component:")));
    componentRow->addWidget(axis);
    componentRow->addStretch();
    controls->addRow(QStringLiteral("Component:"), componentRow);
    auto *scaleChoice = new QHBoxLayout;
    scaleChoice->addWidget(autoScale);
    scaleChoice->addWidget(fixedScale);
    scaleChoice->addStretch();
    controls->addRow(QStringLiteral("Scale:"), scaleChoice);
    controls->addRow(QStringLiteral("y and x bounds:"), scaleRow);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(intervalBox);
    bottom->addWidget(showGrid);
    bottom->addStretch();
    bottom->addWidget(clear);
    controls->addRow(QStringLiteral("Interval:"), bottom);

    disabledNote = named(new QLabel(QStringLiteral("Charts are off: clear \"Disable Charts\" in the Info dock to "
                                                   "choose a type and take samples.")),
                         "disabledNote");
    disabledNote->setWordWrap(true);
    disabledNote->setStyleSheet(QStringLiteral("color: #b00000"));
    disabledNote->hide();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(plot, 1);
    layout->addWidget(disabledNote);
    layout->addLayout(controls);
    resize(560, 480);

    QMetaObject::connectSlotsByName(this);
}

Chart::~Chart()
{
    // The plot deletes only the items attached to it.
    if (!gridLines->plot())
        delete gridLines;
    if (!marker->plot())
        delete marker;
}

int Chart::interval() const
{
    return intervalBox->value();
}

void Chart::enable(bool disabled)
{
    chartType->setEnabled(!disabled);
    chartType->setToolTip(disabled ? disabledNote->text() : QString());
    disabledNote->setVisible(disabled);
}

void Chart::done(int result)
{
    open = false;
    QDialog::done(result);
}

void Chart::clearSeries()
{
    series.clear();
    stride = 1;
    skipped = 0;
    marker->detach();
    redraw();
}

void Chart::restart()
{
    clearSeries();
}

void Chart::append(double x, double y)
{
    // A diverged run gives inf or nan, which would wreck the axis scaling.
    if (!std::isfinite(x) || !std::isfinite(y))
        return;
    if (++skipped < stride)
        return;
    skipped = 0;
    series.append(QPointF(x, y));
    if (series.size() >= maxPoints) {
        // Keep every second point and sample half as often from now on, so
        // the points stay evenly spread over the whole run.
        const bool lastDropped = series.size() % 2 == 0;
        int kept = 0;
        for (int i = 0; i < series.size(); i += 2)
            series[kept++] = series[i];
        series.resize(kept);
        // Count the samples since the last point kept, dropped ones included.
        skipped = lastDropped ? stride : 0;
        stride *= 2;
    }
}

bool Chart::quantityAt(Grid *grid, int x, int y, int z, double *q) const
{
    BaseCell *cell = grid->getCell(x, y, z);
    if (!cell || !cell->isFluid())
        return false;
    const int c = other->text().toInt();
    const int type = chartType->currentIndex();
    if (type == Pressure) {
        *q = cell->getP(c);
        return true;
    }
    if (type == Velocity) {
        const Vector3d u = cell->getVelocity(c);
        switch (axis->currentIndex()) {
        case 1:
            *q = u.x;
            break;
        case 2:
            *q = u.y;
            break;
        case 3:
            *q = u.z;
            break;
        default:
            *q = u.length();
        }
        return true;
    }
    return false;
}

void Chart::update(Grid *grid)
{
    if (!open)
        return;
    const int type = chartType->currentIndex();
    const int px = probe[0]->text().toInt() - 1, py = probe[1]->text().toInt() - 1, pz = probe[2]->text().toInt() - 1;
    if (grid) {
        lastGrid = grid;
        const double it = grid->getStatistics().iterations;
        if (type == DeltaP) {
            append(it, -std::log10(grid->getStatistics().deltaP));
        } else if (type == Drag) {
            grid->computeDrag();
            if (!grid->dragTable().isEmpty()) {
                Vector3d total;
                for (const Vector3d &d : grid->dragTable())
                    total = total + d;
                append(it, total.length());
            }
        } else if (type == ShapeForce) {
            // The shape numbered in the component field (from 1), its force
            // along the chosen axis or its size.
            const int k = std::max(1, other->text().toInt()) - 1;
            if (k < grid->shapes()->count()) {
                const Vector3d f = grid->shapes()->force(k);
                const int a = axis->currentIndex();
                append(it, a == 1 ? f.x : a == 2 ? f.y : a == 3 ? f.z : f.length());
            }
        } else if (type != None && axisButtons[3]->isChecked()) {
            double q;
            if (quantityAt(grid, px, py, pz, &q))
                append(it, q);
        }
    }
    profile.clear();
    if (lastGrid && !axisButtons[3]->isChecked()) {
        const int along = axisButtons[0]->isChecked() ? 0 : (axisButtons[1]->isChecked() ? 1 : 2);
        const int n = along == 0 ? lastGrid->getWidth() : (along == 1 ? lastGrid->getHeight() : lastGrid->getLength());
        for (int i = 0; i < n; ++i) {
            double q;
            if (quantityAt(lastGrid, along == 0 ? i : px, along == 1 ? i : py, along == 2 ? i : pz, &q))
                profile.append(QPointF(i, q));
        }
    }
    redraw();
}

QVector<QPointF> Chart::shownPoints() const
{
    const int type = chartType->currentIndex();
    if (type == DeltaP || type == Drag || type == ShapeForce || axisButtons[3]->isChecked())
        return series;
    return profile;
}

void Chart::redraw()
{
    static const char *titles[] = {"", "-log10(deltaP)", "velocity", "pressure", "drag", "force on the shape"};
    plot->setAxisTitle(QwtPlot::yLeft, QLatin1String(titles[chartType->currentIndex()]));
    curve->setSamples(shownPoints());
    plot->replot();
}

void Chart::plotPickerSelected(const QPointF &p)
{
    const QVector<QPointF> points = shownPoints();
    if (points.isEmpty())
        return;
    const double wx = plot->axisScaleDiv(QwtPlot::xBottom).range();
    const double wy = plot->axisScaleDiv(QwtPlot::yLeft).range();
    int best = 0;
    double bestDistance = 0;
    for (int i = 0; i < points.size(); ++i) {
        const double dx = (points[i].x() - p.x()) / (wx != 0 ? wx : 1);
        const double dy = (points[i].y() - p.y()) / (wy != 0 ? wy : 1);
        const double d = dx * dx + dy * dy;
        if (i == 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    marker->setValue(points[best]);
    marker->setLabel(QwtText(number(points[best].x()) + ", " + number(points[best].y())));
    marker->attach(plot);
    plot->replot();
}

QPointF Chart::pickedPoint() const
{
    return marker->value();
}

QString Chart::pickedLabel() const
{
    return marker->label().text();
}

QPointF Chart::axisBounds(int which) const
{
    const QwtScaleDiv &div = plot->axisScaleDiv(which == 0 ? QwtPlot::xBottom : QwtPlot::yLeft);
    return QPointF(div.lowerBound(), div.upperBound());
}

void Chart::on_fixedUpdate_clicked()
{
    bool ok[4];
    double v[4];
    for (int i = 0; i < 4; ++i)
        v[i] = scale[i]->text().toDouble(&ok[i]);
    // Bounds that do not read as numbers, or an empty interval, keep the scales.
    if (ok[0] && ok[1] && v[0] < v[1])
        plot->setAxisScale(QwtPlot::yLeft, v[0], v[1]);
    if (ok[2] && ok[3] && v[2] < v[3])
        plot->setAxisScale(QwtPlot::xBottom, v[2], v[3]);
    redraw();
}

void Chart::on_fixedScale_clicked()
{
    const QwtScaleDiv &y = plot->axisScaleDiv(QwtPlot::yLeft);
    const QwtScaleDiv &x = plot->axisScaleDiv(QwtPlot::xBottom);
    const double bounds[4] = {y.lowerBound(), y.upperBound(), x.lowerBound(), x.upperBound()};
    for (int i = 0; i < 4; ++i) {
        scale[i]->setEnabled(true);
        scale[i]->setText(number(bounds[i]));
    }
}

void Chart::on_autoScale_clicked()
{
    plot->setAxisAutoScale(QwtPlot::yLeft);
    plot->setAxisAutoScale(QwtPlot::xBottom);
    for (QLineEdit *e : scale)
        e->setEnabled(false);
    redraw();
}

void Chart::on_xValue_textChanged(const QString &)
{
    restart();
}

void Chart::on_yValue_textChanged(const QString &)
{
    restart();
}

void Chart::on_zValue_textChanged(const QString &)
{
    restart();
}

void Chart::on_chartType_currentIndexChanged(const QString &text)
{
    if (text != QLatin1String("None"))
        restart();
}

void Chart::axisChosen(int along)
{
    for (int i = 0; i < 4; ++i)
        axisButtons[i]->setChecked(i == along);
    for (int i = 0; i < 3; ++i)
        probe[i]->setVisible(i != along);
    plot->setAxisTitle(QwtPlot::xBottom, along == 3 ? QStringLiteral("iteration")
                                                    : QStringLiteral("%1 (cells)").arg(QLatin1Char("xyz"[along])));
    clearSeries();
    update(nullptr);
}

void Chart::on_x_clicked()
{
    axisChosen(0);
}

void Chart::on_y_clicked()
{
    axisChosen(1);
}

void Chart::on_z_clicked()
{
    axisChosen(2);
}

void Chart::on_axis_currentIndexChanged(int)
{
    restart();
}

void Chart::on_time_clicked()
{
    axisChosen(3);
}

void Chart::on_showGrid_clicked()
{
    if (showGrid->isChecked())
        gridLines->attach(plot);
    else
        gridLines->detach();
    plot->replot();
}

void Chart::on_clear_clicked()
{
    restart();
}

void Chart::on_other_returnPressed()
{
    restart();
}
