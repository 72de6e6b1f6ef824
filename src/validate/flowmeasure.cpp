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
