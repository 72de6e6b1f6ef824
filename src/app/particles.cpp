#include "particles.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/tracers/scalartracersettings.h"
#include "model/latticeboltzmann/tracers/tracerset.h"
#include "view/improvedlineedit.h"

#include <QColorDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char *const CornerNames[6] = {"minX", "maxX", "minY", "maxY", "minZ", "maxZ"};
const char *const CornerLabels[6] = {"Min X:", "Max X:", "Min Y:", "Max Y:", "Min Z:", "Max Z:"};

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

Particles::Particles(Grid *grid, QWidget *parent) : QDialog(parent), grid(grid)
{
    setWindowTitle(tr("Tracers"));
    auto *layout = new QVBoxLayout(this);
    auto *types = new QHBoxLayout;
    particlesType = new QRadioButton(tr("Particles"), this);
    particlesType->setObjectName("particlesType");
    particlesType->setChecked(true);
    passiveScalarType = new QRadioButton(tr("Passive Scalar"), this);
    passiveScalarType->setObjectName("passiveScalarType");
    types->addWidget(particlesType);
    types->addWidget(passiveScalarType);
    layout->addLayout(types);

    auto *settings = new QFormLayout;
    diffusionEffect = entry("diffusionEffect", true, false);
    velocity = entry("velocity", false, true);
    gridSpacing = entry("gridSpacing", false, false);
    injectionPeriod = entry("injectionPeriod", false, false);
    injectionTime = entry("injectionTime", false, false);
    initialConcentration = entry("initialConcentration", true, false);
    fixedConcentration = entry("fixedConcentration", true, false);
    settings->addRow(tr("Diffusion:"), diffusionEffect);
    settings->addRow(tr("Velocity"), velocity);
    settings->addRow(tr("Grid Spacing:"), gridSpacing);
    settings->addRow(tr("Injection Period:"), injectionPeriod);
    settings->addRow(tr("Injection Time:"), injectionTime);
    settings->addRow(tr("Initial Concentration:"), initialConcentration);
    settings->addRow(tr("Fixed Concentration:"), fixedConcentration);
    layout->addLayout(settings);
    warning = new QLabel(this);
    warning->setObjectName("epsilonWarning");
    warning->setWordWrap(true);
    warning->setStyleSheet("color: #b00000");
    layout->addWidget(warning);

    auto *regions = new QHBoxLayout;
    list = new QListWidget(this);
    list->setObjectName("particles");
    regions->addWidget(list);
    auto *box = new QGridLayout;
    for (int k = 0; k < 6; ++k) {
        corners[k] = entry(CornerNames[k], false, true);
        box->addWidget(new QLabel(tr(CornerLabels[k]), this), k / 2, (k % 2) * 2);
        box->addWidget(corners[k], k / 2, (k % 2) * 2 + 1);
    }
    colourPreview = new QLabel(this);
    colourPreview->setObjectName("colorPreview");
    colourPreview->setMinimumSize(40, 20);
    colourPreview->setAutoFillBackground(true);
    box->addWidget(colourPreview, 3, 0, 1, 4);
    regions->addLayout(box);
    layout->addLayout(regions);
    boxMessage = new QLabel(this);
    boxMessage->setObjectName("boxMessage");
    boxMessage->setWordWrap(true);
    boxMessage->setStyleSheet("color: #b00000");
    layout->addWidget(boxMessage);

    auto *buttons = new QGridLayout;
    buttons->addWidget(button(this, "particlesNew", tr("New")), 0, 0);
    buttons->addWidget(button(this, "update", tr("Update")), 0, 1);
    buttons->addWidget(button(this, "particlesDelete", tr("Delete")), 0, 2);
    buttons->addWidget(button(this, "deleteAll", tr("Delete All")), 0, 3);
    buttons->addWidget(button(this, "reset", tr("Reset")), 1, 0);
    buttons->addWidget(button(this, "resetAll", tr("Reset All")), 1, 1);
    buttons->addWidget(button(this, "color", tr("Color")), 1, 2);
    buttons->addWidget(button(this, "color2", tr("Color 2")), 1, 3);
    layout->addLayout(buttons);

    QMetaObject::connectSlotsByName(this);
    refresh();
}

ImprovedLineEdit *Particles::entry(const char *name, bool doubles, bool negatives)
{
    auto *e = new ImprovedLineEdit(this);
    e->setObjectName(QLatin1String(name));
    e->setDoublesAllowed(doubles);
    e->setNegativesAllowed(negatives);
    return e;
}

bool Particles::scalarSelected() const
{
    return passiveScalarType->isChecked();
}

void Particles::refresh()
{
    const TracerSet *tracers = grid->getTracers();
    const ScalarTracerSettings *scalar = grid->getScalarTracers();
    const bool s = scalarSelected();
    diffusionEffect->setText(QString::number(s ? scalar->getEpsilon() : tracers->getDiffusion()));
    velocity->setText(QString::number(tracers->getAmplification()));
    gridSpacing->setText(QString::number(tracers->getGridSpacing()));
    injectionPeriod->setText(QString::number(s ? scalar->getInjectionPeriod() : tracers->getInjectionPeriod()));
    injectionTime->setText(QString::number(s ? scalar->getInjectionTime() : tracers->getInjectionTime()));
    initialConcentration->setText(QString::number(scalar->getInitialConcentration()));
    fixedConcentration->setText(QString::number(scalar->getFixedConcentration()));
    velocity->setEnabled(!s);
    gridSpacing->setEnabled(!s);
    initialConcentration->setEnabled(s);
    fixedConcentration->setEnabled(s);
    list->clear();
    if (s) {
        for (const ScalarSource &source : scalar->sources())
            list->addItem(QString::number(source.id));
    } else {
        for (const TracerRegion &r : tracers->regions())
            list->addItem(QString::number(r.id));
    }
    showEpsilonWarning();
}

void Particles::setColours(const QColor &first, const QColor &second)
{
    colour1 = first;
    colour2 = second;
    showColour();
}

void Particles::showColour()
{
    QPalette p = colourPreview->palette();
    p.setColor(QPalette::Window, colour1);
    colourPreview->setPalette(p);
}

// The lattice-Boltzmann colours diffuse with (epsilon - 1/2) / 3: at 0.5 or
// below they do not spread at all (or blow up).
void Particles::showEpsilonWarning()
{
    const ScalarTracerSettings *scalar = grid->getScalarTracers();
    warning->setText(
        scalarSelected() && scalar->epsilonWithoutDiffusion()
            ? tr("Diffusion %1 gives the colours no diffusivity (it must exceed 0.5).").arg(scalar->getEpsilon())
            : QString());
}

int Particles::selectedId() const
{
    const QListWidgetItem *item = list->currentItem();
    bool ok = false;
    const int id = item ? item->text().toInt(&ok) : -1;
    return ok ? id : -1;
}

int Particles::nextId() const
{
    int id = 0;
    if (scalarSelected()) {
        for (const ScalarSource &s : grid->getScalarTracers()->sources())
            id = std::max(id, s.id + 1);
    } else {
        for (const TracerRegion &r : grid->getTracers()->regions())
            id = std::max(id, r.id + 1);
    }
    return id;
}

bool Particles::boxFromFields(int box[6])
{
    const int limits[3] = {grid->getWidth(), grid->getHeight(), grid->getLength()};
    for (int a = 0; a < 3; ++a) {
        int bounds[2];
        for (int k = 0; k < 2; ++k) {
            bool ok = false;
            bounds[k] = corners[2 * a + k]->text().trimmed().toInt(&ok) - 1;
            if (!ok)
                bounds[k] = 0;
        }
        if (bounds[0] > bounds[1])
            std::swap(bounds[0], bounds[1]);
        // A 2D grid has one layer: z 0..0 or 1..1 alike mean it.
        if (a == 2 && limits[2] == 1)
            bounds[0] = bounds[1] = 0;
        if (bounds[1] < 0 || bounds[0] >= limits[a]) {
            boxMessage->setText(tr("The box lies outside the grid: x from 1 to %1, y from 1 to %2, z from 1 to %3.")
                                    .arg(limits[0])
                                    .arg(limits[1])
                                    .arg(limits[2]));
            return false;
        }
        box[2 * a] = std::max(0, bounds[0]);
        box[2 * a + 1] = std::min(limits[a] - 1, bounds[1]);
    }
    boxMessage->clear();
    // The fields show the box that was taken.
    for (int k = 0; k < 6; ++k)
        corners[k]->setText(QString::number(box[k] + 1));
    return true;
}

void Particles::add(int id, const int v[6])
{
    if (scalarSelected()) {
        ScalarSource s;
        s.id = id;
        s.minx = v[0];
        s.maxx = v[1];
        s.miny = v[2];
        s.maxy = v[3];
        s.minz = v[4];
        s.maxz = v[5];
        s.red = colour1.red();
        s.green = colour1.green();
        s.blue = colour1.blue();
        ScalarTracerSettings *scalar = grid->getScalarTracers();
        scalar->addSource(s, scalar->getType());
    } else {
        TracerRegion r;
        r.id = id;
        r.from = Vector3i(v[0], v[2], v[4]);
        r.to = Vector3i(v[1], v[3], v[5]);
        r.red = colour1.red();
        r.green = colour1.green();
        r.blue = colour1.blue();
        r.red2 = colour2.red();
        r.green2 = colour2.green();
        r.blue2 = colour2.blue();
        grid->getTracers()->addRegion(r);
    }
}

void Particles::on_diffusionEffect_returnPressed()
{
    bool ok = false;
    const double v = diffusionEffect->text().toDouble(&ok);
    if (ok && scalarSelected())
        grid->getScalarTracers()->setEpsilon(v);
    else if (ok)
        grid->getTracers()->setDiffusion(v);
    refresh();
}

void Particles::on_velocity_returnPressed()
{
    bool ok = false;
    const int v = velocity->text().toInt(&ok);
    if (ok)
        grid->getTracers()->setAmplification(v);
    refresh();
}

void Particles::on_gridSpacing_returnPressed()
{
    bool ok = false;
    const int v = gridSpacing->text().toInt(&ok);
    if (ok) {
        grid->getTracers()->setGridSpacing(v);
        emit changed();
    }
    refresh();
}

void Particles::on_injectionPeriod_returnPressed()
{
    bool ok = false;
    const int v = injectionPeriod->text().toInt(&ok);
    if (ok && scalarSelected())
        grid->getScalarTracers()->setInjectionPeriod(v);
    else if (ok)
        grid->getTracers()->setInjectionPeriod(v);
    refresh();
}

void Particles::on_injectionTime_returnPressed()
{
    bool ok = false;
    const int v = injectionTime->text().toInt(&ok);
    if (ok && scalarSelected())
        grid->getScalarTracers()->setInjectionTime(v);
    else if (ok)
        grid->getTracers()->setInjectionTime(v);
    refresh();
}

void Particles::on_initialConcentration_returnPressed()
{
    bool ok = false;
    const double v = initialConcentration->text().toDouble(&ok);
    if (ok && scalarSelected())
        grid->getScalarTracers()->setInitialConcentration(v);
    refresh();
}

void Particles::on_fixedConcentration_returnPressed()
{
    bool ok = false;
    const double v = fixedConcentration->text().toDouble(&ok);
    if (ok && scalarSelected())
        grid->getScalarTracers()->setFixedConcentration(v);
    refresh();
}

void Particles::on_particlesNew_clicked()
{
    int box[6];
    if (!boxFromFields(box))
        return;
    add(nextId(), box);
    refresh();
    list->setCurrentRow(list->count() - 1);
    emit changed();
}

void Particles::on_update_clicked()
{
    const int id = selectedId();
    int box[6];
    if (id < 0 || !boxFromFields(box))
        return;
    if (scalarSelected())
        grid->getScalarTracers()->removeSource(id);
    else
        grid->getTracers()->removeRegion(id);
    add(id, box);
    refresh();
    emit changed();
}

void Particles::on_particlesDelete_clicked()
{
    const int id = selectedId();
    if (id < 0)
        return;
    if (scalarSelected())
        grid->getScalarTracers()->removeSource(id);
    else
        grid->getTracers()->removeRegion(id);
    refresh();
    emit changed();
}

void Particles::on_deleteAll_clicked()
{
    grid->getTracers()->removeAllRegions();
    if (scalarSelected())
        grid->getScalarTracers()->clearSources();
    refresh();
    emit changed();
}

void Particles::on_reset_clicked()
{
    const int id = selectedId();
    if (id < 0)
        return;
    if (scalarSelected())
        grid->getScalarTracers()->reinitialiseColours();
    else
        grid->getTracers()->resetTrails(id);
    emit changed();
}

void Particles::on_resetAll_clicked()
{
    if (scalarSelected())
        grid->getScalarTracers()->reinitialiseColours();
    else
        grid->getTracers()->resetAllTrails();
    emit changed();
}

void Particles::on_particles_clicked(const QModelIndex &index)
{
    list->setCurrentRow(index.row());
    const int id = selectedId();
    int v[6] = {0, 0, 0, 0, 0, 0};
    if (scalarSelected()) {
        const ScalarSource *s = grid->getScalarTracers()->source(id);
        if (!s)
            return;
        const int values[6] = {s->minx, s->maxx, s->miny, s->maxy, s->minz, s->maxz};
        std::copy(values, values + 6, v);
        colour1 = QColor(s->red, s->green, s->blue);
    } else {
        const TracerRegion *r = grid->getTracers()->findRegion(id);
        if (!r)
            return;
        const int values[6] = {r->from.x, r->to.x, r->from.y, r->to.y, r->from.z, r->to.z};
        std::copy(values, values + 6, v);
        colour1 = QColor(r->red, r->green, r->blue);
        colour2 = QColor(r->red2, r->green2, r->blue2);
    }
    for (int k = 0; k < 6; ++k)
        corners[k]->setText(QString::number(v[k] + 1));
    showColour();
}

void Particles::on_color_clicked()
{
    const QColor c = QColorDialog::getColor(colour1, this);
    if (c.isValid())
        setColours(c, colour2);
}

void Particles::on_color2_clicked()
{
    const QColor c = QColorDialog::getColor(colour2, this);
    if (c.isValid())
        setColours(colour1, c);
}

void Particles::on_particlesType_clicked()
{
    refresh();
}

void Particles::on_passiveScalarType_clicked()
{
    refresh();
}
