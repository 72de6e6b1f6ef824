#include "cylindershape.h"

#include <algorithm>
#include <cmath>
#include <limits>

CylinderShape::CylinderShape(double radius, double length, const Vector3d &axis)
    : r(radius), halfLength(length > 0.0 ? 0.5 * length : 0.0)
{
    setAxis(axis);
}

void CylinderShape::setAxis(const Vector3d &axis)
{
    direction = axis.lengthSquared() > 0.0 ? axis.normalized() : Vector3d(0, 0, 1);
    setRotation(Rotation::takingZTo(direction));
}

bool CylinderShape::insideLocal(const Vector3d &p) const
{
    if (halfLength > 0.0 && std::abs(p.z) > halfLength)
        return false;
    return p.x * p.x + p.y * p.y <= r * r;
}

bool CylinderShape::lineInterval(const Vector3d &p, const Vector3d &d, double &t0, double &t1) const
{
    const double inf = std::numeric_limits<double>::infinity();
    double lo = -inf, hi = inf;
    // Across the axis: (px + t dx)^2 + (py + t dy)^2 <= r^2.
    const double a = d.x * d.x + d.y * d.y, c = p.x * p.x + p.y * p.y - r * r;
    if (a == 0.0) {
        if (c > 0.0)
            return false;
    } else {
        const double b = p.x * d.x + p.y * d.y;
        const double disc = b * b - a * c;
        if (disc < 0.0)
            return false;
        const double s = std::sqrt(disc);
        const double k = b >= 0.0 ? -(b + s) : -(b - s);
        if (k == 0.0) {
            lo = hi = 0.0;
        } else {
            lo = std::fmin(k / a, c / k);
            hi = std::fmax(k / a, c / k);
        }
    }
    // Along the axis, between the end caps.
    if (halfLength > 0.0 && !clipSlab(p.z, d.z, halfLength, lo, hi))
        return false;
    if (lo > hi)
        return false;
    t0 = lo;
    t1 = hi;
    return true;
}

bool CylinderShape::localBounds(Vector3d &low, Vector3d &high) const
{
    if (halfLength <= 0.0)
        return false;
    low = Vector3d(-r, -r, -halfLength);
    high = Vector3d(r, r, halfLength);
    return true;
}
