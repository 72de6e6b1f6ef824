#pragma once

#include "nearestpointvelocityevaluator.h"
#include "streamlinealgorithm.h"

// Moves along the velocity of the nearest lattice point until the point
// leaves its cell (at most 1000 moves), so every step reaches a new cell.
class NextCellEvalutor : public StreamLineAlgorithm
{
public:
    Vector3d next(const Vector3d &point, const Grid &grid) override;

private:
    NearestPointVelocityEvaluator evaluator;
};
