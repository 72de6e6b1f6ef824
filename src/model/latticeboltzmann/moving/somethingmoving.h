#pragma once

#include "../vector3d.h"
#include "../vector3i.h"

class BaseCell;
class Grid;
class QXmlStreamReader;
class QXmlStreamWriter;

// A body carried by moving cells: a translating or oscillating wall, or a
// particle made of several cells. The moving cells hand their lattice work to
// it and bounce fluid off it with its velocity.
class SomethingMoving
{
public:
    virtual ~SomethingMoving() = default;

    // Per-cell exchange with the fluid around one of the body's cells (phase 0).
    virtual void exchange(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) = 0;
    // One time step of the body.
    virtual void update() = 0;
    // Sub-cell offset of the body from its cells.
    virtual Vector3d getDisplacement() = 0;
    virtual Vector3d getVelocity() = 0;
    virtual void write(QXmlStreamWriter &writer) = 0;
    virtual void read(QXmlStreamReader &reader) = 0;
    // A body for a copied moving cell, owned by the caller; null when the body
    // cannot be shared out to a copy (a particle).
    virtual SomethingMoving *copy() = 0;
};
