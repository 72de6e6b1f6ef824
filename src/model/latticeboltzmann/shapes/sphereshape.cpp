#include "sphereshape.h"

#include <cmath>

bool SphereShape::lineInterval(const Vector3d &p, const Vector3d &d, double &t0, double &t1) const
{
    const double a = d.lengthSquared();
    if (a == 0.0)
        return false;
    // |p + t d|^2 = r^2; the roots in the form that does not cancel.
    const double b = p.dot(d), c = p.lengthSquared() - r * r;
    const double disc = b * b - a * c;
    if (disc < 0.0)
        return false;
    const double s = std::sqrt(disc);
    const double k = b >= 0.0 ? -(b + s) : -(b - s);
    if (k == 0.0) {
        t0 = t1 = 0.0;
        return true;
    }
    const double ra = k / a, rb = c / k;
    t0 = std::fmin(ra, rb);
    t1 = std::fmax(ra, rb);
    return true;
}

bool SphereShape::localBounds(Vector3d &low, Vector3d &high) const
{
    low = Vector3d(-r, -r, -r);
    high = Vector3d(r, r, r);
    return true;
}
