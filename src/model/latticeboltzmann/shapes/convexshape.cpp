#include "convexshape.h"

#include <algorithm>
#include <cmath>

double ConvexShape::crossing(const Vector3d &a, const Vector3d &b) const
{
    const Vector3d p = toBody(a), d = toBody(b) - p;
    double t0, t1;
    if (!lineInterval(p, d, t0, t1))
        return -1.0;
    // Rounding may put a crossing at an end of the segment a hair outside.
    const double slack = 1e-12;
    for (double t : {t0, t1})
        if (std::isfinite(t) && t >= -slack && t <= 1.0 + slack)
            return std::min(1.0, std::max(0.0, t));
    return -1.0;
}

bool ConvexShape::bodyBounds(Vector3d &low, Vector3d &high) const
{
    Vector3d lo, hi;
    if (!localBounds(lo, hi))
        return false;
    bool first = true;
    for (int corner = 0; corner < 8; ++corner) {
        const Vector3d c((corner & 1) ? hi.x : lo.x, (corner & 2) ? hi.y : lo.y, (corner & 4) ? hi.z : lo.z);
        const Vector3d w = fromBody(c);
        if (first) {
            low = high = w;
            first = false;
            continue;
        }
        low = Vector3d(std::min(low.x, w.x), std::min(low.y, w.y), std::min(low.z, w.z));
        high = Vector3d(std::max(high.x, w.x), std::max(high.y, w.y), std::max(high.z, w.z));
    }
    return true;
}

bool ConvexShape::clipSlab(double p, double d, double h, double &lo, double &hi)
{
    if (d == 0.0)
        return !(std::abs(p) > h);
    const double u = (-h - p) / d, v = (h - p) / d;
    lo = std::max(lo, std::min(u, v));
    hi = std::min(hi, std::max(u, v));
    return true;
}
