#include "interpolatingvelocityevaluator.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"

#include <cmath>

Vector3d InterpolatingVelocityEvaluator::velocity(const Vector3d &point, const Grid &grid) const
{
    const double fx = std::floor(point.x), fy = std::floor(point.y), fz = std::floor(point.z);
    if (fx < -1 || fy < -1 || fz < -1 || fx >= grid.getWidth() || fy >= grid.getHeight() || fz >= grid.getLength())
        return Vector3d();
    const int x = int(fx), y = int(fy), z = int(fz);
    const double tx = point.x - fx, ty = point.y - fy, tz = point.z - fz;
    Vector3d sum;
    for (int k = 0; k < 8; ++k) {
        const int dx = k >> 2, dy = (k >> 1) & 1, dz = k & 1;
        const double w = (dx ? tx : 1 - tx) * (dy ? ty : 1 - ty) * (dz ? tz : 1 - tz);
        if (w == 0.0)
            continue;
        if (BaseCell *cell = grid.getCell(x + dx, y + dy, z + dz))
            sum += cell->getVelocity(0) * w;
    }
    return sum;
}
