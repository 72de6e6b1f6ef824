#pragma once

#include "../documentsection.h"

class Grid;

// Tracer particles released from box regions and carried by the flow. Holds
// no regions yet: the grid already calls it once per iteration.
class TracerSet : public DocumentSection
{
public:
    explicit TracerSet(Grid *grid) : grid(grid) {}
    virtual ~TracerSet() = default;

    virtual void step() {}
    // Called after a new geometry is loaded.
    virtual void refresh() {}
    virtual void clear() {}

protected:
    Grid *grid;
};
