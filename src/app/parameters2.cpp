#include "parameters2.h"
#include "ui_parameters2.h"

#include "model/latticeboltzmann/boundary/equilibriumboundary.h"
#include "model/latticeboltzmann/boundary/extrapolationboundary.h"
#include "model/latticeboltzmann/boundary/fixedboundary.h"
#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/boundary/zouheboundary.h"
#include "model/latticeboltzmann/forces/passivescalarforce.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/meltingsolidification/freesurfacesettings.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/latticeboltzmann/unitscales.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QSignalBlocker>
#include <QTabBar>

#include <iterator>

#include <cmath>
#include <limits>
#include <typeinfo>

namespace {

constexpr double Huge = std::numeric_limits<double>::max();

struct Material
{
    const char *name;
    const char *viscosity;
};
const Material materials[] = {
    {"Water 20C", "1e-6"}, {"Air 25C", "15.7e-6"}, {"Kerosene 20C", "2.7e-6"}, {"Other", "1e-6"}};
constexpr int OtherMaterial = 3;

// density, heat capacitance, thermal conductivity, thermal expansion ratios
struct Nanoparticle
{
    const char *name;
    const char *values[4];
};
const Nanoparticle nanoparticles[] = {
    {"None", {"1", "1", "1", "1"}},
    {"Ag", {"10.53", "0.0562", "699.83", "9"}},
    {"Al2O3", {"3.98", "0.183", "40.783", "4.0476"}},
    {"Cu", {"8.96", "0.09", "654.16", "5.557"}},
    {"TiO2", {"4.262", "0.1642", "14.6", "4.2857"}},
};

int modelOfEntry(const QString &text)
{
    if (text == QLatin1String("D3Q15"))
        return 15;
    if (text == QLatin1String("D3Q19"))
        return 19;
    if (text == QLatin1String("D3Q27"))
        return 27;
    return 9;
}

} // namespace

Parameters2::Parameters2(Grid *grid, QWidget *parent)
    : QDialog(parent), ui(new Ui::Parameters2), grid(grid), parameters(grid->getParameters()), scales(grid->getScales())
{
    ui->setupUi(this);
    // Every page title in view: the tabs do not hide behind scroll buttons.
    ui->tabs->tabBar()->setUsesScrollButtons(false);
    refresh();
}

Parameters2::~Parameters2() = default;

QString Parameters2::lastMessage() const
{
    return message;
}

QString Parameters2::number(double v)
{
    return QString::number(v, 'g', 6);
}

void Parameters2::refresh()
{
    // Filling the widgets must not apply anything back.
    QList<QWidget *> blocked;
    for (QWidget *w : findChildren<QWidget *>())
        if (!w->blockSignals(true))
            blocked.append(w);

    const SimulationParameters &p = *parameters;
    const int q = p.getModel();
    ui->model->setCurrentIndex(q == 15 ? 1 : q == 19 ? 2 : q == 27 ? 3 : 0);
    ui->velocityOrder->setText(QString::number(p.getVelocityOrder()));
    const int c = ui->fluidOrder->currentIndex();
    ui->epsilon->setText(number(p.getEpsilon(c)));
    ui->epsilon->setReadOnly(c != 0);
    ui->dx->setText(number(scales->getDx()));
    ui->dt->setText(number(scales->getDt()));
    ui->dm->setText(number(scales->getDm()));
    ui->material->setCurrentIndex(materialOf[c]);
    ui->kinematicViscosity->setReadOnly(materialOf[c] != OtherMaterial);
    if (scales->getDt() > 0.0)
        ui->kinematicViscosity->setText(number(scales->physicalViscosity(UnitScales::viscosityOfTau(p.getEpsilon(c)))));
    ui->minP0->setText(number(p.getMinP0()));
    ui->maxP0->setText(number(p.getMaxP0()));
    ui->entropic->setChecked(p.getEntropic());
    ui->singlePopulations->setChecked(p.getSinglePopulations());
    ui->smagorinsky->setText(number(p.getSmagorinsky()));

    const int inlet = ui->inletOrder->currentIndex();
    ui->sourceVelocity->setText(number(p.sourceVelocity(inlet)));
    ui->sourcePressure->setText(number(p.getSourcePressure(inlet)));
    ui->inletFormula->setText(p.getInletFormula(inlet));
    ui->outletStrategy->setCurrentIndex(strategyInForce());
    ui->movingVelocity->setText(number(p.wallVelocity().x));
    ui->movingVelocityY->setText(number(p.wallVelocity().y));
    ui->periodicBoundaries->setChecked(p.getPeriodicBoundaries());
    ui->slipCoefficient->setText(number(p.getSlipWallCoefficient()));
    ui->anodeCathodeFactor->setText(number(p.getReflectWithFactor()));

    ui->gravityEnable->setChecked(p.getGravity() != 0.0);
    ui->gravity->setEnabled(p.getGravity() != 0.0);
    ui->gravity->setText(number(p.getGravity()));
    ui->mpG->setText(number(p.getMpG()));
    ui->mpPsi0->setText(number(p.getMpPsi0()));
    ui->mpP0->setText(number(p.getMpP0()));
    ui->mpGads->setText(number(p.getMpGads()));
    ui->mcQuantity->setCurrentIndex(qBound(0, p.getMcQuantity() - 1, ui->mcQuantity->count() - 1));
    ui->mcType->setCurrentIndex(qBound(0, p.getMcType() - 1, ui->mcType->count() - 1));
    ui->mcG->setText(number(p.getMcG()));
    ui->mcGads->setText(number(p.getMcGads()));
    ui->mcGads2->setText(number(p.getMcGads2()));
    ui->porousSolidDensity->setText(number(p.getPorousSolidDensity()));
    if (ui->porousVariation->text().isEmpty())
        ui->porousVariation->setText(QStringLiteral("0"));
    ui->shallowG->setText(number(p.getShallowG()));
    ui->shallowNB->setText(number(p.getShallowNB()));
    {
        PassiveScalarForce shown;
        for (Force *force : p.getForces())
            if (auto *external = dynamic_cast<PassiveScalarForce *>(force))
                shown = *external;
        ui->externalForceStrengthX->setText(number(shown.strengthX));
        ui->externalForceStrengthY->setText(number(shown.strengthY));
        ui->externalForceMinX->setText(QString::number(shown.minx));
        ui->externalForceMaxX->setText(QString::number(shown.maxx));
        ui->externalForceMinY->setText(QString::number(shown.miny));
        ui->externalForceMaxY->setText(QString::number(shown.maxy));
        ui->externalForcePeriod->setText(QString::number(shown.period));
    }

    ui->thermalGravity->setText(number(p.getPassiveScalarGravity()));
    ui->thermal1->setText(number(p.getThermal(ui->thermalIndex->currentIndex())));
    ui->thermalExpansion->setText(number(p.getThermalExpansion()));
    ui->depositionRate->setText(number(p.getDepositionRate()));
    const QVector<double> nano = p.nanoParameters(); // phi, rho, beta, k, c
    ui->nanoFraction->setText(number(nano[0]));
    ui->nanoDensity->setText(number(nano[1]));
    ui->nanoThermalExpansion->setText(number(nano[2]));
    ui->nanoThermalConductivity->setText(number(nano[3]));
    ui->nanoHeatCapacitance->setText(number(nano[4]));
    ui->activateKorner->setChecked(p.getMeltingFlag());
    const FreeSurfaceSettings &fs = *grid->getMeltingController();
    ui->kornerSolidEnergy->setText(number(fs.getSolidEnergy()));
    ui->kornerLiquidEnergy->setText(number(fs.getMeltingEnergy()));
    ui->kornerSolidTau->setText(number(fs.getTauSolid()));
    ui->kornerLiquidTau->setText(number(fs.getTauLiquid()));
    ui->kornerGasTau->setText(number(fs.getTauGas()));
    ui->ebmPower->setText(number(fs.getPower()));
    ui->ebmStdDev->setText(number(fs.getStdDev()));
    ui->ebmStartX->setText(QString::number(fs.getStartX()));
    ui->ebmVelocity->setText(number(fs.getVelocity()));
    ui->ebmTimesteps->setText(QString::number(fs.getTimesteps()));
    showPhysicalSpeeds();
    for (QWidget *w : blocked)
        w->blockSignals(false);
}

int Parameters2::strategyInForce() const
{
    // Each entry's inlet and outlet kinds, by position.
    auto inletKind = [](const Boundary *b) {
        return dynamic_cast<const ZouHeBoundary *>(b)         ? 3
               : dynamic_cast<const FixedBoundary *>(b)       ? 2
               : dynamic_cast<const EquilibriumBoundary *>(b) ? 1
                                                              : 0;
    };
    auto outletKind = [](const Boundary *b) {
        return dynamic_cast<const ZouHeBoundary *>(b)           ? 3
               : dynamic_cast<const ExtrapolationBoundary *>(b) ? 2
               : dynamic_cast<const EquilibriumBoundary *>(b)   ? 1
                                                                : 0;
    };
    int shared = -1;
    grid->forEachCell([&](BaseCell *cell, int, int, int) {
        cell = PassiveScalarCell::innerOf(cell);
        int kind;
        if (auto *inlet = dynamic_cast<SourceCell *>(cell))
            kind = inletKind(inlet->strategy());
        else if (auto *outlet = dynamic_cast<OpenCell *>(cell))
            kind = outletKind(outlet->strategy());
        else
            return;
        shared = shared < 0 || shared == kind ? kind : 0;
    });
    if (shared >= 0)
        return shared;
    const int stored = parameters->getSourceStrategy();
    return stored >= 1 && stored <= 3 ? stored : 0;
}

void Parameters2::refuse(QLineEdit *field, double previous, const QString &why)
{
    message = why;
    ui->message->setText(why);
    field->setText(number(previous));
}

void Parameters2::accept()
{
    message.clear();
    ui->message->clear();
}

bool Parameters2::readReal(QLineEdit *field, double previous, double min, double max, bool openMin, const QString &what,
                           double *value)
{
    bool ok = false;
    const double v = field->text().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) {
        refuse(
            field, previous,
            tr("%1: \"%2\" is not a number; the value stays %3.").arg(what, field->text().left(40), number(previous)));
        return false;
    }
    if (v < min || v > max || (openMin && v == min)) {
        QString range;
        if (max == Huge)
            range = openMin ? tr("greater than %1").arg(min) : tr("at least %1").arg(min);
        else
            range = tr("between %1 and %2").arg(min).arg(max);
        refuse(field, previous, tr("%1 must be %2; the value stays %3.").arg(what, range, number(previous)));
        return false;
    }
    accept();
    *value = v;
    return true;
}

void Parameters2::on_model_currentIndexChanged(int)
{
    const int q = modelOfEntry(ui->model->currentText());
    if (q == parameters->getModel())
        return;
    parameters->setModel(q);
    emit modelChanged(q);
}

void Parameters2::on_velocityOrder_returnPressed()
{
    double v;
    // 0 drops the velocity from the equilibrium, 1 keeps its first order.
    if (readReal(ui->velocityOrder, parameters->getVelocityOrder(), 0, 2, false, tr("Velocity order"), &v)) {
        parameters->setVelocityOrder(int(v));
        ui->velocityOrder->setText(QString::number(int(v)));
    }
}

void Parameters2::recomputeUnits()
{
    const int c = ui->fluidOrder->currentIndex();
    double nu, dx;
    if (!readReal(ui->kinematicViscosity,
                  scales->physicalViscosity(UnitScales::viscosityOfTau(parameters->getEpsilon(c))), 0.0, Huge, true,
                  tr("The kinematic viscosity"), &nu))
        return;
    if (!readReal(ui->dx, scales->getDx(), 0.0, Huge, true, tr("dx"), &dx))
        return;
    if (c != 0) {
        // Other components take their relaxation time from their viscosity
        // on the time step that component 0 fixed.
        const double tau = 3.0 * nu * scales->getDt() / (dx * dx) + 0.5;
        ui->epsilon->setText(number(tau));
        parameters->setEpsilon(c, tau);
        return;
    }
    double tau;
    if (!readReal(ui->epsilon, parameters->getEpsilon(0), 0.5, Huge, true, tr("Epsilon (tau)"), &tau))
        return;
    parameters->setEpsilon(0, tau);
    scales->setSpacingAndViscosity(dx, nu, tau);
    ui->dt->setText(QString::number(scales->getDt(), 'g', 6));
    showPhysicalSpeeds();
}

void Parameters2::showPhysicalSpeeds()
{
    if (scales->getDt() <= 0.0)
        return;
    const int inlet = ui->inletOrder->currentIndex();
    ui->sourceVelocityPhysical->setText(number(scales->physicalSpeed(parameters->sourceVelocity(inlet))));
    const Vector3d u = parameters->wallVelocity();
    ui->movingVelocityPhysical->setText(
        QStringLiteral("%1, %2").arg(number(scales->physicalSpeed(u.x)), number(scales->physicalSpeed(u.y))));
}

void Parameters2::on_epsilon_returnPressed()
{
    recomputeUnits();
}

void Parameters2::on_dx_returnPressed()
{
    recomputeUnits();
}

void Parameters2::on_kinematicViscosity_returnPressed()
{
    recomputeUnits();
}

void Parameters2::on_dm_returnPressed()
{
    double v;
    if (readReal(ui->dm, scales->getDm(), 0.0, Huge, true, tr("dm"), &v))
        scales->setDm(v);
}

void Parameters2::on_material_currentIndexChanged(int index)
{
    if (index < 0 || index > OtherMaterial)
        return;
    ui->kinematicViscosity->setText(QString::fromLatin1(materials[index].viscosity));
    ui->kinematicViscosity->setReadOnly(index != OtherMaterial);
    recomputeUnits();
    materialOf[ui->fluidOrder->currentIndex()] = index;
}

void Parameters2::on_fluidOrder_currentIndexChanged(int index)
{
    if (index < 0 || index > 2)
        return;
    const double tau = parameters->getEpsilon(index);
    ui->epsilon->setText(number(tau));
    ui->epsilon->setReadOnly(index != 0);
    {
        const QSignalBlocker block(ui->material);
        ui->material->setCurrentIndex(materialOf[index]);
    }
    ui->kinematicViscosity->setReadOnly(materialOf[index] != OtherMaterial);
    if (scales->getDt() > 0.0)
        ui->kinematicViscosity->setText(number(scales->physicalViscosity(UnitScales::viscosityOfTau(tau))));
}

void Parameters2::on_minP0_returnPressed()
{
    double v;
    if (readReal(ui->minP0, parameters->getMinP0(), 0.0, Huge, true, tr("The minimum initial density"), &v)) {
        parameters->setMinP0(v);
        if (v > parameters->getMaxP0())
            ui->message->setText(tr("The minimum initial density is above the maximum."));
    }
}

void Parameters2::on_maxP0_returnPressed()
{
    double v;
    if (readReal(ui->maxP0, parameters->getMaxP0(), 0.0, Huge, true, tr("The maximum initial density"), &v)) {
        parameters->setMaxP0(v);
        if (v < parameters->getMinP0())
            ui->message->setText(tr("The maximum initial density is below the minimum."));
    }
}

void Parameters2::on_sourceVelocity_returnPressed()
{
    const int inlet = ui->inletOrder->currentIndex();
    double v;
    if (!readReal(ui->sourceVelocity, parameters->sourceVelocity(inlet), -Huge, Huge, false, tr("The inlet velocity"),
                  &v))
        return;
    parameters->setSourceVelocity(inlet, v);
    showPhysicalSpeeds();
    if (std::abs(v) > 0.1)
        ui->message->setText(
            tr("An inlet velocity above 0.1 lattice units makes the simulation inaccurate or unstable."));
}

void Parameters2::on_sourcePressure_returnPressed()
{
    const int inlet = ui->inletOrder->currentIndex();
    double v;
    if (readReal(ui->sourcePressure, parameters->getSourcePressure(inlet), 0.0, Huge, true, tr("The inlet density"),
                 &v))
        parameters->setSourcePressure(inlet, v);
}

void Parameters2::on_inletOrder_currentIndexChanged(int index)
{
    if (index < 0)
        return;
    ui->sourceVelocity->setText(number(parameters->sourceVelocity(index)));
    ui->sourcePressure->setText(number(parameters->getSourcePressure(index)));
    ui->inletFormula->setText(parameters->getInletFormula(index));
    showPhysicalSpeeds();
}

void Parameters2::on_inletFormula_textEdited(const QString &text)
{
    parameters->setInletFormula(ui->inletOrder->currentIndex(), text);
}

void Parameters2::on_outletStrategy_currentIndexChanged(int index)
{
    // Position 0 passes a kind no boundary knows, so nothing is replaced.
    parameters->setSourceStrategy(index);
    parameters->setOpenStrategy(index);
}

void Parameters2::on_movingVelocity_returnPressed()
{
    Vector3d u = parameters->wallVelocity();
    if (readReal(ui->movingVelocity, u.x, -Huge, Huge, false, tr("The wall velocity"), &u.x)) {
        parameters->setWallVelocity(Vector3d(u.x, u.y, 0.0));
        showPhysicalSpeeds();
    }
}

void Parameters2::on_movingVelocityY_returnPressed()
{
    Vector3d u = parameters->wallVelocity();
    if (readReal(ui->movingVelocityY, u.y, -Huge, Huge, false, tr("The wall velocity"), &u.y)) {
        parameters->setWallVelocity(Vector3d(u.x, u.y, 0.0));
        showPhysicalSpeeds();
    }
}

void Parameters2::on_periodicBoundaries_clicked(bool checked)
{
    parameters->setPeriodicBoundaries(checked);
}

void Parameters2::on_gravityEnable_clicked(bool checked)
{
    ui->gravity->setEnabled(checked);
    ui->gravity->setText(checked ? QStringLiteral("0.01") : QStringLiteral("0"));
    if (!checked)
        parameters->setGravity(0.0);
}

void Parameters2::on_gravity_returnPressed()
{
    double v;
    if (readReal(ui->gravity, parameters->getGravity(), -Huge, Huge, false, tr("Gravity"), &v))
        parameters->setGravity(v);
}

void Parameters2::applyMultiphase()
{
    const SimulationParameters &p = *parameters;
    double g = p.getMpG(), psi0 = p.getMpPsi0(), p0 = p.getMpP0(), gads = p.getMpGads();
    if (readReal(ui->mpG, p.getMpG(), -Huge, Huge, false, tr("Multiphase G"), &g) &&
        readReal(ui->mpPsi0, p.getMpPsi0(), -Huge, Huge, false, tr("Multiphase psi0"), &psi0) &&
        readReal(ui->mpP0, p.getMpP0(), 0.0, Huge, true, tr("Multiphase rho0"), &p0) &&
        readReal(ui->mpGads, p.getMpGads(), -Huge, Huge, false, tr("Multiphase Gads"), &gads))
        parameters->setMultiphase(g, psi0, p0, gads);
}

void Parameters2::on_mpG_returnPressed()
{
    applyMultiphase();
}

void Parameters2::on_mpPsi0_returnPressed()
{
    applyMultiphase();
}

void Parameters2::on_mpP0_returnPressed()
{
    applyMultiphase();
}

void Parameters2::on_mpGads_returnPressed()
{
    applyMultiphase();
}

void Parameters2::applyMulticomponent()
{
    const SimulationParameters &p = *parameters;
    double g = p.getMcG(), gads = p.getMcGads(), gads2 = p.getMcGads2();
    if (readReal(ui->mcG, p.getMcG(), -Huge, Huge, false, tr("Multicomponent G"), &g) &&
        readReal(ui->mcGads, p.getMcGads(), -Huge, Huge, false, tr("Gads"), &gads) &&
        readReal(ui->mcGads2, p.getMcGads2(), -Huge, Huge, false, tr("Gads 2"), &gads2))
        parameters->setMulticomponent(ui->mcQuantity->currentIndex() + 1, g, gads, gads2,
                                      ui->mcType->currentIndex() + 1);
    emit cellsChanged();
}

void Parameters2::on_mcQuantity_currentIndexChanged(int)
{
    applyMulticomponent();
}

void Parameters2::on_mcType_currentIndexChanged(int)
{
    applyMulticomponent();
}

void Parameters2::on_mcG_returnPressed()
{
    applyMulticomponent();
}

void Parameters2::on_mcGads_returnPressed()
{
    applyMulticomponent();
}

void Parameters2::on_mcGads2_returnPressed()
{
    applyMulticomponent();
}

void Parameters2::applyPorous()
{
    double mean, variation;
    if (readReal(ui->porousSolidDensity, parameters->getPorousSolidDensity(), 0.0, 1.0, false,
                 tr("The porous solid density"), &mean) &&
        readReal(ui->porousVariation, 0.0, 0.0, 1.0, false, tr("The porous variation"), &variation)) {
        parameters->setPorousSolidDensity(mean, variation);
        emit cellsChanged();
    }
}

void Parameters2::on_porousSolidDensity_returnPressed()
{
    applyPorous();
}

void Parameters2::on_porousVariation_returnPressed()
{
    applyPorous();
}

void Parameters2::on_shallowG_returnPressed()
{
    double v;
    if (readReal(ui->shallowG, parameters->getShallowG(), 0.0, Huge, true, tr("The shallow-water g"), &v))
        parameters->setShallowG(v);
}

void Parameters2::on_shallowNB_returnPressed()
{
    double v;
    if (readReal(ui->shallowNB, parameters->getShallowNB(), 0.0, Huge, false, tr("The shallow-water n_b"), &v))
        parameters->setShallowNB(v);
}

void Parameters2::on_entropic_clicked(bool checked)
{
    parameters->setEntropic(checked);
}

void Parameters2::on_singlePopulations_clicked(bool checked)
{
    parameters->setSinglePopulations(checked);
}

void Parameters2::on_smagorinsky_returnPressed()
{
    double v;
    if (readReal(ui->smagorinsky, parameters->getSmagorinsky(), 0.0, Huge, false, tr("The Smagorinsky constant"), &v))
        parameters->setSmagorinsky(v);
}

void Parameters2::on_slipCoefficient_returnPressed()
{
    double v;
    if (readReal(ui->slipCoefficient, parameters->getSlipWallCoefficient(), 0.0, 1.0, false, tr("The slip coefficient"),
                 &v))
        parameters->setSlipWallCoefficient(v);
}

void Parameters2::on_anodeCathodeFactor_returnPressed()
{
    double v;
    if (readReal(ui->anodeCathodeFactor, parameters->getReflectWithFactor(), -Huge, Huge, false,
                 tr("The anode/cathode factor"), &v))
        parameters->setReflectWithFactor(v);
}

void Parameters2::on_thermalGravity_returnPressed()
{
    double v;
    if (readReal(ui->thermalGravity, parameters->getPassiveScalarGravity(), -Huge, Huge, false,
                 tr("The thermal gravity"), &v))
        parameters->setPassiveScalarGravity(v);
}

void Parameters2::on_thermalIndex_currentIndexChanged(int index)
{
    if (index >= 0)
        ui->thermal1->setText(number(parameters->getThermal(index)));
}

void Parameters2::on_thermal1_returnPressed()
{
    const int index = ui->thermalIndex->currentIndex();
    double v;
    if (readReal(ui->thermal1, parameters->getThermal(index), -Huge, Huge, false, tr("The wall temperature"), &v))
        parameters->setThermal(index, v);
}

void Parameters2::on_thermalExpansion_returnPressed()
{
    double v;
    if (readReal(ui->thermalExpansion, parameters->getThermalExpansion(), -Huge, Huge, false,
                 tr("The thermal expansion"), &v))
        parameters->setThermalExpansion(v);
}

void Parameters2::on_depositionRate_returnPressed()
{
    double v;
    if (readReal(ui->depositionRate, parameters->getDepositionRate(), 0.0, Huge, false, tr("The deposition rate"), &v))
        parameters->setDepositionRate(v);
}

void Parameters2::applyNano()
{
    const QVector<double> now = parameters->nanoParameters(); // phi, rho, beta, k, c
    double phi, rho, beta, k, c;
    if (readReal(ui->nanoFraction, now[0], 0.0, 1.0, false, tr("The volume fraction"), &phi) &&
        readReal(ui->nanoDensity, now[1], 0.0, Huge, true, tr("The density ratio"), &rho) &&
        readReal(ui->nanoThermalExpansion, now[2], -Huge, Huge, false, tr("The thermal-expansion ratio"), &beta) &&
        readReal(ui->nanoThermalConductivity, now[3], 0.0, Huge, true, tr("The conductivity ratio"), &k) &&
        readReal(ui->nanoHeatCapacitance, now[4], 0.0, Huge, true, tr("The heat-capacity ratio"), &c)) {
        if (phi >= 1.0) {
            refuse(ui->nanoFraction, now[0],
                   tr("The volume fraction must be below 1; the value stays %1.").arg(number(now[0])));
            return;
        }
        parameters->setNanoParameters(phi, rho, beta, k, c);
    }
}

void Parameters2::on_nanoFraction_returnPressed()
{
    applyNano();
}

void Parameters2::on_nanoDensity_returnPressed()
{
    applyNano();
}

void Parameters2::on_nanoHeatCapacitance_returnPressed()
{
    applyNano();
}

void Parameters2::on_nanoThermalConductivity_returnPressed()
{
    applyNano();
}

void Parameters2::on_nanoThermalExpansion_returnPressed()
{
    applyNano();
}

void Parameters2::on_nanoparticles_currentIndexChanged(int index)
{
    if (index >= 0 && index < int(std::size(nanoparticles))) {
        const Nanoparticle &n = nanoparticles[index];
        ui->nanoDensity->setText(QString::fromLatin1(n.values[0]));
        ui->nanoHeatCapacitance->setText(QString::fromLatin1(n.values[1]));
        ui->nanoThermalConductivity->setText(QString::fromLatin1(n.values[2]));
        ui->nanoThermalExpansion->setText(QString::fromLatin1(n.values[3]));
    }
    applyNano();
}

void Parameters2::applyExternalForce()
{
    double sx, sy;
    if (!readReal(ui->externalForceStrengthX, 0.0, -Huge, Huge, false, tr("The external force's strength x"), &sx) ||
        !readReal(ui->externalForceStrengthY, 0.0, -Huge, Huge, false, tr("The external force's strength y"), &sy))
        return;
    QLineEdit *fields[5] = {ui->externalForceMinX, ui->externalForceMaxX, ui->externalForceMinY, ui->externalForceMaxY,
                            ui->externalForcePeriod};
    int v[5];
    for (int k = 0; k < 5; ++k) {
        bool ok = false;
        v[k] = fields[k]->text().trimmed().toInt(&ok);
        if (!ok || (k == 4 && v[k] < 0)) {
            message = tr("The external force's box and period must be whole numbers (the period 0 or more).");
            ui->message->setText(message);
            return;
        }
    }
    accept();
    parameters->addForce(new PassiveScalarForce(sx, sy, v[0], v[1], v[2], v[3], v[4]));
}

// Puts the cells of the box (bounds counted from 1, included) back to rest at
// the two densities; parts of the box outside the grid are left out.
bool Parameters2::regionBox(int box[6])
{
    QLineEdit *bounds[6] = {ui->regionMinX, ui->regionMaxX, ui->regionMinY,
                            ui->regionMaxY, ui->regionMinZ, ui->regionMaxZ};
    for (int k = 0; k < 6; ++k) {
        bool ok = false;
        box[k] = bounds[k]->text().trimmed().toInt(&ok) - 1;
        if (!ok) {
            message = tr("The box bounds must be whole numbers, counted from 1.");
            ui->message->setText(message);
            return false;
        }
    }
    return true;
}

void Parameters2::on_updateInitial_clicked()
{
    int b[6];
    if (!regionBox(b))
        return;
    double d1, d2;
    if (!readReal(ui->initialDensity1, 1.0, 0.0, Huge, true, tr("Density 1"), &d1) ||
        !readReal(ui->initialDensity2, 1.0, 0.0, Huge, false, tr("Density 2"), &d2))
        return;
    grid->resetBox(b[0], b[1], b[2], b[3], b[4], b[5], d1, d2);
    emit cellsChanged();
}

void Parameters2::makePorous(const int b[6], const std::function<double(int, int)> &solid)
{
    const int nx = grid->getWidth(), ny = grid->getHeight(), nz = grid->getLength();
    for (int y = std::max(0, b[2]); y <= std::min(b[3], ny - 1); ++y)
        for (int x = std::max(0, b[0]); x <= std::min(b[1], nx - 1); ++x)
            for (int z = std::max(0, b[4]); z <= std::min(b[5], nz - 1); ++z) {
                BaseCell *cell = grid->getCell(x, y, z);
                if (auto *porous = dynamic_cast<PorousCell *>(cell)) {
                    porous->setSolidDensity(solid(x, y));
                    continue;
                }
                if (!PlainSite::isPlainFluid(cell))
                    continue;
                // The fluid keeps its populations; only the medium is added.
                BaseCell *fluid = cell;
                double f[Lattice::MaxQ];
                for (int i = 0; i < fluid->modelQ(); ++i)
                    f[i] = fluid->getF(i, 0);
                auto *porous = new PorousCell(PlainSite::initialDensityOf(fluid), *grid->getParameters());
                porous->setF(f);
                porous->setSolidDensity(solid(x, y));
                grid->setCell(x, y, z, porous);
            }
    emit cellsChanged();
}

void Parameters2::on_updateConstant_clicked()
{
    int b[6];
    double s;
    if (!regionBox(b) || !readReal(ui->porousSolidDensity, parameters->getPorousSolidDensity(), 0.0, 1.0, false,
                                   tr("The porous solid density"), &s))
        return;
    makePorous(b, [s](int, int) { return s; });
}

void Parameters2::on_regionAll_clicked()
{
    const int n[3] = {grid->getWidth(), grid->getHeight(), grid->getLength()};
    QLineEdit *bounds[6] = {ui->regionMinX, ui->regionMaxX, ui->regionMinY,
                            ui->regionMaxY, ui->regionMinZ, ui->regionMaxZ};
    for (int a = 0; a < 3; ++a) {
        bounds[2 * a]->setText(QStringLiteral("1"));
        bounds[2 * a + 1]->setText(QString::number(n[a]));
    }
}

// The middle half of the grid along each axis (all of a one-site axis).
void Parameters2::on_regionCenter_clicked()
{
    const int n[3] = {grid->getWidth(), grid->getHeight(), grid->getLength()};
    QLineEdit *bounds[6] = {ui->regionMinX, ui->regionMaxX, ui->regionMinY,
                            ui->regionMaxY, ui->regionMinZ, ui->regionMaxZ};
    for (int a = 0; a < 3; ++a) {
        const int from = n[a] / 4 + 1, to = std::max(from, n[a] - n[a] / 4);
        bounds[2 * a]->setText(QString::number(from));
        bounds[2 * a + 1]->setText(QString::number(to));
    }
}

bool Parameters2::loadPorousMask(const QString &path)
{
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull()) {
        message = tr("Cannot read the mask %1: %2").arg(QFileInfo(path).fileName(), reader.errorString());
        ui->message->setText(message);
        return false;
    }
    accept();
    const int nx = grid->getWidth(), ny = grid->getHeight();
    const int whole[6] = {0, nx - 1, 0, ny - 1, 0, grid->getLength() - 1};
    // The image's top row is the grid's last row, as for geometry images.
    makePorous(whole, [&image, nx, ny](int x, int y) {
        const int px = int(qint64(x) * image.width() / nx);
        const int py = int(qint64(ny - 1 - y) * image.height() / ny);
        return 1.0 - qGray(image.pixel(px, py)) / 255.0;
    });
    return true;
}

void Parameters2::on_loadMaskPorousMedia_clicked()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Porous Media Mask"), QString(), tr("Images (*.png *.tiff *.tif)"));
    if (!path.isEmpty())
        loadPorousMask(path);
}

void Parameters2::on_activateKorner_clicked(bool checked)
{
    parameters->setMeltingFlag(checked);
}

// Return in either energy field applies both.
void Parameters2::applyEnergies()
{
    FreeSurfaceSettings *fs = grid->getMeltingController();
    double solid, melting;
    if (readReal(ui->kornerSolidEnergy, fs->getSolidEnergy(), -Huge, Huge, false, tr("The solid energy"), &solid) &&
        readReal(ui->kornerLiquidEnergy, fs->getMeltingEnergy(), -Huge, Huge, false, tr("The liquid energy"), &melting))
        fs->setEnergies(solid, melting);
}

void Parameters2::on_kornerSolidEnergy_returnPressed()
{
    applyEnergies();
}

void Parameters2::on_kornerLiquidEnergy_returnPressed()
{
    applyEnergies();
}

// Return in any beam field applies all five and puts the beam back to its
// start column; the absorption stays as it is.
void Parameters2::applyBeam()
{
    FreeSurfaceSettings *fs = grid->getMeltingController();
    double power, sigma, start, velocity, steps;
    if (!readReal(ui->ebmPower, fs->getPower(), 0.0, Huge, false, tr("The beam power"), &power) ||
        !readReal(ui->ebmStdDev, fs->getStdDev(), 0.0, Huge, false, tr("The beam width"), &sigma) ||
        !readReal(ui->ebmStartX, fs->getStartX(), -1e9, 1e9, false, tr("The start column"), &start) ||
        !readReal(ui->ebmVelocity, fs->getVelocity(), -Huge, Huge, false, tr("The beam velocity"), &velocity) ||
        !readReal(ui->ebmTimesteps, fs->getTimesteps(), 0.0, 2147483647.0, false, tr("The beam timesteps"), &steps))
        return;
    if (start != std::floor(start) || steps != std::floor(steps)) {
        QLineEdit *field = start != std::floor(start) ? ui->ebmStartX : ui->ebmTimesteps;
        refuse(field, field == ui->ebmStartX ? fs->getStartX() : fs->getTimesteps(),
               tr("The start column and the timesteps must be whole numbers."));
        return;
    }
    fs->setBeam(power, sigma, int(start), velocity, int(steps), fs->getAbsorption());
}

void Parameters2::on_ebmPower_returnPressed()
{
    applyBeam();
}

void Parameters2::on_ebmStdDev_returnPressed()
{
    applyBeam();
}

void Parameters2::on_ebmStartX_returnPressed()
{
    applyBeam();
}

void Parameters2::on_ebmVelocity_returnPressed()
{
    applyBeam();
}

void Parameters2::on_ebmTimesteps_returnPressed()
{
    applyBeam();
}

void Parameters2::on_externalForceStrengthX_returnPressed()
{
    applyExternalForce();
}

void Parameters2::on_externalForceStrengthY_returnPressed()
{
    applyExternalForce();
}

void Parameters2::on_externalForceMinX_returnPressed()
{
    applyExternalForce();
}

void Parameters2::on_externalForceMaxX_returnPressed()
{
    applyExternalForce();
}

void Parameters2::on_externalForceMinY_returnPressed()
{
    applyExternalForce();
}

void Parameters2::on_externalForceMaxY_returnPressed()
{
    applyExternalForce();
}

void Parameters2::on_externalForcePeriod_returnPressed()
{
    applyExternalForce();
}
