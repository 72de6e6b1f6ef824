#pragma once

#include "lattice.h"
#include "wallcell.h"

// A resting wall that belongs to a drag group; touching drag walls share the
// group index, and the grid sums the drag of every group.
class DragWallCell : public WallCell
{
public:
    DragWallCell();

    // Bounce-back as a plain wall; the fluid populations that stream in are
    // also kept for the drag.
    void setNextF(int i, double value, int component) override;
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;

    int index() const { return groupIndex; }
    void setIndex(int index) { groupIndex = index; }
    // A drag wall of the same group (what it received is not copied).
    BaseCell *clone(const SimulationParameters &) override
    {
        auto *copy = new DragWallCell;
        copy->setIndex(groupIndex);
        return copy;
    }
    // This wall's share of its group's drag at (x, y, z): the momentum
    // exchanged with the fluid in the last streaming,
    // sum over the neighbours i of 2 f_opp(i) e_i, where f_opp(i) is what
    // neighbour i streamed into the wall.
    virtual Vector3d dragContribution(Grid *grid, int x, int y, int z);

protected:
    int groupIndex = 0;
    // The populations streamed in during the last phase 0, by direction of travel.
    double received[Lattice::MaxQ];
};
