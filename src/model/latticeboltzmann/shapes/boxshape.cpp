#include "boxshape.h"

#include <algorithm>
#include <cmath>
#include <limits>

bool BoxShape::lineInterval(const Vector3d &p, const Vector3d &d, double &t0, double &t1) const
{
    double lo = -std::numeric_limits<double>::infinity(), hi = std::numeric_limits<double>::infinity();
    for (int axis = 0; axis < 3; ++axis)
        if (!clipSlab(p[axis], d[axis], half[axis], lo, hi))
            return false;
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
