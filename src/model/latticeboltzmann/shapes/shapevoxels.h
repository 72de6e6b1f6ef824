#pragma once

#include "model/latticeboltzmann/lattice.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class Shape;

// The sites of a box that a shape covers, and for each covered site next to
// an uncovered one the links that reach it from outside, with the fraction
// of each link that lies outside the surface. Sites are numbered as the
// grid numbers them, (y nx + x) nz + z.
class ShapeVoxels
{
public:
    struct Boundary
    {
        int x, y, z;
        // fraction[i] belongs to the link from the site at (x, y, z) - e_i
        // (across a periodic side when the box wraps) in direction i: the
        // part of it, in (0, 1], on the uncovered side of the surface. -1
        // where that site is covered too or lies outside the box.
        double fraction[Lattice::MaxQ];
    };

    // Covers the box nx x ny x nz for the model q; with parallel set the
    // rows are shared out on the global thread pool.
    ShapeVoxels(const Shape &shape, int nx, int ny, int nz, int q, bool periodic, bool parallel);

    const std::vector<std::uint8_t> &solid() const { return mask; }
    bool isSolid(int x, int y, int z) const { return mask[(std::size_t(y) * nx + x) * nz + z] != 0; }
    std::size_t solidCount() const { return covered; }
    const std::vector<Boundary> &boundary() const { return sites; }
    // Links on which the surface crossing was not found (rounding at an
    // edge of a mesh); they took the half-way fraction.
    std::size_t missedLinks() const { return missed; }

private:
    int nx, ny, nz;
    std::vector<std::uint8_t> mask;
    std::vector<Boundary> sites;
    std::size_t covered = 0;
    std::size_t missed = 0;
};
