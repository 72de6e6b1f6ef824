#pragma once

class Grid;

// Per-grid settings of the free-surface and melting model; its beam step is
// the grid's per-iteration melting update. Inactive until that model exists.
class FreeSurfaceSettings
{
public:
    explicit FreeSurfaceSettings(Grid *grid) : grid(grid) {}
    virtual ~FreeSurfaceSettings() = default;

    virtual void step() {}
    // True when step has nothing to do.
    virtual bool isIdle() const { return true; }

protected:
    Grid *grid;
};
