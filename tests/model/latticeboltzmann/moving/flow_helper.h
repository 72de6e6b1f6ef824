#pragma once

#include "model/latticeboltzmann/vector3d.h"

class Grid;

namespace FlowHelper {

// A D2Q9 channel periodic along x: nx columns, h fluid rows between a resting
// bottom wall (plain or drag walls) at y = 0 and a wall moving at wallSpeed
// along x at y = h + 1. Density 1 everywhere at the start.
void buildCouette(Grid &grid, int nx, int h, double tau, double wallSpeed, bool dragWallBottom);

// Mean x-velocity of the fluid cells of row y.
double meanXVelocity(Grid &grid, int y);

// Sum of the densities of all fluid cells, and whether every one of them has
// a finite, positive density and a finite velocity.
double fluidMass(Grid &grid, bool *healthy = nullptr);

} // namespace FlowHelper
