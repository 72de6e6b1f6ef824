#pragma once

#include "lattice.h"
#include "linekernels.h"
#include "linekernels_mixture.h"
#include "multi/mixturelayout.h"
#include "multi/rkcell.h"
#include "vector3d.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

// The collision and streaming of a line of attached colour-gradient cells
// (a row in 2D, a column of z in 3D). The red values are line.cur and
// line.next, the blue ones line.scalarCur and line.scalarNext (the grid's
// mixture stores). For every site flagged ColourKernel the colour gradient
// is summed from the phase field at the neighbours' sites (the directions
// that hit a plain wall or leave the box have no colour neighbour), the
// red and blue values are read at the site and the cell's own
// collision (RKCell::collide) gives the values, which are pushed at fixed
// offsets: to the neighbour's entry, into the site's own opposite entry for
// a plain wall that sends them back, or dropped outside the box, as the
// per-site path drops them. No neighbour cell is read.
namespace LineKernels {

struct ColourConstants
{
    double tau, amplitude, beta;
    int order;
};

inline void collideColours(const Line &line, const std::uint32_t *flags, BaseCell *const *cells,
                           const double *phase, int q, const ColourConstants &c)
{
    constexpr int N = MixtureLayout::Components;
    constexpr int Sites = MixtureTile::Sites;
    const std::size_t stride = line.stride;
    const double *const cur[N] = {line.cur, line.scalarCur};
    double *const next[N] = {line.next, line.scalarNext};
    const int length = line.length;
    double out[N][Lattice::MaxQ][Sites];
    // The site of the neighbour in direction i of site k of the line, or -1
    // where there is none (outside the box).
    auto neighbourOf = [&](int i, int k) -> std::ptrdiff_t {
        if (line.outside & (1u << i))
            return -1;
        int target = k + line.along[i];
        if (target < 0 || target >= length) {
            if (!line.wraps)
                return -1;
            target = target < 0 ? length - 1 : 0;
        }
        return std::ptrdiff_t(line.targetBase[i]) + target;
    };
    for (int t0 = 0; t0 < length; t0 += Sites) {
        const int n = length - t0 < Sites ? length - t0 : Sites;
        const std::uint32_t *flag = flags + line.base + std::size_t(t0);
        bool any = false;
        for (int k = 0; k < n; ++k)
            any = any || (flag[k] & MixtureLayout::ColourKernel);
        if (!any)
            continue;
        for (int k = 0; k < n; ++k) {
            if (!(flag[k] & MixtureLayout::ColourKernel))
                continue;
            Vector3d g;
            for (int i = 1; i < q; ++i) {
                if (flag[k] & (1u << i))
                    continue;
                const std::ptrdiff_t t = neighbourOf(i, t0 + k);
                if (t < 0)
                    continue;
                const int *e = Lattice::tables.e[q][i];
                const double d = phase[t];
                g += Vector3d(e[0] * d, e[1] * d, e[2] * d);
            }
            // The site's values, read where they lie: the lines of a
            // tile's sites stay in the cache from one site to the next.
            const std::size_t s = line.base + std::size_t(t0 + k);
            double red[Lattice::MaxQ], blue[Lattice::MaxQ], outRed[Lattice::MaxQ], outBlue[Lattice::MaxQ];
            for (int i = 0; i < q; ++i) {
                red[i] = cur[0][std::size_t(i) * stride + s];
                blue[i] = cur[1][std::size_t(i) * stride + s];
            }
            static_cast<const RKCell *>(cells[s])->collide(red, blue, g, c.tau, c.amplitude, c.beta, c.order, outRed,
                                                          outBlue);
            for (int i = 0; i < q; ++i) {
                out[0][i][k] = outRed[i];
                out[1][i][k] = outBlue[i];
            }
        }
        // Direction by direction: to the neighbour, back into the site's own
        // opposite entry at a plain wall, or out of the box.
        for (int i = 0; i < q; ++i) {
            const std::uint32_t bit = 1u << i;
            const std::size_t own = std::size_t(Lattice::tables.opp[q][i]) * stride + line.base + std::size_t(t0);
            for (int k = 0; k < n; ++k) {
                if (!(flag[k] & MixtureLayout::ColourKernel))
                    continue;
                std::size_t t;
                if (flag[k] & bit) {
                    t = own + std::size_t(k);
                } else {
                    const std::ptrdiff_t target = neighbourOf(i, t0 + k);
                    if (target < 0)
                        continue;
                    t = std::size_t(i) * stride + std::size_t(target);
                }
                for (int j = 0; j < N; ++j)
                    next[j][t] = out[j][i][k];
            }
        }
    }
}

// The commit statistics of the n sites of a line's tile from first (at most
// MixtureTile::Sites), as an attached colour cell's computeDeltaP and
// nextDensity give them: the mean change |red + blue next - red - blue| over
// the directions, and the next density.
inline void colourStatistics(const Line &line, std::size_t first, int n, int q, double *deltaP, double *density)
{
    constexpr int Sites = MixtureTile::Sites;
    double change[Sites], red[Sites], blue[Sites];
    for (int k = 0; k < n; ++k)
        change[k] = red[k] = blue[k] = 0.0;
    for (int i = 0; i < q; ++i) {
        const std::size_t at = std::size_t(i) * line.stride + first;
        const double *__restrict r = line.cur + at;
        const double *__restrict rn = line.next + at;
        const double *__restrict b = line.scalarCur + at;
        const double *__restrict bn = line.scalarNext + at;
        for (int k = 0; k < n; ++k)
            change[k] += std::abs(rn[k] + bn[k] - r[k] - b[k]);
        if (Lattice::tables.w[q][i] > Lattice::ActiveWeight)
            for (int k = 0; k < n; ++k) {
                red[k] += rn[k];
                blue[k] += bn[k];
            }
    }
    for (int k = 0; k < n; ++k) {
        deltaP[k] = change[k] / q;
        density[k] = red[k] + blue[k];
    }
}

// The moments of the committed values (line.cur and line.scalarCur after the
// flip) of the n sites of a line's tile from first, as an attached colour
// cell forms them: the red and blue densities and the momentum of both,
// summed over the active directions in order.
inline void colourMoments(const Line &line, std::size_t first, int n, int q, double *red, double *blue,
                          double *mx, double *my, double *mz)
{
    for (int k = 0; k < n; ++k)
        red[k] = blue[k] = mx[k] = my[k] = mz[k] = 0.0;
    for (int i = 0; i < q; ++i) {
        if (Lattice::tables.w[q][i] <= Lattice::ActiveWeight)
            continue;
        const int *e = Lattice::tables.e[q][i];
        const std::size_t at = std::size_t(i) * line.stride + first;
        const double *__restrict r = line.cur + at;
        const double *__restrict b = line.scalarCur + at;
        for (int k = 0; k < n; ++k) {
            const double sum = r[k] + b[k];
            red[k] += r[k];
            blue[k] += b[k];
            mx[k] += e[0] * sum;
            my[k] += e[1] * sum;
            mz[k] += e[2] * sum;
        }
    }
}

} // namespace LineKernels
