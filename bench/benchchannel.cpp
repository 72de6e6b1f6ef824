#include "benchchannel.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

void makeBenchChannel(Grid &grid, int n)
{
    SimulationParameters *p = grid.getParameters();
    p->setModel(9);
    p->setEpsilon(0, 0.8);
    p->setMinP0Value(0.98);
    p->setMaxP0Value(1.02);
    grid.resize(n, n, 1);
    for (int x = 0; x < n; ++x) {
        grid.setCell(x, 0, 0, new WallCell);
        grid.setCell(x, n - 1, 0, new WallCell);
    }
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            if ((x - n / 4) * (x - n / 4) + (y - n / 2) * (y - n / 2) < 50 * 50)
                grid.setCell(x, y, 0, new WallCell);
    grid.step(3);
}
