#include "simulationparameters.h"

#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/forces/force.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/moving/movingwall.h"

#include <cmath>
#include <cstdlib>
#include <typeinfo>

namespace {
SimulationParameters *registered = nullptr;
}

SimulationParameters *currentParameters()
{
    if (!registered) {
        static SimulationParameters fallback;
        registered = &fallback;
    }
    return registered;
}

void setCurrentParameters(SimulationParameters *parameters)
{
    registered = parameters;
}

SimulationParameters::SimulationParameters(Grid *g) : grid(g)
{
    recomputeNanofluid();
}

SimulationParameters::~SimulationParameters()
{
    clearForces();
    if (registered == this)
        registered = nullptr;
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

void SimulationParameters::setEpsilon(int index, double value)
{
    epsilon[clampIndex(index)] = value;
    recomputeNanofluid();
}

double SimulationParameters::randomInitialDensity() const
{
    const int r = std::rand() % 32768;
    return minP0 + (r / 32767.0) * (maxP0 - minP0);
}

double SimulationParameters::sourceVelocity(int index) const
{
    return sourceVelocityValues[clampIndex(index)];
}

void SimulationParameters::setSourceVelocityValue(int index, double v)
{
    sourceVelocityValues[clampIndex(index)] = v;
}

namespace {

// Calls visit on every cell of the grid of type T.
template <typename T, typename Visit> void forEachOf(Grid *grid, Visit visit)
{
    if (!grid)
        return;
    grid->forEachCell([&](BaseCell *c, int, int, int) {
        if (auto *cell = dynamic_cast<T *>(c))
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
    setSourceVelocityValue(index, v);
    forEachOf<SourceCell>(grid, [&](SourceCell *inlet) {
        if (inlet->index() == index && inlet->strategy())
            inlet->strategy()->setBoundaryU(v);
    });
}

void SimulationParameters::setSourcePressure(int index, double v)
{
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
}

void SimulationParameters::setMultiphase(double g, double psi0, double p0, double gads)
{
    mpG = g;
    mpPsi0 = psi0;
    mpP0 = p0;
    mpGads = gads;
}

void SimulationParameters::setMulticomponentValues(int quantity, double g, double gads, double gads2, int type)
{
    mcQuantity = quantity;
    mcG = g;
    mcGads = gads;
    mcGads2 = gads2;
    mcType = type;
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
    if (force->isActive())
        forces.append(force);
    else
        delete force;
}

void SimulationParameters::clearForces()
{
    qDeleteAll(forces);
    forces.clear();
}
