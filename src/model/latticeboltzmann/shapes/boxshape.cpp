#include "boxshape.h"

#include <algorithm>
#include <cmath>
#include <limits>

bool BoxShape::lineInterval(const Vector3d &p, const Vector3d &d, double &t0, double &t1) const
{
    double lo = -std::numeric_limits<double>::infinity(), hi = std::numeric_limits<double>::infinity();
    for (int axis = 0; axis < 3; ++axis) {
        const double pa = p[axis], da = d[axis], h = half[axis];
        if (da == 0.0) {
            if (std::abs(pa) > h)
                return false;
            continue;
        }
        const double u = (-h - pa) / da, v = (h - pa) / da;
        lo = std::max(lo, std::min(u, v));
        hi = std::min(hi, std::max(u, v));
    }
    if (lo > hi)
        return false;
    t0 = lo;
    t1 = hi;
    return true;
}

bool BoxShape::localBounds(Vector3d &low, Vector3d &high) const
{
    low = half * -1.0;
    high = half;
    return true;
}
