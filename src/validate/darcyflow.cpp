#include "darcyflow.h"

#include "flowmeasure.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/forces/gravity.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <cmath>

DarcyFlow::Result DarcyFlow::run(double s)
{
    const int n = 6;
    const double g = 1e-5;
    Grid grid;
    SimulationParameters *p = FlowMeasure::setUp(grid, 9, 0.8, true, false);
    p->setPorousSolidDensityValue(s);
    p->setGravity(g);
    p->addForce(new Gravity);
    grid.resize(n, n, 1);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            grid.setCell(x, y, 0, new PorousCell(1.0, *grid.getParameters()), true, false);
    FlowMeasure::runToSteadyState(
        grid, [&] { return grid.getCell(2, 3, 0)->getVelocity(0).y; }, 1e-14, 500, 100000);
    Result r;
    r.speed = -grid.getCell(2, 3, 0)->getVelocity(0).y;
    r.expected = (1.0 - s) * g / (2.0 * s);
    r.error = std::abs(r.speed - r.expected) / r.expected;
    return r;
}
