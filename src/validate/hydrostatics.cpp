#include "hydrostatics.h"

#include "flowmeasure.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/forces/gravity.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <cmath>

Hydrostatics::Result Hydrostatics::run(int h)
{
    const int width = 4;
    const double g = 1e-4, tau = 1.0;
    Grid grid;
    SimulationParameters *p = FlowMeasure::setUp(grid, 9, tau, true, false);
    p->setGravity(g);
    p->addForce(new Gravity);
    grid.resize(width, h + 2, 1);
    for (int x = 0; x < width; ++x) {
        grid.setCell(x, 0, 0, new WallCell, true, false);
        grid.setCell(x, h + 1, 0, new WallCell, true, false);
    }
    // Starting near the layered state leaves only small sound waves.
    for (int y = 1; y <= h; ++y)
        for (int x = 0; x < width; ++x)
            grid.getCell(x, y, 0)->reset(std::exp(-3.0 * g * (y - 0.5 * (h + 1))), -1);
    FlowMeasure::runToSteadyState(
        grid, [&] { return grid.getCell(1, h, 0)->getP(0) / grid.getCell(1, 1, 0)->getP(0); }, 1e-14, 2000, 200000);
    Result r;
    r.ratio = grid.getCell(1, h, 0)->getP(0) / grid.getCell(1, 1, 0)->getP(0);
    r.expected = std::exp(-3.0 * g * (h - 1));
    r.error = std::abs(r.ratio - r.expected) / r.expected;
    for (int y = 1; y <= h; ++y)
        r.fastest = std::max(r.fastest, FlowMeasure::physicalVelocity(grid.getCell(2, y, 0)).length());
    return r;
}
