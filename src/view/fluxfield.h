#pragma once

#include "model/latticeboltzmann/vector3d.h"

#include <vector>

class Grid;

// The cross-section flux of the flow in the layer z = 0. At a fluid site of
// density R and velocity U it is 0.01 (R U + A U), where A sums, over points
// 0.01 apart on the line through the site's centre across U (in the
// xy-plane), in both directions from the centre up to the first point that
// leaves the grid or falls on a site that is not fluid, rho (v . U) / |U|^2
// for the site of density rho and velocity v under each point. It is 0
// where the site is not fluid or U is 0; where U has no component in the
// plane the line is empty.
//
// The points are not visited one by one: the walk goes from site to site
// and counts the points each site holds, so a site costs the number of
// sites its line crosses rather than a hundred times that.
class FluxField
{
public:
    // The flux of every site (x, y) of the layer z = 0, at x + y nx; the
    // densities and velocities are gathered once and the rows are walked in
    // parallel. The buffers are kept for the next call.
    const std::vector<Vector3d> &compute(const Grid &grid);
    const std::vector<Vector3d> &values() const { return flux; }

    // The flux of one site, reading the cells along its line directly;
    // (0, 0, 0) outside the grid.
    static Vector3d at(const Grid &grid, int x, int y);

private:
    std::vector<double> density;
    std::vector<Vector3d> velocity;
    std::vector<Vector3d> momentum;
    std::vector<unsigned char> fluid;
    std::vector<Vector3d> flux;
    std::vector<int> groups;
};
