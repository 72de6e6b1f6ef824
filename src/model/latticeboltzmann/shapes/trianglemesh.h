#pragma once

#include "model/latticeboltzmann/vector3d.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// A triangulated surface with two lookup tables: one over the xy-plane for
// the vertical lines that decide inside and outside by counting crossings,
// and one over space for the crossings of short segments (the lattice links).
class TriangleMesh
{
public:
    // Three corners per triangle; builds the lookup tables.
    void setTriangles(std::vector<Vector3d> corners);
    std::size_t triangleCount() const { return v.size() / 3; }
    const std::vector<Vector3d> &corners() const { return v; }
    bool isEmpty() const { return v.empty(); }
    Vector3d low() const { return lo; }
    Vector3d high() const { return hi; }

    // The number of edges that border an odd number of triangles, corners
    // compared exactly: 0 for a closed surface.
    std::size_t openEdges() const;

    // Appends the heights z at which the vertical line through (px, py)
    // crosses the surface. A line through an edge or a corner counts the
    // triangles of a closed surface as a line moved a hair towards +y (and
    // a smaller hair towards -x) would, so the count is even on every line.
    void columnCrossings(double px, double py, std::vector<double> &heights) const;
    // Whether the point is inside the closed surface: an odd number of
    // crossings at or above it.
    bool isInside(const Vector3d &p) const;
    // The fraction t in [0, 1] along a -> b of the first crossing of a
    // triangle, or -1 when there is none.
    double segmentCrossing(const Vector3d &a, const Vector3d &b) const;

private:
    void buildColumns();
    void buildCells();

    std::vector<Vector3d> v;
    Vector3d lo, hi;

    // Columns: a grid of square bins over the xy-extent; bin (i, j) lists
    // the triangles whose projection's box meets it.
    double columnSize = 1.0;
    int columnsX = 0, columnsY = 0;
    std::vector<std::uint32_t> columnStart, columnItems;

    // Cells: a grid of cubes over the extent, each listing the triangles
    // whose box meets it.
    double cellSize = 1.0;
    int cellsX = 0, cellsY = 0, cellsZ = 0;
    std::vector<std::uint32_t> cellStart, cellItems;
};
