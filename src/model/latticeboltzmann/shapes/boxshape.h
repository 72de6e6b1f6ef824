#pragma once

#include "convexshape.h"

#include <cmath>

// A rectangular box of the given edge lengths centred on the centre, turned
// by the shape's rotation.
class BoxShape : public ConvexShape
{
public:
    explicit BoxShape(const Vector3d &size = Vector3d(1, 1, 1)) : half(size * 0.5) {}

    QString kind() const override { return QStringLiteral("box"); }
    Vector3d size() const { return half * 2.0; }

protected:
    bool insideLocal(const Vector3d &p) const override
    {
        return std::abs(p.x) <= half.x && std::abs(p.y) <= half.y && std::abs(p.z) <= half.z;
    }
    bool lineInterval(const Vector3d &p, const Vector3d &d, double &t0, double &t1) const override;
    bool localBounds(Vector3d &low, Vector3d &high) const override;

private:
    Vector3d half;
};
