#pragma once

#include "lattice.h"
#include "linekernels.h"
#include "multi/mixturelayout.h"
#include "multi/rkcell.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The collision and streaming of a line of attached colour-gradient cells
// (a row in 2D, a column of z in 3D). The red values are line.cur and
// line.next, the blue ones line.scalarCur and line.scalarNext (the grid's
// mixture stores). For every site flagged ColourKernel the colour gradient
// is summed from the phase field at the neighbours' sites (the directions
// that hit a plain wall or leave the box have no colour neighbour), the
// cells' own collision (collideColourTile, for a tile of sites at once)
// gives the values from the red and blue ones, which are pushed at fixed
// offsets: to the neighbour's entry, into the site's own opposite entry for
// a plain wall that sends them back, or dropped outside the box, as the
// per-site path drops them. No neighbour cell is read.
//
// The collision is compiled into every instruction set's kernels as well as
// into the cell, which collides its own site through it: the functions have
// internal linkage, so no build's code is shared with another's, and
// without fused multiply-add every build rounds alike.
namespace LineKernels {

// Collides and pushes the sites flagged ColourKernel in a line of attached
// colour-gradient cells, the gradient read from the phase field.
using ColourGradientFunction = void (*)(const Line &line, const std::uint32_t *flags, const double *phase, int q,
                                        const RKCell::Collision &c);
// The kernel of each instruction set (defined beside its Set).
extern const ColourGradientFunction baselineSetColourGradient, avx2SetColourGradient, avx512SetColourGradient;
// The kernel of a vector level, as kernels(level) chooses the set.
inline ColourGradientFunction colourGradientKernel(int level)
{
    const Set &set = kernels(level);
    return &set == &avx512Set ? avx512SetColourGradient : &set == &avx2Set ? avx2SetColourGradient
                                                                           : baselineSetColourGradient;
}

namespace {

// a where every bit of mask is set, c where none is: both are formed and one
// is kept bit for bit, which the compiler vectorises where a branch between
// floating-point results would stop it.
[[gnu::always_inline]] inline double chooseBits(std::uint64_t mask, double a, double c)
{
    std::uint64_t ia, ic;
    std::memcpy(&ia, &a, sizeof ia);
    std::memcpy(&ic, &c, sizeof ic);
    const std::uint64_t bits = (ia & mask) | (ic & ~mask);
    double out;
    std::memcpy(&out, &bits, sizeof out);
    return out;
}

constexpr std::uint64_t AllBits = ~std::uint64_t(0);

// The moments of n sites of model q from their red and blue values (of
// direction i of site k at red[i * stride + k]): the red and blue densities
// and the momentum of both, summed over the active directions in order.
inline void colourMoments(int q, int n, std::size_t stride, const double *red, const double *blue,
                          double *__restrict rhoR, double *__restrict rhoB, double *__restrict mx,
                          double *__restrict my, double *__restrict mz)
{
    for (int k = 0; k < n; ++k)
        rhoR[k] = rhoB[k] = mx[k] = my[k] = mz[k] = 0.0;
    for (int i = 0; i < q; ++i) {
        if (Lattice::tables.w[q][i] <= Lattice::ActiveWeight)
            continue;
        const int *e = Lattice::tables.e[q][i];
        const double ex = e[0], ey = e[1], ez = e[2];
        const double *__restrict r = red + std::size_t(i) * stride;
        const double *__restrict b = blue + std::size_t(i) * stride;
        for (int k = 0; k < n; ++k) {
            const double sum = r[k] + b[k];
            rhoR[k] += r[k];
            rhoB[k] += b[k];
            mx[k] += ex * sum;
            my[k] += ey * sum;
            mz[k] += ez * sum;
        }
    }
}

// What each site of a tile shares over the directions of its collision;
// sorted is AllBits where the site sorts its colours along the gradient.
struct ColourSites
{
    double rho[RKCell::TileSites], ux[RKCell::TileSites], uy[RKCell::TileSites], uz[RKCell::TileSites],
        uu[RKCell::TileSites], gg[RKCell::TileSites], redShare[RKCell::TileSites], blueShare[RKCell::TileSites],
        mixing[RKCell::TileSites];
    std::uint64_t sorted[RKCell::TileSites];
};

// The values n sites stream in direction i, with the equilibrium of the
// given order formed as SCCell::equilibriumOf forms it, then perturbed along
// the colour gradient and recoloured.
template <int Order>
[[gnu::always_inline]] inline void colourDirection(int n, int q, int i, const RKCell::Collision &c, const ColourSites &s,
                                                   const double *__restrict gx, const double *__restrict gy,
                                                   const double *__restrict gz, const double *__restrict r,
                                                   const double *__restrict b, double *__restrict outR,
                                                   double *__restrict outB)
{
    const int *e = Lattice::tables.e[q][i];
    const double w = Lattice::tables.w[q][i];
    const double ee = double(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
    const double eeShare = ee / (q == 9 ? 2.0 : 3.0), root = std::sqrt(ee);
    const double keep = 1.0 - 1.0 / c.tau, omega = 1.0 / c.tau, amplitude = c.amplitude;
    const std::uint64_t active = w > Lattice::ActiveWeight ? AllBits : 0, cosine = ee > 0.0 ? AllBits : 0;
    const double e0 = e[0], e1 = e[1], e2 = e[2];
    const double *__restrict ux = s.ux, *__restrict uy = s.uy, *__restrict uz = s.uz, *__restrict rho = s.rho,
                             *__restrict uu = s.uu, *__restrict ggs = s.gg, *__restrict mixing = s.mixing,
                             *__restrict redShare = s.redShare, *__restrict blueShare = s.blueShare;
    const std::uint64_t *__restrict sorted = s.sorted;
    for (int k = 0; k < n; ++k) {
        const double v = e0 * ux[k] + e1 * uy[k] + e2 * uz[k];
        double factor = 1.0;
        if (Order > 0)
            factor = 3.0 * v + 1.0;
        if (Order > 1)
            factor = 4.5 * v * v - 1.5 * uu[k] + factor;
        const double feq = chooseBits(active, rho[k] * w * factor, 0.0);
        const double post = (r[k] + b[k]) * keep + omega * feq;
        // The perturbation along the colour gradient and the recolouring.
        const double gg = ggs[k];
        const double eg = e0 * gx[k] + e1 * gy[k] + e2 * gz[k];
        const double perturbed = post + amplitude * gg * w * (eg * eg / (gg * gg) - eeShare);
        const double cosPhi = chooseBits(cosine, eg / (gg * root), 0.0);
        const double h = mixing[k] * w * cosPhi;
        outR[k] = chooseBits(sorted[k], redShare[k] * perturbed + h, redShare[k] * post);
        outB[k] = chooseBits(sorted[k], blueShare[k] * perturbed - h, blueShare[k] * post);
    }
}

// The collision of n sites of model q at once (see RKCell::collideSites):
// from the current red and blue values of direction i of site k at
// red[i * stride + k] and blue[i * stride + k] and the colour gradient
// (gx[k], gy[k], gz[k]), the values site k streams in direction i, into
// outRed[i * TileSites + k] and outBlue[i * TileSites + k]. Direction by
// direction over the sites, so the compiler vectorises it; each site's
// arithmetic is that of one site alone.
inline void collideColourTile(int q, int n, std::size_t stride, const double *red, const double *blue,
                              const double *__restrict gx, const double *__restrict gy, const double *__restrict gz,
                              double *outRed, double *outBlue, const RKCell::Collision &c)
{
    constexpr int Sites = RKCell::TileSites;
    double rhoR[Sites], rhoB[Sites], mx[Sites], my[Sites], mz[Sites];
    colourMoments(q, n, stride, red, blue, rhoR, rhoB, mx, my, mz);
    ColourSites s;
    const double beta = c.beta;
    for (int k = 0; k < n; ++k) {
        s.rho[k] = rhoR[k] + rhoB[k];
        const bool some = s.rho[k] > Lattice::ActiveWeight;
        const double inverse = 1.0 / s.rho[k];
        s.ux[k] = some ? mx[k] * inverse : 0.0;
        s.uy[k] = some ? my[k] * inverse : 0.0;
        s.uz[k] = some ? mz[k] * inverse : 0.0;
        s.uu[k] = s.ux[k] * s.ux[k] + s.uy[k] * s.uy[k] + s.uz[k] * s.uz[k];
        s.gg[k] = std::sqrt(gx[k] * gx[k] + gy[k] * gy[k] + gz[k] * gz[k]);
        s.sorted[k] = s.gg[k] > 1e-10 && some ? AllBits : 0;
        s.redShare[k] = some ? rhoR[k] / s.rho[k] : 0.0;
        s.blueShare[k] = some ? rhoB[k] / s.rho[k] : 0.0;
        s.mixing[k] = some ? beta * rhoR[k] * rhoB[k] / s.rho[k] : 0.0;
    }
    for (int i = 0; i < q; ++i) {
        const double *r = red + std::size_t(i) * stride, *b = blue + std::size_t(i) * stride;
        double *outR = outRed + std::size_t(i) * Sites, *outB = outBlue + std::size_t(i) * Sites;
        if (c.order > 1)
            colourDirection<2>(n, q, i, c, s, gx, gy, gz, r, b, outR, outB);
        else if (c.order > 0)
            colourDirection<1>(n, q, i, c, s, gx, gy, gz, r, b, outR, outB);
        else
            colourDirection<0>(n, q, i, c, s, gx, gy, gz, r, b, outR, outB);
    }
}

// The colour gradients of the n sites of a line's tile from its site t0,
// direction after direction as a site sums its own. A direction without a
// colour neighbour adds zero, which leaves the sum as it is (it is never
// -0). The sites whose neighbour lies along the line without wrapping read
// the phase field at a fixed offset; the line's end sites ask lineNeighbour.
inline void colourGradients(const Line &line, const std::uint32_t *__restrict flag, const double *__restrict phase,
                            int t0, int n, int q, double *__restrict gx, double *__restrict gy,
                            double *__restrict gz)
{
    for (int k = 0; k < n; ++k)
        gx[k] = gy[k] = gz[k] = 0.0;
    for (int i = 1; i < q; ++i) {
        const int *e = Lattice::tables.e[q][i];
        const double ex = e[0], ey = e[1], ez = e[2];
        const std::uint32_t bit = 1u << i;
        const int along = line.along[i];
        const int lo = t0 + along < 0 ? 1 : 0;
        const int hi = t0 + n - 1 + along >= line.length ? n - 1 : n;
        if (!(line.outside & bit)) {
            const double *__restrict at =
                phase + (std::ptrdiff_t(line.targetBase[i]) + std::ptrdiff_t(t0) + std::ptrdiff_t(along));
            for (int k = lo; k < hi; ++k) {
                const double d = (flag[k] & bit) ? 0.0 : at[k];
                gx[k] += ex * d;
                gy[k] += ey * d;
                gz[k] += ez * d;
            }
        }
        // At most one end site (along is -1, 0 or 1).
        if (lo > 0 || hi < n) {
            const int k = lo > 0 ? 0 : n - 1;
            const std::ptrdiff_t t = (flag[k] & bit) ? -1 : lineNeighbour(line, i, t0 + k);
            const double d = t < 0 ? 0.0 : phase[t];
            gx[k] += ex * d;
            gy[k] += ey * d;
            gz[k] += ez * d;
        }
    }
}

// The push of the red and blue values of the n sites of a line's tile from
// its site t0 (out[colour][i * TileSites + k]) for the sites flagged
// ColourKernel, as pushTile pushes a mixture tile: to the neighbour's entry,
// back into the site's own opposite entry at a plain wall (the direction's
// bit in the flag), or nowhere without a neighbour. The sites whose neighbour
// lies along the line without wrapping are written at a fixed offset under
// a mask, which the compiler vectorises; no two stores meet, so their order
// does not matter.
inline void pushColourTile(const Line &line, const std::uint32_t *__restrict flag, int t0, int n, int q,
                           const double (*out)[Lattice::MaxQ * RKCell::TileSites])
{
    constexpr int Sites = RKCell::TileSites;
    constexpr std::uint32_t kernel = MixtureLayout::ColourKernel;
    const std::size_t stride = line.stride;
    for (int i = 0; i < q; ++i) {
        const std::uint32_t bit = 1u << i;
        const double *__restrict red = out[0] + i * Sites;
        const double *__restrict blue = out[1] + i * Sites;
        const int along = line.along[i];
        const int lo = t0 + along < 0 ? 1 : 0;
        const int hi = t0 + n - 1 + along >= line.length ? n - 1 : n;
        if (!(line.outside & bit)) {
            const std::ptrdiff_t at = std::ptrdiff_t(std::size_t(i) * stride + line.targetBase[i]) +
                                      std::ptrdiff_t(t0) + std::ptrdiff_t(along);
            double *__restrict nextRed = line.next + at;
            double *__restrict nextBlue = line.scalarNext + at;
            for (int k = lo; k < hi; ++k)
                if ((flag[k] & (kernel | bit)) == kernel) {
                    nextRed[k] = red[k];
                    nextBlue[k] = blue[k];
                }
        }
        // At most one end site (along is -1, 0 or 1).
        if (lo > 0 || hi < n) {
            const int k = lo > 0 ? 0 : n - 1;
            const std::ptrdiff_t target = lineNeighbour(line, i, t0 + k);
            if ((flag[k] & (kernel | bit)) == kernel && target >= 0) {
                line.next[std::size_t(i) * stride + std::size_t(target)] = red[k];
                line.scalarNext[std::size_t(i) * stride + std::size_t(target)] = blue[k];
            }
        }
        const std::size_t own = std::size_t(Lattice::tables.opp[q][i]) * stride + line.base + std::size_t(t0);
        double *__restrict ownRed = line.next + own;
        double *__restrict ownBlue = line.scalarNext + own;
        for (int k = 0; k < n; ++k)
            if ((flag[k] & (kernel | bit)) == (kernel | bit)) {
                ownRed[k] = red[k];
                ownBlue[k] = blue[k];
            }
    }
}

inline void collideColourLine(const Line &line, const std::uint32_t *flags, const double *phase, int q,
                              const RKCell::Collision &c)
{
    constexpr int N = MixtureLayout::Components;
    constexpr int Sites = RKCell::TileSites;
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
        colourGradients(line, flag, phase, t0, n, q, gx, gy, gz);
        collideColourTile(q, n, stride, line.cur + line.base + std::size_t(t0),
                          line.scalarCur + line.base + std::size_t(t0), gx, gy, gz, out[0], out[1], c);
        pushColourTile(line, flag, t0, n, q, out);
    }
}

// The commit of the n sites of a line's tile from first (at most
// RKCell::TileSites): deltaP as an attached colour cell's computeDeltaP
// gives it (the mean change |red + blue next - red - blue| over the
// directions), and the colour densities and momentum of the next values,
// which the cells take as their own after the commit (their densities'
// sum is the next density). Without deltaP (a step whose figures nobody
// reads) the current values are not read.
inline void colourStatistics(const Line &line, std::size_t first, int n, int q, double *__restrict deltaP,
                             double *red, double *blue, double *mx, double *my, double *mz)
{
    constexpr int Sites = RKCell::TileSites;
    double change[Sites];
    for (int k = 0; k < n && deltaP; ++k)
        change[k] = 0.0;
    for (int i = 0; i < q && deltaP; ++i) {
        const std::size_t at = std::size_t(i) * line.stride + first;
        const double *__restrict r = line.cur + at;
        const double *__restrict rn = line.next + at;
        const double *__restrict b = line.scalarCur + at;
        const double *__restrict bn = line.scalarNext + at;
        for (int k = 0; k < n; ++k)
            change[k] += std::abs(rn[k] + bn[k] - r[k] - b[k]);
    }
    for (int k = 0; k < n && deltaP; ++k)
        deltaP[k] = change[k] / q;
    colourMoments(q, n, line.stride, line.next + first, line.scalarNext + first, red, blue, mx, my, mz);
}

} // namespace

} // namespace LineKernels
