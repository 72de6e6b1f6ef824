#include "quaternion.h"

#include <cmath>

Quaternion Quaternion::operator*(const Quaternion &o) const
{
    return Quaternion(w * o.w - x * o.x - y * o.y - z * o.z, w * o.x + x * o.w + y * o.z - z * o.y,
                      w * o.y - x * o.z + y * o.w + z * o.x, w * o.z + x * o.y - y * o.x + z * o.w);
}

Quaternion Quaternion::normalized() const
{
    const float n = std::sqrt(w * w + x * x + y * y + z * z);
    if (n == 0.0f)
        return *this;
    return Quaternion(w / n, x / n, y / n, z / n);
}

void Quaternion::toMatrix(float m[16]) const
{
    const float values[16] = {w * w + x * x - y * y - z * z,
                              2 * x * y - 2 * w * z,
                              2 * w * y + 2 * x * z,
                              0,
                              2 * w * z + 2 * x * y,
                              w * w - x * x + y * y - z * z,
                              2 * y * z - 2 * w * x,
                              0,
                              2 * x * z - 2 * w * y,
                              2 * y * z + 2 * w * x,
                              w * w - x * x - y * y + z * z,
                              0,
                              0,
                              0,
                              0,
                              1};
    for (int i = 0; i < 16; ++i)
        m[i] = values[i];
}
