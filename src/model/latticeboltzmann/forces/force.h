#pragma once

#include "model/latticeboltzmann/vector3d.h"

class BaseCell;
class Grid;
class SimulationParameters;
class QXmlStreamReader;
class QXmlStreamWriter;

// A body force acting on fluid cells through a shift of their equilibrium velocity.
class Force
{
public:
    virtual ~Force() = default;
    // The force on the cell at (x, y, z) of the grid, whose parameters hold
    // the force's settings.
    virtual Vector3d force(BaseCell *cell, BaseCell **neighbours, int component, int x, int y, int z, Grid *grid) = 0;
    // Whether the settings of these parameters make the force act at all.
    virtual bool isActive(const SimulationParameters &parameters) = 0;
    virtual void passivate(QXmlStreamWriter &) {}
    virtual void activate(QXmlStreamReader &, Grid *) {}
};
