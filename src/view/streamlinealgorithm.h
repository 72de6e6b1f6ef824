#pragma once

#include "model/latticeboltzmann/vector3d.h"

class Grid;

// One step along a streamline: the next point after point.
class StreamLineAlgorithm
{
public:
    virtual ~StreamLineAlgorithm() = default;
    virtual Vector3d next(const Vector3d &point, const Grid &grid) = 0;
};
