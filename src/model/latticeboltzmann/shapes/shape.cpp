#include "shape.h"

void Shape::setScale(double s)
{
    if (s > 0.0)
        factor = s;
}

bool Shape::bounds(Vector3d &low, Vector3d &high) const
{
    return !inverted && bodyBounds(low, high);
}

void Shape::solidColumn(int x, int y, int z0, int z1, std::uint8_t *solid) const
{
    for (int z = z0; z < z1; ++z)
        solid[z - z0] = contains(Vector3d(x, y, z)) ? 1 : 0;
}
