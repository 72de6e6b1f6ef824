#pragma once

#include "boundary.h"

// Inlet that emits fluid at rest in every direction: each neighbour receives
// the zero-velocity equilibrium population of the prescribed density.
class PointBoundary : public Boundary
{
public:
    explicit PointBoundary(double density = 1.0);

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    BaseCell *clone(const SimulationParameters &parameters) override;

    void setBoundaryP(double value) override { p = value; }
    // The speed is not used.
    void setBoundaryU(double) override {}
    double getBoundaryU() override { return 0.0; }
    double getBoundaryP() override { return p; }
};
