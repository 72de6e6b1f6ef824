#include "colourdrop.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/multi/rkcell.h"
#include "model/latticeboltzmann/simulationparameters.h"

FlowMeasure::Drop ColourDrop::run(double amplitude, double beta, double tau, int n, double radius, int most)
{
    Grid grid;
    SimulationParameters *p = FlowMeasure::setUp(grid, 9, tau, true, false);
    p->setRkAmplitude(amplitude);
    p->setRkBeta(beta);
    grid.resize(n, n, 1);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const double s = FlowMeasure::disc(x, y, n, radius);
            RKCell *c = new RKCell(*p);
            c->reset(s, 1.0 - s);
            grid.setCell(x, y, 0, c, true, false);
        }
    return FlowMeasure::settleDrop(
        grid, n, [](BaseCell *c) { return (c->getP(0) + c->getP(1)) / 3.0; },
        [](BaseCell *c) { return c->getP(0) / (c->getP(0) + c->getP(1)); }, 1e-6, most);
}
