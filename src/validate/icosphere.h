#pragma once

#include "model/latticeboltzmann/vector3d.h"

#include <vector>

// A closed triangulated sphere of radius 1 about the origin: an icosahedron
// whose triangles are split in four `subdivisions` times, the new corners
// moved onto the sphere (20 * 4^subdivisions triangles). Corners shared by
// triangles are bitwise equal, so the surface is closed exactly.
class IcoSphere
{
public:
    static std::vector<Vector3d> corners(int subdivisions);
};
