#include "multicomponent.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/multi/componentfield.h"
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

namespace {

// The sums of the interaction on components first to first + count - 1 of
// a site, one neighbour at a time, and the forces they give; the walk over
// the neighbour cells and the one over the grid's field share them, so that
// both form the same operations in the same order.
struct Interaction
{
    Interaction(const SimulationParameters *p, int first, int count, const double *ownDensity)
        : g(p->getMcG()), n(p->getMcQuantity()), first(first), count(count)
    {
        for (int k = 0; k < count; ++k) {
            const int m = first + k;
            rhoM[k] = ownDensity[k];
            gads[k] = m == 0 ? p->getMcGads() : m == 1 ? p->getMcGads2() : 0.0;
            interacts[k] = rhoM[k] > 0.001 && std::abs(g) > 0.001;
        }
    }
    // A neighbour along ei with weight w: its density of the first known
    // components over its scale, beyond(j) that of any further one, and
    // whether it adheres with the weight solid.
    template <typename Beyond>
    void add(const Vector3d &ei, double w, const double *density, int known, Beyond beyond, bool adheres,
             double solid)
    {
        for (int k = 0; k < count; ++k) {
            if (!interacts[k])
                continue;
            double others = 0.0;
            for (int j = 0; j < n; ++j)
                if (j != first + k)
                    others += j < known ? density[j] : beyond(j);
            interaction[k] += ei * (w * others);
        }
        if (adheres)
            adhesion += ei * (solid * w);
    }
    void result(Vector3d out[]) const
    {
        for (int k = 0; k < count; ++k)
            out[k] = interaction[k] * (-rhoM[k] * g) + adhesion * (-rhoM[k] * gads[k]);
    }

    const double g;
    const int n, first, count;
    double rhoM[MCCell::MaxComponents], gads[MCCell::MaxComponents];
    bool interacts[MCCell::MaxComponents];
    Vector3d interaction[MCCell::MaxComponents], adhesion;
};

} // namespace

void MultiComponent::forces(BaseCell *cell, BaseCell **neighbours, int first, int last, Grid *grid, Vector3d out[])
{
    const SimulationParameters *p = grid->getParameters();
    const int n = p->getMcQuantity();
    const int q = p->getModel();
    const int count = std::min(last - first, MCCell::MaxComponents);
    double own[MCCell::MaxComponents];
    for (int k = 0; k < count; ++k)
        own[k] = cell->getP(first + k);
    Interaction sums(p, first, count, own);
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
        sums.add(ei, w, density, known, [&](int j) { return nb->getP(j) / scale; }, porous || wall, solid);
    }
    sums.result(out);
}

void MultiComponent::fieldForces(const ComponentField &field, const Grid &grid, const Vector3i &position,
                                 BaseCell *const *neighbours, int first, int last, Vector3d out[])
{
    const SimulationParameters *p = grid.getParameters();
    // The grid marks sites for this path only while the field holds every
    // component of the model.
    const int n = p->getMcQuantity();
    const int q = p->getModel();
    const int count = std::min(last - first, MCCell::MaxComponents);
    const int nx = grid.getWidth(), ny = grid.getHeight(), nz = grid.getLength();
    const std::size_t site = std::size_t(grid.siteIndex(position.x, position.y, position.z));
    double own[MCCell::MaxComponents];
    for (int k = 0; k < count; ++k)
        own[k] = field.density(first + k, site);
    Interaction sums(p, first, count, own);
    const double solidDensity = p->getPorousSolidDensity();
    // Away from the faces every neighbour lies at a fixed offset; at a face
    // the offset wraps (a neighbour outside a closed box is absent).
    // (D2Q9 has no z offsets; a flat 3D lattice's wrap onto the same plane.)
    const bool inner = position.x > 0 && position.x < nx - 1 && position.y > 0 && position.y < ny - 1 &&
                       (q == 9 || (position.z > 0 && position.z < nz - 1));
    for (int i = 1; i < q; ++i) {
        if (!neighbours[i])
            continue;
        const double w = Lattice::tables.w[q][i];
        const int *e = Lattice::tables.e[q][i];
        const Vector3d ei(e[0], e[1], e[2]);
        const std::size_t t =
            inner ? std::size_t(std::ptrdiff_t(site) + (std::ptrdiff_t(e[1]) * nx + e[0]) * nz + e[2])
                  : std::size_t(grid.siteIndex((position.x + e[0] + nx) % nx, (position.y + e[1] + ny) % ny,
                                               (position.z + e[2] + nz) % nz));
        const ComponentField::Kind kind = field.kind(t);
        const bool porous = kind == ComponentField::PorousMixture;
        const double solid = porous ? solidDensity : 1.0;
        const double scale = solid > 0.0 ? solid : 1.0;
        double density[MCCell::MaxComponents];
        for (int j = 0; j < n; ++j)
            density[j] = field.density(j, t) / scale;
        sums.add(ei, w, density, n, [](int) { return 0.0; }, porous || kind == ComponentField::Wall, solid);
    }
    sums.result(out);
}
