#pragma once

#include "nearestpointvelocityevaluator.h"
#include "streamlinealgorithm.h"

// Moves along the velocity of the nearest lattice point until the point
// leaves its cell (at most 1000 moves), so every step reaches a new cell;
// backwards it moves against that velocity.
class NextCellEvalutor : public StreamLineAlgorithm
{
public:
    Vector3d next(const Vector3d &point, const Grid &grid) override { return advance(point, grid, 1.0); }
    Vector3d previous(const Vector3d &point, const Grid &grid) override { return advance(point, grid, -1.0); }

private:
    Vector3d advance(const Vector3d &point, const Grid &grid, double sense) const;

    NearestPointVelocityEvaluator evaluator;
};
