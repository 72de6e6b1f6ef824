#pragma once

#include "convexshape.h"

// A circular cylinder of the given radius about an axis through the centre,
// of the given length (centred on the centre) or endless when the length is
// not positive. The axis is any direction; on a 2D grid a cylinder along z
// is a circle, and one across the plane a band.
class CylinderShape : public ConvexShape
{
public:
    CylinderShape(double radius = 1.0, double length = 0.0, const Vector3d &axis = Vector3d(0, 0, 1));

    QString kind() const override { return QStringLiteral("cylinder"); }
    double radius() const { return r; }
    double length() const { return 2.0 * halfLength; }
    // The axis direction; it sets the shape's rotation.
    Vector3d axis() const { return direction; }
    void setAxis(const Vector3d &axis);

protected:
    bool insideLocal(const Vector3d &p) const override;
    bool lineInterval(const Vector3d &p, const Vector3d &d, double &t0, double &t1) const override;
    bool localBounds(Vector3d &low, Vector3d &high) const override;

private:
    double r, halfLength;
    Vector3d direction;
};
