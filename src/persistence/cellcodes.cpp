#include "cellcodes.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/wallcell.h"
#include "simulationparameters.h"

BaseCell *CellCodes::create(const QString &code, Grid &grid, int, int, int, bool)
{
    if (code == QLatin1String("w"))
        return new WallCell;
    if (code == QLatin1String("-"))
        return new NullCell;
    return new SCCell(grid.getParameters()->randomInitialDensity());
}
