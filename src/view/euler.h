#pragma once

#include "interpolatingvelocityevaluator.h"
#include "streamlinealgorithm.h"

// The explicit Euler scheme: a fixed length per step (in cells) along the
// direction of the interpolated velocity. Cheap, and exact where the flow is
// uniform; on curved paths it drifts outwards by about half the step squared
// over the radius per step. A point where the flow is at rest stays there.
class Euler : public StreamLineAlgorithm
{
public:
    explicit Euler(double step = 1.0) : length(step) {}
    Vector3d next(const Vector3d &point, const Grid &grid) override { return advance(point, grid, length); }
    Vector3d previous(const Vector3d &point, const Grid &grid) override { return advance(point, grid, -length); }
    void setStep(double step) override { length = step; }
    double getStep() const { return length; }

private:
    Vector3d advance(const Vector3d &point, const Grid &grid, double h) const;

    double length;
    InterpolatingVelocityEvaluator evaluator;
};
