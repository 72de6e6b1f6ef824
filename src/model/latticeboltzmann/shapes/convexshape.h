#pragma once

#include "shape.h"

// A body that every straight line meets in one interval at most (a sphere, a
// finite or endless cylinder, a box): inside tests and crossings follow
// from that interval, computed in the body's own frame.
class ConvexShape : public Shape
{
public:
    double crossing(const Vector3d &a, const Vector3d &b) const override;

protected:
    bool insideBody(const Vector3d &point) const override { return insideLocal(toBody(point)); }
    bool bodyBounds(Vector3d &low, Vector3d &high) const override;

    virtual bool insideLocal(const Vector3d &p) const = 0;
    // The parameters t0 <= t1 between which the line p + t d lies inside the
    // body (t0 may be -infinity, t1 +infinity); false when it misses.
    virtual bool lineInterval(const Vector3d &p, const Vector3d &d, double &t0, double &t1) const = 0;
    // The body's bounds in its own frame; false when it has none.
    virtual bool localBounds(Vector3d &low, Vector3d &high) const = 0;
    // Narrows [lo, hi] to where the line coordinate p + t d lies within
    // [-h, h]; false when a line parallel to the slab lies outside it.
    static bool clipSlab(double p, double d, double h, double &lo, double &hi);
};
