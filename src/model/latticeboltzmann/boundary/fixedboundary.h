#pragma once

#include "boundary.h"

// Inlet that feeds one fluid component at the prescribed density and inflow
// velocity: after streaming, the target's incoming populations become the
// equilibrium of (p, u n) for that component. The speed can follow the inlet
// formula of the inlet's group, evaluated once per iteration.
class FixedBoundary : public Boundary
{
public:
    FixedBoundary();

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    BaseCell *clone(const SimulationParameters &parameters) override;

    void setBoundaryP(double value) override { p = value; }
    void setBoundaryU(double value) override { u = value; }
    double getBoundaryU() override { return u; }
    double getBoundaryP() override { return p; }

    // The inlet group whose formula, period and amplitude apply; group 1
    // feeds the second component when the grid has two.
    int getMultiComponentIndex() const { return multiComponentIndex; }
    void setMultiComponentIndex(int index) { multiComponentIndex = index; }

private:
    int multiComponentIndex = 0;
};
