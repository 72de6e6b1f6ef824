#include "vector3i.h"

#include "vector3d.h"

#include <cmath>
#include <cstdlib>

double Vector3i::dot(const Vector3d &v) const
{
    return x * v.x + y * v.y + z * v.z;
}

Vector3d Vector3i::operator*(double factor) const
{
    return Vector3d(x * factor, y * factor, z * factor);
}

Vector3d Vector3i::toVector3d() const
{
    return Vector3d(x, y, z);
}

double Vector3i::length() const
{
    return std::sqrt(double(x) * x + double(y) * y + double(z) * z);
}

bool Vector3i::isAdjacent(const Vector3i &o) const
{
    return std::abs(x - o.x) <= 1 && std::abs(y - o.y) <= 1 && std::abs(z - o.z) <= 1;
}

static int wrapOnce(int v, int n)
{
    if (v < 0)
        return n - 1;
    if (v > n - 1)
        return 0;
    return v;
}

Vector3i Vector3i::wrapped(int nx, int ny, int nz) const
{
    return Vector3i(wrapOnce(x, nx), wrapOnce(y, ny), wrapOnce(z, nz));
}

void Vector3i::translate(int dx, int dy, int dz, bool wrap, int nx, int ny, int nz)
{
    x += dx;
    y += dy;
    z += dz;
    if (wrap) {
        x = (nx + x) % nx;
        y = (ny + y) % ny;
        z = (nz + z) % nz;
    }
}
