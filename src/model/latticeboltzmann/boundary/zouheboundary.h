#pragma once

#include "boundary.h"

// Zou and He's inlet or outlet for D2Q9: after streaming, the target's three
// unknown populations are rebuilt from the known ones so that the target has
// the prescribed density (p > 0) or the prescribed inflow velocity with zero
// tangential velocity. On the 3D models, where this closure is not defined,
// the unknowns are set to the equilibrium of the same density or velocity.
class ZouHeBoundary : public Boundary
{
public:
    ZouHeBoundary();

    void update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void passivate(QXmlStreamWriter &writer) override;
    BaseCell *clone(const SimulationParameters &parameters) override;

    void setBoundaryP(double value) override;
    void setBoundaryU(double value) override;
    double getBoundaryU() override { return u; }
    double getBoundaryP() override { return p; }

private:
    void updateD2Q9(int side, BaseCell *target, SimulationParameters *sp, Grid *grid, Vector3i position);
    void updateEquilibrium(int q, int side, BaseCell *target, Grid *grid, Vector3i position);
};
