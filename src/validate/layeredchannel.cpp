#include "layeredchannel.h"

#include "flowmeasure.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/forces/gravity.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/multi/mccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <algorithm>
#include <cmath>

std::pair<double, double> LayeredChannel::initialDensities(int x, int width)
{
    const double centre = 0.5 * (width + 1), half = 0.25 * width;
    const double s = 0.5 * (1.0 - std::tanh((std::abs(x - centre) - half) / 2.0));
    return {0.05 + 1.9 * s, 1.95 - 1.9 * s};
}

SimulationParameters *LayeredChannel::build(Grid &grid, int width, double tauInner, double tauOuter, double g,
                                            double interaction)
{
    SimulationParameters *p = FlowMeasure::setUp(grid, 9, tauInner, true, false);
    p->setEpsilon(1, tauOuter);
    p->setDensity1(1.0);
    p->setDensity2(1.0);
    grid.resize(width + 2, 3, 1);
    p->setMulticomponentValues(2, interaction, 0.0, 0.0, 1);
    p->setGravity(g);
    p->addForce(new Gravity);
    for (int y = 0; y < 3; ++y) {
        grid.setCell(0, y, 0, new WallCell, true, false);
        grid.setCell(width + 1, y, 0, new WallCell, true, false);
        for (int x = 1; x <= width; ++x) {
            const auto [inner, outer] = initialDensities(x, width);
            MCCell *c = new MCCell(*p);
            c->reset(inner, outer);
            grid.setCell(x, y, 0, c, true, false);
        }
    }
    return p;
}

LayeredChannel::Result LayeredChannel::run(int width, double tauInner, double tauOuter, double g, double interaction,
                                           int most)
{
    Grid grid;
    build(grid, width, tauInner, tauOuter, g, interaction);
    // The mixture's velocity: both components' momentum with half the
    // gravity step, over the total density.
    auto speed = [&](int x) {
        BaseCell *c = grid.getCell(x, 1, 0);
        double momentum = 0.0, rho = 0.0;
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 9; ++i) {
                momentum += Lattice::direction(9, i).y * c->getF(i, j);
                rho += c->getF(i, j);
            }
        return -(momentum - 0.5 * g * rho) / rho;
    };
    Result r;
    r.iterations = FlowMeasure::runToSteadyState(grid, [&] { return speed(width / 2); }, 1e-7, 1000, most);

    // The mixture's viscosity at every site, its components relaxing at
    // the density-weighted mean time; the inner over the outer one in the
    // bulk of the layers.
    QVector<double> rho(width + 2), mu(width + 2);
    for (int x = 1; x <= width; ++x) {
        BaseCell *c = grid.getCell(x, 1, 0);
        const double a = c->getP(0), b = c->getP(1);
        rho[x] = a + b;
        r.smallestDensity = x == 1 ? std::min(a, b) : std::min({r.smallestDensity, a, b});
        mu[x] = rho[x] * ((a * tauInner + b * tauOuter) / rho[x] - 0.5) / 3.0;
    }
    r.viscosityRatio = mu[width / 2] / mu[1];
    // The steady momentum balance across the channel, d/dx (mu du/dx) =
    // -g rho, integrated over the measured density and viscosity from the
    // left wall, whose share s of the weight makes the speed vanish at the
    // right wall too; the stress between two sites passes through their
    // viscosities in series. For one uniform fluid this is the parabola at
    // the sites exactly; through the interfaces it is what a diffuse
    // interface of that viscosity gives.
    QVector<double> exact(width + 2, 0.0);
    auto integrate = [&](double s) {
        exact[1] = 0.5 * g * (s - 0.25 * rho[1]) / mu[1];
        double below = 0.0;
        for (int x = 1; x < width; ++x) {
            below += rho[x];
            const double face = 2.0 * mu[x] * mu[x + 1] / (mu[x] + mu[x + 1]);
            exact[x + 1] = exact[x] + g * (s - below) / face;
        }
        below += rho[width];
        return exact[width] + 0.5 * g * (s - below + 0.25 * rho[width]) / mu[width];
    };
    // The speed at the right wall is linear in s.
    const double atZero = integrate(0.0), atOne = integrate(1.0);
    integrate(-atZero / (atOne - atZero));
    double peak = 0.0;
    for (int x = 1; x <= width; ++x) {
        r.x.append((x - 0.5) / width);
        r.measured.append(speed(x));
        r.analytic.append(exact[x]);
        peak = std::max(peak, std::abs(exact[x]));
    }
    for (int k = 0; k < r.x.size(); ++k)
        r.largestError = std::max(r.largestError, std::abs(r.measured[k] - r.analytic[k]) / peak);
    return r;
}
