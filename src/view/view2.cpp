#include "view2.h"

#include "lbwidget.h"
#include "renderer.h"
#include "ui_view2.h"

#include "model/latticeboltzmann/grid.h"

#include <QCheckBox>
#include <QLabel>
#include <QSlider>

#include <algorithm>
#include <array>

View2::View2(LBWidget *widget, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::View2>()), widget(widget), renderer(*widget->getRenderer())
{
    ui->setupUi(this);
    const std::array<QSlider *, 3> minSliders = {ui->minX, ui->minY, ui->minZ};
    const std::array<QSlider *, 3> maxSliders = {ui->maxX, ui->maxY, ui->maxZ};
    const std::array<QSlider *, 3> fixedSliders = {ui->fixedX, ui->fixedY, ui->fixedZ};
    const std::array<QLabel *, 3> minTexts = {ui->minXLabel, ui->minYLabel, ui->minZLabel};
    const std::array<QLabel *, 3> maxTexts = {ui->maxXLabel, ui->maxYLabel, ui->maxZLabel};
    for (int a = 0; a < 3; ++a) {
        mins[a] = minSliders[std::size_t(a)];
        maxs[a] = maxSliders[std::size_t(a)];
        fixeds[a] = fixedSliders[std::size_t(a)];
        minLabels[a] = minTexts[std::size_t(a)];
        maxLabels[a] = maxTexts[std::size_t(a)];
        maxLabels[a]->setText(QString::number(cells(a)));
    }
    // Without their slots: the renderer already is in this state.
    const std::pair<QCheckBox *, bool> states[] = {{ui->xyPlane, (renderer.getDefaultFaceMask() & 4) != 0},
                                                   {ui->xzPlane, (renderer.getDefaultFaceMask() & 2) != 0},
                                                   {ui->yzPlane, (renderer.getDefaultFaceMask() & 1) != 0},
                                                   {ui->wholePlane1, renderer.planeYZ()},
                                                   {ui->wholePlane2, renderer.planeXZ()},
                                                   {ui->wholePlane3, renderer.planeXY()}};
    for (const auto &state : states) {
        const QSignalBlocker blocker(state.first);
        state.first->setChecked(state.second);
    }
}

View2::~View2() = default;

void View2::showEvent(QShowEvent *event)
{
    for (int a = 0; a < 3; ++a) {
        const int last = std::max(1, cells(a) - 1);
        const int low = std::clamp(renderer.rangeMin(a), 0, last), high = std::clamp(renderer.rangeMax(a), 0, last);
        const QSignalBlocker minBlocker(mins[a]), maxBlocker(maxs[a]);
        // The slider value whose coordinate is the bound, rounded up so that
        // it maps back onto the same coordinate.
        mins[a]->setValue((low * 1000 + last - 1) / last);
        maxs[a]->setValue(high == last ? 1000 : (high * 1000 + last - 1) / last);
        minLabels[a]->setText(QString::number(low + 1));
        maxLabels[a]->setText(QString::number(high + 1));
    }
    QDialog::showEvent(event);
}

QSlider *View2::slider(const QString &name) const
{
    return findChild<QSlider *>(name);
}

QCheckBox *View2::checkBox(const QString &name) const
{
    return findChild<QCheckBox *>(name);
}

QString View2::labelText(const QString &name) const
{
    QLabel *label = findChild<QLabel *>(name);
    return label ? label->text() : QString();
}

void View2::repaint()
{
    widget->updateGL();
}

int View2::cells(int axis) const
{
    const Grid *grid = renderer.getGrid();
    return axis == 0 ? grid->getWidth() : (axis == 1 ? grid->getHeight() : grid->getLength());
}

int View2::coordinate(int axis, int v) const
{
    return (cells(axis) - 1) * v / 1000;
}

void View2::minChanged(int a, int v)
{
    if (v > maxs[a]->value()) {
        v = maxs[a]->value();
        mins[a]->setValue(v);
        return; // the corrected value arrives through its own change
    }
    if (!fixing[a] && v == maxs[a]->value()) {
        fixing[a] = true;
        fixeds[a]->setValue(v);
        fixing[a] = false;
    }
    const int b = coordinate(a, v);
    minLabels[a]->setText(QString::number(b + 1));
    renderer.setRangeMin(a, b);
    repaint();
}

void View2::maxChanged(int a, int v)
{
    if (v < mins[a]->value()) {
        v = mins[a]->value();
        maxs[a]->setValue(v);
        return;
    }
    if (!fixing[a] && v == mins[a]->value()) {
        fixing[a] = true;
        fixeds[a]->setValue(v);
        fixing[a] = false;
    }
    const int b = coordinate(a, v);
    maxLabels[a]->setText(QString::number(b + 1));
    renderer.setRangeMax(a, b);
    repaint();
}

void View2::fixedChanged(int a, int v)
{
    if (fixing[a])
        return;
    fixing[a] = true;
    // Move first the bound that keeps min <= max on the way.
    if (v < mins[a]->value()) {
        mins[a]->setValue(v);
        maxs[a]->setValue(v);
    } else {
        maxs[a]->setValue(v);
        mins[a]->setValue(v);
    }
    fixing[a] = false;
}

void View2::all(int a)
{
    mins[a]->setValue(0);
    maxs[a]->setValue(1000);
    minLabels[a]->setText(QStringLiteral("1"));
    maxLabels[a]->setText(QString::number(cells(a)));
}

void View2::applyFaceMask()
{
    renderer.setDefaultFaceMask(4 * checkBox(QStringLiteral("xyPlane"))->isChecked() +
                                2 * checkBox(QStringLiteral("xzPlane"))->isChecked() +
                                checkBox(QStringLiteral("yzPlane"))->isChecked());
    repaint();
}

void View2::applyPlanes()
{
    renderer.setPlanes(checkBox(QStringLiteral("wholePlane1"))->isChecked(),
                       checkBox(QStringLiteral("wholePlane2"))->isChecked(),
                       checkBox(QStringLiteral("wholePlane3"))->isChecked());
    repaint();
}

void View2::on_allZ_clicked()
{
    all(2);
}
void View2::on_allY_clicked()
{
    all(1);
}
void View2::on_allX_clicked()
{
    all(0);
}
void View2::on_fixedZ_valueChanged(int value)
{
    fixedChanged(2, value);
}
void View2::on_maxZ_valueChanged(int value)
{
    maxChanged(2, value);
}
void View2::on_minZ_valueChanged(int value)
{
    minChanged(2, value);
}
void View2::on_fixedY_valueChanged(int value)
{
    fixedChanged(1, value);
}
void View2::on_maxY_valueChanged(int value)
{
    maxChanged(1, value);
}
void View2::on_minY_valueChanged(int value)
{
    minChanged(1, value);
}
void View2::on_fixedX_valueChanged(int value)
{
    fixedChanged(0, value);
}
void View2::on_maxX_valueChanged(int value)
{
    maxChanged(0, value);
}
void View2::on_minX_valueChanged(int value)
{
    minChanged(0, value);
}
void View2::on_xyPlane_clicked()
{
    applyFaceMask();
}
void View2::on_xzPlane_clicked()
{
    applyFaceMask();
}
void View2::on_yzPlane_clicked()
{
    applyFaceMask();
}
void View2::on_wholePlane1_clicked()
{
    applyPlanes();
}
void View2::on_wholePlane2_clicked()
{
    applyPlanes();
}
void View2::on_wholePlane3_clicked()
{
    applyPlanes();
}
