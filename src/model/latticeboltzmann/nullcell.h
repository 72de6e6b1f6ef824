#pragma once

#include "basecell.h"

// Inert filler: swallows whatever streams into it and takes no part in the dynamics.
class NullCell : public InertCell
{
public:
    void passivate(QXmlStreamWriter &writer) override;
    int getKind() override { return 10; }
    // Copies keep refined grids free of holes where walls were enclosed.
    BaseCell *clone(const SimulationParameters &) override { return new NullCell; }
};
