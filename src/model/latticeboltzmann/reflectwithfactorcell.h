#pragma once

#include "wallcell.h"

// A resting wall that bounces fluid back unchanged and the coloured tracer
// scalars (components 10 and above) scaled by the "reflectWithFactor"
// parameter, so a wall can absorb or emit a tracer.
class ReflectWithFactorCell : public WallCell
{
public:
    void setNextF(int i, double value, int component) override;
    void passivate(QXmlStreamWriter &writer) override;
    int getKind() override { return 7; }
    BaseCell *clone(const SimulationParameters &) override { return new ReflectWithFactorCell; }
    // The factor is read from the parameters of the grid that links the wall.
    void setNeighbours(BaseCell **block, const SimulationParameters &parameters) override
    {
        WallCell::setNeighbours(block, parameters);
        settings = &parameters;
    }

private:
    const SimulationParameters *settings = nullptr;
};
