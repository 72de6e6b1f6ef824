#pragma once

#include "velocityevaluator.h"

// The velocity interpolated linearly between the eight lattice points around
// the point; points outside the grid count as at rest.
class InterpolatingVelocityEvaluator : public VelocityEvaluator
{
public:
    Vector3d velocity(const Vector3d &point, const Grid &grid) const override;
};
