#include "multiphase.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/latticeboltzmann/wallcell.h"

#include <cmath>

double MultiPhase::psi(BaseCell *cell, double psi0, double rho0)
{
    if (!cell || !cell->isFluid())
        return 0.0;
    return psiOfDensity(cell->getP(-1), psi0, rho0);
}

Vector3d MultiPhase::force(BaseCell *cell, BaseCell **neighbours, int, int, int, int, Grid *grid)
{
    const SimulationParameters *p = grid->getParameters();
    const double psi0 = p->getMpPsi0(), rho0 = p->getMpP0();
    const int q = p->getModel();
    const double own = psi(cell, psi0, rho0);
    Vector3d interaction, adhesion;
    for (int i = 1; i < q; ++i) {
        BaseCell *n = neighbours[i];
        if (!n)
            continue;
        const double w = Lattice::tables.w[q][i];
        const int *e = Lattice::tables.e[q][i];
        const Vector3d ei(e[0], e[1], e[2]);
        interaction += ei * (w * psi(n, psi0, rho0));
        // Walls adhere fully, porous cells by their solid fraction (they are
        // fluid as well, so they also count in the interaction).
        BaseCell *inner = PassiveScalarCell::innerOf(n);
        if (dynamic_cast<WallCell *>(inner))
            adhesion += ei * w;
        else if (dynamic_cast<PorousCell *>(inner))
            adhesion += ei * (w * p->getPorousSolidDensity());
    }
    return interaction * (-p->getMpG() * own) + adhesion * (-p->getMpGads() * own);
}

bool MultiPhase::isActive(const SimulationParameters &parameters)
{
    return std::abs(parameters.getMpG()) > 1e-100;
}
