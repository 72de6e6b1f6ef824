#pragma once

#include "model/latticeboltzmann/vector3d.h"

#include <vector>

// Contour tracing in the value buffer of the painters. Points are returned in
// lattice units; a value of exactly 0 in the buffer marks a point that was not
// painted and never takes part in a crossing.
class Isolines
{
public:
    // Whether the edge from value a to value b crosses c; t is the fraction
    // of the way from a to b (0 and 1 included).
    static bool crossing(double a, double b, double c, double &t);

    // The segments of iso-value c in the square with lower corner (x, y) of
    // a buffer of width nx (layer z = 0): consecutive points pair into segments.
    static void square(const std::vector<double> &buffer, int nx, int x, int y, double c,
                       std::vector<Vector3d> &segments);
    // Every segment of iso-value c over the whole nx x ny buffer.
    static std::vector<Vector3d> segments2D(const std::vector<double> &buffer, int nx, int ny, double c);

    // The surface patches of iso-value c in the cube with lower corner
    // (x, y, z): each patch is a triangle strip of at least three points.
    static void cube(const std::vector<double> &buffer, int nx, int ny, int x, int y, int z, double c,
                     std::vector<std::vector<Vector3d>> &strips);
};
