#pragma once

#include "basecell.h"

// Solid node at rest: half-way bounce-back by handing every population that
// streams in straight back to its sender, within the same streaming phase.
class WallCell : public InertCell
{
public:
    void setNextF(int i, double value, int component) override;
    // The scalar treatment of multicomponent type 4 (heat): the component-1
    // populations a fluid neighbour receives from the wall carry the total of
    // those it sends to the wall.
    void update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void passivate(QXmlStreamWriter &writer) override;
    int getKind() override { return 1; }
    BaseCell *clone(const SimulationParameters &parameters) override;

    virtual double getWallValue(int) { return 0.0; }
    virtual double getWallValue2(int, int, int, int, int) { return 0.0; }
    // The grid hands every wall its neighbour block and its parameters (the
    // model, and settings some walls read) when it links the sites.
    virtual void setNeighbours(BaseCell **block, const SimulationParameters &parameters);
    BaseCell **getNeighbours() const { return neighbourBlock; }
    // The model of the neighbour block; 0 before the wall is linked.
    int linkedModel() const { return q; }

protected:
    BaseCell **neighbourBlock = nullptr;
    int q = 0;
};
