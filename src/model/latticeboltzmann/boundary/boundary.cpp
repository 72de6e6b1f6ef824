#include "boundary.h"

#include "facetable.h"

#include "model/latticeboltzmann/grid.h"
#include "persistence/simulationparameters.h"

#include <cmath>

double Boundary::modulation(int period, int iteration)
{
    if (period == 0)
        return 0.0;
    // The constant is the program's own rounding of 2 pi, kept so that runs
    // reproduce earlier ones.
    return std::sin(6.2831853 * double(iteration % period) / double(period));
}

SimulationParameters *Boundary::parametersOf(Grid *grid)
{
    return grid ? grid->getParameters() : currentParameters();
}

int Boundary::iterationsOf(Grid *grid)
{
    return grid ? grid->getStatistics().iterations : 0;
}

int Boundary::targetSide(int q, BaseCell *neighbours[], BaseCell *&target)
{
    target = nullptr;
    const int side = FaceTable::select(q, neighbours);
    if (side < 0)
        return -1;
    target = neighbours[FaceTable::face(q, side).front];
    return target ? side : -1;
}
