#include "rayleighbenard.h"

#include "flowmeasure.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/passivescalar.h"
#include "model/latticeboltzmann/heat/thermalwall.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <cmath>

namespace {

void setUp(Grid &grid, double rayleigh, int h, int length, double tau)
{
    SimulationParameters *p = FlowMeasure::setUp(grid, 9, tau, true, false);
    p->setEpsilon(1, tau);
    p->setMulticomponentValues(2, 0.0, 0.0, 0.0, 4);
    p->setThermal(0, 1.0);
    p->setThermal(1, 0.0);
    // Ra = g beta dT h^3 / (nu kappa) with dT = 1 and nu = kappa; the
    // buoyancy is g beta theta / r per unit mass.
    const double nu = (p->getEffectiveTau0() - 0.5) / 3.0, kappa = (p->getEffectiveTau1() - 0.5) / 3.0;
    p->setPassiveScalarGravity(rayleigh * nu * kappa * p->nanoDensityFactor() /
                               (p->getEffectiveThermalExpansion() * double(h) * h * h));
    grid.resize(length, h + 2, 1);
    for (int x = 0; x < length; ++x) {
        grid.setCell(x, 0, 0, new ThermalWall(0), true, false);
        grid.setCell(x, h + 1, 0, new ThermalWall(1), true, false);
        for (int y = 1; y <= h; ++y) {
            const double base = 1.0 - (y - 0.5) / h;
            const double bump = 0.01 * std::sin(2 * M_PI * x / length) * std::sin(M_PI * (y - 0.5) / h);
            grid.setCell(x, y, 0, new PassiveScalar(*p, 1.0, Vector3d(), base + bump), true, false);
        }
    }
}

} // namespace

RayleighBenard::Convection RayleighBenard::run(double rayleigh, int h, int length, double tau, int most)
{
    Grid grid;
    setUp(grid, rayleigh, h, length, tau);
    const double kappa = (grid.getParameters()->getEffectiveTau1() - 0.5) / 3.0;
    auto nusselt = [&] {
        double flux = 0.0;
        for (int y = 1; y <= h; ++y)
            for (int x = 0; x < length; ++x) {
                BaseCell *c = grid.getCell(x, y, 0);
                flux += c->getVelocity(0).y * c->getP(1);
            }
        return 1.0 + flux / (double(length) * h) * h / kappa;
    };
    Convection r;
    // The rolls grow from the bump first; only then can the figure settle.
    grid.step(h * h * 4);
    r.iterations = h * h * 4 + FlowMeasure::runToSteadyState(grid, nusselt, 1e-5, 1000, most);
    r.nusselt = nusselt();
    return r;
}

double RayleighBenard::growthRate(double rayleigh, int h, int length, double tau, int from, int to)
{
    Grid grid;
    setUp(grid, rayleigh, h, length, tau);
    // The energy of the velocity less its mean over each row: the layered
    // rest state reports a velocity of half the buoyancy step in every row,
    // and sound running between the walls is layered too; the rolls are not.
    auto energy = [&] {
        double e = 0.0;
        for (int y = 1; y <= h; ++y) {
            Vector3d mean;
            for (int x = 0; x < length; ++x)
                mean = mean + grid.getCell(x, y, 0)->getVelocity(0) * (1.0 / length);
            for (int x = 0; x < length; ++x)
                e += (grid.getCell(x, y, 0)->getVelocity(0) - mean).lengthSquared();
        }
        return e;
    };
    grid.step(from);
    const double early = energy();
    grid.step(to - from);
    return std::log(energy() / early) / (2.0 * (to - from));
}
