#include "multicomponent.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/multi/exactcell.h"
#include "model/latticeboltzmann/multi/mccell.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/latticeboltzmann/wallcell.h"

#include <cmath>

Vector3d MultiComponent::force(BaseCell *cell, BaseCell **neighbours, int m, int, int, int, Grid *grid)
{
    const SimulationParameters *p = grid->getParameters();
    const double rhoM = cell->getP(m);
    const double g = p->getMcG();
    const int n = p->getMcQuantity();
    const double gads = m == 0 ? p->getMcGads() : m == 1 ? p->getMcGads2() : 0.0;
    const bool interacts = rhoM > 0.001 && std::abs(g) > 0.001;
    const int q = p->getModel();
    Vector3d interaction, adhesion;
    for (int i = 1; i < q; ++i) {
        BaseCell *nb = neighbours[i];
        if (!nb)
            continue;
        const double w = Lattice::tables.w[q][i];
        const int *e = Lattice::tables.e[q][i];
        const Vector3d ei(e[0], e[1], e[2]);
        // Mixtures and plain walls, the usual neighbours, are told by their
        // exact class; anything else (a wrapped cell, a kind of wall) by the
        // general casts.
        const MCCell *mc = exactCell<MCCell>(nb);
        bool wall = false;
        if (!mc && !exactCell<WallCell>(nb)) {
            BaseCell *inner = PassiveScalarCell::innerOf(nb);
            mc = dynamic_cast<MCCell *>(inner);
            wall = dynamic_cast<WallCell *>(inner) != nullptr;
        } else if (!mc) {
            wall = true;
        }
        // A multicomponent neighbour whose first component is porous medium
        // weighs by the solid fraction: it repels less and adheres partly.
        const bool porous = mc && mc->porousComponent(0);
        const double solid = porous ? p->getPorousSolidDensity() : 1.0;
        const double scale = solid > 0.0 ? solid : 1.0;
        if (interacts) {
            double others = 0.0;
            for (int j = 0; j < n; ++j)
                if (j != m)
                    others += nb->getP(j) / scale;
            interaction += ei * (w * others);
        }
        if (porous || wall)
            adhesion += ei * (solid * w);
    }
    return interaction * (-rhoM * g) + adhesion * (-rhoM * gads);
}
