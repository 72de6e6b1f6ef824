#pragma once

#include "model/latticeboltzmann/vector3d.h"

class Grid;

// The flow velocity at a point given in lattice units.
class VelocityEvaluator
{
public:
    virtual ~VelocityEvaluator() = default;
    virtual Vector3d velocity(const Vector3d &point, const Grid &grid) const = 0;
};
