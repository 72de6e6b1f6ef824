#include "shallowwave.h"

#include "flowmeasure.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/porous/shallowcell.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <cmath>

ShallowWave::Result ShallowWave::run(double g, double depth)
{
    const int length = 400, start = 100;
    Result r;
    r.expected = std::sqrt(g * depth);
    // The crest runs some 200 sites.
    const int steps = int(200.0 / r.expected);
    Grid grid;
    SimulationParameters *p = FlowMeasure::setUp(grid, 9, 0.6, true, false);
    p->setShallowG(g);
    p->setShallowNB(0.0);
    grid.resize(length, 3, 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < length; ++x) {
            ShallowCell *c = new ShallowCell(*p);
            c->reset(depth * (1.0 + 0.001 * std::exp(-(x - start) * (x - start) / 50.0)), -1);
            grid.setCell(x, y, 0, c, true, false);
        }
    grid.step(steps);
    // The crest of the right-going wave, refined by a parabola through its
    // top three sites.
    int top = start + 1;
    for (int x = start + 1; x < length - 1; ++x)
        if (grid.getCell(x, 1, 0)->getP(0) > grid.getCell(top, 1, 0)->getP(0))
            top = x;
    const double a = grid.getCell(top - 1, 1, 0)->getP(0), b = grid.getCell(top, 1, 0)->getP(0),
                 c = grid.getCell(top + 1, 1, 0)->getP(0);
    const double crest = top + 0.5 * (a - c) / (a - 2 * b + c);
    r.speed = (crest - start) / steps;
    return r;
}
