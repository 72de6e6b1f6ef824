#include "flowmeasure.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <cmath>

SimulationParameters *FlowMeasure::setUp(Grid &grid, int q, double tau, bool periodic, bool multicore)
{
    SimulationParameters *p = grid.getParameters();
    p->setModel(q);
    p->setEpsilon(0, tau);
    p->setPeriodicBoundaries(periodic);
    p->setMinP0(1.0);
    p->setMaxP0(1.0);
    p->setMulticore(multicore);
    return p;
}

Vector3d FlowMeasure::physicalVelocity(BaseCell *cell)
{
    return cell->getVelocity(0);
}

double FlowMeasure::fluidMass(const Grid &grid)
{
    double mass = 0.0;
    grid.forEachCell([&](BaseCell *c, int, int, int) {
        if (c->isFluid())
            mass += c->getP(-1);
    });
    return mass;
}

double FlowMeasure::disc(int x, int y, int n, double radius)
{
    const double d = std::hypot(x - n / 2, y - n / 2);
    return 0.5 * (1.0 - std::tanh((d - radius) / 2.0));
}

FlowMeasure::Drop FlowMeasure::settleDrop(Grid &grid, int n, const std::function<double(BaseCell *)> &pressure,
                                          const std::function<double(BaseCell *)> &share, double tolerance, int most)
{
    BaseCell *centre = grid.getCell(n / 2, n / 2, 0), *corner = grid.getCell(0, 0, 0);
    Drop d;
    d.iterations = runToSteadyState(grid, [&] { return pressure(centre) - pressure(corner); }, tolerance, 500, most);
    d.inside = pressure(centre);
    d.outside = pressure(corner);
    d.jump = d.inside - d.outside;
    const double in = share(centre), out = share(corner);
    double area = 0.0;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            area += (share(grid.getCell(x, y, 0)) - out) / (in - out);
    d.radius = std::sqrt(area / M_PI);
    return d;
}

int FlowMeasure::runToSteadyState(Grid &grid, const std::function<double()> &measure, double tolerance, int burst,
                                  int most)
{
    double last = measure();
    int done = 0;
    while (done < most) {
        grid.step(burst);
        done += burst;
        const double now = measure();
        if (std::abs(now - last) <= tolerance * std::abs(now))
            break;
        last = now;
    }
    return done;
}
