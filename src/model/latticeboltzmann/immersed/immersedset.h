#pragma once

#include "../documentsection.h"

class Grid;

// Immersed bodies that move with the flow and force it back. Holds no items
// yet: the grid already calls its per-iteration step and per-site hook.
class ImmersedSet : public DocumentSection
{
public:
    explicit ImmersedSet(Grid *grid) : grid(grid) {}
    virtual ~ImmersedSet() = default;

    virtual bool isEmpty() const { return true; }
    virtual void step() {}
    // Phase-1 hook for one site; runs concurrently for different rows.
    virtual void spreadAt(int, int, int) {}

protected:
    Grid *grid;
};
