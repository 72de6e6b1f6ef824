#pragma once

#include "../documentsection.h"

class Grid;
class BaseCell;

// Carries the moving solid particles of a grid. Holds no particles yet: the
// grid already calls it at the points of an iteration where particles move.
class ParticleManager : public DocumentSection
{
public:
    explicit ParticleManager(Grid *grid) : grid(grid) {}
    virtual ~ParticleManager() = default;

    virtual void clear() {}
    virtual bool isEmpty() const { return true; }
    // Before the boundary phase: momentum exchange with the fluid.
    virtual void preUpdate() {}
    // After the commit phase: particles move by whole cells.
    virtual void move() {}
    virtual void cellLeaves(int, int, int, BaseCell *) {}
    virtual void cellArrives(int, int, int, BaseCell *) {}

protected:
    Grid *grid;
};
