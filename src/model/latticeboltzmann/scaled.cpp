#include "scaled.h"

#include "grid.h"
#include "immersed/immersedset.h"
#include "lattice.h"
#include "persistence/simulationparameters.h"
#include "sccell.h"

void Scaled::operator()(const int &y) const
{
    switch (phase) {
    case 0:
        collideAndStream(y);
        break;
    case 1:
        boundaries(y);
        break;
    case 2:
        commit(y);
        break;
    case 3:
        finish(y);
        break;
    default:
        break;
    }
}

// Phase 0. Plain fluid whose neighbours are plain fluid or plain walls is
// collided by the same routine as SCCell::preUpdate, and its values are
// written straight into the neighbours' next arrays (or, for a wall, back
// into its own next array, which is where the wall would forward them).
void Scaled::collideAndStream(int y) const
{
    Grid &g = *grid;
    const int nx = g.nx, nz = g.nz, q = g.neighbourQ;
    double *params = g.parameters->parameterBlock();
    const bool fast = g.fastPath;
    double out[Lattice::MaxQ];
    const int *opp = Lattice::tables.opp[q];
    for (int x = 0; x < nx; ++x) {
        for (int z = 0; z < nz; ++z) {
            const int s = (y * nx + x) * nz + z;
            BaseCell *cell = g.cells[s];
            BaseCell **block = neighbours + std::size_t(s) * q;
            const std::uint32_t mode = g.siteModes[s];
            if (fast && (mode & Grid::FastFluid)) {
                auto *c = static_cast<SCCell *>(cell);
                c->collide(params, block, grid, Vector3i(x, y, z), out);
                double *own = c->nextArray();
                for (int i = 0; i < q; ++i) {
                    BaseCell *n = block[i];
                    if (!n)
                        continue;
                    if (mode & (1u << i))
                        own[opp[i]] = out[i];
                    else
                        static_cast<SCCell *>(n)->nextArray()[i] = out[i];
                }
            } else if (fast && (mode & (Grid::PlainWall | Grid::PlainNull))) {
                continue;
            } else {
                cell->preUpdate(params, block, grid, Vector3i(x, y, z));
            }
        }
    }
}

void Scaled::boundaries(int y) const
{
    Grid &g = *grid;
    const int nx = g.nx, nz = g.nz, q = g.neighbourQ;
    double *params = g.parameters->parameterBlock();
    const bool fast = g.fastPath;
    const bool wallsWork = g.parameters->getMcType() == 4;
    ImmersedSet *immersed = g.immersed.get();
    const bool spread = !immersed->isEmpty();
    for (int x = 0; x < nx; ++x) {
        for (int z = 0; z < nz; ++z) {
            const int s = (y * nx + x) * nz + z;
            const std::uint32_t mode = g.siteModes[s];
            const bool skip = fast && ((mode & (Grid::PlainFluid | Grid::PlainNull)) || ((mode & Grid::PlainWall) && !wallsWork));
            if (!skip)
                g.cells[s]->update(params, neighbours + std::size_t(s) * q, grid, Vector3i(x, y, z));
            if (spread)
                immersed->spreadAt(x, y, z);
        }
    }
}

// Phase 2. Plain fluid is committed through non-virtual calls of the same
// operations; plain walls and null cells contribute exact zeros, which leave
// the sums unchanged, so they are skipped.
void Scaled::commit(int y) const
{
    Grid &g = *grid;
    const int nx = g.nx, nz = g.nz;
    const bool fast = g.fastPath;
    double deltaP = 0.0, totalP = 0.0;
    for (int x = 0; x < nx; ++x) {
        for (int z = 0; z < nz; ++z) {
            const int s = (y * nx + x) * nz + z;
            BaseCell *cell = g.cells[s];
            const std::uint32_t mode = g.siteModes[s];
            if (fast && (mode & Grid::PlainFluid)) {
                auto *c = static_cast<SCCell *>(cell);
                deltaP += c->SCCell::computeDeltaP();
                c->SCCell::postUpdate();
                totalP += c->SCCell::getP(-1);
            } else if (fast && (mode & (Grid::PlainWall | Grid::PlainNull))) {
                continue;
            } else {
                deltaP += cell->computeDeltaP();
                cell->postUpdate();
                totalP += cell->getP(-1);
            }
        }
    }
    g.rowDeltaP[y] = deltaP;
    g.rowTotalP[y] = totalP;
}

void Scaled::finish(int y) const
{
    Grid &g = *grid;
    const int nx = g.nx, nz = g.nz;
    const bool fast = g.fastPath;
    for (int x = 0; x < nx; ++x) {
        for (int z = 0; z < nz; ++z) {
            const int s = (y * nx + x) * nz + z;
            if (fast && (g.siteModes[s] & (Grid::PlainFluid | Grid::PlainWall | Grid::PlainNull)))
                continue;
            g.cells[s]->finishUpdate(grid, x, y, z);
        }
    }
}
