#include "scaled.h"

#include "forces/multiphase.h"
#include "grid.h"
#include "immersed/immersedset.h"
#include "lattice.h"
#include "linekernels.h"
#include "linekernels_colour.h"
#include "linekernels_mixture.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "deposition/depositioncell.h"
#include "heat/passivescalar.h"
#include "porous/shallowcell.h"
#include "sccell.h"
#include "tracers/passivescalarcell.h"
#include "tracers/scalartracersettings.h"

#include <algorithm>
#include <cmath>

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

// Writes a fast site's post-collision values into the grid's next array: to
// the neighbour in each direction, or for a plain wall back into the site's
// own opposite entry (where the wall would forward it). A value whose
// neighbour lies outside the box (no entry in the block) is dropped.
void pushToPopulations(const Grid &g, Populations &p, BaseCell *const *block, int s, int x, int y, int z,
                       std::uint32_t mode, int q, const double *out)
{
    const int nx = g.getWidth(), ny = g.getHeight(), nz = g.getLength();
    for (int i = 0; i < q; ++i) {
        if (mode & (1u << i)) {
            p.setNext(Lattice::tables.opp[q][i], std::size_t(s), out[i]);
            continue;
        }
        if (!block[i])
            continue;
        const int *e = Lattice::tables.e[q][i];
        const int tx = (x + e[0] + nx) % nx, ty = (y + e[1] + ny) % ny, tz = (z + e[2] + nz) % nz;
        p.setNext(i, std::size_t(g.siteIndex(tx, ty, tz)), out[i]);
    }
}

} // namespace

// Phase 0. With plain BGK (no force but those the grid folds in, no
// Smagorinsky or entropic option, second-order equilibrium) every line with
// fast sites runs the vector kernel; otherwise fast sites collide through
// the cell's own routine and push into the populations. Plain walls and
// null cells have nothing to do; every other cell gets its virtual preUpdate.
void Scaled::collideAndStream(int y, int x0, int x1) const
{
    Grid &g = *grid;
    const int nx = g.nx, nz = g.nz, q = g.neighbourQ;
    double *params = g.parameters->parameterBlock();
    const bool fast = g.fastPath;
    SimulationParameters *sp = g.parameters.get();
    // A force the grid folds into the kernels: gravity alone, or the
    // pseudopotential force from the grid's fields.
    const bool folded = g.populations.fieldShifts;
    const bool field = folded && g.forceFold == Grid::FieldFold;
    const bool gravity = folded && !field;
    const bool plain = (sp->getForces().isEmpty() || folded) && !sp->getEntropic() &&
                       !(sp->getSmagorinsky() > 0.0) && sp->getVelocityOrder() == 2;
    const int slot = LineKernels::slot(q);
    // Under a force the colour sites' fluid steps on its own path.
    const bool colourForces = g.scalarsColour && !sp->getForces().isEmpty();
    if (fast && plain && slot >= 0 && !colourForces) {
        const LineKernels::Set &set = LineKernels::kernels(g.getVectorLevel());
        // Single-precision populations never fold the pseudopotential force
        // (see Grid::chooseForceMode).
        const bool single = g.populations.single;
        const LineKernels::PushFunction push =
            single ? (gravity ? set.pushSingleForced[slot] : set.pushSingle[slot])
            : field ? set.pushField[slot]
            : gravity ? set.pushForced[slot]
                      : set.push[slot];
        const LineKernels::PushFunction pushPorous =
            single ? (gravity ? set.pushSinglePorousForced[slot] : set.pushSinglePorous[slot])
            : field ? set.pushPorousField[slot]
            : gravity ? set.pushPorousForced[slot]
                      : set.pushPorous[slot];
        LineKernels::Line line;
        line.cur = g.populations.cur;
        line.next = g.populations.next;
        line.curSingle = g.populations.curSingle;
        line.nextSingle = g.populations.nextSingle;
        line.stride = g.populations.stride;
        line.omega = 1.0 / params[0];
        line.keep = 1.0 - line.omega;
        line.solid = g.populations.solid;
        if (folded) {
            line.shiftY = g.populations.shiftY;
            line.minusG = -sp->getGravity();
            line.densityFactor = sp->getDensity1();
            line.tau = params[0];
        }
        if (field) {
            line.shiftX = g.populations.shiftX;
            line.shiftZ = g.populations.shiftZ;
            line.psi = g.psiField.data();
            line.adhesion = sp->getMpGads() != 0.0 ? g.adhesionField.data() : nullptr;
            line.minusMpG = -sp->getMpG();
            line.minusMpGads = -sp->getMpGads();
            line.gravityOrder = g.gravityOrder;
            // psi0 exp(-rho0 / rho) is finite for rho0 >= 0 and a finite psi0.
            line.exactZeros = !(std::isfinite(sp->getMpPsi0()) && sp->getMpP0() >= 0.0 &&
                                std::isfinite(sp->getPorousSolidDensity()));
        }
        const int lines = nz > 1 ? nx : 1;
        const int length = nz > 1 ? nz : nx;
        const int first = nz > 1 ? x0 : 0, last = nz > 1 && x1 >= 0 ? x1 : lines - 1;
        line.wraps = sp->getPeriodicBoundaries();
        // The heat kernel forms the second-order equilibrium only; the
        // colour kernel (the colours in the scalar set) the first-order one.
        const bool heatKernel =
            g.scalars.stride > 0 && !g.scalarsDeposit && (g.scalarsColour || sp->getVelocityOrder() == 2);
        for (int l = first; l <= last; ++l) {
            const int lineIndex = nz > 1 ? y * nx + l : y;
            line.base = std::size_t(lineIndex) * length;
            line.length = length;
            const int kind = g.lineKinds[std::size_t(lineIndex)];
            const int shallowKind = g.lineShallow[std::size_t(lineIndex)];
            const int heatKind = heatKernel ? g.lineHeat[std::size_t(lineIndex)] : 0;
            const int depositKind = g.scalarsDeposit ? g.lineDeposit[std::size_t(lineIndex)] & 3 : 0;
            if (kind != 0 || shallowKind != 0 || heatKind != 0 || depositKind != 0) {
                line.outside = 0;
                for (int i = 0; i < q; ++i)
                    if (!g.lineTarget(l, y, i, line.targetBase[i], line.along[i])) {
                        line.targetBase[i] = 0;
                        line.outside |= 1u << i;
                    }
            }
            if (kind != 0) {
                line.modes = kind == 2 ? nullptr : &g.siteModes[line.base];
                if (g.linePorous[std::size_t(lineIndex)])
                    pushPorous(line);
                else
                    push(line);
                // A line of colour sites has its colours to step still.
                if (kind == 2 && heatKind == 0)
                    continue;
            }
            // Shallow-water sites (D2Q9 only) among the line's sites.
            if (shallowKind != 0) {
                LineKernels::Line water = line;
                water.modes = shallowKind == 2 ? nullptr : &g.siteModes[line.base];
                water.tau = params[0];
                water.shallowG = sp->getShallowG();
                water.shallowKappa = sp->getShallowNB();
                set.pushShallow(water);
                if (shallowKind == 2)
                    continue;
            }
            // Colour sites: their colours, with the velocity of the fluid.
            if (heatKind != 0 && g.scalarsColour) {
                LineKernels::Line colours = line;
                colours.modes = heatKind == 2 ? nullptr : &g.siteModes[line.base];
                colours.scalarCur = g.scalars.cur;
                colours.scalarNext = g.scalars.next;
                colours.colours = g.scalars.q / q;
                colours.colourOmega = 1.0 / g.scalarTracers->getEpsilon();
                set.pushColours[slot](colours);
                if (heatKind == 2)
                    continue;
            }
            // Heat sites: both population sets.
            else if (heatKind != 0) {
                LineKernels::Line heat = line;
                heat.modes = heatKind == 2 ? nullptr : &g.siteModes[line.base];
                heat.scalarCur = g.scalars.cur;
                heat.scalarNext = g.scalars.next;
                heat.tauF = sp->getEffectiveTau0();
                heat.tauG = sp->getEffectiveTau1();
                heat.buoyancy = sp->getPassiveScalarGravity() * sp->getEffectiveThermalExpansion() * heat.tauF;
                heat.densityFactorR = sp->nanoDensityFactor();
                set.pushHeat[slot](heat);
                if (heatKind == 2)
                    continue;
            }
            // Two-component mixtures in the mixture stores.
            const bool mixtureLine = g.mixtures.lineHasKernelSites(std::size_t(lineIndex));
            if (mixtureLine)
                collideMixtures(y, l);
            // Colour-gradient cells in the mixture stores.
            const bool colourLine = g.mixtures.lineHasColourKernelSites(std::size_t(lineIndex));
            if (colourLine)
                collideColours(y, l);
            // Deposition sites (D2Q9 only): their values in the scalar set.
            if (depositKind != 0) {
                LineKernels::Line deposit = line;
                deposit.modes = depositKind == 2 ? nullptr : &g.siteModes[line.base];
                deposit.stride = g.scalars.stride;
                deposit.scalarCur = g.scalars.cur;
                deposit.scalarNext = g.scalars.next;
                deposit.tau = params[1];
                deposit.depositionRate = sp->getDepositionRate();
                set.pushDeposition(deposit);
                if (depositKind == 2)
                    continue;
            }
            for (int k = 0; k < length; ++k) {
                const std::size_t s = line.base + std::size_t(k);
                const std::uint32_t mode = g.siteModes[s];
                if (mode & (Grid::FastFluid | Grid::ShallowFast | Grid::PlainWall | Grid::PlainNull))
                    continue;
                if ((heatKind != 0 && (mode & Grid::HeatFast)) || (depositKind != 0 && (mode & Grid::DepositFast)))
                    continue;
                if ((mixtureLine || colourLine) &&
                    (g.mixtures.flagsAt(s) & (MixtureLayout::Kernel | MixtureLayout::ColourKernel)))
                    continue;
                const int x = nz > 1 ? l : k, z = nz > 1 ? k : 0;
                BaseCell *scratch[Lattice::MaxQ];
                g.cells[s]->preUpdate(params, g.neighbourRow(int(s), scratch), grid,
                                      Vector3i(x, y, z));
            }
        }
        return;
    }
    double out[Lattice::MaxQ];
    const int first = nz > 1 ? x0 : 0, last = nz > 1 && x1 >= 0 ? x1 : nx - 1;
    // The mixtures' line kernel runs apart from the plain kernels' options.
    if (fast && !g.mixtures.empty()) {
        for (int l = nz > 1 ? first : 0; l <= (nz > 1 ? last : 0); ++l)
            if (g.mixtures.lineHasKernelSites(std::size_t(nz > 1 ? y * nx + l : y)))
                collideMixtures(y, l);
        for (int l = nz > 1 ? first : 0; l <= (nz > 1 ? last : 0); ++l)
            if (g.mixtures.lineHasColourKernelSites(std::size_t(nz > 1 ? y * nx + l : y)))
                collideColours(y, l);
    }
    for (int x = first; x <= last; ++x) {
        for (int z = 0; z < nz; ++z) {
            const int s = (y * nx + x) * nz + z;
            if (fast && (g.mixtures.flagsAt(std::size_t(s)) & (MixtureLayout::Kernel | MixtureLayout::ColourKernel)))
                continue;
            BaseCell *cell = g.cells[s];
            BaseCell *scratch[Lattice::MaxQ];
            BaseCell **block = g.neighbourRow(s, scratch);
            const std::uint32_t mode = g.siteModes[s];
            // A porous site exchanges part of its values on the way out,
            // which its own preUpdate does.
            const bool porous = g.populations.solid && g.populations.solid[s] != 0.0;
            if (fast && (mode & Grid::FastFluid) && !porous && !(mode & Grid::HeatFluid)) {
                if (g.isHandle(cell))
                    static_cast<PlainSite *>(cell)->collide(params, block, grid, Vector3i(x, y, z), out);
                else
                    static_cast<SCCell *>(cell)->collide(params, block, grid, Vector3i(x, y, z), out);
                pushToPopulations(g, g.populations, block, s, x, y, z, mode, q, out);
            } else if (fast && (mode & (Grid::PlainWall | Grid::PlainNull))) {
                continue;
            } else {
                cell->preUpdate(params, block, grid, Vector3i(x, y, z));
            }
        }
    }
}

LineKernels::Line Scaled::mixtureArrays() const
{
    const Grid &g = *grid;
    LineKernels::Line line;
    line.cur = g.mixtures.store(0).cur;
    line.next = g.mixtures.store(0).next;
    line.scalarCur = g.mixtures.store(1).cur;
    line.scalarNext = g.mixtures.store(1).next;
    line.stride = g.mixtures.store(0).stride;
    return line;
}

LineKernels::Line Scaled::mixtureLine(int y, int l) const
{
    Grid &g = *grid;
    const int nx = g.nx, nz = g.nz;
    LineKernels::Line line = mixtureArrays();
    line.length = nz > 1 ? nz : nx;
    line.base = std::size_t(nz > 1 ? y * nx + l : y) * std::size_t(line.length);
    line.wraps = g.parameters->getPeriodicBoundaries();
    line.outside = 0;
    for (int i = 0; i < g.neighbourQ; ++i)
        if (!g.lineTarget(l, y, i, line.targetBase[i], line.along[i])) {
            line.targetBase[i] = 0;
            line.outside |= 1u << i;
        }
    return line;
}

void Scaled::collideMixtures(int y, int l) const
{
    Grid &g = *grid;
    const int nz = g.nz;
    const LineKernels::Line line = mixtureLine(y, l);
    // Two components without body forces collide a tile at a time.
    const SimulationParameters *p = g.parameters.get();
    const double *params = p->parameterBlock();
    const LineKernels::MixtureConstants constants{{params[0], params[1]},
                                                  p->getMcG(),
                                                  {p->getMcGads(), p->getMcGads2()},
                                                  p->getPorousSolidDensity(),
                                                  g.componentFieldInUse(),
                                                  &g.mixtures};
    const bool tiles = constants.field && p->getMcQuantity() == 2 && p->getForces().isEmpty();
    LineKernels::collideMixtures(
        line, g.mixtures.siteFlags(), g.cells.data(), grid, g.parameters->parameterBlock(), tiles ? &constants : nullptr,
        [&g](std::size_t s, BaseCell **scratch) { return g.neighbourRow(int(s), scratch); },
        [&](int k) { return nz > 1 ? Vector3i(l, y, k) : Vector3i(k, y, 0); });
}

void Scaled::collideColours(int y, int l) const
{
    Grid &g = *grid;
    const LineKernels::Line line = mixtureLine(y, l);
    const SimulationParameters *p = g.parameters.get();
    const RKCell::Collision constants{p->parameterBlock()[0], p->getRkAmplitude(), p->getRkBeta(),
                                      p->getVelocityOrder()};
    LineKernels::colourGradientKernel(g.getVectorLevel())(line, g.mixtures.siteFlags(), g.mixtures.phaseField(), g.neighbourQ, constants);
}

void Scaled::boundaries(int y) const
{
    Grid &g = *grid;
    const int nx = g.nx, nz = g.nz;
    double *params = g.parameters->parameterBlock();
    const bool fast = g.fastPath;
    const bool wallsWork = g.parameters->getMcType() == 4;
    ImmersedSet *immersed = g.immersed.get();
    const bool spread = !immersed->isEmpty();
    for (int x = 0; x < nx; ++x) {
        for (int z = 0; z < nz; ++z) {
            const int s = (y * nx + x) * nz + z;
            const std::uint32_t mode = g.siteModes[s];
            const bool skip = fast && ((mode & (Grid::PlainFluid | Grid::ShallowFluid | Grid::HeatFluid | Grid::PlainNull)) ||
                                       (g.scalarsDeposit && (mode & Grid::DepositFluid)) ||
                                       g.mixtures.attachedAt(std::size_t(s)) || g.mixtures.colourAt(std::size_t(s)) ||
                                       ((mode & Grid::PlainWall) && !wallsWork));
            if (!skip) {
                BaseCell *scratch[Lattice::MaxQ];
                g.cells[s]->update(params, g.neighbourRow(s, scratch), grid,
                                   Vector3i(x, y, z));
            }
            if (spread)
                immersed->spreadAt(x, y, z);
        }
    }
}

// Phase 2. The attached cells are committed by the flip of the populations
// that follows the phase; here their deltaP and their new density are summed
// (by the line kernel on the fast path), in site order with the values of the
// other cells, which commit themselves. Plain walls and null cells contribute
// exact zeros, which leave the sums unchanged, so they are skipped.
void Scaled::commit(int y) const
{
    Grid &g = *grid;
    const int nx = g.nx, nz = g.nz, q = g.neighbourQ;
    double deltaP = 0.0, totalP = 0.0;
    const int slot = LineKernels::slot(q);
    if (g.fastPath && slot >= 0) {
        const LineKernels::Set &set = LineKernels::kernels(g.getVectorLevel());
        const bool single = g.populations.single;
        const LineKernels::StatsFunction stats = single ? set.statsSingle[slot] : set.stats[slot];
        constexpr int Tile = 256;
        double change[Tile], density[Tile], heatChange[Tile], heatTotal[Tile], depositChange[Tile],
            depositTotal[Tile], mixtureChange[Tile], mixtureTotal[Tile], colourChange[Tile], colourRed[Tile],
            colourBlue[Tile], colourMx[Tile], colourMy[Tile], colourMz[Tile];
        const LineKernels::StatsFunction commitDeposition = LineKernels::kernels(g.getVectorLevel()).commitDeposition;
        const bool heat = g.scalars.stride > 0 && !g.scalarsDeposit && !g.scalarsColour;
        const LineKernels::StatsFunction statsHeat = LineKernels::kernels(g.getVectorLevel()).statsHeat[slot];
        LineKernels::Line line;
        line.cur = g.populations.cur;
        line.next = g.populations.next;
        line.curSingle = g.populations.curSingle;
        line.nextSingle = g.populations.nextSingle;
        line.scalarCur = g.scalars.cur;
        line.scalarNext = g.scalars.next;
        line.stride = g.populations.stride;
        line.modes = nullptr;
        const int lines = nz > 1 ? nx : 1;
        const int length = nz > 1 ? nz : nx;
        const LineKernels::Line mixtures = mixtureArrays();
        LineKernels::MixtureMoments moments;
        // The view's values of the committed sites, from the next array
        // that the flip makes current (on a 2D grid, when the step keeps them).
        const LineKernels::StatsSpeedFunction statsSpeed = single ? set.statsSpeedSingle[slot] : set.statsSpeed[slot];
        double *kept = g.keeping ? g.kept.data() : nullptr;
        const bool keepSpeed = g.keepWanted == Grid::PlainValue::Speed;
        for (int l = 0; l < lines; ++l) {
            const int lineIndex = nz > 1 ? y * nx + l : y;
            const std::size_t base = std::size_t(lineIndex) * length;
            const bool attached = g.lineAttached[std::size_t(lineIndex)] && !g.skipAttachedSums;
            // Every site plain fluid: only the sums, in site order.
            const bool plainLine = g.lineKinds[std::size_t(lineIndex)] == 2;
            for (int t0 = 0; t0 < length; t0 += Tile) {
                const int n = length - t0 < Tile ? length - t0 : Tile;
                if (attached) {
                    line.base = base + std::size_t(t0);
                    line.length = n;
                    if (kept && keepSpeed)
                        statsSpeed(line, change, density, kept + line.base);
                    else
                        stats(line, change, density);
                    if (kept && !keepSpeed)
                        std::copy(density, density + n, kept + line.base);
                    if (g.producingPsi)
                        storePsi(line.base, n, density);
                }
                if (plainLine) {
                    if (attached)
                        for (int k = 0; k < n; ++k) {
                            deltaP += change[k];
                            totalP += density[k];
                        }
                    continue;
                }
                // A line of plain fluid alone holds no heat site.
                if (heat) {
                    LineKernels::Line tile = line;
                    tile.base = base + std::size_t(t0);
                    tile.length = n;
                    statsHeat(tile, heatChange, heatTotal);
                    // Heat sites alone: their sums in site order.
                    if (g.lineHeat[std::size_t(lineIndex)] == 2) {
                        for (int k = 0; k < n; ++k) {
                            deltaP += heatChange[k];
                            totalP += heatTotal[k];
                        }
                        continue;
                    }
                }
                // The attached mixtures' sums, from the mixture stores.
                // Their phase-3 work too, from the next values the flip
                // makes current.
                const bool mixtureSums = g.mixtures.lineHasAttachedSites(std::size_t(lineIndex));
                if (mixtureSums)
                    for (int k = 0; k < n; k += LineKernels::MixtureTile::Sites) {
                        const std::size_t first = base + std::size_t(t0 + k);
                        const int m = std::min(n - k, LineKernels::MixtureTile::Sites);
                        const double *const next[MixtureLayout::Components] = {mixtures.next, mixtures.scalarNext};
                        const double *const cur[MixtureLayout::Components] = {mixtures.cur, mixtures.scalarCur};
                        moments.form(next, mixtures.stride, first, m, q, cur);
                        moments.statistics(m, q, mixtureChange + k, mixtureTotal + k);
                        finishMixtureSites(first, m, moments);
                    }
                // The attached colour-gradient cells' sums, from the stores,
                // and the moments they take after the commit (which makes
                // the next values current) with their phase.
                const bool colourSums = g.mixtures.lineHasColourSites(std::size_t(lineIndex));
                // Between the iterations of one call to step on a 3D grid
                // only the moments are needed, as for plain fluid.
                const bool colourChanges = !g.skipAttachedSums;
                if (colourSums)
                    for (int k = 0; k < n; k += RKCell::TileSites)
                        LineKernels::colourStatistics(mixtures, base + std::size_t(t0 + k),
                                                      std::min(n - k, RKCell::TileSites), q,
                                                      colourChanges ? colourChange + k : nullptr,
                                                      colourRed + k, colourBlue + k, colourMx + k, colourMy + k,
                                                      colourMz + k);
                const int depositKind = g.scalarsDeposit ? g.lineDeposit[std::size_t(lineIndex)] : 0;
                if (depositKind & 4) {
                    LineKernels::Line tile = line;
                    tile.base = base + std::size_t(t0);
                    tile.length = n;
                    commitDeposition(tile, depositChange, depositTotal);
                    // Deposition sites alone: their sums in site order.
                    if ((depositKind & 3) == 2) {
                        for (int k = 0; k < n; ++k) {
                            deltaP += depositChange[k];
                            totalP += depositTotal[k];
                        }
                        continue;
                    }
                }
                for (int k = 0; k < n; ++k) {
                    const std::size_t s = base + std::size_t(t0 + k);
                    const std::uint32_t mode = g.siteModes[s];
                    if ((mode & (Grid::PlainFluid | Grid::ShallowFluid)) ||
                        (g.scalarsColour && (mode & Grid::HeatFluid))) {
                        if (attached) {
                            deltaP += change[k];
                            totalP += density[k];
                        }
                    } else if (mode & Grid::HeatFluid) {
                        deltaP += heatChange[k];
                        totalP += heatTotal[k];
                    } else if ((depositKind & 4) && (mode & Grid::DepositFluid)) {
                        deltaP += depositChange[k];
                        totalP += depositTotal[k];
                    } else if (mixtureSums && g.mixtures.attachedAt(s)) {
                        // An attached mixture is committed by the flip; its
                        // figures come from the mixture stores.
                        g.mixtures.state(MixtureLayout::DeltaP)[s] = mixtureChange[k];
                        deltaP += mixtureChange[k];
                        totalP += mixtureTotal[k];
                    } else if (colourSums && g.mixtures.colourAt(s)) {
                        // So is an attached colour-gradient cell.
                        RKCell *cell = static_cast<RKCell *>(g.cells[s]);
                        cell->keepMoments(colourRed[k], colourBlue[k], Vector3d(colourMx[k], colourMy[k], colourMz[k]));
                        if (colourChanges) {
                            cell->keepDeltaP(colourChange[k]);
                            deltaP += colourChange[k];
                            totalP += colourRed[k] + colourBlue[k];
                        }
                    } else if (!(mode & (Grid::PlainWall | Grid::PlainNull))) {
                        BaseCell *cell = g.cells[s];
                        deltaP += cell->computeDeltaP();
                        cell->postUpdate();
                        totalP += cell->getP(-1);
                    }
                }
            }
        }
    } else {
        for (int x = 0; x < nx; ++x) {
            for (int z = 0; z < nz; ++z) {
                const int s = (y * nx + x) * nz + z;
                BaseCell *cell = g.cells[s];
                deltaP += cell->computeDeltaP();
                cell->postUpdate();
                const std::uint32_t mode = g.siteModes[s];
                double total;
                if (mode & Grid::PlainFluid) {
                    total = PlainSite::nextDensityOf(cell);
                } else if (mode & Grid::ShallowFluid) {
                    total = static_cast<ShallowCell *>(cell)->nextDepth();
                } else if (g.scalarsColour && (mode & Grid::HeatFluid)) {
                    total = static_cast<SCCell *>(static_cast<PassiveScalarCell *>(cell)->inner())->nextDensity();
                } else if (mode & Grid::HeatFluid) {
                    double delta;
                    static_cast<PassiveScalar *>(cell)->nextStatistics(delta, total);
                } else if (g.mixtures.attachedAt(std::size_t(s))) {
                    total = static_cast<MCCell *>(cell)->nextDensity();
                } else if (g.mixtures.colourAt(std::size_t(s))) {
                    total = static_cast<RKCell *>(cell)->nextDensity();
                } else {
                    total = cell->getP(-1);
                }
                totalP += total;
            }
        }
    }
    g.rowDeltaP[y] = deltaP;
    g.rowTotalP[y] = totalP;
}

void Scaled::finishMixtures(int y, int l) const
{
    Grid &g = *grid;
    const int nx = g.nx, nz = g.nz, q = g.neighbourQ;
    const LineKernels::Line arrays = mixtureArrays();
    const double *const current[MixtureLayout::Components] = {arrays.cur, arrays.scalarCur};
    const int length = nz > 1 ? nz : nx;
    const std::size_t base = std::size_t(nz > 1 ? y * nx + l : y) * std::size_t(length);
    LineKernels::MixtureMoments moments;
    for (int t0 = 0; t0 < length; t0 += LineKernels::MixtureTile::Sites) {
        const int n = std::min(length - t0, LineKernels::MixtureTile::Sites);
        moments.form(current, arrays.stride, base + std::size_t(t0), n, q);
        finishMixtureSites(base + std::size_t(t0), n, moments);
    }
}

bool Scaled::mixturesFinishInCommit() const
{
    return grid->fastPath && LineKernels::slot(grid->neighbourQ) >= 0;
}

void Scaled::finishMixtureSites(std::size_t first, int n, const LineKernels::MixtureMoments &m) const
{
    constexpr int N = MixtureLayout::Components;
    Grid &g = *grid;
    ComponentField *field = g.componentFieldInUse();
    // The relaxation times of the collision just committed.
    const double *tau = g.parameters->parameterBlock();
    for (int k = 0; k < n; ++k) {
        const std::size_t s = first + std::size_t(k);
        if (!g.mixtures.attachedAt(s))
            continue;
        const double density[N] = {m.density[0][k], m.density[1][k]};
        const Vector3d momenta[N] = {Vector3d(m.mx[0][k], m.my[0][k], m.mz[0][k]),
                                     Vector3d(m.mx[1][k], m.my[1][k], m.mz[1][k])};
        g.mixtures.setStateVector(MixtureLayout::Common, s, MCCell::commonVelocityOf(N, momenta, density, tau));
        if (field) {
            for (int j = 0; j < field->components(); ++j)
                field->setDensity(j, s, j < N ? density[j] : 0.0);
            field->setKind(s, ComponentField::Mixture);
        }
    }
}

void Scaled::finish(int y) const
{
    Grid &g = *grid;
    const int nx = g.nx, nz = g.nz;
    const bool fast = g.fastPath;
    // The attached mixtures' common velocities and their densities in the
    // component field, from the committed values in the mixture stores.
    if (fast && !g.mixtures.empty() && !mixturesFinishInCommit())
        for (int l = 0; l < (nz > 1 ? nx : 1); ++l)
            if (g.mixtures.lineHasAttachedSites(std::size_t(nz > 1 ? y * nx + l : y)))
                finishMixtures(y, l);
    for (int x = 0; x < nx; ++x) {
        for (int z = 0; z < nz; ++z) {
            const int s = (y * nx + x) * nz + z;
            const std::uint32_t mode = g.siteModes[s];
            if (fast && (g.mixtures.attachedAt(std::size_t(s)) || g.mixtures.colourAt(std::size_t(s))))
                continue;
            if (fast && (mode &
                         (Grid::PlainFluid | Grid::ShallowFluid | Grid::HeatFluid | Grid::PlainWall | Grid::PlainNull)))
                continue;
            // A deposition cell without a deposit reflects nothing.
            if (fast && g.scalarsDeposit && (mode & Grid::DepositFluid) &&
                g.scalars.cur[std::size_t(DepositionCell::DepositIndex) * g.scalars.stride + std::size_t(s)] == 0.0)
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
    const int nx = grid->nx, nz = grid->nz;
    for (int k = first; k <= last; ++k) {
        const bool commitPrevious = k - 1 > first && k - 1 < last;
        if (nz == 1 || !commitPrevious) {
            collideAndStream(rows[k]);
            if (commitPrevious)
                commit(rows[k - 1]);
            continue;
        }
        // In 3D a row is a whole plane, too large to stay in cache until
        // the next one is done: each column of the previous row is committed
        // as soon as the columns around it in this row have streamed (the
        // wrapped first and last ones at the end), and the row's sums are
        // formed afterwards in site order.
        const int y = rows[k], previous = rows[k - 1];
        double *change = grid->fusedBuffers.data() + std::size_t(chunk) * 2 * nx * nz;
        double *density = change + std::size_t(nx) * nz;
        for (int x = 0; x < nx; ++x) {
            collideAndStream(y, x, x);
            if (x >= 2)
                commitColumn(previous, x - 1, change, density);
        }
        if (nx > 1)
            commitColumn(previous, nx - 1, change, density);
        commitColumn(previous, 0, change, density);
        sumRow(previous, change, density);
    }
}

void Scaled::commitColumn(int y, int x, double *change, double *density) const
{
    Grid &g = *grid;
    const int nx = g.nx, nz = g.nz;
    const std::size_t base = (std::size_t(y) * nx + x) * nz;
    double *dc = change + std::size_t(x) * nz, *dr = density + std::size_t(x) * nz;
    // The column as one line of the grid's arrays, for the sums of the
    // attached sites.
    LineKernels::Line line;
    line.cur = g.populations.cur;
    line.next = g.populations.next;
    line.curSingle = g.populations.curSingle;
    line.nextSingle = g.populations.nextSingle;
    line.scalarCur = g.scalars.cur;
    line.scalarNext = g.scalars.next;
    line.stride = g.populations.stride;
    line.modes = nullptr;
    line.base = base;
    line.length = nz;
    const LineKernels::Set &set = LineKernels::kernels(g.getVectorLevel());
    const int slot = LineKernels::slot(g.neighbourQ);
    // Sums that nobody reads are left out for the attached cells; the other
    // cells commit (and keep their own last deltaP, which the view shows).
    if (!g.skipAttachedSums && g.lineAttached[std::size_t(y) * nx + x]) {
        (g.populations.single ? set.statsSingle[slot] : set.stats[slot])(line, dc, dr);
        if (g.producingPsi)
            storePsi(base, nz, dr);
    }
    // The heat sites' sums (committed by the flips, like plain fluid).
    constexpr int MaxColumn = 1024;
    double heatChange[MaxColumn], heatTotal[MaxColumn];
    const bool heat =
        g.scalars.stride > 0 && !g.scalarsDeposit && !g.scalarsColour && !g.skipAttachedSums && nz <= MaxColumn;
    if (heat)
        set.statsHeat[slot](line, heatChange, heatTotal);
    for (int z = 0; z < nz; ++z) {
        const std::uint32_t mode = g.siteModes[base + std::size_t(z)];
        if ((mode & (Grid::PlainFluid | Grid::PlainWall | Grid::PlainNull)) ||
            (g.scalarsColour && (mode & Grid::HeatFluid)))
            continue;
        BaseCell *cell = g.cells[base + std::size_t(z)];
        if (mode & Grid::HeatFluid) {
            if (heat) {
                dc[z] = heatChange[z];
                dr[z] = heatTotal[z];
            } else if (!g.skipAttachedSums) {
                static_cast<PassiveScalar *>(cell)->nextStatistics(dc[z], dr[z]);
            }
            continue;
        }
        dc[z] = cell->computeDeltaP();
        cell->postUpdate();
        dr[z] = g.mixtures.attachedAt(base + std::size_t(z)) ? static_cast<MCCell *>(cell)->nextDensity()
                                                              : cell->getP(-1);
    }
}

void Scaled::sumRow(int y, const double *change, const double *density) const
{
    Grid &g = *grid;
    if (g.skipAttachedSums)
        return;
    const std::size_t n = std::size_t(g.nx) * g.nz, base = std::size_t(y) * n;
    double deltaP = 0.0, totalP = 0.0;
    for (std::size_t s = 0; s < n; ++s) {
        if (g.siteModes[base + s] & (Grid::PlainWall | Grid::PlainNull))
            continue;
        deltaP += change[s];
        totalP += density[s];
    }
    g.rowDeltaP[y] = deltaP;
    g.rowTotalP[y] = totalP;
}

void Scaled::storePsi(std::size_t first, int n, const double *density) const
{
    Grid &g = *grid;
    const double psi0 = g.psiParameters[0], rho0 = g.psiParameters[1];
    const std::uint32_t *modes = g.siteModes.data() + first;
    double *out = g.psiNext.data() + first;
    for (int k = 0; k < n; ++k)
        out[k] = (modes[k] & Grid::PlainFluid) ? MultiPhase::psiOfDensity(density[k], psi0, rho0) : 0.0;
}
