#include "rungekutta.h"

Vector3d RungeKutta::direction(const Vector3d &point, const Grid &grid) const
{
    const Vector3d v = evaluator.velocity(point, grid);
    const double speed = v.length();
    return speed > 1e-12 ? v * (1 / speed) : Vector3d();
}

Vector3d RungeKutta::advance(const Vector3d &point, const Grid &grid, double h) const
{
    // Against the flow, h is negative: the same scheme on the reversed field.
    const Vector3d k1 = direction(point, grid);
    if (k1.lengthSquared() == 0.0)
        return point;
    const Vector3d k2 = direction(point + k1 * (h / 2), grid);
    const Vector3d k3 = direction(point + k2 * (h / 2), grid);
    const Vector3d k4 = direction(point + k3 * h, grid);
    return point + (k1 + k2 * 2 + k3 * 2 + k4) * (h / 6);
}
