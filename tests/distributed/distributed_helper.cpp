#include "distributed_helper.h"

#include "document_helper.h"

#include "model/latticeboltzmann/forces/gravity.h"
#include "model/latticeboltzmann/forces/multiphase.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/passivescalar.h"
#include "model/latticeboltzmann/heat/thermalwall.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/moving/movingwall.h"
#include "model/latticeboltzmann/multi/mccell.h"
#include "model/latticeboltzmann/multi/rkcell.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <cmath>

namespace SlabCases {

const QList<Case> &all()
{
    static const QList<Case> cases = {Channel, Duct, Stream, Droplet, HeatedBox, Mixture, Colours};
    return cases;
}

const char *name(Case c)
{
    switch (c) {
    case Channel:
        return "channel";
    case Duct:
        return "duct";
    case Stream:
        return "stream";
    case Droplet:
        return "droplet";
    case HeatedBox:
        return "heatedbox";
    case Mixture:
        return "mixture";
    case Colours:
        return "colours";
    }
    return "";
}

namespace {

void prepare(Grid &grid, int q, int nx, int ny, int nz, double tau, bool periodic)
{
    SimulationParameters *p = grid.getParameters();
    p->setModel(q);
    p->setEpsilon(0, tau);
    p->setPeriodicBoundaries(periodic);
    grid.resize(nx, ny, nz);
}

} // namespace

void build(Grid &grid, Case c)
{
    SimulationParameters *p = grid.getParameters();
    switch (c) {
    case Channel: {
        const int nx = 40, ny = 25;
        prepare(grid, 9, nx, ny, 1, 0.6, false);
        p->setMinP0(1.0);
        p->setMaxP0(1.0);
        grid.resize(nx, ny, 1);
        grid.fillRegion("w", 0, nx - 1, 0, 0, 0, 0);
        grid.fillRegion("w", 0, nx - 1, ny - 1, ny - 1, 0, 0);
        grid.fillRegion("s", 0, 0, 1, ny - 2, 0, 0);
        grid.fillRegion("o", nx - 1, nx - 1, 1, ny - 2, 0, 0);
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                if ((x - 12) * (x - 12) + (y - 11) * (y - 11) <= 16)
                    grid.fillRegion("w", x, x, y, y, 0, 0);
        for (int y = 6; y < 16; ++y)
            for (int x = 26; x < 30; ++x)
                grid.setCell(x, y, 0, new PorousCell(1.0, *p), true, false);
        grid.resetAll();
        break;
    }
    case Duct: {
        // Walls round x and z; along y the duct is periodic, so the slabs
        // wrap between the last process and the first.
        p->setMinP0(0.95);
        p->setMaxP0(1.05);
        prepare(grid, 19, 8, 18, 7, 0.7, true);
        grid.fillRegion("w", 0, 0, 0, 17, 0, 6);
        grid.fillRegion("w", 7, 7, 0, 17, 0, 6);
        grid.fillRegion("w", 0, 7, 0, 17, 0, 0);
        grid.fillRegion("w", 0, 7, 0, 17, 6, 6);
        break;
    }
    case Stream: {
        // The plain 2D counterpart of the duct, closed at the top and bottom
        // so the slabs' edges meet the domain's edges too.
        p->setMinP0(0.95);
        p->setMaxP0(1.05);
        prepare(grid, 9, 14, 16, 1, 0.65, false);
        grid.fillRegion("w", 0, 0, 0, 15, 0, 0);
        grid.fillRegion("w", 13, 13, 0, 15, 0, 0);
        grid.fillRegion("w", 0, 13, 0, 0, 0, 0);
        grid.fillRegion("w", 0, 13, 15, 15, 0, 0);
        grid.fillRegion("w", 5, 7, 6, 8, 0, 0);
        break;
    }
    case Droplet: {
        const int n = 24;
        prepare(grid, 9, n, n, 1, 1.0, true);
        p->setMultiphase(-120.0, 4.0, 200.0, 0.0);
        p->addForce(new MultiPhase);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                grid.getCell(x, y, 0)->reset((x - 10) * (x - 10) + (y - 13) * (y - 13) < 36 ? 400.0 : 130.0, -1);
        break;
    }
    case HeatedBox: {
        const int nx = 16, ny = 20;
        prepare(grid, 9, nx, ny, 1, 0.8, false);
        p->setEpsilon(1, 0.7);
        p->setMulticomponentValues(2, 0.0, 0.0, 0.0, 4);
        p->setThermal(0, 1.0);
        p->setThermal(1, 0.0);
        p->setGravity(-1e-4);
        p->setThermalExpansion(0.05);
        p->addForce(new Gravity);
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) {
                BaseCell *cell;
                if (y == 0)
                    cell = new ThermalWall(0);
                else if (y == ny - 1)
                    cell = new ThermalWall(1);
                else if (x == 0 || x == nx - 1)
                    cell = new WallCell;
                else
                    cell = new PassiveScalar(*p, 1.0, Vector3d(), x < nx / 2 ? 0.8 : 0.2);
                grid.setCell(x, y, 0, cell, true, false);
            }
        break;
    }
    case Mixture: {
        const int n = 18;
        prepare(grid, 9, n, n, 1, 1.0, false);
        p->setMulticomponentValues(2, 0.9, 0.1, -0.1, 1);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                if (x == 0 && y > 0 && y < n - 1) {
                    // A wall sliding along the cut, in every slab.
                    auto *wall = new MovingCell(1.0, 0, &grid);
                    wall->setBody(new MovingWall(Vector3d(0.0, 0.05, 0.0), 0), true);
                    grid.setCell(x, y, 0, wall, true, false);
                    continue;
                }
                if (x == 0 || y == 0 || x == n - 1 || y == n - 1) {
                    grid.setCell(x, y, 0, new WallCell, true, false);
                    continue;
                }
                auto *cell = new MCCell(*p);
                cell->reset(1.0 + 0.3 * (x < 7), 0.5 + 0.4 * (y > 10));
                grid.setCell(x, y, 0, cell, true, false);
            }
        break;
    }
    case Colours: {
        // Periodic along the cut, so the slabs wrap; the wall block keeps
        // the colour cells beside it off the line kernel.
        const int nx = 16, ny = 20, q = 9;
        prepare(grid, q, nx, ny, 1, 0.8, true);
        p->setMulticomponentValues(2, 0.0, 0.0, 0.0, 2);
        p->setRkAmplitude(0.01);
        p->setRkBeta(0.7);
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) {
                if (x >= 11 && x <= 12 && y >= 3 && y <= 5) {
                    grid.setCell(x, y, 0, new WallCell, true, false);
                    continue;
                }
                const double red = (x - 6) * (x - 6) + (y - 9) * (y - 9) < 20 ? 0.95 : 0.05;
                const Vector3d u(0.03 * std::cos(0.3 * y), 0.04 * std::sin(0.4 * x), 0.0);
                double values[2 * q];
                for (int i = 0; i < q; ++i) {
                    values[i] = Lattice::equilibrium(u, red, q, i);
                    values[q + i] = Lattice::equilibrium(u, 1.0 - red, q, i);
                }
                auto *cell = new RKCell(*p);
                cell->setF(values);
                grid.setCell(x, y, 0, cell, true, false);
            }
        break;
    }
    }
}

QByteArray document(Case c, const QList<QPair<QString, QString>> &results)
{
    Grid grid;
    build(grid, c);
    return resultsDocument(grid, results);
}

} // namespace SlabCases
