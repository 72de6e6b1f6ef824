#include "nearestpointvelocityevaluator.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"

#include <cmath>

Vector3d NearestPointVelocityEvaluator::velocity(const Vector3d &point, const Grid &grid) const
{
    const double x = std::floor(point.x + 0.5), y = std::floor(point.y + 0.5), z = std::floor(point.z + 0.5);
    // Compare as doubles first: a point far outside must not overflow an int.
    if (x < 0 || y < 0 || z < 0 || x >= grid.getWidth() || y >= grid.getHeight() || z >= grid.getLength())
        return Vector3d();
    BaseCell *cell = grid.getCell(int(x), int(y), int(z));
    return cell ? cell->getVelocity(0) : Vector3d();
}
