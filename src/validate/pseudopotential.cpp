#include "pseudopotential.h"

#include "flowmeasure.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/forces/multiphase.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <cmath>
#include <functional>

namespace {

// The root of f between a and b, where f changes sign.
double bisect(const std::function<double(double)> &f, double a, double b)
{
    const bool negativeAtA = f(a) < 0.0;
    for (int k = 0; k < 200; ++k) {
        const double m = 0.5 * (a + b);
        if ((f(m) < 0.0) == negativeAtA)
            a = m;
        else
            b = m;
    }
    return 0.5 * (a + b);
}

SimulationParameters *setUp(Grid &grid, const Pseudopotential::Fluid &fluid)
{
    SimulationParameters *p = FlowMeasure::setUp(grid, 9, fluid.tau, true, false);
    p->setMultiphase(fluid.g, fluid.psi0, fluid.rho0, 0.0);
    p->addForce(new MultiPhase);
    return p;
}

} // namespace

double Pseudopotential::Fluid::psi(double rho) const
{
    return psi0 * std::exp(-rho0 / rho);
}

double Pseudopotential::Fluid::pressure(double rho) const
{
    return rho / 3.0 + g * psi(rho) * psi(rho) / 6.0;
}

std::pair<double, double> Pseudopotential::coexistence(const Fluid &fluid)
{
    // The spinodal densities: the local maximum and minimum of p.
    double low = 0.0, high = 0.0, previous = fluid.pressure(1.0);
    bool rising = true;
    for (double r = 1.01; r < 5000.0; r += 0.01) {
        const double now = fluid.pressure(r);
        if (rising && now < previous) {
            low = r;
            rising = false;
        } else if (!rising && now > previous) {
            high = r;
            break;
        }
        previous = now;
    }
    if (high == 0.0)
        return {NAN, NAN}; // no loop in p: above the critical point
    double gas = 0.0, liquid = 0.0;
    auto balance = [&](double p0) {
        gas = bisect([&](double r) { return fluid.pressure(r) - p0; }, 1.0, low);
        liquid = bisect([&](double r) { return fluid.pressure(r) - p0; }, high, 50000.0);
        // psi'/psi^2 d rho = d(-1/psi): integrate over u = -1/psi.
        double sum = 0.0;
        const int n = 20000;
        const double h = (liquid - gas) / n;
        for (int k = 0; k < n; ++k) {
            const double r = gas + (k + 0.5) * h;
            const double dpsi = fluid.psi(r) * fluid.rho0 / (r * r);
            sum += (p0 - fluid.pressure(r)) * dpsi / (fluid.psi(r) * fluid.psi(r)) * h;
        }
        return sum;
    };
    bisect(balance, fluid.pressure(high) + 1e-9, fluid.pressure(low) - 1e-9);
    return {gas, liquid};
}

Pseudopotential::Flat Pseudopotential::flat(const Fluid &fluid, int height, int most)
{
    Grid grid;
    setUp(grid, fluid);
    grid.resize(3, height, 1);
    // Start well away from the answer: a slab at a quarter and three
    // quarters of the height, densities of no particular meaning.
    const auto guess = coexistence(fluid);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 3; ++x)
            grid.getCell(x, y, 0)->reset(y >= height / 4 && y < 3 * height / 4 ? 0.8 * guess.second : 1.4 * guess.first,
                                         -1);
    Flat r;
    r.iterations = FlowMeasure::runToSteadyState(
        grid, [&] { return grid.getCell(1, 0, 0)->getP(0); }, 1e-9, 1000, most);
    r.gas = grid.getCell(1, 0, 0)->getP(0);
    r.liquid = grid.getCell(1, height / 2, 0)->getP(0);
    return r;
}

FlowMeasure::Drop Pseudopotential::drop(const Fluid &fluid, int n, double radius, int most)
{
    Grid grid;
    setUp(grid, fluid);
    grid.resize(n, n, 1);
    const auto guess = coexistence(fluid);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            grid.getCell(x, y, 0)->reset(guess.first + (guess.second - guess.first) * FlowMeasure::disc(x, y, n, radius),
                                         -1);
    return FlowMeasure::settleDrop(
        grid, n, [&](BaseCell *c) { return fluid.pressure(c->getP(0)); }, [](BaseCell *c) { return c->getP(0); }, 1e-6,
        most);
}
