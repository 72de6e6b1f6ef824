#pragma once

#include "boundary.h"

// Inlet or outlet that sets the target's incoming populations to equilibria
// during streaming: at the prescribed density and the target's velocity
// (density mode, p > 0), or at the target's density and the prescribed
// inflow velocity (velocity mode).
class EquilibriumBoundary : public Boundary
{
public:
    EquilibriumBoundary();

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void passivate(QXmlStreamWriter &writer) override;
    BaseCell *clone(const SimulationParameters &parameters) override;

    void setBoundaryP(double value) override;
    void setBoundaryU(double value) override;
    double getBoundaryU() override { return u; }
    double getBoundaryP() override { return p; }
};
