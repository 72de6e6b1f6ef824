#pragma once

#include "model/latticeboltzmann/vector3d.h"

class Grid;

// One step along a streamline: the next point after point, following the
// flow, or the previous one, against it.
class StreamLineAlgorithm
{
public:
    virtual ~StreamLineAlgorithm() = default;
    virtual Vector3d next(const Vector3d &point, const Grid &grid) = 0;
    virtual Vector3d previous(const Vector3d &point, const Grid &grid) = 0;
    // The step length in cells, for algorithms with a fixed step; the others
    // choose their own steps and ignore it.
    virtual void setStep(double) {}
};
