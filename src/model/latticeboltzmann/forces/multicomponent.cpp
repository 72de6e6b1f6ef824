#include "multicomponent.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/multi/exactcell.h"
#include "model/latticeboltzmann/multi/mccell.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/latticeboltzmann/wallcell.h"

#include <algorithm>
#include <cmath>

Vector3d MultiComponent::force(BaseCell *cell, BaseCell **neighbours, int m, int, int, int, Grid *grid)
{
    Vector3d out;
    forces(cell, neighbours, m, m + 1, grid, &out);
    return out;
}

void MultiComponent::forces(BaseCell *cell, BaseCell **neighbours, int first, int last, Grid *grid, Vector3d out[])
{
    const SimulationParameters *p = grid->getParameters();
    const double g = p->getMcG();
    const int n = p->getMcQuantity();
    const int q = p->getModel();
    const int count = std::min(last - first, MCCell::MaxComponents);
    double rhoM[MCCell::MaxComponents], gads[MCCell::MaxComponents];
    bool interacts[MCCell::MaxComponents];
    Vector3d interaction[MCCell::MaxComponents], adhesion;
    for (int k = 0; k < count; ++k) {
        const int m = first + k;
        rhoM[k] = cell->getP(m);
        gads[k] = m == 0 ? p->getMcGads() : m == 1 ? p->getMcGads2() : 0.0;
        interacts[k] = rhoM[k] > 0.001 && std::abs(g) > 0.001;
    }
    // Each neighbour is classified once, for every component asked.
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
        const MCCell *const direct = exactCell<MCCell>(nb);
        const MCCell *mc = direct;
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
        // The neighbour's density of every component over the scale; a
        // mixture's read from the component itself (none where it has
        // fewer components).
        double density[MCCell::MaxComponents];
        const int known = std::min(n, int(MCCell::MaxComponents));
        for (int j = 0; j < known; ++j) {
            SCCell *c = direct ? direct->component(j) : nullptr;
            density[j] = (direct ? (c ? c->getP(-1) : 0.0) : nb->getP(j)) / scale;
        }
        for (int k = 0; k < count; ++k) {
            if (!interacts[k])
                continue;
            double others = 0.0;
            for (int j = 0; j < n; ++j)
                if (j != first + k)
                    others += j < known ? density[j] : nb->getP(j) / scale;
            interaction[k] += ei * (w * others);
        }
        if (porous || wall)
            adhesion += ei * (solid * w);
    }
    for (int k = 0; k < count; ++k)
        out[k] = interaction[k] * (-rhoM[k] * g) + adhesion * (-rhoM[k] * gads[k]);
}
