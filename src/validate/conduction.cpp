#include "conduction.h"

#include "flowmeasure.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/passivescalar.h"
#include "model/latticeboltzmann/heat/thermalwall.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <cmath>

Conduction::Result Conduction::run(int h)
{
    const int width = 4;
    const double hot = 1.0, cold = 0.0;
    Grid grid;
    SimulationParameters *p = FlowMeasure::setUp(grid, 9, 1.0, true, false);
    p->setEpsilon(1, 1.0);
    grid.resize(width, h + 2, 1);
    p->setThermal(0, hot);
    p->setThermal(1, cold);
    for (int x = 0; x < width; ++x) {
        grid.setCell(x, 0, 0, new ThermalWall(0), true, false);
        grid.setCell(x, h + 1, 0, new ThermalWall(1), true, false);
        for (int y = 1; y <= h; ++y)
            grid.setCell(x, y, 0, new PassiveScalar(*p, 1.0, Vector3d(), 0.5 * (hot + cold)), true, false);
    }
    Result r;
    r.iterations = FlowMeasure::runToSteadyState(
        grid,
        [&] {
            double s = 0.0;
            for (int y = 1; y <= h; ++y)
                s += grid.getCell(1, y, 0)->getP(1) * y;
            return s;
        },
        1e-13, 500, 400000);
    for (int y = 1; y <= h; ++y) {
        const double exact = hot + (cold - hot) * (y - 0.5) / h;
        r.maxError = std::max(r.maxError, std::abs(grid.getCell(1, y, 0)->getP(1) - exact) / (hot - cold));
    }
    return r;
}
