#include "planecouette.h"

#include "flowmeasure.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/moving/movingwall.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <cmath>

PlaneCouette::Result PlaneCouette::run(int h, double tau)
{
    const int width = 4;
    const double speed = 0.05;
    Grid grid;
    FlowMeasure::setUp(grid, 9, tau, true, false);
    grid.resize(width, h + 2, 1);
    for (int x = 0; x < width; ++x) {
        grid.setCell(x, 0, 0, new WallCell, true, false);
        auto *lid = new MovingCell(1.0, 0, &grid);
        lid->setBody(new MovingWall(Vector3d(speed, 0.0, 0.0)), true);
        grid.setCell(x, h + 1, 0, lid, true, false);
    }
    const double before = FlowMeasure::fluidMass(grid);
    FlowMeasure::runToSteadyState(
        grid,
        [&] {
            double s = 0.0;
            for (int y = 1; y <= h; ++y)
                s += grid.getCell(1, y, 0)->getVelocity(0).x * y;
            return s;
        },
        1e-13, 1000, 400000);
    Result r;
    for (int y = 1; y <= h; ++y) {
        const double exact = speed * (y - 0.5) / h;
        r.maxError = std::max(r.maxError, std::abs(grid.getCell(1, y, 0)->getVelocity(0).x - exact) / speed);
    }
    r.massDrift = (FlowMeasure::fluidMass(grid) - before) / before;
    return r;
}
