#pragma once

#include "velocityevaluator.h"

// The velocity of the lattice point nearest to the point (halfway rounds
// up); zero outside the grid.
class NearestPointVelocityEvaluator : public VelocityEvaluator
{
public:
    Vector3d velocity(const Vector3d &point, const Grid &grid) const override;
};
