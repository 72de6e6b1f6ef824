#pragma once

#include "model/latticeboltzmann/vector3d.h"

// The rigid motion of a shape's surface: a translation velocity and a turn
// at angular velocity about the centre. The shape itself stays where it is
// placed; the motion enters the walls' boundary condition and the forces.
struct ShapeMotion
{
    Vector3d velocity;
    Vector3d angularVelocity;
    Vector3d centre;

    bool isAtRest() const { return velocity == Vector3d() && angularVelocity == Vector3d(); }
    Vector3d velocityAt(const Vector3d &point) const { return velocity + angularVelocity.cross(point - centre); }
};
