#include "nextcellevalutor.h"

#include <cmath>

namespace {

bool sameCell(const Vector3d &a, const Vector3d &b)
{
    return std::trunc(a.x) == std::trunc(b.x) && std::trunc(a.y) == std::trunc(b.y) &&
           std::trunc(a.z) == std::trunc(b.z);
}

} // namespace

Vector3d NextCellEvalutor::advance(const Vector3d &point, const Grid &grid, double sense) const
{
    const Vector3d v = evaluator.velocity(point, grid) * sense;
    Vector3d q = point + v;
    for (int steps = 0; steps < 999 && sameCell(q, point); ++steps)
        q += v;
    return q;
}
