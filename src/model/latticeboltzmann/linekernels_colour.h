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
// cells' own collision (RKCell::collideSites, for a tile of sites at once)
// gives the values from the red and blue ones, which are pushed at fixed
// offsets: to the neighbour's entry, into the site's own opposite entry for
// a plain wall that sends them back, or dropped outside the box, as the
// per-site path drops them. No neighbour cell is read.
namespace LineKernels {

inline void collideColours(const Line &line, const std::uint32_t *flags, const double *phase, int q,
                           const RKCell::Collision &c)
{
    constexpr int N = MixtureLayout::Components;
    constexpr int Sites = RKCell::TileSites;
    static_assert(Sites == MixtureTile::Sites, "the colour tile is pushed as a mixture tile");
    const std::size_t stride = line.stride;
    const int length = line.length;
    double out[N][Lattice::MaxQ * Sites];
    double gx[Sites], gy[Sites], gz[Sites];
    for (int t0 = 0; t0 < length; t0 += Sites) {
        const int n = length - t0 < Sites ? length - t0 : Sites;
        const std::uint32_t *flag = flags + line.base + std::size_t(t0);
        bool any = false;
        for (int k = 0; k < n; ++k)
            any = any || (flag[k] & MixtureLayout::ColourKernel);
        if (!any)
            continue;
        // The colour gradients, direction after direction as a site sums
        // its own. A direction without a colour neighbour adds zero, which
        // leaves the sum as it is (it is never -0).
        for (int k = 0; k < n; ++k)
            gx[k] = gy[k] = gz[k] = 0.0;
        for (int i = 1; i < q; ++i) {
            const int *e = Lattice::tables.e[q][i];
            const std::uint32_t bit = 1u << i;
            for (int k = 0; k < n; ++k) {
                const std::ptrdiff_t t = (flag[k] & bit) ? -1 : lineNeighbour(line, i, t0 + k);
                const double d = t < 0 ? 0.0 : phase[t];
                gx[k] += e[0] * d;
                gy[k] += e[1] * d;
                gz[k] += e[2] * d;
            }
        }
        RKCell::collideSites(q, n, stride, line.cur + line.base + std::size_t(t0),
                             line.scalarCur + line.base + std::size_t(t0), gx, gy, gz, out[0], out[1], c);
        // A value without a neighbour is dropped, as the per-site path drops it.
        pushTile(line, flag, MixtureLayout::ColourKernel, t0, n, q, out, [](int) {});
    }
}

// The commit statistics of the n sites of a line's tile from first (at most
// RKCell::TileSites), as an attached colour cell's computeDeltaP and
// nextDensity give them: the mean change |red + blue next - red - blue| over
// the directions, and the next density.
inline void colourStatistics(const Line &line, std::size_t first, int n, int q, double *deltaP, double *density)
{
    constexpr int Sites = RKCell::TileSites;
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

} // namespace LineKernels
