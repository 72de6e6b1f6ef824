#include "vector3d.h"

#include "vector3i.h"

#include <cmath>

double Vector3d::dot(const Vector3i &o) const
{
    return x * o.x + y * o.y + z * o.z;
}

double Vector3d::length() const
{
    return std::sqrt(x * x + y * y + z * z);
}

Vector3d Vector3d::normalized() const
{
    const double l = length();
    if (l == 0.0)
        return *this;
    return Vector3d(x / l, y / l, z / l);
}

Vector3d Vector3d::rotatedXY(double cx, double cy, double a) const
{
    const double c = std::cos(a), s = std::sin(a);
    return Vector3d(cx + (x - cx) * c - (y - cy) * s, cy + (x - cx) * s + (y - cy) * c, 0.0);
}
