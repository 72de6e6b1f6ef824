#pragma once

#include "model/latticeboltzmann/vector3d.h"

#include <vector>

class Renderer;
class Shape;

// Draws the exact outline of the grid's shapes over the painters, in the
// renderer's model coordinates. On a 2D grid it is the section of each shape
// with the plane z = 0: a closed curve traced from the surface crossings of
// rays from the centre for a sphere, cylinder or box, the cut of every
// triangle for an STL surface. On a 3D grid it is a wireframe: the triangle
// edges of a surface, and the sections through the centre parallel to the
// three coordinate planes of the other shapes.
class ShapePainter
{
public:
    static void draw(const Renderer &renderer);

    // The closed section of a shape bounded along every ray from its centre
    // (a sphere, cylinder or box) with the plane through its centre spanned
    // by u and v, as points in lattice coordinates, `rays` of them; points
    // whose ray does not meet the surface within reach are left out.
    static std::vector<Vector3d> section(const Shape &shape, const Vector3d &u, const Vector3d &v, int rays,
                                         double reach);
    // The segments (two points each) where the triangles cross the plane z.
    static std::vector<Vector3d> meshSection(const std::vector<Vector3d> &corners, double z);
};
