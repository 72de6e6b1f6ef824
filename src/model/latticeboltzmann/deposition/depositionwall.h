#pragma once

#include "../wallcell.h"

// A resting wall that the deposition model recognises as a surface on which
// the carried substance settles; otherwise exactly a wall.
class DepositionWall : public WallCell
{
public:
    void passivate(QXmlStreamWriter &writer) override;
    BaseCell *clone(const SimulationParameters &) override { return new DepositionWall; }
};
