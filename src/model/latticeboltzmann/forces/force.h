#pragma once

#include "model/latticeboltzmann/vector3d.h"

class BaseCell;
class Grid;
class QXmlStreamReader;
class QXmlStreamWriter;

// A body force acting on fluid cells through a shift of their equilibrium velocity.
class Force
{
public:
    virtual ~Force() = default;
    virtual Vector3d force(BaseCell *cell, BaseCell **neighbours, int component, int x, int y, int z, Grid *grid) = 0;
    virtual bool isActive() = 0;
    virtual void passivate(QXmlStreamWriter &) {}
    virtual void activate(QXmlStreamReader &, Grid *) {}
};
