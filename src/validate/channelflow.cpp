#include "channelflow.h"

#include "flowmeasure.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/forces/gravity.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/shapes/boxshape.h"
#include "model/latticeboltzmann/shapes/shapeset.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <cmath>
#include <memory>
#include <vector>

double ChannelFlow::matchingTau(double q)
{
    const double a = std::abs(2.0 * q - 1.0);
    return 0.5 + (std::sqrt(9.0 * a * a + 48.0 * q * q) - 3.0 * a) / 8.0;
}

ChannelFlow::Result ChannelFlow::run(double q, double tau, WallScheme scheme, int width, bool plainWalls, bool single,
                                     int iterations)
{
    if (plainWalls)
        q = 0.5;
    const int height = 4;
    Grid grid;
    // A few dozen sites: handing rows to threads costs more than it saves.
    SimulationParameters *p = FlowMeasure::setUp(grid, 9, tau, true, false);
    p->setSinglePopulations(single);
    grid.resize(width + 2, height, 1);

    const double left = 1.0 - q, right = width + q, h = right - left;
    const double nu = (tau - 0.5) / 3.0;
    const double peak = 0.01;
    const double g = 8.0 * nu * peak / (h * h);
    p->setGravity(g);
    p->addForce(new Gravity);

    ShapeSet shapes;
    if (plainWalls) {
        for (int y = 0; y < height; ++y) {
            grid.setCell(0, y, 0, new WallCell, true, false);
            grid.setCell(width + 1, y, 0, new WallCell, true, false);
        }
    } else {
        // Slabs one site deep, their inner faces at the walls (deeper ones
        // would reach over the periodic sides onto the fluid).
        const double depth = 1.0, span = 100.0;
        auto lower = std::make_unique<BoxShape>(Vector3d(depth, span, span));
        lower->setCentre(Vector3d(left - 0.5 * depth, 0.0, 0.0));
        auto upper = std::make_unique<BoxShape>(Vector3d(depth, span, span));
        upper->setCentre(Vector3d(right + 0.5 * depth, 0.0, 0.0));
        lower->setScheme(scheme);
        upper->setScheme(scheme);
        shapes.place(grid, shapes.add(std::move(lower)));
        shapes.place(grid, shapes.add(std::move(upper)));
    }

    auto exact = [&](int x) { return g / (2.0 * nu) * (x - left) * (right - x); };
    // Start from the answer (the velocity before the half force step).
    for (int y = 0; y < height; ++y)
        for (int x = 1; x <= width; ++x) {
            double f[Lattice::MaxQ];
            Lattice::equilibriumArray(Vector3d(0.0, -exact(x) + 0.5 * g, 0.0), 1.0, 9, f);
            grid.getCell(x, y, 0)->setF(f);
        }
    const double before = FlowMeasure::fluidMass(grid);
    std::vector<double> profile(std::size_t(width) + 1, 0.0);
    auto measure = [&] {
        double sum = 0.0;
        for (int x = 1; x <= width; ++x) {
            profile[std::size_t(x)] = -FlowMeasure::physicalVelocity(grid.getCell(x, 1, 0)).y;
            sum += profile[std::size_t(x)] * (x + 0.5);
        }
        return sum;
    };
    Result r;
    if (iterations > 0) {
        grid.step(iterations);
        r.iterations = iterations;
    } else {
        r.iterations = FlowMeasure::runToSteadyState(grid, measure, 1e-14, 1000, 200000);
    }
    measure();
    double worst = 0.0, squares = 0.0, norm = 0.0;
    for (int x = 1; x <= width; ++x) {
        const double d = profile[std::size_t(x)] - exact(x);
        worst = std::max(worst, std::abs(d));
        squares += d * d;
        norm += exact(x) * exact(x);
    }
    const double top = g / (2.0 * nu) * 0.25 * h * h;
    r.maxError = worst / top;
    r.l2Error = std::sqrt(squares / norm);
    r.massDrift = (FlowMeasure::fluidMass(grid) - before) / before;
    return r;
}
