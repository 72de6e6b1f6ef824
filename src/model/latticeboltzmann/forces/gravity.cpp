#include "gravity.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <cmath>

Vector3d Gravity::force(BaseCell *cell, BaseCell **, int component, int, int, int, Grid *grid)
{
    const SimulationParameters *p = grid->getParameters();
    const double d = component == 0 ? p->getDensity1() : p->getDensity2();
    return Vector3d(0.0, -p->getGravity() * cell->getP(-1) * d, 0.0);
}

bool Gravity::isActive(const SimulationParameters &parameters)
{
    return std::abs(parameters.getGravity()) > 1e-100;
}
