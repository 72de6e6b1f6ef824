#include "twocomponentdrop.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/multi/mccell.h"
#include "model/latticeboltzmann/simulationparameters.h"

double TwoComponentDrop::pressure(double a, double b, double g)
{
    return (a + b) / 3.0 + g * a * b / 3.0;
}

FlowMeasure::Drop TwoComponentDrop::run(double g, double tau, int n, double radius, int most)
{
    Grid grid;
    SimulationParameters *p = FlowMeasure::setUp(grid, 9, tau, true, false);
    p->setEpsilon(1, tau);
    grid.resize(n, n, 1);
    p->setMulticomponentValues(2, g, 0.0, 0.0, 1);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const double s = FlowMeasure::disc(x, y, n, radius);
            MCCell *c = new MCCell(*p);
            c->reset(0.1 + 1.8 * s, 1.9 - 1.8 * s);
            grid.setCell(x, y, 0, c, true, false);
        }
    return FlowMeasure::settleDrop(
        grid, n, [&](BaseCell *c) { return pressure(c->getP(0), c->getP(1), g); },
        [](BaseCell *c) { return c->getP(0); }, 1e-6, most);
}
