#pragma once

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/vector3d.h"

#include <vector>

class BaseCell;

namespace GridTest {

// Sets the model, relaxation time and wrapping, then sizes the grid with
// fluid at density 1.
void prepare(Grid &grid, int q, int nx, int ny, int nz, double tau, bool periodic);
// Replaces every cell by make(x, y) (2D), without regrouping.
template <typename Make> void fill(Grid &grid, Make make)
{
    for (int y = 0; y < grid.getHeight(); ++y)
        for (int x = 0; x < grid.getWidth(); ++x)
            grid.setCell(x, y, 0, make(x, y), true, false);
}
// Puts the cell's distributions at the equilibrium for (u, rho).
void setEquilibrium(BaseCell *cell, const Vector3d &u, double rho);
// Sum of the current distributions of every fluid cell.
double totalMass(const Grid &grid);
// Kinetic energy sum rho |u|^2 / 2 over the fluid cells.
double kineticEnergy(const Grid &grid);
// Every current distribution of every cell, site by site.
std::vector<double> snapshot(const Grid &grid);
// Least-squares slope of y over x.
double slope(const std::vector<double> &x, const std::vector<double> &y);
// Steps the grid by iterations in bursts of chunk, and stops as soon as the
// run statistics (the total density and mean change of the last iteration)
// are no longer finite: a run that blew up fails at once, use it as
// QVERIFY(stepFinite(grid, n)). False also when a burst is refused.
bool stepFinite(Grid &grid, int iterations, int chunk = 200);

} // namespace GridTest
