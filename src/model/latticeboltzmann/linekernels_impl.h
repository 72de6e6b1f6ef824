// The line kernels, compiled once per instruction set by the
// linekernels_*.cpp files (each defines KERNEL_SET to the name of its set and
// KERNEL_SINGLE_PASS_FROM_Q to the least Q that runs the single-pass kernel).
// Everything here has internal linkage, so no build's code is shared with
// another's.
#include "lattice.h"
#include "linekernels.h"
#include "linekernels_colour.h"
#include "porous/inversecuberoot.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace {

using LineKernels::Line;

// Sites per tile: the moments of a tile stay in the first-level cache.
constexpr int Tile = 256;

// |v| as std::abs gives it (the sign bit cleared), without a library call.
inline double absolute(double v)
{
    return __builtin_fabs(v);
}

// A velocity component from the momentum sum and 1 / rho as the per-cell
// collision forms it: zero where the density is too small, and U = u + 0
// with a zero force shift.
inline double velocityComponent(double momentum, double inv, bool massive)
{
    return (massive ? momentum * inv : 0.0) + 0.0;
}

// The shift of the y velocity by gravity, as the per-cell collision forms it
// from the force (0, -g rho d, 0): tau F / rho added to a zero shift, none
// where the density is too small.
inline double gravityShift(double rho, const Line &line)
{
    return rho > 0.001 ? 0.0 + line.minusG * rho * line.densityFactor * (line.tau / rho) : 0.0;
}

// The storage of the populations: doubles as they are, or floats holding
// f_i - w_i (see Populations). Every value read is formed in double (the
// float widened exactly, the weight added once) and every value written is
// rounded once to the storage, so the arithmetic between is the same in
// both and a build of either precision rounds like its per-cell code.
template <typename T> inline const T *curOf(const Line &line);
template <> inline const double *curOf<double>(const Line &line)
{
    return line.cur;
}
template <> inline const float *curOf<float>(const Line &line)
{
    return line.curSingle;
}
template <typename T> inline T *nextOf(const Line &line);
template <> inline double *nextOf<double>(const Line &line)
{
    return line.next;
}
template <> inline float *nextOf<float>(const Line &line)
{
    return line.nextSingle;
}
inline double loaded(double v, double)
{
    return v;
}
inline double loaded(float v, double w)
{
    return double(v) + w;
}
template <typename T> inline T stored(double v, double w);
template <> inline double stored<double>(double v, double)
{
    return v;
}
template <> inline float stored<float>(double v, double w)
{
    return float(v - w);
}

// The force modes of the kernels: none, gravity alone, the pseudopotential
// force from the grid's psi field (with or without gravity).
enum ForceMode { NoForce = 0, GravityForce = 1, FieldForce = 2 };

// One direction's share of the pseudopotential sums of a tile: w_I times
// the neighbour's field value added along e_I, as the per-site force adds
// e_I (w_I psi); a site whose neighbour lies outside the box adds nothing,
// and past a line end the neighbour is the other end's site when the line
// wraps. A zero component of e_I adds a signed zero to a sum that starts at
// +0, which changes nothing while every field value is finite; with
// Exact those terms are added all the same (a non-finite psi makes them NaN
// as in the per-site force).
template <int Q, int I, bool Exact>
inline void fieldDirection(const Line &line, const double *field, int t0, int n, double *__restrict sx,
                           double *__restrict sy, double *__restrict sz)
{
    if (line.outside & (1u << I))
        return;
    constexpr double ex = Lattice::tables.e[Q][I][0], ey = Lattice::tables.e[Q][I][1],
                     ez = Lattice::tables.e[Q][I][2];
    const double w = Lattice::tables.w[Q][I];
    const int a = line.along[I], length = line.length;
    const double *__restrict nb = field + line.targetBase[I] + t0 + a;
    const int k0 = (a < 0 && t0 == 0) ? 1 : 0;
    const int k1 = (a > 0 && t0 + n == length) ? n - 1 : n;
    auto add = [&](int k, double t) {
        if constexpr (Exact || ex != 0.0)
            sx[k] += ex * t;
        if constexpr (Exact || ey != 0.0)
            sy[k] += ey * t;
        if constexpr (Exact || ez != 0.0)
            sz[k] += ez * t;
    };
    for (int k = k0; k < k1; ++k)
        add(k, w * nb[k]);
    if ((k0 == 1 || k1 == n - 1) && line.wraps) {
        const int k = k0 == 1 ? 0 : n - 1;
        add(k, w * field[line.targetBase[I] + (k0 == 1 ? length - 1 : 0)]);
    }
}

template <int Q, bool Exact, std::size_t... I>
inline void fieldSums(const Line &line, const double *field, int t0, int n, double *sx, double *sy, double *sz,
                      std::index_sequence<I...>)
{
    for (int k = 0; k < n; ++k)
        sx[k] = sy[k] = sz[k] = 0.0;
    // The rest direction (I = 0) has no neighbour.
    ((I == 0 ? void() : fieldDirection<Q, int(I), Exact>(line, field, t0, n, sx, sy, sz)), ...);
}

template <int Q>
inline void fieldSumsOf(const Line &line, const double *field, int t0, int n, double *sx, double *sy, double *sz)
{
    if (line.exactZeros)
        fieldSums<Q, true>(line, field, t0, n, sx, sy, sz, std::make_index_sequence<Q>());
    else
        fieldSums<Q, false>(line, field, t0, n, sx, sy, sz, std::make_index_sequence<Q>());
}

// The shifts from the sums (sx, sy, sz in, the shifts out) for a given
// adhesion and gravity order, every site formed and the ones whose density
// is too small given none, so the loop runs on vectors.
template <bool Adhesion, int Gravity>
inline void shiftsFromSums(const Line &line, int n, const double *__restrict rho, const double *__restrict own,
                           const double *__restrict ax, const double *__restrict ay, const double *__restrict az,
                           double *__restrict sx, double *__restrict sy, double *__restrict sz)
{
    const double minusG = line.minusMpG, minusGads = line.minusMpGads, tau = line.tau;
    const double gravity = line.minusG, factor = line.densityFactor;
    for (int k = 0; k < n; ++k) {
        const double r = rho[k];
        const double tr = tau / r;
        const double c = minusG * own[k];
        double fx = sx[k] * c, fy = sy[k] * c, fz = sz[k] * c;
        // Without adhesion its term would add a zero, whose sign the
        // shift (0 + F tau / rho) never shows.
        if constexpr (Adhesion) {
            const double ca = minusGads * own[k];
            fx = fx + ax[k] * ca;
            fy = fy + ay[k] * ca;
            fz = fz + az[k] * ca;
        }
        double x = 0.0, y = 0.0, z = 0.0;
        if constexpr (Gravity == 1)
            y = y + gravity * r * factor * tr;
        x = x + fx * tr;
        y = y + fy * tr;
        z = z + fz * tr;
        if constexpr (Gravity == 2)
            y = y + gravity * r * factor * tr;
        const bool forced = r > 0.001;
        sx[k] = forced ? x : 0.0;
        sy[k] = forced ? y : 0.0;
        sz[k] = forced ? z : 0.0;
    }
}

// The force shifts of a tile's sites under the pseudopotential force (and
// gravity, in the order of the force list), as the per-site collision forms
// them: shift = 0 + F tau / rho for each force in turn, none where the
// density is too small. Gravity's zero x and z components add exact zeros
// and are left out.
template <int Q>
inline void tileFieldShifts(const Line &line, int t0, int n, const double *__restrict rho, double *__restrict sx,
                            double *__restrict sy, double *__restrict sz)
{
    alignas(64) double ax[Tile], ay[Tile], az[Tile];
    fieldSumsOf<Q>(line, line.psi, t0, n, sx, sy, sz);
    const double *own = line.psi + line.base + t0;
    if (line.adhesion) {
        fieldSumsOf<Q>(line, line.adhesion, t0, n, ax, ay, az);
        if (line.gravityOrder == 1)
            shiftsFromSums<true, 1>(line, n, rho, own, ax, ay, az, sx, sy, sz);
        else if (line.gravityOrder == 2)
            shiftsFromSums<true, 2>(line, n, rho, own, ax, ay, az, sx, sy, sz);
        else
            shiftsFromSums<true, 0>(line, n, rho, own, ax, ay, az, sx, sy, sz);
    } else {
        if (line.gravityOrder == 1)
            shiftsFromSums<false, 1>(line, n, rho, own, ax, ay, az, sx, sy, sz);
        else if (line.gravityOrder == 2)
            shiftsFromSums<false, 2>(line, n, rho, own, ax, ay, az, sx, sy, sz);
        else
            shiftsFromSums<false, 0>(line, n, rho, own, ax, ay, az, sx, sy, sz);
    }
}

// Per site: density and velocity from the current populations in the order
// of Lattice::moments, then U = u + shift and U.U, as the per-cell collision
// forms them: with GravityForce the shift of gravity (kept in shift[]), with
// FieldForce the shift of the pseudopotential force (kept in the line's
// shift fields), otherwise a zero shift.
template <int Q, int Force, typename T>
inline void tileMoments(const Line &line, const T *__restrict cur, std::size_t stride, int n,
                        double *__restrict rho, double *__restrict ux, double *__restrict uy, double *__restrict uz,
                        double *__restrict uu, double *__restrict shift, int t0)
{
    for (int k = 0; k < n; ++k) {
        rho[k] = 0.0;
        ux[k] = 0.0;
        uy[k] = 0.0;
        uz[k] = 0.0;
    }
    for (int i = 0; i < Q; ++i) {
        const T *__restrict f = cur + std::size_t(i) * stride;
        const double w = Lattice::tables.w[Q][i];
        const double ex = Lattice::tables.e[Q][i][0], ey = Lattice::tables.e[Q][i][1], ez = Lattice::tables.e[Q][i][2];
        for (int k = 0; k < n; ++k)
            rho[k] += loaded(f[k], w);
        // A zero component adds a zero, which never changes the sum.
        if (ex != 0.0)
            for (int k = 0; k < n; ++k)
                ux[k] += loaded(f[k], w) * ex;
        if (ey != 0.0)
            for (int k = 0; k < n; ++k)
                uy[k] += loaded(f[k], w) * ey;
        if (ez != 0.0)
            for (int k = 0; k < n; ++k)
                uz[k] += loaded(f[k], w) * ez;
    }
    if constexpr (Force == FieldForce) {
        double *__restrict sx = line.shiftX + line.base + t0;
        double *__restrict sy = line.shiftY + line.base + t0;
        double *__restrict sz = line.shiftZ + line.base + t0;
        tileFieldShifts<Q>(line, t0, n, rho, sx, sy, sz);
        for (int k = 0; k < n; ++k) {
            const double r = rho[k];
            const double inv = 1.0 / r;
            const bool massive = r > Lattice::ActiveWeight;
            const double x = (massive ? ux[k] * inv : 0.0) + sx[k];
            const double y = (massive ? uy[k] * inv : 0.0) + sy[k];
            const double z = (massive ? uz[k] * inv : 0.0) + sz[k];
            ux[k] = x;
            uy[k] = y;
            uz[k] = z;
            uu[k] = x * x + y * y + z * z;
        }
        return;
    }
    for (int k = 0; k < n; ++k) {
        const double r = rho[k];
        const double inv = 1.0 / r;
        const bool massive = r > Lattice::ActiveWeight;
        const double x = velocityComponent(ux[k], inv, massive);
        double y;
        if constexpr (Force == GravityForce) {
            const double s = gravityShift(r, line);
            shift[k] = s;
            y = (massive ? uy[k] * inv : 0.0) + s;
        } else {
            y = velocityComponent(uy[k], inv, massive);
        }
        const double z = velocityComponent(uz[k], inv, massive);
        ux[k] = x;
        uy[k] = y;
        uz[k] = z;
        uu[k] = x * x + y * y + z * z;
    }
}

// e_i . U with the terms of zero components left out and the unit ones
// added or subtracted. It differs from the full sum e_x U_x + e_y U_y +
// e_z U_z at most in the sign of a zero result, which the equilibrium
// polynomial cannot tell apart (it uses s s and 3 s + 1).
template <int Q, int I> inline double projection(double ux, double uy, double uz)
{
    constexpr int ex = Lattice::tables.e[Q][I][0], ey = Lattice::tables.e[Q][I][1], ez = Lattice::tables.e[Q][I][2];
    static_assert(ex * ex <= 1 && ey * ey <= 1 && ez * ez <= 1, "unit components");
    double s = 0.0;
    bool started = false;
    if constexpr (ex != 0) {
        s = ex > 0 ? ux : -ux;
        started = true;
    }
    if constexpr (ey != 0) {
        s = started ? (ey > 0 ? s + uy : s - uy) : (ey > 0 ? uy : -uy);
        started = true;
    }
    if constexpr (ez != 0)
        s = started ? (ez > 0 ? s + uz : s - uz) : (ez > 0 ? uz : -uz);
    return s;
}

// Direction I's post-collision value: BGK towards the second-order
// equilibrium, in the per-cell collision's order of operations.
template <int Q, int I>
[[gnu::always_inline]] inline double relaxed(double f, double rho, double ux, double uy, double uz, double uu,
                                             double keep, double omega)
{
    const double s = projection<Q, I>(ux, uy, uz);
    const double e = 4.5 * s * s - 1.5 * uu + (3.0 * s + 1.0);
    return f * keep + omega * (rho * Lattice::tables.w[Q][I] * e);
}

// The partial bounce-back of a porous site: the fraction s of a
// post-collision value replaced by the site's own pre-collision population
// of the opposite direction, as the porous cell forms it; s = 0 is plain fluid.
inline double porousMix(double value, double opposite, double s)
{
    return s != 0.0 ? (1.0 - s) * value + s * opposite : value;
}

struct Tiles
{
    alignas(64) double rho[Tile];
    alignas(64) double ux[Tile];
    alignas(64) double uy[Tile];
    alignas(64) double uz[Tile];
    alignas(64) double uu[Tile];
};

// One direction of a tile: the post-collision values of the fast sites,
// pushed to the neighbours or bounced into the sites' own opposite entries.
template <int Q, int I, bool Masked, bool Porous, typename T>
inline void pushDirection(const Line &line, const Tiles &t, int t0, int n, std::uint32_t bounces)
{
    const std::size_t stride = line.stride;
    const double keep = line.keep, omega = line.omega;
    const int length = line.length;
    constexpr int O = Lattice::tables.opp[Q][I];
    constexpr double w = Lattice::tables.w[Q][I], wO = Lattice::tables.w[Q][O];
    const T *__restrict f = curOf<T>(line) + line.base + std::size_t(I) * stride + t0;
    const double *__restrict rho = t.rho;
    const double *__restrict ux = t.ux;
    const double *__restrict uy = t.uy;
    const double *__restrict uz = t.uz;
    const double *__restrict uu = t.uu;
    constexpr std::uint32_t bit = 1u << I;
    // No site of the line has a neighbour in this direction, so none has a
    // wall there to bounce from either.
    if (line.outside & bit)
        return;
    const int a = line.along[I];
    T *__restrict dst = nextOf<T>(line) + std::ptrdiff_t(std::size_t(I) * stride + line.targetBase[I] + t0) + a;
    // Sites whose target lies past the line end are done apart: wrapped to
    // the other end, or dropped.
    const int k0 = (a < 0 && t0 == 0) ? 1 : 0;
    const int k1 = (a > 0 && t0 + n == length) ? n - 1 : n;
    const T *__restrict back = Porous ? curOf<T>(line) + line.base + std::size_t(O) * stride + t0 : nullptr;
    const double *__restrict solid = Porous ? line.solid + line.base + t0 : nullptr;
    auto value = [&](int k) {
        const double v = relaxed<Q, I>(loaded(f[k], w), rho[k], ux[k], uy[k], uz[k], uu[k], keep, omega);
        if constexpr (Porous)
            return porousMix(v, loaded(back[k], wO), solid[k]);
        else
            return v;
    };
    const std::uint32_t *__restrict m = Masked ? line.modes + t0 : nullptr;
    if (!Masked) {
        for (int k = k0; k < k1; ++k)
            dst[k] = stored<T>(value(k), w);
    } else {
        for (int k = k0; k < k1; ++k)
            if ((m[k] & (LineKernels::FastFluid | bit)) == LineKernels::FastFluid)
                dst[k] = stored<T>(value(k), w);
        if (bounces & bit) {
            T *__restrict own = nextOf<T>(line) + std::size_t(O) * stride + line.base + t0;
            for (int k = 0; k < n; ++k)
                if ((m[k] & (LineKernels::FastFluid | bit)) == (LineKernels::FastFluid | bit))
                    own[k] = stored<T>(value(k), wO);
        }
    }
    if ((k0 == 1 || k1 == n - 1) && line.wraps) {
        const int k = k0 == 1 ? 0 : n - 1;
        const int target = k0 == 1 ? length - 1 : 0;
        if (!Masked || (m[k] & (LineKernels::FastFluid | bit)) == LineKernels::FastFluid)
            nextOf<T>(line)[std::size_t(I) * stride + line.targetBase[I] + target] = stored<T>(value(k), w);
    }
}

template <int Q, bool Masked, bool Porous, typename T, std::size_t... I>
inline void pushDirections(const Line &line, const Tiles &t, int t0, int n, std::uint32_t bounces,
                           std::index_sequence<I...>)
{
    (pushDirection<Q, int(I), Masked, Porous, T>(line, t, t0, n, bounces), ...);
}

// The bounce-back directions of a line's fast sites (those with the given
// mode bit): the union of their modes, read once so a direction no fast site
// bounces skips its per-site test.
inline std::uint32_t bouncesOf(const Line &line, std::uint32_t fastBit)
{
    std::uint32_t bounces = 0;
    for (int k = 0; k < line.length; ++k)
        if (line.modes[k] & fastBit)
            bounces |= line.modes[k];
    return bounces;
}

// A line tile by tile: the moments of a tile, then each direction's values
// (with walls or other cells in or around the line, where the mode allows).
template <int Q, bool Masked, int Force, bool Porous, typename T> void pushTiledLine(const Line &line)
{
    const int length = line.length;
    const std::uint32_t bounces = Masked ? bouncesOf(line, LineKernels::FastFluid) : 0;
    Tiles t;
    for (int t0 = 0; t0 < length; t0 += Tile) {
        const int n = length - t0 < Tile ? length - t0 : Tile;
        tileMoments<Q, Force>(line, curOf<T>(line) + line.base + t0, line.stride, n, t.rho, t.ux, t.uy, t.uz, t.uu,
                              Force == GravityForce ? line.shiftY + line.base + t0 : nullptr, t0);
        pushDirections<Q, Masked, Porous, T>(line, t, t0, n, bounces, std::make_index_sequence<Q>());
    }
}

// Sum of f_i e_i over the directions whose component is non-zero, in
// direction order, starting from zero: the order of Lattice::moments.
template <int Q, int Axis, std::size_t... I>
[[gnu::always_inline]] inline double component(const double *f, std::index_sequence<I...>)
{
    double sum = 0.0;
    ((Lattice::tables.e[Q][I][Axis] == 0 ? void()
                                         : void(sum += f[I] * double(Lattice::tables.e[Q][I][Axis]))),
     ...);
    return sum;
}

// One site's collision from its Q populations, the post-collision values in
// out: the operations, in the same order, of tileMoments and pushDirection.
template <int Q, bool Forced, std::size_t... I>
[[gnu::always_inline]] inline void collideSite(const Line &line, const double *f, double *out, double *shift,
                                               std::index_sequence<I...> seq)
{
    const double keep = line.keep, omega = line.omega;
    double r = 0.0;
    ((r += f[I]), ...);
    const double cx = component<Q, 0>(f, seq), cy = component<Q, 1>(f, seq), cz = component<Q, 2>(f, seq);
    const double inv = 1.0 / r;
    const bool massive = r > Lattice::ActiveWeight;
    const double ux = velocityComponent(cx, inv, massive);
    double uy;
    if constexpr (Forced) {
        const double s = gravityShift(r, line);
        *shift = s;
        uy = (massive ? cy * inv : 0.0) + s;
    } else {
        uy = velocityComponent(cy, inv, massive);
    }
    const double uz = velocityComponent(cz, inv, massive);
    const double uu = ux * ux + uy * uy + uz * uz;
    ((out[I] = relaxed<Q, int(I)>(f[I], r, ux, uy, uz, uu, keep, omega)), ...);
}

// Where an end site of a line pushes direction d in the next array: its
// target along the line, wrapped to the other end or -1 where the value
// leaves the box.
inline std::ptrdiff_t endTarget(const Line &line, int k, int d)
{
    const std::ptrdiff_t t = lineNeighbour(line, d, k);
    return t < 0 ? -1 : std::ptrdiff_t(std::size_t(d) * line.stride) + t;
}

// A line whose sites are all fast and push to attached sites only, with a
// target line in every direction: one pass that reads each site's
// populations once and writes its Q values, for every site whose pushes stay
// inside the line's targets; the two end sites, whose pushes along the line
// may wrap or leave the box, follow one by one.
template <int Q, bool Forced, bool Porous, typename T, std::size_t... I>
void pushPlainLine(const Line &line, std::index_sequence<I...> seq)
{
    const double *const solid = Porous ? line.solid + line.base : nullptr;
    // The porous exchange of a site's values, from its pre-collision ones.
    auto mix = [&](int k, const double *f, double *out) {
        if constexpr (Porous) {
            const double s = solid[k];
            ((out[I] = porousMix(out[I], f[Lattice::tables.opp[Q][I]], s)), ...);
        }
    };
    const std::size_t stride = line.stride;
    const T *const cur = curOf<T>(line) + line.base;
    double *const shift = Forced ? line.shiftY + line.base : nullptr;
    const int length = line.length;
    T *const dst[Q] = {(nextOf<T>(line) + I * stride + line.targetBase[I] + line.along[I])...};
#pragma GCC ivdep
    for (int k = 1; k < length - 1; ++k) {
        const double f[Q] = {loaded(cur[I * stride + std::size_t(k)], Lattice::tables.w[Q][I])...};
        double out[Q];
        collideSite<Q, Forced>(line, f, out, Forced ? shift + k : nullptr, seq);
        mix(k, f, out);
        ((dst[I][k] = stored<T>(out[I], Lattice::tables.w[Q][I])), ...);
    }
    for (int k : {0, length - 1}) {
        const double f[Q] = {loaded(cur[I * stride + std::size_t(k)], Lattice::tables.w[Q][I])...};
        double out[Q];
        collideSite<Q, Forced>(line, f, out, Forced ? shift + k : nullptr, seq);
        mix(k, f, out);
        auto store = [&](auto i) {
            constexpr int d = decltype(i)::value;
            const std::ptrdiff_t at = endTarget(line, k, d);
            if (at >= 0)
                nextOf<T>(line)[at] = stored<T>(out[d], Lattice::tables.w[Q][d]);
        };
        (store(std::integral_constant<int, int(I)>()), ...);
        if (length == 1)
            break;
    }
}

template <int Q, int Force = NoForce, bool Porous = false, typename T = double> void push(const Line &line)
{
    constexpr bool Forced = Force == GravityForce;
    // The pseudopotential force reads the neighbours' field tile by tile.
    if constexpr (Force == FieldForce) {
        if (line.modes)
            pushTiledLine<Q, true, Force, Porous, T>(line);
        else
            pushTiledLine<Q, false, Force, Porous, T>(line);
        return;
    }
    // The single pass holds a site's Q populations and its moments in
    // registers: with 32 vector registers it is the faster, with 16 only
    // for the 3D models on AVX2, and never on the baseline set.
    // A line along a face of a closed box (with directions leaving the box)
    // goes direction by direction, which skips those directions whole.
    // Single-precision values widened on the way in do not fit the registers
    // of the single pass (it spills them, and measured slower): they go
    // direction by direction too.
    if (line.modes)
        pushTiledLine<Q, true, Force, Porous, T>(line);
    else if (Q >= KERNEL_SINGLE_PASS_FROM_Q && !line.outside && std::is_same_v<T, double>)
        pushPlainLine<Q, Forced, Porous, T>(line, std::make_index_sequence<Q>());
    else
        pushTiledLine<Q, false, Force, Porous, T>(line);
}

// The speed from the momentum sums and the density, as PlainMoments forms
// it; sums that differ from its own only in the sign of a zero give the
// same squares.
inline double speedOf(double mx, double my, double mz, double density)
{
    const double inv = 1.0 / density;
    const double ux = mx * inv, uy = my * inv, uz = mz * inv;
    const double v = __builtin_sqrt(ux * ux + uy * uy + uz * uz);
    return density > Lattice::ActiveWeight ? v : 0.0;
}

template <int Q, bool Speed, typename T, std::size_t... I>
void statsLine(const Line &line, double *__restrict deltaP, double *__restrict density, double *__restrict speed,
               std::index_sequence<I...> seq)
{
    const std::size_t stride = line.stride;
    const T *const cur = curOf<T>(line) + line.base;
    const T *const next = nextOf<T>(line) + line.base;
    const int n = line.length;
#pragma GCC ivdep
    for (int k = 0; k < n; ++k) {
        const double f[Q] = {loaded(next[I * stride + std::size_t(k)], Lattice::tables.w[Q][I])...};
        double change = 0.0, sum = 0.0;
        ((change += absolute(f[I] - loaded(cur[I * stride + std::size_t(k)], Lattice::tables.w[Q][I]))), ...);
        ((sum += f[I]), ...);
        deltaP[k] = change / Q;
        density[k] = sum;
        if constexpr (Speed)
            speed[k] = speedOf(component<Q, 0>(f, seq), component<Q, 1>(f, seq), component<Q, 2>(f, seq), sum);
    }
}

// Direction by direction, for the sets where the single pass spills.
template <int Q, bool Speed, typename T>
void statsByDirection(const Line &line, double *__restrict deltaP, double *__restrict density,
                      double *__restrict speed)
{
    const std::size_t stride = line.stride;
    const T *__restrict cur = curOf<T>(line) + line.base;
    const T *__restrict next = nextOf<T>(line) + line.base;
    const int n = line.length;
    constexpr int Tile = 256;
    double m[3][Tile];
    for (int t0 = 0; t0 < n; t0 += Tile) {
        const int tn = n - t0 < Tile ? n - t0 : Tile;
        double *__restrict dp = deltaP + t0;
        double *__restrict rho = density + t0;
        for (int k = 0; k < tn; ++k) {
            dp[k] = 0.0;
            rho[k] = 0.0;
        }
        if constexpr (Speed)
            for (int k = 0; k < tn; ++k)
                m[0][k] = m[1][k] = m[2][k] = 0.0;
        for (int i = 0; i < Q; ++i) {
            const T *__restrict a = next + std::size_t(i) * stride + t0;
            const T *__restrict b = cur + std::size_t(i) * stride + t0;
            const double w = Lattice::tables.w[Q][i];
            for (int k = 0; k < tn; ++k) {
                dp[k] += absolute(loaded(a[k], w) - loaded(b[k], w));
                rho[k] += loaded(a[k], w);
            }
            if constexpr (Speed)
                for (int axis = 0; axis < 3; ++axis) {
                    const int e = Lattice::tables.e[Q][i][axis];
                    double *__restrict sum = m[axis];
                    if (e != 0)
                        for (int k = 0; k < tn; ++k)
                            sum[k] += loaded(a[k], w) * double(e);
                }
        }
        for (int k = 0; k < tn; ++k)
            dp[k] = dp[k] / Q;
        if constexpr (Speed)
            for (int k = 0; k < tn; ++k)
                speed[t0 + k] = speedOf(m[0][k], m[1][k], m[2][k], rho[k]);
    }
}

template <int Q, bool Speed, typename T = double>
void statsOf(const Line &line, double *deltaP, double *density, double *speed)
{
    if (Q >= KERNEL_SINGLE_PASS_FROM_Q)
        statsLine<Q, Speed, T>(line, deltaP, density, speed, std::make_index_sequence<Q>());
    else
        statsByDirection<Q, Speed, T>(line, deltaP, density, speed);
}

template <int Q, typename T = double> void stats(const Line &line, double *deltaP, double *density)
{
    statsOf<Q, false, T>(line, deltaP, density, nullptr);
}

// ---- shallow water (D2Q9) ----

// One shallow-water site's collision from its nine populations, the
// post-collision values in out, in the operations and order of
// ShallowCell::moments, equilibrium and collide: the depth and velocity, the
// equilibrium with the shares h / 3 (axes) and h / 12 (diagonals) and g h / 2
// formed once, and the bed friction -g kappa^2 h^(-1/3) |u| u kept as its
// share F / 6 of each direction. With a zero coefficient (Friction false)
// the root, finite and positive at a wet site, changes nothing in the
// product (not even the sign of its zero) and is not formed.
struct ShallowConstants
{
    double g, c0, omega;
};

template <bool Friction, std::size_t... I>
[[gnu::always_inline]] inline void shallowSite(const ShallowConstants &c, const double *f, double *out,
                                               std::index_sequence<I...>)
{
    constexpr double ex[9] = {Lattice::tables.e[9][I][0]...};
    constexpr double ey[9] = {Lattice::tables.e[9][I][1]...};
    constexpr double ez[9] = {Lattice::tables.e[9][I][2]...};
    double h = 0.0, mx = 0.0, my = 0.0;
    ((h += f[I], mx += f[I] * ex[I], my += f[I] * ey[I]), ...);
    // A dry site has no velocity; u.z is zero.
    constexpr double uz = 0.0;
    const bool wet = h > 1e-12;
    const double ux = wet ? mx / h : 0.0, uy = wet ? my / h : 0.0;
    const double uu = ux * ux + uy * uy + uz * uz;
    const double third = h / 3.0, twelfth = h / 12.0, head = c.g * h / 2.0;
    double sum = 0.0;
    auto equilibrium = [&](auto i) {
        constexpr int d = decltype(i)::value;
        if constexpr (d != 0) {
            const double eu = ex[d] * ux + ey[d] * uy + ez[d] * uz;
            out[d] = (d % 2 == 1 ? third : twelfth) * (head + eu + 1.5 * eu * eu - 0.5 * uu);
            sum += out[d];
        }
    };
    (equilibrium(std::integral_constant<int, int(I)>()), ...);
    out[0] = h - sum;
    double k;
    if constexpr (Friction)
        k = wet ? c.c0 * inverseCubeRoot(h) * __builtin_sqrt(uu) : 0.0;
    else
        k = c.c0 * __builtin_sqrt(uu);
    const double fx = wet ? ux * k * (1.0 / 6.0) : 0.0;
    const double fy = wet ? uy * k * (1.0 / 6.0) : 0.0;
    const double fz = wet ? uz * k * (1.0 / 6.0) : 0.0;
    ((out[I] = f[I] + (out[I] - f[I]) * c.omega + (ex[I] * fx + ey[I] * fy + ez[I] * fz)), ...);
}

inline ShallowConstants shallowConstants(const Line &line)
{
    return {line.shallowG, -line.shallowG * line.shallowKappa * line.shallowKappa, 1.0 / line.tau};
}

// A tile's post-collision values, direction by direction: each site's
// populations read once.
struct ShallowTiles
{
    alignas(64) double out[9][Tile];
};

template <bool Friction>
inline void shallowTile(const Line &line, const ShallowConstants &c, int t0, int n, ShallowTiles &t)
{
    const std::size_t stride = line.stride;
    const double *const cur = line.cur + line.base + t0;
#pragma GCC ivdep
    for (int k = 0; k < n; ++k) {
        double f[9], out[9];
        for (int i = 0; i < 9; ++i)
            f[i] = cur[std::size_t(i) * stride + std::size_t(k)];
        shallowSite<Friction>(c, f, out, std::make_index_sequence<9>());
        for (int i = 0; i < 9; ++i)
            t.out[i][k] = out[i];
    }
}

// One direction of a shallow tile, pushed as pushDirection pushes plain
// fluid (the sites marked ShallowFast when masked).
template <int I, bool Masked>
inline void shallowDirection(const Line &line, const ShallowTiles &t, int t0, int n, std::uint32_t bounces)
{
    constexpr std::uint32_t bit = 1u << I;
    if (line.outside & bit)
        return;
    const std::size_t stride = line.stride;
    const int length = line.length;
    const double *__restrict value = t.out[I];
    const int a = line.along[I];
    double *__restrict dst = line.next + std::ptrdiff_t(std::size_t(I) * stride + line.targetBase[I] + t0) + a;
    const int k0 = (a < 0 && t0 == 0) ? 1 : 0;
    const int k1 = (a > 0 && t0 + n == length) ? n - 1 : n;
    constexpr std::uint32_t fast = LineKernels::ShallowFast;
    const std::uint32_t *__restrict m = Masked ? line.modes + t0 : nullptr;
    if (!Masked) {
        for (int k = k0; k < k1; ++k)
            dst[k] = value[k];
    } else {
        for (int k = k0; k < k1; ++k)
            if ((m[k] & (fast | bit)) == fast)
                dst[k] = value[k];
        if (bounces & bit) {
            double *__restrict own = line.next + std::size_t(Lattice::tables.opp[9][I]) * stride + line.base + t0;
            for (int k = 0; k < n; ++k)
                if ((m[k] & (fast | bit)) == (fast | bit))
                    own[k] = value[k];
        }
    }
    if ((k0 == 1 || k1 == n - 1) && line.wraps) {
        const int k = k0 == 1 ? 0 : n - 1;
        const int target = k0 == 1 ? length - 1 : 0;
        if (!Masked || (m[k] & (fast | bit)) == fast)
            line.next[std::size_t(I) * stride + line.targetBase[I] + target] = value[k];
    }
}

template <bool Masked, std::size_t... I>
inline void shallowDirections(const Line &line, const ShallowTiles &t, int t0, int n, std::uint32_t bounces,
                              std::index_sequence<I...>)
{
    (shallowDirection<int(I), Masked>(line, t, t0, n, bounces), ...);
}

template <bool Masked, bool Friction> void shallowLine(const Line &line)
{
    const ShallowConstants c = shallowConstants(line);
    const std::uint32_t bounces = Masked ? bouncesOf(line, LineKernels::ShallowFast) : 0;
    ShallowTiles t;
    for (int t0 = 0; t0 < line.length; t0 += Tile) {
        const int n = line.length - t0 < Tile ? line.length - t0 : Tile;
        shallowTile<Friction>(line, c, t0, n, t);
        shallowDirections<Masked>(line, t, t0, n, bounces, std::make_index_sequence<9>());
    }
}

// A line of shallow-water sites alone with a target line in every
// direction: one pass that reads each site's populations once and writes its
// nine values straight to the targets, as pushPlainLine does for plain
// fluid; the two end sites follow one by one.
template <bool Friction, std::size_t... I> void shallowPlainLine(const Line &line, std::index_sequence<I...> seq)
{
    const ShallowConstants c = shallowConstants(line);
    const std::size_t stride = line.stride;
    const double *const cur = line.cur + line.base;
    const int length = line.length;
    double *const dst[9] = {(line.next + I * stride + line.targetBase[I] + line.along[I])...};
#pragma GCC ivdep
    for (int k = 1; k < length - 1; ++k) {
        const double f[9] = {cur[I * stride + std::size_t(k)]...};
        double out[9];
        shallowSite<Friction>(c, f, out, seq);
        ((dst[I][k] = out[I]), ...);
    }
    for (int k : {0, length - 1}) {
        const double f[9] = {cur[I * stride + std::size_t(k)]...};
        double out[9];
        shallowSite<Friction>(c, f, out, seq);
        for (int d = 0; d < 9; ++d) {
            const std::ptrdiff_t at = endTarget(line, k, d);
            if (at >= 0)
                line.next[at] = out[d];
        }
        if (length == 1)
            break;
    }
}

template <bool Friction> void shallowOf(const Line &line)
{
    // The single pass where the plain kernel takes it (see push).
    if (line.modes)
        shallowLine<true, Friction>(line);
    else if (9 >= KERNEL_SINGLE_PASS_FROM_Q && !line.outside)
        shallowPlainLine<Friction>(line, std::make_index_sequence<9>());
    else
        shallowLine<false, Friction>(line);
}

void pushShallow(const Line &line)
{
    if (shallowConstants(line).c0 != 0.0)
        shallowOf<true>(line);
    else
        shallowOf<false>(line);
}

// ---- heat: a fluid carrying a scalar ----

struct HeatTiles
{
    alignas(64) double rho[Tile];
    alignas(64) double theta[Tile];
    alignas(64) double ux[Tile];
    alignas(64) double uy[Tile];
    alignas(64) double uz[Tile];
    alignas(64) double uu[Tile];
};

// Density, scalar and the buoyancy-shifted velocity of a tile's sites in the
// operations and order of PassiveScalar::moments and preUpdate.
template <int Q> inline void heatTile(const Line &line, int t0, int n, HeatTiles &t)
{
    const std::size_t stride = line.stride;
    const double *const cur = line.cur + line.base + t0;
    const double *const scalar = line.scalarCur + line.base + t0;
    alignas(64) double mx[Tile], my[Tile], mz[Tile];
    double *__restrict rho = t.rho;
    double *__restrict theta = t.theta;
    for (int k = 0; k < n; ++k)
        rho[k] = theta[k] = mx[k] = my[k] = mz[k] = 0.0;
    for (int i = 0; i < Q; ++i) {
        if (!(Lattice::tables.w[Q][i] > Lattice::ActiveWeight))
            continue;
        const double *__restrict f = cur + std::size_t(i) * stride;
        const double *__restrict g = scalar + std::size_t(i) * stride;
        const double ex = Lattice::tables.e[Q][i][0], ey = Lattice::tables.e[Q][i][1],
                     ez = Lattice::tables.e[Q][i][2];
        for (int k = 0; k < n; ++k) {
            rho[k] += f[k];
            theta[k] += g[k];
            mx[k] += ex * f[k];
            my[k] += ey * f[k];
            mz[k] += ez * f[k];
        }
    }
    const double a = line.buoyancy, r = line.densityFactorR;
    const bool buoyant = r > 0.0;
    for (int k = 0; k < n; ++k) {
        const double density = rho[k];
        const bool massive = density > Lattice::ActiveWeight;
        const double inv = 1.0 / density;
        const double x = massive ? mx[k] * inv : 0.0;
        double y = massive ? my[k] * inv : 0.0;
        const double z = massive ? mz[k] * inv : 0.0;
        if (massive && buoyant)
            y = y + a * theta[k] / (r * density);
        t.ux[k] = x;
        t.uy[k] = y;
        t.uz[k] = z;
        t.uu[k] = x * x + y * y + z * z;
    }
}

// Direction I's post-collision values of a heat site, fluid and scalar, in
// the operations and order of PassiveScalar::preUpdate.
template <int Q, int I>
[[gnu::always_inline]] inline double heatFluidValue(double f, double rho, double ux, double uy, double uz, double uu,
                                                    double keep, double omega)
{
    constexpr double w = Lattice::tables.w[Q][I];
    double eq = 0.0;
    if constexpr (w > Lattice::ActiveWeight) {
        const double s = projection<Q, I>(ux, uy, uz);
        const double e = 4.5 * s * s - 1.5 * uu + (3.0 * s + 1.0);
        eq = rho * w * e;
    }
    return keep * f + eq * omega;
}

template <int Q, int I>
[[gnu::always_inline]] inline double heatScalarValue(double g, double theta, double ux, double uy, double uz,
                                                     double keep, double omega)
{
    constexpr double w = Lattice::tables.w[Q][I];
    const double s = projection<Q, I>(ux, uy, uz);
    const double eq = (w > Lattice::ActiveWeight ? w : 0.0) * theta * (1.0 + 3.0 * s);
    return keep * g + eq * omega;
}

// One direction of a heat tile: both sets' post-collision values pushed as
// pushDirection pushes plain fluid (the sites marked HeatFast when masked).
template <int Q, int I, bool Masked>
[[gnu::always_inline]] inline void heatDirection(const Line &line, const HeatTiles &t, int t0, int n, std::uint32_t bounces)
{
    constexpr std::uint32_t bit = 1u << I;
    if (line.outside & bit)
        return;
    const std::size_t stride = line.stride;
    const double omegaF = 1.0 / line.tauF, omegaG = 1.0 / line.tauG;
    const double keepF = 1.0 - omegaF, keepG = 1.0 - omegaG;
    const int length = line.length;
    const std::size_t own = std::size_t(I) * stride + line.base + t0;
    const double *__restrict f = line.cur + own;
    const double *__restrict g = line.scalarCur + own;
    // Restrict-qualified views of the tile, so that the loops below
    // vectorise without checks against the targets.
    const double *__restrict rho = t.rho;
    const double *__restrict theta = t.theta;
    const double *__restrict ux = t.ux;
    const double *__restrict uy = t.uy;
    const double *__restrict uz = t.uz;
    const double *__restrict uu = t.uu;
    // Inlined into the loops (left out of line, they keep the loops scalar).
    auto fluidValue = [&](int k) __attribute__((always_inline)) {
        return heatFluidValue<Q, I>(f[k], rho[k], ux[k], uy[k], uz[k], uu[k], keepF, omegaF);
    };
    auto scalarValue = [&](int k) __attribute__((always_inline)) {
        return heatScalarValue<Q, I>(g[k], theta[k], ux[k], uy[k], uz[k], keepG, omegaG);
    };
    const int a = line.along[I];
    const std::ptrdiff_t to = std::ptrdiff_t(std::size_t(I) * stride + line.targetBase[I] + t0) + a;
    double *__restrict dstF = line.next + to;
    double *__restrict dstG = line.scalarNext + to;
    const int k0 = (a < 0 && t0 == 0) ? 1 : 0;
    const int k1 = (a > 0 && t0 + n == length) ? n - 1 : n;
    constexpr std::uint32_t fast = LineKernels::HeatFast;
    const std::uint32_t *__restrict m = Masked ? line.modes + t0 : nullptr;
    if (!Masked) {
        for (int k = k0; k < k1; ++k) {
            dstF[k] = fluidValue(k);
            dstG[k] = scalarValue(k);
        }
    } else {
        for (int k = k0; k < k1; ++k)
            if ((m[k] & (fast | bit)) == fast) {
                dstF[k] = fluidValue(k);
                dstG[k] = scalarValue(k);
            }
        if (bounces & bit) {
            const std::size_t back = std::size_t(Lattice::tables.opp[Q][I]) * stride + line.base + t0;
            double *__restrict ownF = line.next + back;
            double *__restrict ownG = line.scalarNext + back;
            for (int k = 0; k < n; ++k)
                if ((m[k] & (fast | bit)) == (fast | bit)) {
                    ownF[k] = fluidValue(k);
                    ownG[k] = scalarValue(k);
                }
        }
    }
    if ((k0 == 1 || k1 == n - 1) && line.wraps) {
        const int k = k0 == 1 ? 0 : n - 1;
        const std::size_t target = std::size_t(I) * stride + line.targetBase[I] + (k0 == 1 ? length - 1 : 0);
        if (!Masked || (m[k] & (fast | bit)) == fast) {
            line.next[target] = fluidValue(k);
            line.scalarNext[target] = scalarValue(k);
        }
    }
}

template <int Q, bool Masked, std::size_t... I>
inline void heatDirections(const Line &line, const HeatTiles &t, int t0, int n, std::uint32_t bounces,
                           std::index_sequence<I...>)
{
    (heatDirection<Q, int(I), Masked>(line, t, t0, n, bounces), ...);
}

template <int Q, bool Masked> void heatLine(const Line &line)
{
    const std::uint32_t bounces = Masked ? bouncesOf(line, LineKernels::HeatFast) : 0;
    HeatTiles t;
    for (int t0 = 0; t0 < line.length; t0 += Tile) {
        const int n = line.length - t0 < Tile ? line.length - t0 : Tile;
        heatTile<Q>(line, t0, n, t);
        heatDirections<Q, Masked>(line, t, t0, n, bounces, std::make_index_sequence<Q>());
    }
}

template <int Q> void statsHeat(const Line &line, double *__restrict deltaP, double *__restrict total)
{
    const std::size_t stride = line.stride;
    const int n = line.length;
    alignas(64) double rho[Tile], theta[Tile];
    for (int t0 = 0; t0 < n; t0 += Tile) {
        const int tn = n - t0 < Tile ? n - t0 : Tile;
        double *__restrict dp = deltaP + t0;
        for (int k = 0; k < tn; ++k)
            dp[k] = rho[k] = theta[k] = 0.0;
        for (int i = 0; i < Q; ++i) {
            const std::size_t at = std::size_t(i) * stride + line.base + t0;
            const double *__restrict f = line.cur + at;
            const double *__restrict fn = line.next + at;
            const double *__restrict g = line.scalarCur + at;
            const double *__restrict gn = line.scalarNext + at;
            for (int k = 0; k < tn; ++k)
                dp[k] += absolute(fn[k] - f[k]) + absolute(gn[k] - g[k]);
            if (Lattice::tables.w[Q][i] > Lattice::ActiveWeight)
                for (int k = 0; k < tn; ++k) {
                    rho[k] += fn[k];
                    theta[k] += gn[k];
                }
        }
        double *__restrict out = total + t0;
        for (int k = 0; k < tn; ++k) {
            dp[k] = dp[k] / Q;
            out[k] = rho[k] + theta[k];
        }
    }
}

// A line of heat sites alone with a target line in every direction, on
// D2Q9: one pass that reads each site's two sets once and writes their
// values straight to the targets, as pushPlainLine does for plain fluid; the
// moments in the operations and order of heatTile. The two end sites follow
// one by one.
template <std::size_t... I> void heatPlainLine(const Line &line, std::index_sequence<I...>)
{
    constexpr int Q = 9;
    const double omegaF = 1.0 / line.tauF, omegaG = 1.0 / line.tauG;
    const double keepF = 1.0 - omegaF, keepG = 1.0 - omegaG;
    const double a = line.buoyancy, r = line.densityFactorR;
    const bool buoyant = r > 0.0;
    const std::size_t stride = line.stride;
    const double *const cur = line.cur + line.base;
    const double *const scalar = line.scalarCur + line.base;
    const int length = line.length;
    double *const dstF[Q] = {(line.next + I * stride + line.targetBase[I] + line.along[I])...};
    double *const dstG[Q] = {(line.scalarNext + I * stride + line.targetBase[I] + line.along[I])...};
    auto site = [&](int k, double *outF, double *outG) __attribute__((always_inline)) {
        const double f[Q] = {cur[I * stride + std::size_t(k)]...};
        const double g[Q] = {scalar[I * stride + std::size_t(k)]...};
        double rho = 0.0, theta = 0.0, mx = 0.0, my = 0.0, mz = 0.0;
        auto add = [&](auto i) __attribute__((always_inline)) {
            constexpr int d = decltype(i)::value;
            if constexpr (Lattice::tables.w[Q][d] > Lattice::ActiveWeight) {
                constexpr double ex = Lattice::tables.e[Q][d][0], ey = Lattice::tables.e[Q][d][1],
                                 ez = Lattice::tables.e[Q][d][2];
                rho += f[d];
                theta += g[d];
                mx += ex * f[d];
                my += ey * f[d];
                mz += ez * f[d];
            }
        };
        (add(std::integral_constant<int, int(I)>()), ...);
        const bool massive = rho > Lattice::ActiveWeight;
        const double inv = 1.0 / rho;
        const double x = massive ? mx * inv : 0.0;
        double y = massive ? my * inv : 0.0;
        const double z = massive ? mz * inv : 0.0;
        if (massive && buoyant)
            y = y + a * theta / (r * rho);
        const double uu = x * x + y * y + z * z;
        ((outF[I] = heatFluidValue<Q, int(I)>(f[I], rho, x, y, z, uu, keepF, omegaF)), ...);
        ((outG[I] = heatScalarValue<Q, int(I)>(g[I], theta, x, y, z, keepG, omegaG)), ...);
    };
#pragma GCC ivdep
    for (int k = 1; k < length - 1; ++k) {
        double outF[Q], outG[Q];
        site(k, outF, outG);
        ((dstF[I][k] = outF[I]), ...);
        ((dstG[I][k] = outG[I]), ...);
    }
    for (int k : {0, length - 1}) {
        double outF[Q], outG[Q];
        site(k, outF, outG);
        for (int d = 0; d < Q; ++d) {
            const std::ptrdiff_t at = endTarget(line, k, d);
            if (at >= 0) {
                line.next[at] = outF[d];
                line.scalarNext[at] = outG[d];
            }
        }
        if (length == 1)
            break;
    }
}

template <int Q> void pushHeat(const Line &line)
{
    // The single pass where the plain kernel takes it, on D2Q9 (the 3D sets'
    // two sets of values do not fit the registers).
    if (line.modes)
        heatLine<Q, true>(line);
    else if (Q == 9 && Q >= KERNEL_SINGLE_PASS_FROM_Q && !line.outside)
        heatPlainLine(line, std::make_index_sequence<9>());
    else
        heatLine<Q, false>(line);
}

// ---- deposition: a settling concentration on D2Q9 ----

// The sites of a tile whose neighbour in direction I lies in the line are
// k0 to k1 - 1; with wrapping, the end site's neighbour is the other end.
struct DirectionRange
{
    int k0, k1, wrapped, wrappedTarget;
};

inline DirectionRange directionRange(const Line &line, int i, int t0, int n)
{
    const int a = line.along[i];
    DirectionRange r;
    r.k0 = (a < 0 && t0 == 0) ? 1 : 0;
    r.k1 = (a > 0 && t0 + n == line.length) ? n - 1 : n;
    r.wrapped = -1;
    r.wrappedTarget = 0;
    if ((r.k0 == 1 || r.k1 == n - 1) && line.wraps) {
        r.wrapped = r.k0 == 1 ? 0 : n - 1;
        r.wrappedTarget = r.k0 == 1 ? line.length - 1 : 0;
    }
    return r;
}

template <bool Masked> void depositionLine(const Line &line)
{
    constexpr int Q = 9;
    constexpr std::uint32_t fast = LineKernels::DepositFast;
    const std::size_t stride = line.stride;
    const int length = line.length;
    const double omega = 1.0 / line.tau;
    const double keep = 1.0 - omega;
    const double rate = line.depositionRate;
    // The deposited fractions follow the nine populations in the arrays.
    const double *const deposit = line.scalarCur + std::size_t(Q) * stride;
    alignas(64) double theta[Tile], sum[Tile];
    for (int t0 = 0; t0 < length; t0 += Tile) {
        const int n = length - t0 < Tile ? length - t0 : Tile;
        const std::uint32_t *__restrict m = Masked ? line.modes + t0 : nullptr;
        for (int k = 0; k < n; ++k)
            theta[k] = sum[k] = 0.0;
        for (int i = 0; i < Q; ++i) {
            const double *__restrict g = line.scalarCur + std::size_t(i) * stride + line.base + t0;
            for (int k = 0; k < n; ++k)
                theta[k] += g[k];
        }
        // The neighbours' deposits, in direction order.
        for (int i = 1; i < Q; ++i) {
            if (line.outside & (1u << i))
                continue;
            const double w = Lattice::tables.w[Q][i];
            const DirectionRange r = directionRange(line, i, t0, n);
            const double *__restrict d =
                deposit + (std::ptrdiff_t(line.targetBase[i] + std::size_t(t0)) + line.along[i]);
            for (int k = r.k0; k < r.k1; ++k)
                if (!Masked || (m[k] & fast))
                    sum[k] += d[k] * (9.0 / 5.0) * w;
            if (r.wrapped >= 0 && (!Masked || (m[r.wrapped] & fast)))
                sum[r.wrapped] += deposit[line.targetBase[i] + std::size_t(r.wrappedTarget)] * (9.0 / 5.0) * w;
        }
        {
            const double *__restrict own = deposit + line.base + t0;
            double *__restrict grown = line.scalarNext + std::size_t(Q) * stride + line.base + t0;
            for (int k = 0; k < n; ++k)
                if (!Masked || (m[k] & fast))
                    grown[k] = std::min(1.0, own[k] + rate * theta[k] * sum[k]);
        }
        for (int i = 0; i < Q; ++i) {
            if (line.outside & (1u << i))
                continue;
            const double w = Lattice::tables.w[Q][i];
            const DirectionRange r = directionRange(line, i, t0, n);
            const double *__restrict g = line.scalarCur + std::size_t(i) * stride + line.base + t0;
            double *const lineNext = line.scalarNext + std::size_t(i) * stride + line.targetBase[i];
            double *__restrict dst = lineNext + (std::ptrdiff_t(t0) + line.along[i]);
            for (int k = r.k0; k < r.k1; ++k)
                if (!Masked || (m[k] & fast))
                    dst[k] = g[k] * keep + theta[k] * w * omega;
            if (r.wrapped >= 0 && (!Masked || (m[r.wrapped] & fast)))
                lineNext[r.wrappedTarget] = g[r.wrapped] * keep + theta[r.wrapped] * w * omega;
        }
    }
}

void pushDeposition(const Line &line)
{
    if (line.modes)
        depositionLine<true>(line);
    else
        depositionLine<false>(line);
}

void commitDeposition(const Line &line, double *__restrict deltaP, double *__restrict total)
{
    constexpr int Q = 9;
    const std::size_t stride = line.stride;
    const int n = line.length;
    // The scalar arrays are the grid's own; Line holds them as read-only for
    // the collisions.
    double *const cur = const_cast<double *>(line.scalarCur) + line.base;
    const double *const next = line.scalarNext + line.base;
    for (int k = 0; k < n; ++k)
        deltaP[k] = 0.0;
    // Each value is read once: its change summed, then copied.
    for (int i = 0; i <= Q; ++i) {
        double *__restrict c = cur + std::size_t(i) * stride;
        const double *__restrict x = next + std::size_t(i) * stride;
        if (i < Q)
            for (int k = 0; k < n; ++k)
                deltaP[k] += absolute(x[k] - c[k]);
        for (int k = 0; k < n; ++k)
            c[k] = x[k];
    }
    double *__restrict change = cur + std::size_t(Q + 1) * stride;
    for (int k = 0; k < n; ++k) {
        deltaP[k] = deltaP[k] / 9.0;
        change[k] = deltaP[k];
        total[k] = 0.0;
    }
}

// ---- coloured scalars carried by plain fluid ----

// The velocity of a tile's sites from the fluid's current populations, in
// the operations and order of Lattice::moments (zero where the density is
// too small): the velocity a colour wrapper reads from its fluid.
template <int Q>
inline void colourVelocity(const Line &line, int t0, int n, double *__restrict ux, double *__restrict uy,
                           double *__restrict uz)
{
    const std::size_t stride = line.stride;
    const double *const cur = line.cur + line.base + t0;
    alignas(64) double rho[Tile], mx[Tile], my[Tile], mz[Tile];
    for (int k = 0; k < n; ++k)
        rho[k] = mx[k] = my[k] = mz[k] = 0.0;
    for (int i = 0; i < Q; ++i) {
        if (!(Lattice::tables.w[Q][i] > Lattice::ActiveWeight))
            continue;
        const double *__restrict f = cur + std::size_t(i) * stride;
        const double ex = Lattice::tables.e[Q][i][0], ey = Lattice::tables.e[Q][i][1],
                     ez = Lattice::tables.e[Q][i][2];
        for (int k = 0; k < n; ++k) {
            rho[k] += f[k];
            mx[k] += ex * f[k];
            my[k] += ey * f[k];
            mz[k] += ez * f[k];
        }
    }
    for (int k = 0; k < n; ++k) {
        const bool massive = rho[k] > Lattice::ActiveWeight;
        const double inv = 1.0 / rho[k];
        ux[k] = massive ? mx[k] * inv : 0.0;
        uy[k] = massive ? my[k] * inv : 0.0;
        uz[k] = massive ? mz[k] * inv : 0.0;
    }
}

// Colour c's value at a tile's sites: the sum of its Q directions in order.
template <int Q> inline void colourValue(const Line &line, int c, int t0, int n, double *__restrict theta)
{
    for (int k = 0; k < n; ++k)
        theta[k] = 0.0;
    for (int i = 0; i < Q; ++i) {
        const double *__restrict g = line.scalarCur + std::size_t(c * Q + i) * line.stride + line.base + t0;
        for (int k = 0; k < n; ++k)
            theta[k] += g[k];
    }
}

// One direction of colour c in a tile: g keep + omega (3 e.u + 1) w theta,
// pushed as heatDirection pushes the scalar.
template <int Q, int I, bool Masked>
inline void colourDirection(const Line &line, const double *ux, const double *uy, const double *uz,
                            const double *theta, int c, int t0, int n, std::uint32_t bounces)
{
    constexpr std::uint32_t bit = 1u << I;
    if (line.outside & bit)
        return;
    constexpr double w = Lattice::tables.w[Q][I];
    constexpr bool active = w > Lattice::ActiveWeight;
    constexpr double ex = Lattice::tables.e[Q][I][0], ey = Lattice::tables.e[Q][I][1],
                     ez = Lattice::tables.e[Q][I][2];
    const double omega = line.colourOmega;
    const double keep = 1.0 - omega;
    const std::size_t stride = line.stride;
    const std::size_t direction = std::size_t(c * Q + I);
    const double *__restrict g = line.scalarCur + direction * stride + line.base + t0;
    auto value = [&](int k) {
        double eq = 0.0;
        if constexpr (active)
            eq = (3.0 * (ex * ux[k] + ey * uy[k] + ez * uz[k]) + 1.0) * (w * theta[k]);
        return g[k] * keep + omega * eq;
    };
    constexpr std::uint32_t fast = LineKernels::HeatFast;
    const std::uint32_t *__restrict m = Masked ? line.modes + t0 : nullptr;
    auto pushes = [&](int k) { return !Masked || (m[k] & (fast | bit)) == fast; };
    const DirectionRange r = directionRange(line, I, t0, n);
    double *const lineNext = line.scalarNext + direction * stride + line.targetBase[I];
    double *__restrict dst = lineNext + (std::ptrdiff_t(t0) + line.along[I]);
    for (int k = r.k0; k < r.k1; ++k)
        if (pushes(k))
            dst[k] = value(k);
    if (Masked && (bounces & bit)) {
        double *__restrict own =
            line.scalarNext + std::size_t(c * Q + Lattice::tables.opp[Q][I]) * stride + line.base + t0;
        for (int k = 0; k < n; ++k)
            if ((m[k] & (fast | bit)) == (fast | bit))
                own[k] = value(k);
    }
    if (r.wrapped >= 0 && pushes(r.wrapped))
        lineNext[r.wrappedTarget] = value(r.wrapped);
}

template <int Q, bool Masked, std::size_t... I>
inline void colourDirections(const Line &line, const double *ux, const double *uy, const double *uz,
                             const double *theta, int c, int t0, int n, std::uint32_t bounces,
                             std::index_sequence<I...>)
{
    (colourDirection<Q, int(I), Masked>(line, ux, uy, uz, theta, c, t0, n, bounces), ...);
}

template <int Q, bool Masked> void colourLine(const Line &line)
{
    const std::uint32_t bounces = Masked ? bouncesOf(line, LineKernels::HeatFast) : 0;
    alignas(64) double ux[Tile], uy[Tile], uz[Tile], theta[Tile];
    for (int t0 = 0; t0 < line.length; t0 += Tile) {
        const int n = line.length - t0 < Tile ? line.length - t0 : Tile;
        colourVelocity<Q>(line, t0, n, ux, uy, uz);
        for (int c = 0; c < line.colours; ++c) {
            colourValue<Q>(line, c, t0, n, theta);
            colourDirections<Q, Masked>(line, ux, uy, uz, theta, c, t0, n, bounces, std::make_index_sequence<Q>());
        }
    }
}

template <int Q> void pushColours(const Line &line)
{
    if (line.modes)
        colourLine<Q, true>(line);
    else
        colourLine<Q, false>(line);
}

} // namespace

namespace LineKernels {

extern const Set KERNEL_SET = {{push<9>, push<15>, push<19>, push<27>},
                               {push<9, GravityForce>, push<15, GravityForce>, push<19, GravityForce>,
                                push<27, GravityForce>},
                               {push<9, NoForce, true>, push<15, NoForce, true>, push<19, NoForce, true>,
                                push<27, NoForce, true>},
                               {push<9, GravityForce, true>, push<15, GravityForce, true>,
                                push<19, GravityForce, true>, push<27, GravityForce, true>},
                               {push<9, FieldForce>, push<15, FieldForce>, push<19, FieldForce>,
                                push<27, FieldForce>},
                               {push<9, FieldForce, true>, push<15, FieldForce, true>, push<19, FieldForce, true>,
                                push<27, FieldForce, true>},
                               {stats<9>, stats<15>, stats<19>, stats<27>},
                               {statsOf<9, true>, statsOf<15, true>, statsOf<19, true>, statsOf<27, true>},
                               pushShallow,
                               {pushHeat<9>, pushHeat<15>, pushHeat<19>, pushHeat<27>},
                               {statsHeat<9>, statsHeat<15>, statsHeat<19>, statsHeat<27>},
                               pushDeposition,
                               commitDeposition,
                               {pushColours<9>, pushColours<15>, pushColours<19>, pushColours<27>},
                               {push<9, NoForce, false, float>, push<15, NoForce, false, float>,
                                push<19, NoForce, false, float>, push<27, NoForce, false, float>},
                               {push<9, GravityForce, false, float>, push<15, GravityForce, false, float>,
                                push<19, GravityForce, false, float>, push<27, GravityForce, false, float>},
                               {push<9, NoForce, true, float>, push<15, NoForce, true, float>,
                                push<19, NoForce, true, float>, push<27, NoForce, true, float>},
                               {push<9, GravityForce, true, float>, push<15, GravityForce, true, float>,
                                push<19, GravityForce, true, float>, push<27, GravityForce, true, float>},
                               {stats<9, float>, stats<15, float>, stats<19, float>, stats<27, float>},
                               {statsOf<9, true, float>, statsOf<15, true, float>, statsOf<19, true, float>,
                                statsOf<27, true, float>}};

// The colour-gradient kernel of this instruction set, beside its set.
#define KERNEL_JOIN(a, b) a##b
#define KERNEL_NAME(a, b) KERNEL_JOIN(a, b)
extern const ColourGradientFunction KERNEL_NAME(KERNEL_SET, ColourGradient) = collideColourLine;
#undef KERNEL_NAME
#undef KERNEL_JOIN

} // namespace LineKernels
