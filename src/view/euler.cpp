#include "euler.h"

Vector3d Euler::advance(const Vector3d &point, const Grid &grid, double h) const
{
    const Vector3d v = evaluator.velocity(point, grid);
    const double speed = v.length();
    return speed > 1e-12 ? point + v * (h / speed) : point;
}
