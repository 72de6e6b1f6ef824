#pragma once

#include "rotation.h"
#include "shapemotion.h"
#include "wallscheme.h"

#include "model/latticeboltzmann/vector3d.h"

#include <QString>

#include <cstdint>

// A body whose exact surface is known, placed in lattice coordinates: site
// (x, y, z) sits at the point (x, y, z). The body's own geometry is given about
// its origin; the placement scales it, turns it and moves its origin to the
// centre. An inverted shape is solid outside its surface (a cavity or a pipe).
class Shape
{
public:
    virtual ~Shape() = default;

    // "sphere", "cylinder", "box" or "mesh".
    virtual QString kind() const = 0;

    Vector3d centre() const { return origin; }
    void setCentre(const Vector3d &c) { origin = c; }
    double scale() const { return factor; }
    // Non-positive factors are refused (the scale stays).
    void setScale(double s);
    const Rotation &rotation() const { return turn; }
    void setRotation(const Rotation &r) { turn = r; }
    bool isInverted() const { return inverted; }
    void setInverted(bool on) { inverted = on; }
    WallScheme scheme() const { return wallScheme; }
    void setScheme(WallScheme s) { wallScheme = s; }

    const Vector3d &velocity() const { return linear; }
    void setVelocity(const Vector3d &v) { linear = v; }
    const Vector3d &angularVelocity() const { return angular; }
    void setAngularVelocity(const Vector3d &w) { angular = w; }
    // The surface's motion about the centre.
    ShapeMotion motion() const { return ShapeMotion{linear, angular, origin}; }

    // Whether the point is solid (on the surface counts as solid).
    bool contains(const Vector3d &point) const { return inverted != insideBody(point); }
    // The fraction t in [0, 1] at which the segment from a to b first crosses
    // the surface, or -1 when it does not cross it.
    virtual double crossing(const Vector3d &a, const Vector3d &b) const = 0;
    // A box of points holding every solid point; false when the solid part
    // has no bound (an inverted shape, an endless cylinder).
    bool bounds(Vector3d &low, Vector3d &high) const;
    // Marks the solid sites (x, y, z) for z in [z0, z1) of a column:
    // solid[z - z0] = 1 or 0. Safe to call from several threads at once.
    virtual void solidColumn(int x, int y, int z0, int z1, std::uint8_t *solid) const;

protected:
    // Whether the point is inside the body's surface (inversion aside).
    virtual bool insideBody(const Vector3d &point) const = 0;
    // The body's bounding box, false when it has none.
    virtual bool bodyBounds(Vector3d &low, Vector3d &high) const = 0;

    // A world point in the body's own frame, and back.
    Vector3d toBody(const Vector3d &p) const { return turn.applyInverse(p - origin) * (1.0 / factor); }
    Vector3d fromBody(const Vector3d &p) const { return turn.apply(p * factor) + origin; }

private:
    Vector3d origin;
    double factor = 1.0;
    Rotation turn;
    bool inverted = false;
    WallScheme wallScheme = WallScheme::Quadratic;
    Vector3d linear, angular;
};
