#pragma once

#include "wallcell.h"

// A wall that belongs to a drag group; touching drag walls share the group index.
class DragWallCell : public WallCell
{
public:
    int index() const { return groupIndex; }
    void setIndex(int index) { groupIndex = index; }
    // This wall's share of its group's drag at (x, y, z).
    virtual Vector3d dragContribution(Grid *grid, int x, int y, int z);

protected:
    int groupIndex = 0;
};
