#include "gridtest_helper.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>

namespace GridTest {

void prepare(Grid &grid, int q, int nx, int ny, int nz, double tau, bool periodic)
{
    SimulationParameters *p = grid.getParameters();
    p->setModel(q);
    p->setEpsilon(0, tau);
    p->setPeriodicBoundaries(periodic);
    p->setMinP0(1.0);
    p->setMaxP0(1.0);
    grid.resize(nx, ny, nz);
}

void setEquilibrium(BaseCell *cell, const Vector3d &u, double rho)
{
    double f[Lattice::MaxQ];
    Lattice::equilibriumArray(u, rho, cell->modelQ(), f);
    cell->setF(f);
}

template <typename Visit> static void forEachFluid(const Grid &grid, Visit visit)
{
    for (int y = 0; y < grid.getHeight(); ++y)
        for (int x = 0; x < grid.getWidth(); ++x)
            for (int z = 0; z < grid.getLength(); ++z) {
                BaseCell *c = grid.getCell(x, y, z);
                if (c->isFluid())
                    visit(c);
            }
}

double totalMass(const Grid &grid)
{
    const int q = grid.getParameters()->getModel();
    double sum = 0.0;
    forEachFluid(grid, [&](BaseCell *c) {
        for (int i = 0; i < q; ++i)
            sum += c->getF(i, 0);
    });
    return sum;
}

double kineticEnergy(const Grid &grid)
{
    double sum = 0.0;
    forEachFluid(grid, [&](BaseCell *c) { sum += 0.5 * c->getP(0) * c->getVelocity(0).lengthSquared(); });
    return sum;
}

std::vector<double> snapshot(const Grid &grid)
{
    const int q = grid.getParameters()->getModel();
    std::vector<double> all;
    for (int y = 0; y < grid.getHeight(); ++y)
        for (int x = 0; x < grid.getWidth(); ++x)
            for (int z = 0; z < grid.getLength(); ++z) {
                BaseCell *c = grid.getCell(x, y, z);
                for (int i = 0; i < q; ++i) {
                    all.push_back(c->getF(i, 0));
                    all.push_back(c->getNextF(i, 0));
                }
            }
    return all;
}

bool stepFinite(Grid &grid, int iterations, int chunk)
{
    for (int done = 0; done < iterations;) {
        const int n = std::min(chunk, iterations - done);
        if (grid.step(n) != n)
            return false;
        done += n;
        const SimulationStats &s = grid.getStatistics();
        if (!std::isfinite(s.totalP) || !std::isfinite(s.deltaP)) {
            qWarning("the run is no longer finite after %d iterations", done);
            return false;
        }
    }
    return true;
}

double slope(const std::vector<double> &x, const std::vector<double> &y)
{
    const double n = double(x.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

} // namespace GridTest
