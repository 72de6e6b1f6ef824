#include "depositiondiffusion.h"

#include "flowmeasure.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/deposition/depositioncell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <cmath>

DepositionDiffusion::Result DepositionDiffusion::run(int n, double tau)
{
    const double k = 2.0 * M_PI / n, amplitude = 0.1;
    Result r;
    r.expected = (tau - 0.5) / 3.0;
    Grid grid;
    SimulationParameters *p = FlowMeasure::setUp(grid, 9, 1.0, true, false);
    p->setEpsilon(1, tau);
    p->setDepositionRate(0.0);
    grid.resize(n, 3, 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < n; ++x) {
            DepositionCell *c = new DepositionCell(9);
            c->reset(-1, 1.0 + amplitude * std::sin(k * x));
            grid.setCell(x, y, 0, c, true, false);
        }
    // The amplitude of the mode, projected on sin(k x).
    auto mode = [&] {
        double s = 0.0;
        for (int x = 0; x < n; ++x)
            s += grid.getCell(x, 1, 0)->getP(1) * std::sin(k * x);
        return 2.0 * s / n;
    };
    // Run until the mode has decayed by about e.
    const int steps = int(std::round(1.0 / (r.expected * k * k)));
    grid.step(steps);
    r.diffusivity = -std::log(mode() / amplitude) / (k * k * steps);
    return r;
}
