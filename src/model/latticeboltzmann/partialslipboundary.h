#pragma once

#include "basecell.h"

// A D2Q9 wall that mixes bounce-back with specular reflection: of the
// populations entering the fluid from the wall, the normal one is bounced
// back and the two diagonal ones take the fraction s ("slipWallCoefficient")
// of the mirror-image population and 1 - s of the bounced-back one. s = 0 is a
// no-slip wall, s = 1 a free-slip wall.
class PartialSlipBoundary : public InertCell
{
public:
    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void passivate(QXmlStreamWriter &writer) override;
    int getKind() override { return -1; }
    BaseCell *clone(const SimulationParameters &) override { return new PartialSlipBoundary; }
};
