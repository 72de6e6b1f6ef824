#include "simulationparameters.h"

#include "model/latticeboltzmann/blockpool.h"
#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/deposition/depositioncell.h"
#include "model/latticeboltzmann/forces/force.h"
#include "model/latticeboltzmann/forces/gravity.h"
#include "model/latticeboltzmann/forces/multiphase.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/passivescalar.h"
#include "model/latticeboltzmann/meltingsolidification/meltingsolidificationcell.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/moving/movingwall.h"
#include "model/latticeboltzmann/multi/mccell.h"
#include "model/latticeboltzmann/multi/rkcell.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/porous/shallowcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include <QtGlobal>

#include <cmath>
#include <cstdlib>
#include <typeinfo>

SimulationParameters::SimulationParameters(Grid *g) : grid(g)
{
    recomputeNanofluid();
}

SimulationParameters::~SimulationParameters()
{
    clearForces();
}

void SimulationParameters::setSize(int nx, int ny, int nz)
{
    width = nx;
    height = ny;
    length = nz;
}

void SimulationParameters::setModel(int q)
{
    if (q == model)
        return;
    model = q;
    needsNeighbourRebuild = true;
}

bool SimulationParameters::validIndex(int index, const char *setter)
{
    if (index >= 0 && index < 3)
        return true;
    qWarning("%s: index %d is outside 0..2; the value is ignored", setter, index);
    return false;
}

void SimulationParameters::setEpsilon(int index, double value)
{
    if (!validIndex(index, "setEpsilon"))
        return;
    epsilon[index] = value;
    recomputeNanofluid();
}

void SimulationParameters::setMinP0(double v)
{
    minP0 = v;
    if (grid)
        grid->resetAll();
}

void SimulationParameters::setMaxP0(double v)
{
    maxP0 = v;
    if (grid)
        grid->resetAll();
}

void SimulationParameters::setSourcePressureValue(int index, double v)
{
    if (validIndex(index, "setSourcePressure"))
        sourcePressure[index] = v;
}

void SimulationParameters::setSourcePeriodValue(int index, int v)
{
    if (validIndex(index, "setSourcePeriod"))
        sourcePeriod[index] = v;
}

void SimulationParameters::setSourceAmplitudeValue(int index, double v)
{
    if (validIndex(index, "setSourceAmplitude"))
        sourceAmplitude[index] = v;
}

void SimulationParameters::setThermal(int index, double v)
{
    if (validIndex(index, "setThermal"))
        thermal[index] = v;
}

void SimulationParameters::setInletFormula(int index, const QString &f)
{
    if (validIndex(index, "setInletFormula"))
        inletFormula[index] = f;
}

double SimulationParameters::randomInitialDensity() const
{
    const int r = randomSource.next() % 32768;
    return minP0 + (r / 32767.0) * (maxP0 - minP0);
}

double SimulationParameters::sourceVelocity(int index) const
{
    return sourceVelocityValues[clampIndex(index)];
}

void SimulationParameters::setSourceVelocityValue(int index, double v)
{
    if (validIndex(index, "setSourceVelocity"))
        sourceVelocityValues[index] = v;
}

namespace {

// Calls visit on every cell of the grid of type T.
template <typename T, typename Visit> void forEachOf(Grid *grid, Visit visit)
{
    if (!grid)
        return;
    grid->forEachCell([&](BaseCell *c, int, int, int) {
        if (auto *cell = dynamic_cast<T *>(PassiveScalarCell::innerOf(c)))
            visit(cell);
    });
}

// Calls apply(wall) for the wall of every moving cell of the grid.
template <typename Apply> void forEachMovingWall(Grid *grid, Apply apply)
{
    forEachOf<MovingCell>(grid, [&](MovingCell *cell) {
        if (auto *wall = dynamic_cast<MovingWall *>(cell->body()))
            apply(wall);
    });
}

} // namespace

void SimulationParameters::setWallVelocity(const Vector3d &v)
{
    wallVelocityValue = v;
    forEachMovingWall(grid, [&v](MovingWall *wall) { wall->setWallVelocity(v); });
}

void SimulationParameters::setWallPeriod(int period)
{
    wallPeriod = period;
    forEachMovingWall(grid, [period](MovingWall *wall) { wall->setPeriod(period); });
}

void SimulationParameters::setSourceVelocity(int index, double v)
{
    if (!validIndex(index, "setSourceVelocity"))
        return;
    setSourceVelocityValue(index, v);
    forEachOf<SourceCell>(grid, [&](SourceCell *inlet) {
        if (inlet->index() == index && inlet->strategy())
            inlet->strategy()->setBoundaryU(v);
    });
}

void SimulationParameters::setSourcePressure(int index, double v)
{
    if (!validIndex(index, "setSourcePressure"))
        return;
    setSourcePressureValue(index, v);
    forEachOf<SourceCell>(grid, [&](SourceCell *inlet) {
        if (inlet->index() == index && inlet->strategy())
            inlet->strategy()->setBoundaryP(v);
    });
}

void SimulationParameters::setSourceStrategy(int v)
{
    sourceStrategy = v;
    forEachOf<SourceCell>(grid, [&](SourceCell *inlet) { inlet->replaceStrategy(v, *this); });
}

void SimulationParameters::setOpenStrategy(int v)
{
    openStrategy = v;
    forEachOf<OpenCell>(grid, [&](OpenCell *outlet) { outlet->replaceStrategy(v, *this); });
}

void SimulationParameters::setPeriodicBoundaries(bool v)
{
    periodicBoundaries = v;
    needsNeighbourRebuild = true;
}

void SimulationParameters::setGravity(double g)
{
    gravity = g;
    addForce(new Gravity);
}

void SimulationParameters::setMultiphaseValues(double g, double psi0, double p0, double gads)
{
    mpG = g;
    mpPsi0 = psi0;
    mpP0 = p0;
    mpGads = gads;
}

void SimulationParameters::setMultiphase(double g, double psi0, double p0, double gads)
{
    setMultiphaseValues(g, psi0, p0, gads);
    addForce(new MultiPhase);
}

void SimulationParameters::setMulticomponentValues(int quantity, double g, double gads, double gads2, int type)
{
    mcQuantity = quantity;
    mcG = g;
    mcGads = gads;
    mcGads2 = gads2;
    mcType = type;
}

void SimulationParameters::setMulticomponent(int quantity, double g, double gads, double gads2, int type)
{
    setMulticomponentValues(quantity, g, gads, gads2, type);
    if (!grid)
        return;
    // Every fluid cell becomes the kind of the chosen model; cells already of
    // that kind keep their state (a loaded document's heat or deposition
    // stays as it was).
    const int nx = grid->getWidth(), ny = grid->getHeight(), nz = grid->getLength();
    // The mixtures about to be made lie in one run of memory.
    if (quantity > 1 && type == 1) {
        std::size_t fluid = 0;
        grid->forEachCell([&](BaseCell *c, int, int, int) { fluid += c && c->isFluid(); });
        BlockPool::expect(sizeof(MCCell), fluid);
    }
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z) {
                BaseCell *site = grid->getCell(x, y, z);
                // Free-surface cells are their own model and keep their state.
                if (!site || !site->isFluid() || dynamic_cast<MeltingSolidificationCell *>(site))
                    continue;
                // A colour wrapper keeps its colours; its fluid is what changes.
                // Fluid that becomes another kind is made from a cell of its
                // own.
                if (quantity > 1)
                    site = grid->materialise(x, y, z);
                BaseCell *cell = PassiveScalarCell::innerOf(site);
                BaseCell *replacement = nullptr;
                if (quantity <= 1) {
                    const bool kept = dynamic_cast<ShallowCell *>(cell) || dynamic_cast<PorousCell *>(cell) ||
                                      PlainSite::isPlainFluid(cell);
                    if (!kept)
                        replacement = new SCCell(randomInitialDensity(), model);
                } else if (type == 1 && !dynamic_cast<MCCell *>(cell)) {
                    replacement = new MCCell(*this, dynamic_cast<SCCell *>(cell));
                } else if (type == 2 && !dynamic_cast<RKCell *>(cell)) {
                    replacement = new RKCell(*this);
                } else if (type == 4 && !dynamic_cast<PassiveScalar *>(cell)) {
                    replacement = new PassiveScalar(*this);
                } else if (type == 5 && !dynamic_cast<DepositionCell *>(cell)) {
                    replacement = new DepositionCell(model);
                }
                if (replacement && site != cell) {
                    static_cast<PassiveScalarCell *>(site)->replaceInner(replacement);
                    grid->setCell(x, y, z, site, false, false);
                } else if (replacement) {
                    grid->setCell(x, y, z, replacement, true, true);
                }
                grid->getCell(x, y, z)->setComponents(quantity);
            }
}

void SimulationParameters::setPorousSolidDensity(double mean, double variation)
{
    porousSolidDensity = mean;
    if (!grid)
        return;
    // Each porous cell draws its own solid fraction around the mean (the cell
    // keeps it within [0, 1]).
    grid->forEachCell([this, mean, variation](BaseCell *cell, int, int, int) {
        if (PorousCell *porous = dynamic_cast<PorousCell *>(cell))
            porous->setSolidDensity(mean + (2.0 * (randomSource.next() % 1000) / 1000.0 - 1.0) * variation);
    });
}

void SimulationParameters::setThermalExpansion(double v)
{
    thermalExpansion = v;
    recomputeNanofluid();
}

void SimulationParameters::setNanoParameters(double phi, double rhoP, double betaP, double kP, double cP)
{
    nanoFraction = phi;
    nanoDensity = rhoP;
    nanoThermalExpansion = betaP;
    nanoThermalConductivity = kP;
    nanoHeatCapacitance = cP;
    recomputeNanofluid();
}

void SimulationParameters::recomputeNanofluid()
{
    const double phi = nanoFraction;
    const double ratio = 1.0 - phi + phi * nanoDensity;
    // Brinkman viscosity over the mixture density.
    effectiveTau0 = (epsilon[0] - 0.5) / (std::pow(1.0 - phi, 2.5) * ratio) + 0.5;
    effectiveThermalExpansion = ((1.0 - phi) + phi * nanoDensity * nanoThermalExpansion) * thermalExpansion / ratio;
    // Maxwell conductivity over the mixture heat capacity.
    const double kp = nanoThermalConductivity;
    const double conductivity = (kp + 2.0 - 2.0 * phi + 2.0 * phi * kp) / (kp + 2.0 + phi - phi * kp);
    effectiveTau1 = conductivity * (epsilon[1] - 0.5) / ((1.0 - phi) + phi * nanoDensity * nanoHeatCapacitance) + 0.5;
}

void SimulationParameters::addForce(Force *force)
{
    if (!force)
        return;
    for (int i = forces.size() - 1; i >= 0; --i) {
        if (typeid(*forces[i]) == typeid(*force))
            delete forces.takeAt(i);
    }
    if (force->isActive(*this))
        forces.append(force);
    else
        delete force;
}

void SimulationParameters::clearForces()
{
    qDeleteAll(forces);
    forces.clear();
}

void SimulationParameters::setForces(const QList<Force *> &list)
{
    if (list == forces)
        return;
    clearForces();
    forces = list;
}

void SimulationParameters::takeForcesFrom(SimulationParameters &other)
{
    if (&other == this)
        return;
    clearForces();
    forces.swap(other.forces);
}

void SimulationParameters::copyPersistedFrom(const SimulationParameters &o)
{
    model = o.model;
    for (int i = 0; i < 3; ++i) {
        epsilon[i] = o.epsilon[i];
        sourceVelocityValues[i] = o.sourceVelocityValues[i];
        sourcePressure[i] = o.sourcePressure[i];
        sourcePeriod[i] = o.sourcePeriod[i];
        sourceAmplitude[i] = o.sourceAmplitude[i];
        thermal[i] = o.thermal[i];
    }
    minP0 = o.minP0;
    maxP0 = o.maxP0;
    maxIterations = o.maxIterations;
    needsNeighbourRebuild = true;
    periodicBoundaries = o.periodicBoundaries;
    gravity = o.gravity;
    mcQuantity = o.mcQuantity;
    mcType = o.mcType;
    mcG = o.mcG;
    mcGads = o.mcGads;
    mcGads2 = o.mcGads2;
    mpG = o.mpG;
    mpPsi0 = o.mpPsi0;
    mpP0 = o.mpP0;
    mpGads = o.mpGads;
    porousSolidDensity = o.porousSolidDensity;
    wallVelocityValue = o.wallVelocityValue;
    wallPeriod = o.wallPeriod;
    density1 = o.density1;
    density2 = o.density2;
    shallowG = o.shallowG;
    shallowNB = o.shallowNB;
    passiveScalarGravity = o.passiveScalarGravity;
    smagorinsky = o.smagorinsky;
    entropic = o.entropic;
    singlePopulations = o.singlePopulations;
    slipWallCoefficient = o.slipWallCoefficient;
    sourceStrategy = o.sourceStrategy;
    openStrategy = o.openStrategy;
    thermalExpansion = o.thermalExpansion;
    depositionRate = o.depositionRate;
    velocityOrder = o.velocityOrder;
    reflectWithFactor = o.reflectWithFactor;
    nanoFraction = o.nanoFraction;
    nanoDensity = o.nanoDensity;
    nanoThermalExpansion = o.nanoThermalExpansion;
    nanoThermalConductivity = o.nanoThermalConductivity;
    nanoHeatCapacitance = o.nanoHeatCapacitance;
    recomputeNanofluid();
}
