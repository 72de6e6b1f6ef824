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
    case FusedSweep:
        collideAndCommitChunk(y);
        break;
    default:
        break;
    }
}

namespace {

// Writes a plain fluid site's post-collision values: into the next array of
// each plain fluid neighbour, or for a plain wall back into the site's own
// next array (where the wall would forward it), or nowhere when there is no
// neighbour.
inline void pushPlain(SCCell *c, BaseCell **block, std::uint32_t mode, const int *opp, int q, const double *out)
{
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
}

template <int Q>
void collideRowPlain(Grid *grid, const std::vector<BaseCell *> &cells, BaseCell **neighbours,
                     const std::vector<std::uint32_t> &modes, int y, int nx, int nz, double *params)
{
    const double omega = 1.0 / params[0];
    const double keep = 1.0 - omega;
    const int *opp = Lattice::tables.opp[Q];
    double out[Q];
    for (int x = 0; x < nx; ++x) {
        for (int z = 0; z < nz; ++z) {
            const int s = (y * nx + x) * nz + z;
            BaseCell *cell = cells[s];
            BaseCell **block = neighbours + std::size_t(s) * Q;
            const std::uint32_t mode = modes[s];
            if (mode & Grid::FluidNeighbours) {
                // Every neighbour is plain fluid: no tests per direction.
                static_cast<SCCell *>(cell)->collidePlain<Q>(keep, omega, out);
#pragma GCC unroll 32
                for (int i = 0; i < Q; ++i)
                    static_cast<SCCell *>(block[i])->nextArray()[i] = out[i];
            } else if (mode & Grid::FastFluid) {
                auto *c = static_cast<SCCell *>(cell);
                c->collidePlain<Q>(keep, omega, out);
                pushPlain(c, block, mode, opp, Q, out);
            } else if (!(mode & (Grid::PlainWall | Grid::PlainNull))) {
                cell->preUpdate(params, block, grid, Vector3i(x, y, z));
            }
        }
    }
}

} // namespace

// Phase 0. Plain fluid whose neighbours are plain fluid or plain walls is
// collided without virtual calls; plain walls and null cells have nothing to
// do; every other cell gets its virtual preUpdate.
void Scaled::collideAndStream(int y) const
{
    Grid &g = *grid;
    const int nx = g.nx, nz = g.nz, q = g.neighbourQ;
    double *params = g.parameters->parameterBlock();
    const bool fast = g.fastPath;
    SimulationParameters *sp = g.parameters.get();
    const bool plain =
        sp->getForces().isEmpty() && !sp->getEntropic() && !(sp->getSmagorinsky() > 0.0) && sp->getVelocityOrder() == 2;
    if (fast && plain) {
        switch (q) {
        case 9:
            return collideRowPlain<9>(grid, g.cells, neighbours, g.siteModes, y, nx, nz, params);
        case 15:
            return collideRowPlain<15>(grid, g.cells, neighbours, g.siteModes, y, nx, nz, params);
        case 19:
            return collideRowPlain<19>(grid, g.cells, neighbours, g.siteModes, y, nx, nz, params);
        case 27:
            return collideRowPlain<27>(grid, g.cells, neighbours, g.siteModes, y, nx, nz, params);
        default:
            break;
        }
    }
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
                pushPlain(c, block, mode, opp, q, out);
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
            const bool skip =
                fast && ((mode & (Grid::PlainFluid | Grid::PlainNull)) || ((mode & Grid::PlainWall) && !wallsWork));
            if (!skip)
                g.cells[s]->update(params, neighbours + std::size_t(s) * q, grid, Vector3i(x, y, z));
            if (spread)
                immersed->spreadAt(x, y, z);
        }
    }
}

namespace {

template <int Q>
void commitRowPlain(const std::vector<BaseCell *> &cells, const std::vector<std::uint32_t> &modes, int y, int nx,
                    int nz, double &deltaP, double &totalP)
{
    for (int x = 0; x < nx; ++x) {
        for (int z = 0; z < nz; ++z) {
            const int s = (y * nx + x) * nz + z;
            BaseCell *cell = cells[s];
            const std::uint32_t mode = modes[s];
            if (mode & Grid::PlainFluid) {
                auto *c = static_cast<SCCell *>(cell);
                if (c->getFixedDensity() == 0.0 && c->getQ() == Q) {
                    deltaP += c->commitPlain<Q>();
                    totalP += c->SCCell::getP(-1);
                    continue;
                }
            } else if (mode & (Grid::PlainWall | Grid::PlainNull)) {
                continue;
            }
            deltaP += cell->computeDeltaP();
            cell->postUpdate();
            totalP += cell->getP(-1);
        }
    }
}

} // namespace

// Phase 2. Plain fluid is committed without virtual calls by the same
// arithmetic; plain walls and null cells contribute exact zeros, which leave
// the sums unchanged, so they are skipped.
void Scaled::commit(int y) const
{
    Grid &g = *grid;
    const int nx = g.nx, nz = g.nz;
    double deltaP = 0.0, totalP = 0.0;
    if (g.fastPath) {
        switch (g.neighbourQ) {
        case 9:
            commitRowPlain<9>(g.cells, g.siteModes, y, nx, nz, deltaP, totalP);
            break;
        case 15:
            commitRowPlain<15>(g.cells, g.siteModes, y, nx, nz, deltaP, totalP);
            break;
        case 19:
            commitRowPlain<19>(g.cells, g.siteModes, y, nx, nz, deltaP, totalP);
            break;
        case 27:
            commitRowPlain<27>(g.cells, g.siteModes, y, nx, nz, deltaP, totalP);
            break;
        default:
            commitRowPlain<0>(g.cells, g.siteModes, y, nx, nz, deltaP, totalP);
            break;
        }
    } else {
        for (int x = 0; x < nx; ++x) {
            for (int z = 0; z < nz; ++z) {
                BaseCell *cell = g.cells[(y * nx + x) * nz + z];
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

// Collides and streams the rows of one chunk in order, committing each row as
// soon as every row that streams into it is done: row r after rows r - 1, r
// and r + 1. Its data is then still in cache. The first and last row of the
// chunk also receive from the neighbouring chunks (or, wrapped, from the far
// end of the grid) and are committed by the caller after all chunks.
void Scaled::collideAndCommitChunk(int chunk) const
{
    const QList<int> &rows = grid->rows;
    const int first = grid->fusedChunks[std::size_t(chunk)].first;
    const int last = grid->fusedChunks[std::size_t(chunk)].second;
    for (int k = first; k <= last; ++k) {
        collideAndStream(rows[k]);
        if (k - 1 > first && k - 1 < last)
            commit(rows[k - 1]);
    }
}
