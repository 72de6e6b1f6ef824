#pragma once

#include "shapemotion.h"
#include "wallscheme.h"

#include "model/latticeboltzmann/wallcell.h"

// A solid site of a shape next to fluid. For every link from a fluid
// neighbour it knows where the shape's surface cuts the link, and sends back
// what the fluid streams in by interpolated bounce-back (Bouzidi, Firdaouss
// and Lallemand): the population the fluid site gets back is interpolated from
// the populations of that site and the sites behind it along the link, so the
// wall acts at the surface rather than half-way between sites. A moving
// surface adds the momentum of its local velocity. The returned values are
// written in phase 1, after every fluid site has streamed.
//
// Only the fluid's own populations (component 0) are interpolated; a second
// component and the coloured scalars bounce back as from a plain wall.
class ShapeWallCell : public WallCell
{
public:
    ShapeWallCell(int q, int shapeIndex, WallScheme scheme, const ShapeMotion &motion);
    ~ShapeWallCell() override;
    ShapeWallCell(const ShapeWallCell &) = delete;
    ShapeWallCell &operator=(const ShapeWallCell &) = delete;

    // Keeps what the fluid sends on its links; update sends it back.
    void setNextF(int i, double value, int component) override;
    void update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    // A wall of the same shape, scheme and motion for the current model,
    // without fractions (half-way bounce-back until the shape is placed
    // again): the fractions depend on where the copy stands.
    BaseCell *clone(const SimulationParameters &parameters) override;
    int modelQ() override { return q; }

    int shapeIndex() const { return index; }
    void setShapeIndex(int shapeIndex) { index = shapeIndex; }
    WallScheme scheme() const { return wallScheme; }
    void setScheme(WallScheme scheme) { wallScheme = scheme; }
    const ShapeMotion &motion() const { return wallMotion; }
    void setMotion(const ShapeMotion &motion) { wallMotion = motion; }

    // The part in fluid, in (0, 1], of the link that reaches this site from
    // the site at its position - e_i; 0 when it is not known, which bounces
    // back at the half-way plane.
    double fraction(int i) const { return i > 0 && i < q ? links[i] : 0.0; }
    void setFraction(int i, double value);
    // What the fluid sent along link i in the last streaming, and what this
    // wall sent back to it.
    double received(int i) const { return i > 0 && i < q ? links[q + i] : 0.0; }
    double returned(int i) const { return i > 0 && i < q ? links[2 * q + i] : 0.0; }

    // Adds the momentum that the fluid gave this site in the last iteration,
    // by momentum exchange in the form that stays right for a moving wall
    // (the populations' velocities taken relative to the wall's), and its
    // moment about the motion's centre, each link acting where it meets the
    // surface. The site is at position.
    void addMomentumExchange(const Vector3i &position, Vector3d &force, Vector3d &torque) const;

private:
    // The point where link i meets the surface, for the site at position.
    Vector3d linkPoint(const Vector3i &position, int i) const;

    int q;
    int index;
    WallScheme wallScheme;
    ShapeMotion wallMotion;
    // One pooled block of 3 q doubles: fractions, received, returned.
    double *links;
};
