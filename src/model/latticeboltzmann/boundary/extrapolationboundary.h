#pragma once

#include "boundary.h"

// Outlet that lets the flow leave freely: after streaming, the target's
// incoming populations take the values the target held in the same
// directions before this iteration.
class ExtrapolationBoundary : public Boundary
{
public:
    void update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    BaseCell *clone(const SimulationParameters &parameters) override;

    // Nothing is prescribed.
    void setBoundaryP(double) override {}
    void setBoundaryU(double) override {}
    double getBoundaryU() override { return 0.0; }
    double getBoundaryP() override { return 0.0; }
};
