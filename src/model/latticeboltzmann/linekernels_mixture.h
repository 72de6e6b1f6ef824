#pragma once

#include "lattice.h"
#include "linekernels.h"
#include "multi/mccell.h"
#include "multi/mixturelayout.h"
#include "vector3i.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

// The collision and streaming of a line of attached two-component mixtures
// (a row in 2D, a column of z in 3D). Component 0's populations are line.cur
// and line.next, component 1's line.scalarCur and line.scalarNext (the
// grid's mixture stores, same layout). For every site flagged Kernel the
// components' current values are gathered at the site, their densities
// formed as a component cell forms them, and the mixture's own collision
// (MCCell::collide: the interaction force read from the grid's component
// field, the body forces, the common velocity) gives the values, which are
// pushed at fixed offsets: to the neighbour's entry, into the site's own
// opposite entry for a plain wall that sends them back, or dropped outside
// the box. No neighbour cell is read. neighbourRow(s, scratch) gives the
// site's neighbours (for the forces), positionOf(k) its position.
namespace LineKernels {

// A tile of a line's sites gathered from the mixture arrays direction by
// direction (each array read contiguously, which the prefetchers follow),
// with each component's density as a component cell forms it
// (Lattice::moments: the sum of the active directions in order).
struct MixtureTile
{
    static constexpr int Sites = 32;
    static constexpr int N = MixtureLayout::Components;
    double f[N][Lattice::MaxQ][Sites];
    double density[N][Sites];

    void gather(const double *const arrays[], std::size_t stride, std::size_t first, int n, int q)
    {
        for (int j = 0; j < N; ++j) {
            for (int k = 0; k < n; ++k)
                density[j][k] = 0.0;
            for (int i = 0; i < q; ++i) {
                const double *__restrict src = arrays[j] + std::size_t(i) * stride + first;
                double *__restrict dst = f[j][i];
                for (int k = 0; k < n; ++k)
                    dst[k] = src[k];
                if (Lattice::tables.w[q][i] > Lattice::ActiveWeight)
                    for (int k = 0; k < n; ++k)
                        density[j][k] += dst[k];
            }
        }
    }
    // The values of site k, component after component (q entries each).
    void site(int k, int q, double *buffer, const double *values[]) const
    {
        for (int j = 0; j < N; ++j) {
            double *v = buffer + j * q;
            for (int i = 0; i < q; ++i)
                v[i] = f[j][i][k];
            values[j] = v;
        }
    }
};

template <typename Grid, typename Row, typename Position>
inline void collideMixtures(const Line &line, const std::uint32_t *flags, BaseCell *const *cells, Grid *grid,
                            double params[], Row neighbourRow, Position positionOf)
{
    constexpr int N = MixtureLayout::Components;
    constexpr int Sites = MixtureTile::Sites;
    const int q = grid->getParameters()->getModel();
    const std::size_t stride = line.stride;
    const double *const cur[N] = {line.cur, line.scalarCur};
    double *const next[N] = {line.next, line.scalarNext};
    const int length = line.length;
    MixtureTile tile;
    double out[N][Lattice::MaxQ][Sites];
    for (int t0 = 0; t0 < length; t0 += Sites) {
        const int n = length - t0 < Sites ? length - t0 : Sites;
        const std::uint32_t *flag = flags + line.base + std::size_t(t0);
        bool any = false;
        for (int k = 0; k < n; ++k)
            any = any || (flag[k] & MixtureLayout::Kernel);
        if (!any)
            continue;
        tile.gather(cur, stride, line.base + std::size_t(t0), n, q);
        for (int k = 0; k < n; ++k) {
            if (!(flag[k] & MixtureLayout::Kernel))
                continue;
            const std::size_t s = line.base + std::size_t(t0 + k);
            double current[N * Lattice::MaxQ];
            const double *values[N];
            tile.site(k, q, current, values);
            const double density[N] = {tile.density[0][k], tile.density[1][k]};
            double result[N * Lattice::MaxQ];
            BaseCell *scratch[Lattice::MaxQ];
            static_cast<MCCell *>(cells[s])->collide(params, neighbourRow(s, scratch), grid, positionOf(t0 + k), values,
                                                     density, result);
            for (int j = 0; j < N; ++j)
                for (int i = 0; i < q; ++i)
                    out[j][i][k] = result[j * q + i];
        }
        // Direction by direction: to the neighbour, back into the site's own
        // opposite entry at a plain wall, or out of the box.
        for (int i = 0; i < q; ++i) {
            const std::uint32_t bit = 1u << i;
            const std::size_t own = std::size_t(Lattice::tables.opp[q][i]) * stride + line.base + std::size_t(t0);
            for (int k = 0; k < n; ++k) {
                if (!(flag[k] & MixtureLayout::Kernel))
                    continue;
                std::size_t t;
                if (flag[k] & bit) {
                    t = own + std::size_t(k);
                } else {
                    if (line.outside & bit) {
                        MCCell::warnMissingNeighbour(i);
                        continue;
                    }
                    int target = t0 + k + line.along[i];
                    if (target < 0 || target >= length) {
                        if (!line.wraps) {
                            MCCell::warnMissingNeighbour(i);
                            continue;
                        }
                        target = target < 0 ? length - 1 : 0;
                    }
                    t = std::size_t(i) * stride + line.targetBase[i] + std::size_t(target);
                }
                for (int j = 0; j < N; ++j)
                    next[j][t] = out[j][i][k];
            }
        }
    }
}

// The commit statistics of the n sites of a line's tile from first (at
// most MixtureTile::Sites), as an attached mixture's computeDeltaP and its
// density after the commit give them: the mean over the components of
// their mean change |next - current|, and the mean of their next densities.
inline void mixtureStatistics(const Line &line, std::size_t first, int n, int q, double *deltaP, double *density)
{
    constexpr int N = MixtureLayout::Components;
    constexpr int Sites = MixtureTile::Sites;
    const double *const cur[N] = {line.cur, line.scalarCur};
    const double *const next[N] = {line.next, line.scalarNext};
    double change[N][Sites], total[N][Sites];
    for (int j = 0; j < N; ++j) {
        for (int k = 0; k < n; ++k)
            change[j][k] = total[j][k] = 0.0;
        for (int i = 0; i < q; ++i) {
            const double *__restrict a = next[j] + std::size_t(i) * line.stride + first;
            const double *__restrict b = cur[j] + std::size_t(i) * line.stride + first;
            for (int k = 0; k < n; ++k)
                change[j][k] += std::abs(a[k] - b[k]);
            if (Lattice::tables.w[q][i] > Lattice::ActiveWeight)
                for (int k = 0; k < n; ++k)
                    total[j][k] += a[k];
        }
    }
    for (int k = 0; k < n; ++k) {
        double c = 0.0, r = 0.0;
        for (int j = 0; j < N; ++j) {
            c += change[j][k] / q;
            r += total[j][k];
        }
        deltaP[k] = c / N;
        density[k] = r / N;
    }
}

} // namespace LineKernels
