#pragma once

#include "convexshape.h"

// A ball of the given radius about the centre; on a 2D grid (the plane
// z = 0) a circle.
class SphereShape : public ConvexShape
{
public:
    explicit SphereShape(double radius = 1.0) : r(radius) {}

    QString kind() const override { return QStringLiteral("sphere"); }
    double radius() const { return r; }
    void setRadius(double radius) { r = radius; }

protected:
    bool insideLocal(const Vector3d &p) const override { return p.lengthSquared() <= r * r; }
    bool lineInterval(const Vector3d &p, const Vector3d &d, double &t0, double &t1) const override;
    bool localBounds(Vector3d &low, Vector3d &high) const override;

private:
    double r;
};
