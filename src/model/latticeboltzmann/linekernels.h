#pragma once

#include <cstddef>
#include <cstdint>

// The vectorised stepping of one line of plain fluid sites (a row in 2D, a
// column of z in 3D) in the grid-owned populations: BGK collision with the
// second-order equilibrium (its velocity shifted by gravity or the
// pseudopotential force where the grid folds them in) and a push to fixed offsets, and the statistics of
// the committed line. Each kernel is built for AVX-512, AVX2 and the
// baseline instruction set from the same source; without fused multiply-add
// every build rounds exactly like the per-cell code.
namespace LineKernels {

// The site mode bits the kernels read (the grid's SiteMode values).
constexpr std::uint32_t BounceMask = (1u << 27) - 1;
constexpr std::uint32_t FastFluid = 1u << 27;
constexpr std::uint32_t PlainFluid = 1u << 28;
constexpr std::uint32_t ShallowFast = 1u << 26;
constexpr std::uint32_t HeatFast = 1u << 24;
constexpr std::uint32_t DepositFast = 1u << 22;

struct Line
{
    const double *cur;
    double *next;
    // The same populations in single precision, shifted by the weights
    // (see Populations): read and written by the single-precision kernels
    // instead of cur and next.
    const float *curSingle = nullptr;
    float *nextSingle = nullptr;
    std::size_t stride;
    // First site of the line and its length.
    std::size_t base;
    int length;
    // Per direction: the first site of the line the pushes land in, and the
    // offset along the line (-1, 0 or 1).
    std::size_t targetBase[27];
    int along[27];
    // Directions whose target line lies outside the box (its sites have no
    // neighbour there): their values leave the box and are not written.
    std::uint32_t outside;
    // Whether a push along the line past one of its ends lands at the other
    // end (periodic boundaries) or leaves the box.
    bool wraps;
    // Per site of the line: the grid's mode, or null when every site pushes
    // to all its neighbours (no walls in or around the line).
    const std::uint32_t *modes;
    double keep, omega;
    // Gravity folded into the collision (the forced kernels only): the
    // shift of each collided site's y velocity is written to shiftY (by
    // site index), formed from -g, the fluid's density factor and tau as
    // the per-cell collision forms it.
    double *shiftY = nullptr;
    double minusG = 0.0, densityFactor = 0.0, tau = 0.0;
    // The solid fraction of each site by site index (the porous kernels
    // only; zero at plain fluid sites).
    const double *solid = nullptr;
    // The pseudopotential force (the field kernels only): psi of every site
    // by site index (zero where a site has none), and with adhesion the
    // adhesion weight of every site (1 at walls, the porous solid density
    // at porous sites, zero elsewhere; null: no adhesion term). The force
    // is psi(x) (minusMpG sum w_i psi(x + e_i) e_i + minusMpGads sum w_i
    // a(x + e_i) e_i); gravity enters before it (gravityOrder 1), after it
    // (2) or not (0). The shifts are written to shiftX, shiftY, shiftZ.
    const double *psi = nullptr;
    const double *adhesion = nullptr;
    double *shiftX = nullptr, *shiftZ = nullptr;
    double minusMpG = 0.0, minusMpGads = 0.0;
    int gravityOrder = 0;
    // Whether a field value may be non-finite, so that terms along zero
    // components of e_i must be formed too (they are NaN then).
    bool exactZeros = false;
    // Shallow water (the shallow kernel only, with tau above): gravity g
    // and the bed friction coefficient kappa.
    double shallowG = 0.0, shallowKappa = 0.0;
    // Heat (the heat kernels only): the scalar populations beside cur and
    // next (same layout), the fluid's and the scalar's relaxation times,
    // the buoyancy factor g beta tauF and the density factor r (no buoyancy
    // unless r > 0).
    const double *scalarCur = nullptr;
    double *scalarNext = nullptr;
    double tauF = 1.0, tauG = 1.0, buoyancy = 0.0, densityFactorR = 0.0;
    // Deposition (the deposition kernel only, with tau above and the
    // deposition cells' values in the scalar arrays): the deposition rate.
    double depositionRate = 0.0;
    // Coloured scalars (the colour kernels only): the number of colours,
    // whose distributions fill the scalar arrays (colour c's direction i as
    // direction c Q + i), and their relaxation rate 1 / epsilon.
    int colours = 0;
    double colourOmega = 1.0;
};

// The site of a line's neighbour in direction i of the line's site k, or -1
// where there is none (its line outside the box, or past an end of a line
// that does not wrap).
inline std::ptrdiff_t lineNeighbour(const Line &line, int i, int k)
{
    if (line.outside & (1u << i))
        return -1;
    int target = k + line.along[i];
    if (target < 0 || target >= line.length) {
        if (!line.wraps)
            return -1;
        target = target < 0 ? line.length - 1 : 0;
    }
    return std::ptrdiff_t(line.targetBase[i]) + target;
}

// Collides the line's fast sites and pushes their values: to the
// neighbours, or for a bounce-back direction into the site's own opposite
// entry; a value whose neighbour lies outside the box is dropped, as the
// per-cell push drops it. Sites without FastFluid are left to the caller;
// without modes every site is fast and has no wall around it.
using PushFunction = void (*)(const Line &line);
// For the attached sites of a committed line: deltaP (the mean change over
// the directions) and the density, in the order of the per-cell code.
using StatsFunction = void (*)(const Line &line, double *deltaP, double *density);
// The same, and the speed |u| of each attached site from its committed
// values, with the arithmetic of the view's PlainMoments (zero where the
// density is too small).
using StatsSpeedFunction = void (*)(const Line &line, double *deltaP, double *density, double *speed);

struct Set
{
    PushFunction push[4]; // Q = 9, 15, 19, 27
    // The same under gravity, the one body force.
    PushFunction pushForced[4];
    // The same with porous sites in the line, without and with gravity.
    PushFunction pushPorous[4];
    PushFunction pushPorousForced[4];
    // The same under the pseudopotential force (and gravity), without and
    // with porous sites.
    PushFunction pushField[4];
    PushFunction pushPorousField[4];
    StatsFunction stats[4];
    StatsSpeedFunction statsSpeed[4];
    // Shallow water on D2Q9: BGK towards the shallow-water equilibrium with
    // the bed friction, for the sites marked ShallowFast (every site without
    // modes), as ShallowCell::collide forms it.
    PushFunction pushShallow;
    // Heat: the fluid and scalar collisions of the sites marked HeatFast
    // (every site without modes), as PassiveScalar::preUpdate forms them
    // with the second-order equilibrium, both sets pushed.
    PushFunction pushHeat[4];
    // For the heat sites of a committed line: deltaP (the mean change of
    // both sets over the directions) and the density plus scalar, as
    // PassiveScalar::nextStatistics forms them.
    StatsFunction statsHeat[4];
    // Deposition on D2Q9: the concentration's relaxation towards w_i theta
    // pushed to the neighbours and the deposit's growth from the
    // neighbours' deposits, for the sites marked DepositFast (every site
    // without modes), as DepositionCell::preUpdate forms them.
    PushFunction pushDeposition;
    // The commit of every site of a line (at most one tile of 256 sites)
    // holding deposition cells' values: deltaP as computeDeltaP forms it,
    // kept as the last change, the next values copied into the current
    // ones and zero as the density (the cells' getP(-1)). Entries of other
    // sites in the scalar arrays are unused, so they are committed too.
    StatsFunction commitDeposition;
    // Coloured scalars carried by plain fluid: each colour's relaxation
    // towards its first-order equilibrium with the velocity of the fluid's
    // current populations, pushed, for the sites marked HeatFast (every
    // site without modes), as PassiveScalarCell::preUpdate forms it.
    PushFunction pushColours[4];
    // Plain fluid in single precision (the populations' shifted floats): the
    // push, forced, porous and porous forced kernels and the statistics, with
    // the arithmetic of the double kernels above.
    PushFunction pushSingle[4];
    PushFunction pushSingleForced[4];
    PushFunction pushSinglePorous[4];
    PushFunction pushSinglePorousForced[4];
    StatsFunction statsSingle[4];
    StatsSpeedFunction statsSpeedSingle[4];
};

// Vector levels: 1 baseline, 2 AVX2, 3 AVX-512.
int bestLevel();
const Set &kernels(int level);
inline int slot(int q)
{
    return q == 9 ? 0 : q == 15 ? 1 : q == 19 ? 2 : q == 27 ? 3 : -1;
}

extern const Set baselineSet;
extern const Set avx2Set;
extern const Set avx512Set;

} // namespace LineKernels
