#include "flow_helper.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/dragwallcell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/moving/movingwall.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <cmath>

namespace FlowHelper {

void buildCouette(Grid &grid, int nx, int h, double tau, double wallSpeed, bool dragWallBottom)
{
    SimulationParameters *p = grid.getParameters();
    p->setModel(9);
    p->setEpsilon(0, tau);
    p->setMinP0(1.0);
    p->setMaxP0(1.0);
    p->setPeriodicBoundaries(true);
    p->setMulticore(false);
    grid.resize(nx, h + 2, 1);
    for (int x = 0; x < nx; ++x) {
        if (dragWallBottom)
            grid.setCell(x, 0, 0, new DragWallCell);
        else
            grid.setCell(x, 0, 0, new WallCell);
        auto *lid = new MovingCell(1.0, 0, &grid);
        lid->setBody(new MovingWall(Vector3d(wallSpeed, 0.0, 0.0)), true);
        grid.setCell(x, h + 1, 0, lid);
    }
}

double meanXVelocity(Grid &grid, int y)
{
    double sum = 0.0;
    int n = 0;
    for (int x = 0; x < grid.getWidth(); ++x) {
        BaseCell *c = grid.getCell(x, y, 0);
        if (c && c->isFluid()) {
            sum += c->getVelocity(0).x;
            ++n;
        }
    }
    return n ? sum / n : 0.0;
}

double fluidMass(Grid &grid, bool *healthy)
{
    double mass = 0.0;
    bool ok = true;
    for (int y = 0; y < grid.getHeight(); ++y)
        for (int x = 0; x < grid.getWidth(); ++x)
            for (int z = 0; z < grid.getLength(); ++z) {
                BaseCell *c = grid.getCell(x, y, z);
                if (!c || !c->isFluid())
                    continue;
                const double rho = c->getP(-1);
                const Vector3d u = c->getVelocity(0);
                if (!std::isfinite(rho) || rho <= 0.0 || !std::isfinite(u.x) || !std::isfinite(u.y) ||
                    !std::isfinite(u.z))
                    ok = false;
                mass += rho;
            }
    if (healthy)
        *healthy = ok;
    return mass;
}

} // namespace FlowHelper
