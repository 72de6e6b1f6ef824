#pragma once

#include "model/latticeboltzmann/vector3d.h"

// A proper rotation of space as a 3 x 3 matrix: the orientation of a shape.
class Rotation
{
public:
    // The identity.
    Rotation();
    // Turns about x by ax degrees, then about y by ay, then about z by az.
    static Rotation fromAngles(double ax, double ay, double az);
    // A rotation that takes the z axis onto the direction of axis (which
    // need not be of unit length; a zero axis gives the identity).
    static Rotation takingZTo(const Vector3d &axis);

    // The rotation of a matrix given row by row; false when the matrix is
    // not a proper rotation (orthonormal rows, determinant 1) to within 1e-9.
    static bool fromMatrix(const double rows[9], Rotation &rotation);

    Vector3d apply(const Vector3d &v) const;
    // The inverse rotation (the transpose) applied to v.
    Vector3d applyInverse(const Vector3d &v) const;
    Rotation operator*(const Rotation &o) const;
    double at(int row, int column) const { return m[row][column]; }

private:
    double m[3][3];
};
