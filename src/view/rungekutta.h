#pragma once

#include "interpolatingvelocityevaluator.h"
#include "streamlinealgorithm.h"

// Follows the direction of the interpolated velocity by a fixed length per
// step (in cells) with the classical fourth-order Runge-Kutta scheme, so
// closed streamlines close and the path does not depend on the flow's speed.
// A point where the flow is at rest stays where it is.
class RungeKutta : public StreamLineAlgorithm
{
public:
    explicit RungeKutta(double step = 1.0) : length(step) {}
    Vector3d next(const Vector3d &point, const Grid &grid) override { return advance(point, grid, length); }
    Vector3d previous(const Vector3d &point, const Grid &grid) override { return advance(point, grid, -length); }
    double getStep() const { return length; }
    void setStep(double step) override { length = step; }

private:
    Vector3d direction(const Vector3d &point, const Grid &grid) const;
    Vector3d advance(const Vector3d &point, const Grid &grid, double h) const;

    double length;
    InterpolatingVelocityEvaluator evaluator;
};
