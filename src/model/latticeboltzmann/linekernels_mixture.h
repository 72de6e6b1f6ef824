#pragma once

#include "lattice.h"
#include "linekernels.h"
#include "multi/componentfield.h"
#include "multi/mccell.h"
#include "multi/mixturelayout.h"
#include "vector3i.h"

#include <algorithm>
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
// the box. No neighbour cell is read. With constants given (two components,
// no body force) a tile collides direction by direction
// (collideMixtureTile); otherwise each site through MCCell::collide, for
// which neighbourRow(s, scratch) gives the site's neighbours (for the
// forces) and positionOf(k) its position.
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

// The push of both components' values of the n sites of a line's tile from
// its site t0 (out[j][i * MixtureTile::Sites + k]: component j, direction i,
// site k of the tile), for the sites whose flag has kernel: direction by
// direction, to the neighbour's entry, back into the site's own opposite
// entry at a plain wall (the direction's bit in the flag), or, with no
// neighbour, to nowhere after missing(i) is told.
template <typename Missing>
inline void pushTile(const Line &line, const std::uint32_t *flag, std::uint32_t kernel, int t0, int n, int q,
                     const double (*out)[Lattice::MaxQ * MixtureTile::Sites], Missing missing)
{
    constexpr int N = MixtureLayout::Components;
    constexpr int Sites = MixtureTile::Sites;
    const std::size_t stride = line.stride;
    double *const next[N] = {line.next, line.scalarNext};
    // Whether every site of the tile has kernel, and the directions in
    // which any of them sends back at a wall.
    bool all = true;
    std::uint32_t bounces = 0;
    for (int k = 0; k < n; ++k) {
        all = all && (flag[k] & kernel);
        bounces |= flag[k];
    }
    for (int i = 0; i < q; ++i) {
        const std::uint32_t bit = 1u << i;
        const std::size_t own = std::size_t(Lattice::tables.opp[q][i]) * stride + line.base + std::size_t(t0);
        auto pushSite = [&](int k) {
            if (!(flag[k] & kernel))
                return;
            std::size_t t;
            if (flag[k] & bit) {
                t = own + std::size_t(k);
            } else {
                const std::ptrdiff_t target = lineNeighbour(line, i, t0 + k);
                if (target < 0) {
                    missing(i);
                    return;
                }
                t = std::size_t(i) * stride + std::size_t(target);
            }
            for (int j = 0; j < N; ++j)
                next[j][t] = out[j][i * Sites + k];
        };
        // A tile of kernel sites none of which sends back in direction i:
        // the sites whose neighbour lies along the line without wrapping
        // push to consecutive entries; the others one by one.
        int lo = n, hi = n;
        if (all && !(bounces & bit) && !(line.outside & bit)) {
            lo = std::max(0, -line.along[i] - t0);
            hi = std::max(lo, std::min(n, line.length - line.along[i] - t0));
            const std::size_t first =
                std::size_t(i) * stride + line.targetBase[i] + std::size_t(t0 + line.along[i] + lo);
            for (int j = 0; j < N; ++j) {
                double *__restrict dst = next[j] + first;
                const double *__restrict src = out[j] + i * Sites + lo;
                for (int k = 0; k < hi - lo; ++k)
                    dst[k] = src[k];
            }
        }
        for (int k = 0; k < lo; ++k)
            pushSite(k);
        for (int k = hi; k < n; ++k)
            pushSite(k);
    }
}

// What the collision of a tile of two-component mixtures reads besides the
// populations: the relaxation times, the interaction strengths (between the
// components, and of each with the walls), the solid density of porous
// mixtures and the component field holding every site's densities; the
// layout whose state arrays hold each site's common velocity and take the
// shifts and forces of its collision.
struct MixtureConstants
{
    double tau[MixtureLayout::Components];
    double g;
    double gads[MixtureLayout::Components];
    double solidDensity;
    const ComponentField *field;
    MixtureLayout *layout;
};

// The collision of the sites flagged Kernel among the n sites of a line's
// tile from its site t0, direction by direction, into out[j][i * Sites + k],
// for two components with no body force: the operations of MCCell::collide
// with the interaction of MultiComponent::fieldForces, site after site in the
// same order, so the values are the same bits. The neighbours' densities are
// read from the component field at the sites lineNeighbour gives (none
// outside a closed box). The layout's state arrays keep the shifts and
// forces of each site's collision, as collide leaves them.
inline void collideMixtureTile(const Line &line, const std::uint32_t *flag, int t0, int n, int q,
                               const MixtureTile &tile, const MixtureConstants &c,
                               double (*out)[Lattice::MaxQ * MixtureTile::Sites])
{
    constexpr int N = MixtureLayout::Components;
    constexpr int Sites = MixtureTile::Sites;
    const ComponentField &field = *c.field;
    // The sums of the interaction: per component, the other component's
    // neighbour densities weighed along the directions; the walls' adhesion.
    // The interaction weighs by each site's own densities in the field.
    double ix[N][Sites], iy[N][Sites], iz[N][Sites], ax[Sites], ay[Sites], az[Sites], own[N][Sites];
    bool interacts[N][Sites];
    for (int k = 0; k < n; ++k) {
        for (int j = 0; j < N; ++j) {
            ix[j][k] = iy[j][k] = iz[j][k] = 0.0;
            own[j][k] = field.density(j, line.base + std::size_t(t0 + k));
            interacts[j][k] = own[j][k] > 0.001 && std::abs(c.g) > 0.001;
        }
        ax[k] = ay[k] = az[k] = 0.0;
    }
    for (int i = 1; i < q; ++i) {
        const double w = Lattice::tables.w[q][i];
        const int *e = Lattice::tables.e[q][i];
        const double ex = e[0], ey = e[1], ez = e[2];
        for (int k = 0; k < n; ++k) {
            if (!(flag[k] & MixtureLayout::Kernel))
                continue;
            const std::ptrdiff_t t = lineNeighbour(line, i, t0 + k);
            if (t < 0)
                continue;
            const ComponentField::Kind kind = field.kind(std::size_t(t));
            const bool porous = kind == ComponentField::PorousMixture;
            const double solid = porous ? c.solidDensity : 1.0;
            const double scale = solid > 0.0 ? solid : 1.0;
            // Only a porous neighbour's densities are scaled (a quotient by
            // 1 would give the same bits at the price of a division).
            const double d0 = field.density(0, std::size_t(t)), d1 = field.density(1, std::size_t(t));
            const double density[N] = {porous ? d0 / scale : d0, porous ? d1 / scale : d1};
            for (int j = 0; j < N; ++j) {
                if (!interacts[j][k])
                    continue;
                double others = 0.0;
                others += density[1 - j];
                const double f = w * others;
                ix[j][k] += ex * f;
                iy[j][k] += ey * f;
                iz[j][k] += ez * f;
            }
            if (porous || kind == ComponentField::Wall) {
                const double f = solid * w;
                ax[k] += ex * f;
                ay[k] += ey * f;
                az[k] += ez * f;
            }
        }
    }
    // Per site and component: the velocity of the equilibrium and its
    // square, the share of the old value kept and the inverse of tau.
    double vx[N][Sites], vy[N][Sites], vz[N][Sites], uu[N][Sites], keep[N], rho[N][Sites];
    for (int j = 0; j < N; ++j)
        keep[j] = 1.0 - 1.0 / c.tau[j];
    MixtureLayout &layout = *c.layout;
    for (int k = 0; k < n; ++k) {
        if (!(flag[k] & MixtureLayout::Kernel))
            continue;
        const std::size_t s = line.base + std::size_t(t0 + k);
        const Vector3d common = layout.stateVector(MixtureLayout::Common, s);
        const Vector3d adhesion(ax[k], ay[k], az[k]);
        for (int j = 0; j < N; ++j) {
            Vector3d shift, force;
            const double r = tile.density[j][k];
            rho[j][k] = r;
            if (r > 0.001) {
                const double m = own[j][k];
                const Vector3d between =
                    Vector3d(ix[j][k], iy[j][k], iz[j][k]) * (-m * c.g) + adhesion * (-m * c.gads[j]);
                shift = between * (c.tau[j] / r);
                force = between;
            }
            layout.setStateVector(MixtureLayout::Shift + 3 * j, s, shift);
            layout.setStateVector(MixtureLayout::Force + 3 * j, s, force);
            layout.state(MixtureLayout::Tau + j)[s] = c.tau[j];
            const Vector3d v = common + shift;
            vx[j][k] = v.x;
            vy[j][k] = v.y;
            vz[j][k] = v.z;
            uu[j][k] = v.dot(v);
        }
    }
    for (int i = 0; i < q; ++i) {
        const double w = Lattice::tables.w[q][i];
        const int *e = Lattice::tables.e[q][i];
        for (int j = 0; j < N; ++j) {
            const double *__restrict f = tile.f[j][i];
            double *__restrict o = out[j] + i * Sites;
            const double tau = c.tau[j];
            for (int k = 0; k < n; ++k) {
                double feq = 0.0;
                if (w > 1e-100) {
                    const double s = e[0] * vx[j][k] + e[1] * vy[j][k] + e[2] * vz[j][k];
                    feq = w * rho[j][k] * (1.0 + 3.0 * s + 4.5 * s * s - 1.5 * uu[j][k]);
                }
                o[k] = f[k] * keep[j] + feq / tau;
            }
        }
    }
}

template <typename Grid, typename Row, typename Position>
inline void collideMixtures(const Line &line, const std::uint32_t *flags, BaseCell *const *cells, Grid *grid,
                            double params[], const MixtureConstants *constants, Row neighbourRow, Position positionOf)
{
    constexpr int N = MixtureLayout::Components;
    constexpr int Sites = MixtureTile::Sites;
    const int q = grid->getParameters()->getModel();
    const std::size_t stride = line.stride;
    const double *const cur[N] = {line.cur, line.scalarCur};
    const int length = line.length;
    MixtureTile tile;
    double out[N][Lattice::MaxQ * Sites];
    for (int t0 = 0; t0 < length; t0 += Sites) {
        const int n = length - t0 < Sites ? length - t0 : Sites;
        const std::uint32_t *flag = flags + line.base + std::size_t(t0);
        bool any = false;
        for (int k = 0; k < n; ++k)
            any = any || (flag[k] & MixtureLayout::Kernel);
        if (!any)
            continue;
        tile.gather(cur, stride, line.base + std::size_t(t0), n, q);
        if (constants)
            collideMixtureTile(line, flag, t0, n, q, tile, *constants, out);
        for (int k = 0; k < n && !constants; ++k) {
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
                    out[j][i * Sites + k] = result[j * q + i];
        }
        pushTile(line, flag, MixtureLayout::Kernel, t0, n, q, out, [](int i) { MCCell::warnMissingNeighbour(i); });
    }
}

// What a mixture forms from its components' values after a commit: per
// component, the density (the sum of the active directions in order, as
// Lattice::moments forms it) and the first moment sum_i e_i f_i (summed in
// the order of the directions, as MCCell::recomputeCommonVelocity sums it);
// and, from the values before the commit too, the change sum_i |next -
// current| of which computeDeltaP takes the mean.
struct MixtureMoments
{
    static constexpr int N = MixtureLayout::Components;
    double density[N][MixtureTile::Sites];
    double mx[N][MixtureTile::Sites], my[N][MixtureTile::Sites], mz[N][MixtureTile::Sites];
    double change[N][MixtureTile::Sites];

    // From the values of the n sites from first (at most MixtureTile::Sites)
    // of the arrays, direction i of site s at arrays[j][i * stride + s];
    // with the values before given (same layout), the change too, in the
    // same pass over the values.
    void form(const double *const arrays[], std::size_t stride, std::size_t first, int n, int q,
              const double *const before[] = nullptr)
    {
        for (int j = 0; j < N; ++j) {
            for (int k = 0; k < n; ++k)
                density[j][k] = mx[j][k] = my[j][k] = mz[j][k] = change[j][k] = 0.0;
            for (int i = 0; i < q; ++i) {
                const int *e = Lattice::tables.e[q][i];
                const double ex = e[0], ey = e[1], ez = e[2];
                const double *__restrict f = arrays[j] + std::size_t(i) * stride + first;
                if (before) {
                    const double *__restrict b = before[j] + std::size_t(i) * stride + first;
                    for (int k = 0; k < n; ++k)
                        change[j][k] += std::abs(f[k] - b[k]);
                }
                if (Lattice::tables.w[q][i] > Lattice::ActiveWeight)
                    for (int k = 0; k < n; ++k)
                        density[j][k] += f[k];
                for (int k = 0; k < n; ++k) {
                    mx[j][k] += ex * f[k];
                    my[j][k] += ey * f[k];
                    mz[j][k] += ez * f[k];
                }
            }
        }
    }

    // The commit statistics of the n sites formed with the values before,
    // as an attached mixture's computeDeltaP and its density after the
    // commit give them: the mean over the components of their mean change,
    // and the mean of their densities.
    void statistics(int n, int q, double *deltaP, double *total) const
    {
        for (int k = 0; k < n; ++k) {
            double c = 0.0, r = 0.0;
            for (int j = 0; j < N; ++j) {
                c += change[j][k] / q;
                r += density[j][k];
            }
            deltaP[k] = c / N;
            total[k] = r / N;
        }
    }
};

} // namespace LineKernels
