#pragma once

#include "vector3d.h"

#include <vector>

class Grid;

// Fills one row of the cross-section flux field.
class ParallelFlux
{
public:
    ParallelFlux(Grid *grid, std::vector<Vector3d> *target) : grid(grid), target(target) {}
    void operator()(const int &y) const;

private:
    Grid *grid;
    std::vector<Vector3d> *target;
};
