#include "view2.h"

#include "lbwidget.h"
#include "renderer.h"

#include "model/latticeboltzmann/grid.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

View2::View2(LBWidget *widget, QWidget *parent) : QDialog(parent), widget(widget), renderer(*widget->getRenderer())
{
    setWindowTitle(QStringLiteral("View2"));
    buildForm();
    QMetaObject::connectSlotsByName(this);
}

void View2::buildForm()
{
    auto *layout = new QGridLayout(this);
    const char *axes = "XYZ";
    for (int a = 0; a < 3; ++a) {
        const QString axis = QString(QLatin1Char(axes[a]));
        auto *group = new QGroupBox(axis + tr(" axis"), this);
        auto *g = new QGridLayout(group);
        auto make = [group](const QString &name, int value) {
            auto *s = new QSlider(Qt::Horizontal, group);
            s->setObjectName(name);
            s->setRange(0, 1000);
            s->setValue(value);
            return s;
        };
        mins[a] = make(QStringLiteral("min") + axis, 0);
        maxs[a] = make(QStringLiteral("max") + axis, 1000);
        fixeds[a] = make(QStringLiteral("fixed") + axis, 0);
        minLabels[a] = new QLabel(QStringLiteral("1"), group);
        minLabels[a]->setObjectName(QStringLiteral("min") + axis + QStringLiteral("Label"));
        maxLabels[a] = new QLabel(QString::number(cells(a)), group);
        maxLabels[a]->setObjectName(QStringLiteral("max") + axis + QStringLiteral("Label"));
        auto *allButton = new QPushButton(tr("All"), group);
        allButton->setObjectName(QStringLiteral("all") + axis);
        g->addWidget(new QLabel(tr("Min:"), group), 0, 0);
        g->addWidget(mins[a], 0, 1);
        g->addWidget(minLabels[a], 0, 2);
        g->addWidget(new QLabel(tr("Max:"), group), 1, 0);
        g->addWidget(maxs[a], 1, 1);
        g->addWidget(maxLabels[a], 1, 2);
        g->addWidget(new QLabel(tr("Fixed:"), group), 2, 0);
        g->addWidget(fixeds[a], 2, 1);
        g->addWidget(allButton, 2, 2);
        layout->addWidget(group, a, 0, 1, 3);
    }
    auto *orientation = new QGroupBox(tr("Rendering Orientation"), this);
    auto *o = new QGridLayout(orientation);
    const char *faces[][2] = {{"xyPlane", "XY plane"}, {"xzPlane", "XZ plane"}, {"yzPlane", "YZ plane"}};
    for (int k = 0; k < 3; ++k) {
        auto *box = new QCheckBox(tr(faces[k][1]), orientation);
        box->setObjectName(QLatin1String(faces[k][0]));
        box->setChecked(renderer.getDefaultFaceMask() & (4 >> k));
        o->addWidget(box, 0, k);
    }
    layout->addWidget(orientation, 3, 0, 1, 3);
    const char *whole[][2] = {{"wholePlane1", "YZ plane"}, {"wholePlane2", "XZ plane"}, {"wholePlane3", "XY plane"}};
    const bool planes[3] = {renderer.planeYZ(), renderer.planeXZ(), renderer.planeXY()};
    for (int k = 0; k < 3; ++k) {
        auto *box = new QCheckBox(tr(whole[k][1]), this);
        box->setObjectName(QLatin1String(whole[k][0]));
        box->setChecked(planes[k]);
        layout->addWidget(box, 4, k);
    }
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
