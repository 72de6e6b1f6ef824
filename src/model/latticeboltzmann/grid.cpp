#include "grid.h"

#include "basecell.h"
#include "blockpool.h"
#include "boundary/sourcecell.h"
#include "deposition/depositioncell.h"
#include "dragwallcell.h"
#include "forces/gravity.h"
#include "forces/multiphase.h"
#include "heat/passivescalar.h"
#include "heat/thermalwall.h"
#include "immersed/immersedset.h"
#include "shapes/shapeset.h"
#include "lattice.h"
#include "linekernels.h"
#include "meltingsolidification/freesurfacesettings.h"
#include "model/latticeboltzmann/cellcodes.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/unitscales.h"
#include "moving/movingcell.h"
#include "moving/particlemanager.h"
#include "multi/exactcell.h"
#include "multi/mccell.h"
#include "multi/rkcell.h"
#include "nullcell.h"
#include "parallelflux.h"
#include "partialslipboundary.h"
#include "porous/porouscell.h"
#include "porous/shallowcell.h"
#include "scaled.h"
#include "sccell.h"
#include "tracers/passivescalarcell.h"
#include "tracers/scalartracersettings.h"
#include "tracers/tracerset.h"
#include "wallcell.h"

#include <QThreadPool>
#include <QtConcurrent>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

#if defined(__SANITIZE_THREAD__)
#include <atomic>
#include <thread>
#endif

Grid::Grid()
    : parameters(new SimulationParameters(this)), particles(new ParticleManager(this)), scales(new UnitScales),
      tracers(new TracerSet(this)), melting(new FreeSurfaceSettings(this)), immersed(new ImmersedSet(this)),
      scalarTracers(new ScalarTracerSettings(this)), shapeSet(new ShapeSet)
{
    allocate(parameters->getWidth(), parameters->getHeight(), parameters->getLength());
    if (leanWanted)
        allocateHandles(parameters->getMinP0());
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z)
                setCell(x, y, z, freshFluid(siteIndex(x, y, z), parameters->randomInitialDensity()), true, true);
}

Grid::~Grid()
{
    deleteCells();
    dropHandles();
    // The parameters own the forces, which may still be called by nothing
    // else once the cells are gone; they go last with the unique_ptr.
}

void Grid::deleteCells()
{
    for (BaseCell *&c : cells) {
        if (!isHandle(c))
            delete c;
        c = nullptr;
    }
}

void Grid::allocate(int width, int height, int length)
{
    nx = std::max(1, width);
    ny = std::max(1, height);
    nz = std::max(1, length);
    const std::size_t n = std::size_t(nx) * ny * nz;
    neighbourQ = parameters->getModel();
    dropHandles();
    cells.assign(n, nullptr);
    populations.allocate(neighbourQ, n, parameters->getSinglePopulations());
    neighbours.clear();
    neighbours.shrink_to_fit();
    rowOf.clear();
    rowOf.shrink_to_fit();
    siteModes.assign(n, 0);
    siteModesValid = false;
    fluxValid = false;
}

BaseCell **Grid::neighbourBlock(int x, int y, int z)
{
    if (!contains(x, y, z))
        return nullptr;
    thread_local BaseCell *scratch[Lattice::MaxQ];
    return neighbourRow(siteIndex(x, y, z), scratch);
}

// The same row buildNeighbours would store for the site, from the cells as
// they are now.
void Grid::formRow(int s, BaseCell **row) const
{
    const int q = neighbourQ;
    const int z = s % nz, x = (s / nz) % nx, y = s / (nz * nx);
    const bool periodic = parameters->getPeriodicBoundaries();
    for (int i = 0; i < q; ++i) {
        row[i] = nullptr;
        if (!Lattice::isActive(q, i))
            continue;
        const int *e = Lattice::tables.e[q][i];
        int tx = x + e[0], ty = y + e[1], tz = z + e[2];
        if (periodic) {
            tx = (tx + nx) % nx;
            ty = (ty + ny) % ny;
            tz = (tz + nz) % nz;
        }
        if (contains(tx, ty, tz))
            row[i] = cells[std::size_t(siteIndex(tx, ty, tz))];
    }
}

void Grid::releaseSite(BaseCell *old, int site, bool stays)
{
    if (!old)
        return;
    // A cell that dies here, or arrives already attached to this site,
    // keeps its place; any other attached cell takes its values along.
    auto *fluid = dynamic_cast<SCCell *>(old);
    if (fluid && fluid->isAttached() && !(stays && fluid->isAttachedTo(&populations, site)))
        fluid->detach();
    if (isShallow(old)) {
        auto *shallow = static_cast<ShallowCell *>(old);
        if (shallow->isAttached() && !(stays && shallow->isAttachedTo(&populations, site)))
            shallow->detach();
    }
    if (isHeat(old)) {
        auto *heat = static_cast<PassiveScalar *>(old);
        if (heat->isAttached() && !(stays && heat->isAttachedTo(&populations, site)))
            heat->detach();
    }
    if (isDeposition(old)) {
        auto *deposit = static_cast<DepositionCell *>(old);
        if (deposit->isAttached() && !(stays && deposit->isAttachedTo(&scalars, site)))
            deposit->detach();
    }
    mixtures.release(old, site, stays);
    if (typeid(*old) == typeid(PassiveScalarCell)) {
        auto *wrapper = static_cast<PassiveScalarCell *>(old);
        if (wrapper->coloursAttached() && !(stays && wrapper->coloursAttachedTo(&scalars, site)))
            wrapper->detachColours();
        BaseCell *inner = wrapper->inner();
        if (typeid(*inner) == typeid(SCCell)) {
            auto *fluid = static_cast<SCCell *>(inner);
            if (fluid->isAttached() && !(stays && fluid->isAttachedTo(&populations, site)))
                fluid->detach();
        }
    }
}

void Grid::detachAll()
{
    // The handles' values live in the populations alone.
    materialiseAll();
    for (BaseCell *c : cells)
        if (auto *fluid = dynamic_cast<SCCell *>(c))
            fluid->detach();
        else if (isShallow(c))
            static_cast<ShallowCell *>(c)->detach();
        else if (isHeat(c))
            static_cast<PassiveScalar *>(c)->detach();
        else if (isDeposition(c))
            static_cast<DepositionCell *>(c)->detach();
    mixtures.detachAll(cells);
    detachColours();
}

bool Grid::isColourFluid(BaseCell *c)
{
    if (!c || typeid(*c) != typeid(PassiveScalarCell))
        return false;
    BaseCell *inner = static_cast<PassiveScalarCell *>(c)->inner();
    return typeid(*inner) == typeid(SCCell);
}

void Grid::detachColours()
{
    for (BaseCell *c : cells) {
        if (!c || typeid(*c) != typeid(PassiveScalarCell))
            continue;
        auto *wrapper = static_cast<PassiveScalarCell *>(c);
        wrapper->detachColours();
        if (isColourFluid(c))
            static_cast<SCCell *>(wrapper->inner())->detach();
    }
    if (scalarsColour)
        scalars.release();
    scalarsColour = false;
}

// Colour wrappers of plain fluid built for the grid's model, not pinned and
// carrying the tracers' colours: the fluid in the populations, the colours
// in the scalar set (colour k's direction i as its direction k q + i).
bool Grid::attachColours(bool wanted)
{
    const int q = neighbourQ;
    const int colours = scalarTracers->colourCount();
    auto fits = [&](BaseCell *c) {
        if (!isColourFluid(c))
            return false;
        auto *wrapper = static_cast<PassiveScalarCell *>(c);
        auto *fluid = static_cast<SCCell *>(wrapper->inner());
        return colours > 0 && wrapper->colourCount() == colours && wrapper->colourQ() == q && fluid->getQ() == q &&
               fluid->getFixedDensity() == 0.0;
    };
    bool any = false;
    if (wanted && heatAttaches())
        for (BaseCell *c : cells)
            if (fits(c)) {
                any = true;
                break;
            }
    if (!any) {
        detachColours();
        return false;
    }
    const int directions = colours * q;
    if (!scalarsColour || scalars.q != directions || scalars.stride != cells.size()) {
        detachColours();
        // Cells of another model left attached to the set give it up.
        for (BaseCell *c : cells)
            if (isHeat(c))
                static_cast<PassiveScalar *>(c)->detach();
            else if (isDeposition(c))
                static_cast<DepositionCell *>(c)->detach();
        scalarsDeposit = false;
        scalars.allocate(directions, cells.size());
        scalarsColour = true;
    }
    for (std::size_t s = 0; s < cells.size(); ++s) {
        BaseCell *c = cells[s];
        if (!c || typeid(*c) != typeid(PassiveScalarCell))
            continue;
        auto *wrapper = static_cast<PassiveScalarCell *>(c);
        if (!fits(c)) {
            wrapper->detachColours();
            if (isColourFluid(c))
                static_cast<SCCell *>(wrapper->inner())->detach();
            continue;
        }
        if (!wrapper->coloursAttachedTo(&scalars, int(s)))
            wrapper->attachColours(&scalars, int(s));
        auto *fluid = static_cast<SCCell *>(wrapper->inner());
        if (!fluid->isAttachedTo(&populations, int(s))) {
            fluid->detach();
            fluid->attach(&populations, int(s));
        }
        if (populations.solid)
            populations.solid[s] = 0.0;
    }
    scalars.layoutDirty = false;
    return true;
}

bool Grid::attachable(BaseCell *c)
{
    return c && (typeid(*c) == typeid(SCCell) || typeid(*c) == typeid(PorousCell));
}

bool Grid::isShallow(BaseCell *c)
{
    return c && typeid(*c) == typeid(ShallowCell);
}

bool Grid::isHeat(BaseCell *c)
{
    return c && typeid(*c) == typeid(PassiveScalar);
}

bool Grid::isDeposition(BaseCell *c)
{
    return c && typeid(*c) == typeid(DepositionCell);
}

bool Grid::attachedAt(BaseCell *c, int s) const
{
    if (isHandle(c))
        return c == &plainSites[std::size_t(s)];
    if (isDeposition(c))
        return static_cast<DepositionCell *>(c)->isAttachedTo(&scalars, s);
    if (attachable(c))
        return static_cast<SCCell *>(c)->isAttachedTo(&populations, s);
    if (isHeat(c))
        return static_cast<PassiveScalar *>(c)->isAttachedTo(&populations, s);
    return isShallow(c) && static_cast<ShallowCell *>(c)->isAttachedTo(&populations, s);
}

// Exact fluid and porous cells built for the grid's model and not pinned
// live in the grid's populations, the porous cells' solid fractions beside
// them; every other cell keeps its own arrays. A change of the populations'
// precision takes every cell out with its values and back into the new
// arrays, which converts them.
void Grid::attachCells()
{
    const int q = neighbourQ;
    const bool single = parameters->getSinglePopulations();
    if (populations.q != q || populations.stride != cells.size() || populations.single != single) {
        detachAll();
        populations.allocate(q, cells.size(), single);
    }
    for (BaseCell *c : cells)
        if (c && typeid(*c) == typeid(PorousCell)) {
            populations.useSolid();
            break;
        }
    for (std::size_t s = 0; s < cells.size(); ++s) {
        BaseCell *c = cells[s];
        if (!attachable(c))
            continue;
        auto *fluid = static_cast<SCCell *>(c);
        const bool fits = fluid->getQ() == q && fluid->getFixedDensity() == 0.0;
        if (fits && !fluid->isAttachedTo(&populations, int(s))) {
            fluid->detach();
            fluid->attach(&populations, int(s));
            leanStale = true;
        } else if (!fits) {
            fluid->detach();
        }
        if (fits && populations.solid) {
            auto *porous = dynamic_cast<PorousCell *>(c);
            populations.solid[s] = porous ? porous->getSolidDensity() : 0.0;
        }
    }
    // Shallow-water cells beside them on a 2D D2Q9 grid (their solid
    // fraction, read by no kernel that steps them, stays zero).
    const bool shallowFits = shallowAttaches();
    for (std::size_t s = 0; s < cells.size(); ++s) {
        if (!isShallow(cells[s]))
            continue;
        auto *shallow = static_cast<ShallowCell *>(cells[s]);
        if (!shallowFits) {
            shallow->detach();
        } else if (!shallow->isAttachedTo(&populations, int(s))) {
            shallow->detach();
            shallow->attach(&populations, int(s));
        }
        if (shallowFits && populations.solid)
            populations.solid[s] = 0.0;
    }
    // Heat cells built for the grid's model, their scalar in the second
    // array set, which exists only while there are such cells.
    bool heat = false;
    if (heatAttaches())
        for (BaseCell *c : cells)
            if (isHeat(c) && static_cast<PassiveScalar *>(c)->getQ() == q) {
                heat = true;
                break;
            }
    const bool colours = attachColours(!heat);
    attachDeposition(heat || colours);
    // Otherwise the set holds the deposition cells or the colours.
    if (!scalarsDeposit && !colours)
        attachHeat(heat);
    // The components of two-component mixtures in the mixture stores.
    mixtures.attach(cells, q);
    populations.layoutDirty = false;
}

void Grid::attachHeat(bool heat)
{
    const int q = neighbourQ;
    if (!heat || scalars.q != q || scalars.stride != cells.size()) {
        detachHeat();
        if (!heat) {
            scalars.release();
            return;
        }
        scalars.allocate(q, cells.size());
    }
    for (std::size_t s = 0; s < cells.size(); ++s) {
        if (!isHeat(cells[s]))
            continue;
        auto *cell = static_cast<PassiveScalar *>(cells[s]);
        if (cell->getQ() != q) {
            cell->detach();
        } else if (!cell->isAttachedTo(&populations, int(s))) {
            cell->detach();
            cell->attach(&populations, &scalars, int(s));
        }
        if (populations.solid)
            populations.solid[s] = 0.0;
    }
}

void Grid::detachHeat()
{
    for (BaseCell *c : cells)
        if (isHeat(c))
            static_cast<PassiveScalar *>(c)->detach();
}

void Grid::attachDeposition(bool heat)
{
    bool deposit = false;
    if (!heat && depositionAttaches())
        for (BaseCell *c : cells)
            if (isDeposition(c) && static_cast<DepositionCell *>(c)->isPlanar()) {
                deposit = true;
                break;
            }
    const bool fits = scalarsDeposit && scalars.q == DepositionCell::Values && scalars.stride == cells.size();
    if (!deposit || !fits) {
        for (BaseCell *c : cells)
            if (isDeposition(c))
                static_cast<DepositionCell *>(c)->detach();
        if (scalarsDeposit)
            scalars.release();
        scalarsDeposit = false;
    }
    if (!deposit)
        return;
    if (!scalarsDeposit) {
        // Heat cells left attached by an earlier model give it up.
        detachHeat();
        scalars.allocate(DepositionCell::Values, cells.size());
        scalarsDeposit = true;
    }
    for (std::size_t s = 0; s < cells.size(); ++s) {
        if (!isDeposition(cells[s]))
            continue;
        auto *cell = static_cast<DepositionCell *>(cells[s]);
        if (!cell->isPlanar()) {
            cell->detach();
        } else if (!cell->isAttachedTo(&scalars, int(s))) {
            cell->detach();
            cell->attach(&scalars, int(s));
        }
    }
}

// Gravity as the only force is folded into the line kernels, which keep the
// shift of each attached cell in the populations' per-site field; so is the
// pseudopotential force (alone or with gravity) under plain BGK, whose
// kernels read the sites' psi from a field the grid fills once per
// iteration. Any other force, and the immersed bodies' shifts, are the
// cells' own.
void Grid::chooseForceMode()
{
    const QList<Force *> &forces = parameters->getForces();
    forceFold = NoFold;
    gravityOrder = 0;
    // The psi field is formed from double populations; in single precision
    // the pseudopotential force stays the cells' own.
    if (fastPath && immersed->isEmpty() && populations.stride > 0 && !forces.isEmpty()) {
        int gravities = 0, phases = 0, others = 0, gravityAt = -1, phaseAt = -1;
        for (int i = 0; i < forces.size(); ++i) {
            const std::type_info &kind = typeid(*forces[i]);
            if (kind == typeid(Gravity)) {
                ++gravities;
                gravityAt = i;
            } else if (kind == typeid(MultiPhase)) {
                ++phases;
                phaseAt = i;
            } else {
                ++others;
            }
        }
        const bool plainKernel = !parameters->getEntropic() && !(parameters->getSmagorinsky() > 0.0) &&
                                 parameters->getVelocityOrder() == 2 && LineKernels::slot(neighbourQ) >= 0;
        if (forces.size() == 1 && gravities == 1) {
            forceFold = GravityFold;
        } else if (others == 0 && phases == 1 && gravities <= 1 && plainKernel && !populations.single) {
            forceFold = FieldFold;
            gravityOrder = gravities == 0 ? 0 : gravityAt < phaseAt ? 1 : 2;
        }
    }
    if (forceFold != NoFold) {
        populations.useFieldShifts(parameters->parameterBlock()[0], forceFold == FieldFold);
        // The shifts count in what the attached cells report.
        populations.markShifts();
    } else {
        populations.fieldShifts = false;
        populations.fieldShiftsXZ = false;
    }
}

void Grid::clearShifts()
{
    for (std::size_t s = 0; s < cells.size(); ++s)
        if ((siteModes[s] & PlainFluid) && !isHandle(cells[s]))
            static_cast<SCCell *>(cells[s])->clearShift();
    populations.clearShiftMark();
}

void Grid::putCell(int x, int y, int z, BaseCell *cell)
{
    if (!contains(x, y, z))
        return;
    const int s = siteIndex(x, y, z);
    if (cells[s] != cell) {
        releaseSite(cells[s], s, false);
        releaseSite(cell, s, true);
    }
    cells[s] = cell;
    leanStale = true;
    siteModesValid = false;
    fluxValid = false;
}

void Grid::setCell(int x, int y, int z, BaseCell *cell, bool deleteOld, bool autoGroup)
{
    if (!cell || !contains(x, y, z))
        return;
    const int s = siteIndex(x, y, z);
    BaseCell *&slot = cells[s];
    if (BaseCell *old = slot) {
        if (old->isFluid())
            --statistics.fluidCells;
        particles->cellLeaves(x, y, z, PassiveScalarCell::innerOf(old));
        if (old != cell) {
            releaseSite(old, s, deleteOld);
            if (isHandle(old))
                forgetHandleState(s);
            else if (deleteOld)
                delete old;
        }
    }
    if (slot != cell)
        releaseSite(cell, s, true);
    leanStale = true;
    if (cell->isFluid())
        ++statistics.fluidCells;
    slot = cell;
    particles->cellArrives(x, y, z, PassiveScalarCell::innerOf(cell));
    if (autoGroup)
        assignGroup(x, y, z, PassiveScalarCell::innerOf(cell));
    parameters->setNeedsNeighbourRebuild(true);
    siteModesValid = false;
    fluxValid = false;
}

namespace {

// Calls visit(cell) for the cells of the 26 surrounding sites inside the grid,
// y offset outermost, then x, then z; stops when visit returns true.
template <typename Visit> void scanSurrounding(const Grid &g, int x, int y, int z, Visit visit)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            for (int dz = -1; dz <= 1; ++dz) {
                if (dx == 0 && dy == 0 && dz == 0)
                    continue;
                if (BaseCell *c = g.getCell(x + dx, y + dy, z + dz))
                    if (visit(PassiveScalarCell::innerOf(c)))
                        return;
            }
}

} // namespace

namespace {

// Applies work to every item on the thread pool; returns when all are done.
// Built with the thread sanitizer, the items run on plain threads instead,
// as many as the pool has (at least two), which take the items in turn: Qt
// is not built with the sanitizer, so the pool's own hand-over of the work
// (atomics and futex-based locks inside Qt) would look unordered and every
// phase would seem to race with the code around it, while the start and
// join of plain threads order exactly that. The items of one map stay
// unordered among themselves, so a race between them is reported.
template <typename Work> void mapOnPool(QList<int> &items, const Work &work)
{
#if defined(__SANITIZE_THREAD__)
    std::atomic<int> next{0};
    std::vector<std::thread> threads;
    const int count = std::max(2, QThreadPool::globalInstance()->maxThreadCount());
    for (int t = 0; t < count; ++t)
        threads.emplace_back([&] {
            for (int i = next.fetch_add(1, std::memory_order_relaxed); i < items.size();
                 i = next.fetch_add(1, std::memory_order_relaxed))
                work(items.at(i));
        });
    for (std::thread &t : threads)
        t.join();
#else
    QtConcurrent::blockingMap(items, work);
#endif
}

// Runs work(y) for every row: on the pool when parallel and there is more
// than one, else in row order on the calling thread.
template <typename Work> void mapRows(bool parallel, QList<int> &rows, const Work &work)
{
    if (parallel && rows.size() > 1)
        mapOnPool(rows, work);
    else
        for (int y : qAsConst(rows))
            work(y);
}

} // namespace

void Grid::prepareForceFields()
{
    const std::size_t n = cells.size();
    const double psi0 = parameters->getMpPsi0(), rho0 = parameters->getMpP0();
    const bool current = psiValid && psiGeneration == populations.generation && !populations.wasTouched() &&
                         psiField.size() == n && psiParameters[0] == psi0 && psiParameters[1] == rho0;
    if (!current)
        computePsiField();
    // The commit of every line with attached sites forms its sums, and so
    // the next psi, unless the step leaves them out.
    producingPsi = !skipAttachedSums;
    if (parameters->getMpGads() == 0.0)
        return;
    if (adhesionField.size() != n)
        adhesionField.assign(n, 0.0);
    if (!adhesionKindsValid || adhesionKinds.size() != n) {
        adhesionKinds.assign(n, 0);
        for (std::size_t s = 0; s < n; ++s) {
            BaseCell *inner = PassiveScalarCell::innerOf(cells[s]);
            if (dynamic_cast<WallCell *>(inner))
                adhesionKinds[s] = 1;
            else if (dynamic_cast<PorousCell *>(inner))
                adhesionKinds[s] = 2;
        }
        adhesionKindsValid = true;
    }
    const double weights[3] = {0.0, 1.0, parameters->getPorousSolidDensity()};
    for (std::size_t s = 0; s < n; ++s)
        adhesionField[s] = weights[adhesionKinds[s]];
}

void Grid::computePsiField()
{
    const std::size_t n = cells.size();
    if (psiField.size() != n)
        psiField.assign(n, 0.0);
    if (psiNext.size() != n)
        psiNext.assign(n, 0.0);
    const double psi0 = parameters->getMpPsi0(), rho0 = parameters->getMpP0();
    psiParameters[0] = psi0;
    psiParameters[1] = rho0;
    const std::size_t rowSites = std::size_t(nx) * nz;
    const int q = neighbourQ;
    auto row = [&](int y) {
        constexpr std::size_t Tile = 256;
        double rho[Tile];
        for (std::size_t t0 = std::size_t(y) * rowSites; t0 < std::size_t(y + 1) * rowSites; t0 += Tile) {
            const std::size_t count = std::min(Tile, std::size_t(y + 1) * rowSites - t0);
            // The density in the order of Lattice::moments, direction by direction.
            for (std::size_t k = 0; k < count; ++k)
                rho[k] = 0.0;
            for (int i = 0; i < q; ++i) {
                const double *f = populations.cur + std::size_t(i) * populations.stride + t0;
                for (std::size_t k = 0; k < count; ++k)
                    rho[k] += f[k];
            }
            for (std::size_t k = 0; k < count; ++k) {
                const std::size_t s = t0 + k;
                if (siteModes[s] & PlainFluid) {
                    psiField[s] = MultiPhase::psiOfDensity(rho[k], psi0, rho0);
                } else {
                    // The commits write only the attached sites' next psi.
                    psiField[s] = 0.0;
                    psiNext[s] = 0.0;
                }
            }
        }
    };
    mapRows(parameters->getMulticore(), rows, row);
    psiValid = false;
}

template <typename Visit> void Grid::forEachInner(Visit visit) const
{
    for (BaseCell *c : cells)
        visit(PassiveScalarCell::innerOf(c));
}

void Grid::assignGroup(int x, int y, int z, BaseCell *cell)
{
    if (auto *source = dynamic_cast<SourceCell *>(cell)) {
        int found = -1;
        scanSurrounding(*this, x, y, z, [&](BaseCell *c) {
            if (auto *s = dynamic_cast<SourceCell *>(c)) {
                found = s->index();
                return true;
            }
            return false;
        });
        if (found < 0) {
            bool used[3] = {false, false, false};
            forEachInner([&](BaseCell *c) {
                auto *s = dynamic_cast<SourceCell *>(c);
                if (s && s != source && s->index() >= 0 && s->index() < 3)
                    used[s->index()] = true;
            });
            for (int i = 0; i < 3 && found < 0; ++i)
                if (!used[i])
                    found = i;
        }
        if (found >= 0)
            source->setIndex(found);
        if (Boundary *strategy = source->strategy())
            strategy->setBoundaryU(parameters->sourceVelocity(source->index()));
        return;
    }
    if (auto *thermal = dynamic_cast<ThermalWall *>(cell)) {
        // Touching thermal walls share one temperature; a separate wall takes
        // the next free index.
        int found = -1;
        scanSurrounding(*this, x, y, z, [&](BaseCell *c) {
            auto *t = dynamic_cast<ThermalWall *>(c);
            if (t && t != thermal) {
                found = t->getIndex();
                return true;
            }
            return false;
        });
        if (found < 0) {
            forEachInner([&](BaseCell *c) {
                auto *t = dynamic_cast<ThermalWall *>(c);
                if (t && t != thermal)
                    found = std::max(found, t->getIndex());
            });
            ++found;
        }
        thermal->setIndex(found);
        return;
    }
    if (auto *dragWall = dynamic_cast<DragWallCell *>(cell)) {
        int w = -1, v = -1;
        scanSurrounding(*this, x, y, z, [&](BaseCell *c) {
            auto *d = dynamic_cast<DragWallCell *>(c);
            if (!d || d == dragWall)
                return false;
            if (w < 0)
                w = d->index();
            else if (d->index() != w && v < 0)
                v = d->index();
            return false;
        });
        if (w < 0) {
            int largest = -1;
            forEachInner([&](BaseCell *c) {
                auto *d = dynamic_cast<DragWallCell *>(c);
                if (d && d != dragWall)
                    largest = std::max(largest, d->index());
            });
            dragWall->setIndex(largest + 1);
        } else if (v < 0) {
            dragWall->setIndex(w);
        } else {
            const int keep = std::min(w, v), merged = std::max(w, v);
            forEachInner([&](BaseCell *c) {
                auto *d = dynamic_cast<DragWallCell *>(c);
                if (d && d != dragWall && d->index() == merged)
                    d->setIndex(keep);
            });
            dragWall->setIndex(keep);
        }
    }
}

void Grid::buildNeighbours()
{
    const int q = parameters->getModel();
    neighbourQ = q;
    const std::size_t n = cells.size();
    rowOf.assign(n, -1);
    std::size_t kept = 0;
    for (std::size_t s = 0; s < n; ++s)
        if (keepsRow(cells[s]))
            rowOf[s] = std::int32_t(kept++);
    // The cells keep pointers into the table: it is built afresh and every
    // cell that keeps a row is told its new place below.
    neighbours.assign(kept * std::size_t(q), nullptr);
    neighbours.shrink_to_fit();
    BlockPool::adviseHugePages(neighbours.data(), neighbours.size() * sizeof(BaseCell *));
    for (std::size_t s = 0; s < n; ++s)
        if (rowOf[s] >= 0)
            formRow(int(s), &neighbours[std::size_t(rowOf[s]) * q]);
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z) {
                const int s = siteIndex(x, y, z);
                if (rowOf[std::size_t(s)] < 0)
                    continue;
                BaseCell **block = &neighbours[std::size_t(rowOf[std::size_t(s)]) * q];
                if (auto *wrapper = dynamic_cast<PassiveScalarCell *>(cells[s]))
                    wrapper->setNeighbours(block, parameters.get());
                if (auto *wall = dynamic_cast<WallCell *>(PassiveScalarCell::innerOf(cells[s])))
                    wall->setNeighbours(block, *parameters);
            }
    buildSiteModes();
}

template <typename Fits>
void Grid::markWhereNeighbours(std::uint32_t within, std::uint32_t mark, Fits fits)
{
    const std::size_t n = cells.size();
    for (std::size_t s = 0; s < n; ++s) {
        if (!(siteModes[s] & within))
            continue;
        BaseCell *scratch[Lattice::MaxQ];
        BaseCell **block = neighbourRow(int(s), scratch);
        bool all = true;
        for (int i = 0; i < neighbourQ && all; ++i)
            all = !block[i] || fits(block[i]);
        if (all)
            siteModes[s] |= mark;
    }
}

void Grid::buildSiteModes()
{
    const int q = neighbourQ;
    const std::size_t n = cells.size();
    attachCells();
    siteModes.assign(n, 0);
    rowDeltaP.assign(ny, 0.0);
    rowTotalP.assign(ny, 0.0);
    auto exactly = [](BaseCell *c, const std::type_info &t) { return c && typeid(*c) == t; };
    for (std::size_t s = 0; s < n; ++s) {
        BaseCell *c = cells[s];
        std::uint32_t mode = 0;
        if (isHandle(c) || (attachable(c) && static_cast<SCCell *>(c)->isAttachedTo(&populations, int(s))))
            mode |= PlainFluid;
        else if (isShallow(c) && static_cast<ShallowCell *>(c)->isAttachedTo(&populations, int(s)))
            mode |= ShallowFluid;
        else if (isHeat(c) && static_cast<PassiveScalar *>(c)->isAttachedTo(&populations, int(s)))
            mode |= HeatFluid;
        else if (isDeposition(c) && static_cast<DepositionCell *>(c)->isAttachedTo(&scalars, int(s)))
            mode |= DepositFluid;
        else if (scalarsColour && isColourFluid(c) &&
                 static_cast<PassiveScalarCell *>(c)->coloursAttachedTo(&scalars, int(s)))
            mode |= HeatFluid;
        else if (exactly(c, typeid(WallCell)))
            mode |= PlainWall;
        else if (exactly(c, typeid(NullCell)))
            mode |= PlainNull;
        siteModes[s] = mode;
    }
    // A fast site (plain or shallow-water fluid) pushes its values straight
    // into the populations: every neighbour must be attached to them (the
    // receiving cell would store what it is sent there), a plain wall that
    // sends the value back to this very site, or absent.
    // A heat site pushes its two sets to heat cells only: any other cell
    // would take the fluid values alone.
    // A deposition site pushes to attached deposition cells alone, and its
    // deposit reads theirs; any other neighbour keeps it on its own path.
    markWhereNeighbours(DepositFluid, DepositFast, [](BaseCell *nb) {
        return isDeposition(nb) && static_cast<DepositionCell *>(nb)->isAttached();
    });
    if (scalarsColour)
        markColourSites();
    for (std::size_t s = 0; s < n; ++s) {
        if (scalarsColour && (siteModes[s] & HeatFluid))
            continue;
        const bool shallow = siteModes[s] & ShallowFluid;
        const bool heat = siteModes[s] & HeatFluid;
        if (!(siteModes[s] & PlainFluid) && !shallow && !heat)
            continue;
        const std::uint32_t fastBit = shallow ? std::uint32_t(ShallowFast)
                                      : heat  ? std::uint32_t(HeatFast)
                                              : std::uint32_t(FastFluid);
        BaseCell *scratch[Lattice::MaxQ];
        BaseCell **block = neighbourRow(int(s), scratch);
        std::uint32_t mode = siteModes[s] | fastBit;
        for (int i = 0; i < q && (mode & fastBit); ++i) {
            BaseCell *nb = block[i];
            if (!nb)
                continue;
            if (heat) {
                if (isHeat(nb) && static_cast<PassiveScalar *>(nb)->isAttached())
                    continue;
                if (!exactly(nb, typeid(WallCell))) {
                    mode &= ~fastBit;
                    continue;
                }
            }
            if (isHandle(nb))
                continue;
            if (attachable(nb)) {
                if (!static_cast<SCCell *>(nb)->isAttached())
                    mode &= ~fastBit;
                continue;
            }
            if (isHeat(nb)) {
                // A heat neighbour takes a plain site's value as its fluid's;
                // it ignores what a shallow-water cell sends (the whole cell).
                if (shallow || !static_cast<PassiveScalar *>(nb)->isAttached())
                    mode &= ~fastBit;
                continue;
            }
            if (isShallow(nb)) {
                if (!static_cast<ShallowCell *>(nb)->isAttached())
                    mode &= ~fastBit;
                continue;
            }
            if (exactly(nb, typeid(WallCell))) {
                // The wall must send the value back to this very site.
                BaseCell **wallBlock = static_cast<WallCell *>(nb)->getNeighbours();
                if (wallBlock && wallBlock[Lattice::opposite(q, i)] == cells[s])
                    mode |= 1u << i;
                else
                    mode &= ~fastBit;
                continue;
            }
            mode &= ~fastBit;
        }
        const std::uint32_t bounces = mode & (shallow || heat ? (1u << q) - 1 : std::uint32_t(BounceMask));
        // Without walls around it the site pushes only to attached sites or
        // out of the box, which the line kernels do without reading modes.
        if (!(mode & fastBit))
            mode &= ~bounces;
        else if (!bounces && !shallow && !heat)
            mode |= FluidNeighbours;
        siteModes[s] = mode;
    }
    markComponentSites();
    mixtures.markKernelSites(*this, cells, siteModes.data(), ComponentFast);
    updateRows.clear();
    updateRowsWithWalls.clear();
    finishRows.clear();
    // Deposition cells have phase-3 work (the reflection) but none in phase 1.
    for (int y : qAsConst(rows)) {
        bool wall = false, other = false, deposit = false;
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z) {
                const std::uint32_t mode = siteModes[siteIndex(x, y, z)];
                if (mode & PlainWall)
                    wall = true;
                else if (scalarsDeposit && (mode & DepositFluid))
                    deposit = true;
                else if (!(mode & (PlainFluid | ShallowFluid | HeatFluid | PlainNull)))
                    other = true;
            }
        if (other)
            updateRows.append(y);
        if (other || deposit)
            finishRows.append(y);
        if (other || wall)
            updateRowsWithWalls.append(y);
    }
    const int lines = nz > 1 ? nx * ny : ny;
    const int length = nz > 1 ? nz : nx;
    lineKinds.assign(std::size_t(lines), 0);
    lineAttached.assign(std::size_t(lines), 0);
    linePorous.assign(std::size_t(lines), 0);
    lineShallow.assign(std::size_t(lines), 0);
    lineHeat.assign(std::size_t(lines), 0);
    lineDeposit.assign(std::size_t(lines), 0);
    const std::uint32_t shallowBounces = (1u << q) - 1;
    const bool shallowLines = shallowAttaches();
    const bool heatLines = heatAttaches() && scalars.stride > 0 && !scalarsDeposit;
    for (int l = 0; l < lines; ++l) {
        bool all = true, any = false, attached = false, porous = false;
        bool allShallow = true, anyShallow = false, allHeat = true, anyHeat = false;
        bool allDeposit = true, anyDeposit = false, attachedDeposit = false;
        for (int k = 0; k < length; ++k) {
            const std::size_t s = std::size_t(l) * length + k;
            const std::uint32_t mode = siteModes[s];
            all = all && (mode & FluidNeighbours);
            any = any || (mode & FastFluid);
            attached = attached || (mode & (PlainFluid | ShallowFluid)) || (scalarsColour && (mode & HeatFluid));
            porous = porous || ((mode & PlainFluid) && typeid(*cells[s]) == typeid(PorousCell));
            // Bits 25 and 26 are bounce directions on D3Q27.
            const bool fastShallow = shallowLines && (mode & ShallowFast);
            anyShallow = anyShallow || fastShallow;
            allShallow = allShallow && fastShallow && !(mode & shallowBounces);
            const bool fastHeat = heatLines && (mode & HeatFast);
            anyHeat = anyHeat || fastHeat;
            allHeat = allHeat && fastHeat && !(mode & shallowBounces);
            const bool fastDeposit = scalarsDeposit && (mode & DepositFast);
            anyDeposit = anyDeposit || fastDeposit;
            allDeposit = allDeposit && fastDeposit;
            attachedDeposit = attachedDeposit || (scalarsDeposit && (mode & DepositFluid));
        }
        lineDeposit[std::size_t(l)] = (allDeposit ? 2 : anyDeposit ? 1 : 0) | (attachedDeposit ? 4 : 0);
        lineHeat[std::size_t(l)] = allHeat ? 2 : anyHeat ? 1 : 0;
        lineKinds[std::size_t(l)] = all ? 2 : any ? 1 : 0;
        lineAttached[std::size_t(l)] = attached;
        linePorous[std::size_t(l)] = porous;
        lineShallow[std::size_t(l)] = allShallow ? 2 : anyShallow ? 1 : 0;
    }
    adhesionKindsValid = false;
    psiValid = false;
    cellsFitModel = cellsMatchModel();
    siteModesValid = true;
}

// A colour site whose neighbours are attached colour sites, absent, or
// plain walls in a wrapper that is no source and sends fluid and colours
// back to this very site (the bounce bits) steps in the line kernels: its
// fluid in the plain kernel (FastFluid), its colours in the colour kernel
// (HeatFast). A source emits on its own path.
void Grid::markColourSites()
{
    const int q = neighbourQ;
    for (std::size_t s = 0; s < cells.size(); ++s) {
        if (!(siteModes[s] & HeatFluid))
            continue;
        if (static_cast<PassiveScalarCell *>(cells[s])->getFixedConcentration() >= 0.0)
            continue;
        BaseCell *scratch[Lattice::MaxQ];
        BaseCell **block = neighbourRow(int(s), scratch);
        std::uint32_t mode = siteModes[s];
        bool fast = true;
        for (int i = 0; i < q && fast; ++i) {
            BaseCell *nb = block[i];
            if (!nb || (isColourFluid(nb) && static_cast<PassiveScalarCell *>(nb)->coloursAttached()))
                continue;
            fast = false;
            if (typeid(*nb) != typeid(PassiveScalarCell))
                continue;
            auto *wrapper = static_cast<PassiveScalarCell *>(nb);
            BaseCell *inner = wrapper->inner();
            if (typeid(*inner) != typeid(WallCell) || wrapper->getFixedConcentration() >= 0.0)
                continue;
            BaseCell **wallBlock = static_cast<WallCell *>(inner)->getNeighbours();
            if (wallBlock && wallBlock[Lattice::opposite(q, i)] == cells[s]) {
                mode |= 1u << i;
                fast = true;
            }
        }
        if (!fast)
            continue;
        mode |= HeatFast | FastFluid;
        if (!(mode & ((1u << q) - 1)))
            mode |= FluidNeighbours;
        siteModes[s] = mode;
    }
}

void Grid::resize(int width, int height, int length, bool keepOld)
{
    parameters->setSize(std::max(1, width), std::max(1, height), std::max(1, length));
    notify(3);
    if (keepOld)
        detachAll();
    else
        deleteCells();
    if (!keepOld)
        shapeSet->clear();
    statistics.iterations = 0;
    statistics.fluidCells = 0;
    particles->clear();
    allocate(width, height, length);
    // Fresh fluid is handles or cell objects, the objects in one run.
    if (leanWanted)
        allocateHandles(parameters->getMinP0());
    if (plainSites.empty())
        BlockPool::expect(sizeof(SCCell), cells.size());
    rows.clear();
    fusedChunks.clear();
    for (int y = 0; y < ny; ++y) {
        rows.append(y);
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z)
                setCell(x, y, z, freshFluid(siteIndex(x, y, z), parameters->randomInitialDensity()), true, true);
    }
}

void Grid::refine(int factor)
{
    if (factor < 1)
        return;
    materialiseAll();
    const std::vector<BaseCell *> old = cells;
    const int ox = nx, oz = nz;
    resize(factor * nx, factor * ny, nz, true);
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z) {
                BaseCell *source = old[std::size_t(((y / factor) * ox + x / factor) * oz + z)];
                // Kinds that cannot be copied keep the fluid cell resize put
                // there. Copies keep their groups (inlet and drag indices):
                // numbering them afresh would reorder the groups.
                BaseCell *copy = source ? source->clone(*parameters) : nullptr;
                if (copy)
                    setCell(x, y, z, copy, true, false);
            }
    for (BaseCell *c : old)
        delete c;
    // Colour wrappers are copied with their cells; the sources follow.
    scalarTracers->refined(factor);
    shapeSet->refined(*this, factor);
    buildNeighbours();
    parameters->setNeedsNeighbourRebuild(false);
}

void Grid::rebuildCellsForModel()
{
    const int q = parameters->getModel();
    materialiseAll();
    // The colours are laid out for the old model: the cells are rebuilt bare
    // and wrapped afresh.
    scalarTracers->unwrapAll();
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z) {
                BaseCell *old = cells[siteIndex(x, y, z)];
                BaseCell *fresh = nullptr;
                if (auto *fluid = dynamic_cast<SCCell *>(old); fluid && typeid(*old) == typeid(SCCell)) {
                    if (fluid->getQ() == q)
                        continue;
                    auto *cell = new SCCell(fluid->getP0(), q);
                    double f[Lattice::MaxQ];
                    Lattice::equilibriumArray(fluid->getLatticeVelocity(0), fluid->getP(0), q, f);
                    cell->setF(f);
                    cell->setFixedDensity(fluid->getFixedDensity());
                    fresh = cell;
                } else if (dynamic_cast<MovingCell *>(old) || (old->modelQ() != 0 && old->modelQ() != q)) {
                    fresh = old->clone(*parameters);
                }
                if (fresh)
                    setCell(x, y, z, fresh, true, false);
            }
    // The copied shape walls know no fractions for the new model's links.
    shapeSet->placeAll(*this);
    scalarTracers->refresh();
    parameters->setNeedsNeighbourRebuild(true);
    siteModesValid = false;
}

bool Grid::cellsMatchModel() const
{
    const int q = parameters->getModel();
    return std::all_of(cells.begin(), cells.end(), [q](BaseCell *c) {
        const int m = c ? c->modelQ() : 0;
        return m == 0 || m == q;
    });
}

void Grid::resetAll()
{
    // The previous run's change and total no longer describe these sites.
    statistics.iterations = 0;
    statistics.deltaP = 0.0;
    statistics.totalP = 0.0;
    for (BaseCell *c : cells)
        c->reset(-1.0, -1.0);
    notify(2);
}

void Grid::randomiseDensities()
{
    for (BaseCell *c : cells)
        c->reset(parameters->randomInitialDensity(), -1.0);
}

void Grid::resetBox(int x0, int x1, int y0, int y1, int z0, int z1, double p0, double p1)
{
    for (int y = std::max(0, y0); y <= std::min(y1, ny - 1); ++y)
        for (int x = std::max(0, x0); x <= std::min(x1, nx - 1); ++x)
            for (int z = std::max(0, z0); z <= std::min(z1, nz - 1); ++z)
                cells[siteIndex(x, y, z)]->reset(p0, p1);
}

BaseCell *Grid::fillFromAverage(int x, int y, int z, const Vector3d &u)
{
    double sum = 0.0;
    int count = 0;
    if (BaseCell **block = neighbourBlock(x, y, z)) {
        for (int i = 0; i < neighbourQ; ++i) {
            BaseCell *c = block[i];
            if (c && c->isFluid()) {
                sum += c->getP(-1);
                ++count;
            }
        }
    }
    const double density = count > 0 ? sum / count : 1.0;
    auto *cell = new SCCell(density, parameters->getModel());
    cell->setEquilibrium(u, density);
    return cell;
}

void Grid::randomWalls(int percent)
{
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z)
                if (cells[siteIndex(x, y, z)]->isFluid() && parameters->random().next() % 100 < percent)
                    fillRegion("w", x, x, y, y, z, z);
}

void Grid::setPorousSolidDensities(double mean, double variation)
{
    forEachInner([this, mean, variation](BaseCell *c) {
        PorousCell *porous[MCCell::MaxComponents] = {};
        int n = 0;
        if (auto *p = dynamic_cast<PorousCell *>(c)) {
            porous[n++] = p;
        } else if (auto *mixture = dynamic_cast<MCCell *>(c)) {
            for (int j = 0; j < mixture->componentCount() && n < MCCell::MaxComponents; ++j)
                if (auto *p = dynamic_cast<PorousCell *>(mixture->component(j)))
                    porous[n++] = p;
        }
        if (n == 0)
            return;
        const double s = mean + (2.0 * (parameters->random().next() % 1000) / 1000.0 - 1.0) * variation;
        for (int j = 0; j < n; ++j)
            porous[j]->setSolidDensity(s);
    });
}

void Grid::enclosedWallsToNull()
{
    if (nz != 1)
        return;
    auto isWall = [](BaseCell *c) { return dynamic_cast<WallCell *>(PassiveScalarCell::innerOf(c)) != nullptr; };
    std::vector<Vector3i> enclosed;
    for (int y = 1; y <= ny - 2; ++y)
        for (int x = 1; x <= nx - 2; ++x) {
            if (!isWall(getCell(x, y, 0)))
                continue;
            bool all = true;
            for (int i = 1; i <= 8 && all; ++i) {
                const Vector3i e = Lattice::direction(9, i);
                all = isWall(getCell(x + e.x, y + e.y, 0));
            }
            if (all)
                enclosed.push_back(Vector3i(x, y, 0));
        }
    for (const Vector3i &p : enclosed)
        setCell(p.x, p.y, p.z, new NullCell, true, true);
}

void Grid::loadTypes(const QStringList &codes, int width, int height, int length)
{
    // Everything the new domain needs is built before the old one is given
    // up, so running out of memory on the way leaves the grid as it was.
    const int w = std::max(1, width), h = std::max(1, height), l = std::max(1, length);
    const std::size_t n = std::size_t(w) * h * l;
    const int q = parameters->getModel();
    std::vector<BaseCell *> fresh;
    Populations freshPopulations;
    std::vector<BaseCell *> freshCells;
    std::vector<std::uint32_t> freshModes;
    try {
        fresh.assign(n, nullptr);
        freshCells.assign(n, nullptr);
        freshModes.assign(n, 0);
        freshPopulations.allocate(q, n, parameters->getSinglePopulations());
        // A resize draws a density for every site before the codes draw
        // theirs; the same draws keep a loaded geometry as it always was.
        for (std::size_t s = 0; s < n; ++s)
            parameters->randomInitialDensity();
        BlockPool::expect(sizeof(SCCell), n);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int z = 0; z < l; ++z) {
                    const std::size_t s = (std::size_t(y) * w + x) * l + z;
                    BaseCell *cell = CellCodes::create(
                        s < std::size_t(codes.size()) ? codes[int(s)] : QStringLiteral("x"), *this, x, y, z, false);
                    // Plain fluid goes straight into the new arrays.
                    auto *fluid = dynamic_cast<SCCell *>(cell);
                    if (fluid && typeid(*cell) == typeid(SCCell) && fluid->getQ() == q &&
                        fluid->getFixedDensity() == 0.0) {
                        const double p0 = fluid->getP0();
                        delete cell;
                        cell = new SCCell(p0, &freshPopulations, int(s));
                    }
                    fresh[s] = cell ? cell : new SCCell(parameters->randomInitialDensity(), &freshPopulations, int(s));
                }
    } catch (...) {
        for (BaseCell *c : fresh)
            delete c;
        throw;
    }

    parameters->setSize(w, h, l);
    notify(3);
    deleteCells();
    dropHandles();
    shapeSet->clear();
    statistics.iterations = 0;
    statistics.fluidCells = 0;
    particles->clear();
    nx = w;
    ny = h;
    nz = l;
    neighbourQ = q;
    cells.swap(freshCells);
    neighbours.clear();
    neighbours.shrink_to_fit();
    rowOf.clear();
    rowOf.shrink_to_fit();
    siteModes.swap(freshModes);
    siteModesValid = false;
    fluxValid = false;
    populations.adopt(freshPopulations);
    rows.clear();
    fusedChunks.clear();
    for (int y = 0; y < ny; ++y) {
        rows.append(y);
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z) {
                BaseCell *cell = fresh[std::size_t(siteIndex(x, y, z))];
                if (auto *fluid = dynamic_cast<SCCell *>(cell))
                    fluid->rebind(&populations);
                setCell(x, y, z, cell, true, true);
            }
    }
    resetAll();
    scalarTracers->refresh();
    tracers->refresh();
}

void Grid::fillRegion(const QString &code, int x0, int x1, int y0, int y1, int z0, int z1, bool fillFromNeighbours)
{
    for (int y = std::max(0, y0); y <= std::min(y1, ny - 1); ++y)
        for (int x = std::max(0, x0); x <= std::min(x1, nx - 1); ++x)
            for (int z = std::max(0, z0); z <= std::min(z1, nz - 1); ++z)
                if (BaseCell *cell = CellCodes::create(code, *this, x, y, z, fillFromNeighbours)) {
                    cell = fluidForModel(cell, x, y, z, fillFromNeighbours);
                    setCell(x, y, z, scalarTracers->wrapNew(cell, x, y, z), true, true);
                }
}

BaseCell *Grid::fluidForModel(BaseCell *cell, int x, int y, int z, bool fromNeighbours)
{
    auto *fluid = dynamic_cast<SCCell *>(cell);
    if (!fluid || typeid(*cell) != typeid(SCCell) || parameters->getMcQuantity() <= 1)
        return cell;
    const int type = parameters->getMcType();
    BaseCell *made = nullptr;
    if (type == 1) {
        auto *mixture = new MCCell(*parameters, fluid);
        mixture->setComponents(parameters->getMcQuantity());
        made = mixture;
    } else if (type == 2) {
        made = new RKCell(*parameters);
    } else if (type == 4) {
        made = new PassiveScalar(*parameters, fluid->getP(0), fluid->getLatticeVelocity(0), 0.0);
    } else if (type == 5) {
        made = new DepositionCell(parameters->getModel());
    } else {
        return cell;
    }
    delete cell;
    if (!fromNeighbours)
        return made;
    // The mean of each population set over the surrounding cells of the kind.
    const std::type_info &kind = typeid(*made);
    double sum[2] = {0.0, 0.0};
    int count = 0;
    scanSurrounding(*this, x, y, z, [&](BaseCell *c) {
        if (typeid(*c) == kind) {
            sum[0] += c->getP(0);
            sum[1] += c->getP(1);
            ++count;
        }
        return false;
    });
    if (count == 0)
        return made;
    const double first = sum[0] / count, second = sum[1] / count;
    if (type == 4) {
        // The heat cell keeps the fluid's density and velocity.
        auto *heat = static_cast<PassiveScalar *>(made);
        made = new PassiveScalar(*parameters, heat->getP(0), heat->getLatticeVelocity(0), second);
        delete heat;
    } else {
        // The deposited amount (component 0 of a deposition cell) starts empty.
        made->reset(type == 5 ? -1.0 : first, second);
    }
    return made;
}

void Grid::computeDrag()
{
    drag.clear();
    forEachCell([this](BaseCell *c, int x, int y, int z) {
        if (auto *d = dynamic_cast<DragWallCell *>(PassiveScalarCell::innerOf(c)))
            drag[d->index()] += d->dragContribution(this, x, y, z);
    });
}

int Grid::getVectorLevel() const
{
    const int best = LineKernels::bestLevel();
    return vectorLevel <= 0 || vectorLevel > best ? best : vectorLevel;
}

bool Grid::lineTarget(int x, int y, int i, std::size_t &base, int &along) const
{
    const int q = neighbourQ;
    const int *e = Lattice::tables.e[q][i];
    const bool periodic = parameters->getPeriodicBoundaries();
    int tx = x + e[0], ty = y + e[1];
    if (periodic) {
        tx = (tx + nx) % nx;
        ty = (ty + ny) % ny;
    }
    if (nz == 1) {
        along = e[0];
        base = std::size_t(ty) * nx;
        return ty >= 0 && ty < ny && (e[2] == 0 || periodic);
    }
    along = e[2];
    base = (std::size_t(ty) * nx + tx) * nz;
    return tx >= 0 && tx < nx && ty >= 0 && ty < ny;
}

Vector3d Grid::getDrag(int index)
{
    return drag[index];
}

void Grid::addListener(int key, Listener *listener)
{
    listeners[key] = listener;
}

void Grid::removeListener(int key)
{
    listeners.remove(key);
}

void Grid::notify(int code)
{
    for (Listener *l : listeners)
        if (l)
            l->notify(code);
}

// ---- field queries ----

double Grid::velocityDerivative(char component, char axis, int x, int y, int z) const
{
    const int dx = axis == 'x', dy = axis == 'y', dz = axis == 'z';
    BaseCell *upper = getCell(x + dx, y + dy, z + dz);
    BaseCell *lower = getCell(x - dx, y - dy, z - dz);
    if (!upper || !lower || !upper->isFluid() || !lower->isFluid())
        return 0.0;
    const int c = component == 'x' ? 0 : (component == 'y' ? 1 : 2);
    return (upper->getVelocity(0)[c] - lower->getVelocity(0)[c]) * 0.5;
}

std::vector<Vector3d> Grid::vorticity() const
{
    std::vector<Vector3d> w(cells.size());
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z) {
                Vector3d v;
                if (nz > 1) {
                    v.x = velocityDerivative('z', 'y', x, y, z) - velocityDerivative('y', 'z', x, y, z);
                    v.y = velocityDerivative('x', 'z', x, y, z) - velocityDerivative('z', 'x', x, y, z);
                }
                v.z = velocityDerivative('y', 'x', x, y, z) - velocityDerivative('x', 'y', x, y, z);
                w[siteIndex(x, y, z)] = v;
            }
    return w;
}

std::vector<double> Grid::streamFunction(int startX, int startY) const
{
    std::vector<double> a(std::size_t(nx) * ny, 0.0), b(std::size_t(nx) * ny, 0.0);
    auto at = [&](int x, int y) { return std::size_t(x) + std::size_t(y) * nx; };
    for (int x = 0; x < nx; ++x) {
        for (int k = 1; k < ny; ++k) {
            const int y = startY == 0 ? k : ny - 1 - k;
            const int prev = startY == 0 ? y - 1 : y + 1;
            BaseCell *c = getCell(x, y, 0);
            a[at(x, y)] = a[at(x, prev)] + (c && c->isFluid() ? c->getVelocity(0).x : 0.0);
        }
    }
    for (int y = 0; y < ny; ++y) {
        for (int k = 1; k < nx; ++k) {
            const int x = startX == 0 ? k : nx - 1 - k;
            const int prev = startX == 0 ? x - 1 : x + 1;
            BaseCell *c = getCell(x, y, 0);
            b[at(x, y)] = b[at(prev, y)] + (c && c->isFluid() ? c->getVelocity(0).y : 0.0);
        }
    }
    for (std::size_t i = 0; i < a.size(); ++i)
        a[i] -= b[i];
    return a;
}

Vector3d Grid::interpolatedVelocity(double px, double py) const
{
    // The immersed bodies' kernel, whose weights add up to one.
    return immersed->velocityAt(px, py);
}

Vector3d Grid::fluxAt(int x, int y) const
{
    BaseCell *cell = getCell(x, y, 0);
    if (!cell || !cell->isFluid())
        return Vector3d();
    const Vector3d U = cell->getVelocity(0);
    const double uu = U.lengthSquared();
    if (uu == 0.0)
        return Vector3d();
    Vector3d S = U * cell->getP(0);
    // A velocity with no in-plane part has no in-plane cross-section to
    // walk: only the site itself counts.
    if (U.x == 0.0 && U.y == 0.0)
        return S * 0.01;
    const Vector3d d = Vector3d(-U.y, U.x, 0.0).normalized() * 0.01;
    for (int sign = 1; sign >= -1; sign -= 2) {
        double px = x + 0.5, py = y + 0.5;
        for (;;) {
            px += sign * d.x;
            py += sign * d.y;
            const int ix = int(px), iy = int(py);
            if (px < 0.0 || py < 0.0 || !contains(ix, iy, 0))
                break;
            BaseCell *c = getCell(ix, iy, 0);
            if (!c || !c->isFluid())
                break;
            const Vector3d v = c->getVelocity(0);
            S += U * (c->getP(0) * (v.dot(U) / uu));
        }
    }
    return S * 0.01;
}

const std::vector<Vector3d> &Grid::crossSectionFlux()
{
    if (fluxValid && fluxCache.size() == cells.size())
        return fluxCache;
    fluxCache.assign(cells.size(), Vector3d());
    QList<int> work = rows;
    if (work.isEmpty())
        for (int y = 0; y < ny; ++y)
            work.append(y);
    mapOnPool(work, ParallelFlux(this, &fluxCache));
    fluxValid = true;
    return fluxCache;
}

std::size_t Grid::memoryBytes() const
{
    return cells.capacity() * sizeof(BaseCell *) + neighbours.capacity() * sizeof(BaseCell *) +
           rowOf.capacity() * sizeof(std::int32_t) +
           siteModes.capacity() * sizeof(std::uint32_t) + populations.bytes() + scalars.bytes() +
           componentField.bytes() + mixtures.bytes() +
           kept.capacity() * sizeof(double) + plainSites.capacity() * sizeof(PlainSite) +
           (leanFrozen ? cells.size() * sizeof(std::uint64_t) : 0) +
           (leanP0s ? cells.size() * sizeof(double) : 0) +
           BlockPool::reservedBytes();
}

// ---- stepping ----

void Grid::markComponentSites()
{
    componentFieldCurrent = false;
    componentSites = false;
    const int n = parameters->getMcQuantity();
    const std::size_t count = cells.size();
    // Bits 19 and 20 are bounce directions on D3Q27; the field holds at
    // most MaxComponents densities per site.
    if (neighbourQ <= 19 && n >= 1 && n <= MCCell::MaxComponents) {
        for (std::size_t s = 0; s < count; ++s) {
            const MCCell *mixture = exactCell<MCCell>(cells[s]);
            if (mixture && mixture->componentCount() <= n) {
                siteModes[s] |= ComponentFluid;
                componentSites = true;
            }
        }
    }
    if (!componentSites) {
        componentField.release();
        return;
    }
    componentField.allocate(n, count);
    // A neighbour's densities and kind are read from the field only where
    // the field holds what the neighbour cell would answer: a mixture, a
    // plain wall, or none (outside a closed box).
    markWhereNeighbours(ComponentFluid, ComponentFast,
                        [](BaseCell *nb) { return exactCell<MCCell>(nb) || exactCell<WallCell>(nb); });
}

void Grid::formComponentField()
{
    // Row by row: each row's sites are written by its own item alone.
    const std::size_t plane = std::size_t(nx) * std::size_t(nz);
    auto row = [this, plane](int y) {
        const std::size_t first = std::size_t(y) * plane;
        for (std::size_t s = first; s < first + plane; ++s)
            if (!mixtures.attachedAt(s))
                componentField.formSite(cells[s], s);
        if (!mixtures.empty())
            mixtures.formSites(componentField, first, plane);
    };
    mapRows(parameters->getMulticore(), rows, row);
    componentFieldCurrent = true;
}

int Grid::step(int count)
{
    if (!canStep())
        return 0;
    if (parameters->getNeedsNeighbourRebuild()) {
        buildNeighbours();
        parameters->setNeedsNeighbourRebuild(false);
    }
    // A change of the populations' precision moves the cells into new arrays.
    if (populations.single != parameters->getSinglePopulations() && !cells.empty())
        populations.layoutDirty = true;
    // Handles stand for the plain fluid cells while the cells' force shifts
    // need no objects of their own.
    if (leanWanted || !plainSites.empty()) {
        chooseForceMode();
        if (!handlesAllowed())
            materialiseAll();
        else if (leanStale)
            compactSites();
    }
    if (!siteModesValid)
        buildSiteModes();
    if (!cellsFitModel) {
        qWarning("Grid::step: some cells were built for another model than the current one (Q = %d); "
                 "the cells must be rebuilt (Grid::rebuildCellsForModel) before stepping",
                 parameters->getModel());
        return 0;
    }
    const bool fused = canFuse();
    stepping = true;
    for (int k = 0; k < count; ++k) {
        if (populations.layoutDirty || mixtures.dirty() || scalars.layoutDirty)
            buildSiteModes();
        chooseForceMode();
        if (populations.shiftsMarked() && fastPath && !populations.fieldShifts)
            clearShifts();
        skipAttachedSums = nz > 1 && k + 1 < count;
        keeping = nz == 1 && k + 1 == count && keepWanted != PlainValue::None && fastPath &&
                  LineKernels::slot(neighbourQ) >= 0;
        keptKind = PlainValue::None;
        if (keeping && kept.size() != cells.size())
            kept.assign(cells.size(), 0.0);
        if (fused) {
            runFusedSweep();
        } else {
            runPhase(0);
            particles->preUpdate();
            melting->step();
            immersed->step();
            runPhase(1);
            runPhase(2);
        }
        statistics.deltaP = 0.0;
        statistics.totalP = 0.0;
        // Per-row partial sums, combined in row order: the same figures
        // whatever the thread schedule.
        for (int y : rows) {
            statistics.deltaP += rowDeltaP[y];
            statistics.totalP += rowTotalP[y];
        }
        statistics.deltaP = statistics.fluidCells > 0 ? statistics.deltaP / statistics.fluidCells : 0.0;
        particles->move();
        runPhase(3);
        tracers->step();
        ++statistics.iterations;
    }
    skipAttachedSums = false;
    keeping = false;
    stepping = false;
    // Between calls the cells may be edited behind the grid's back.
    componentFieldCurrent = false;
    // The links of the last iteration give each shape's force and torque.
    if (shapeSet->count() > 0)
        shapeSet->computeForces(*this);
    notify(1);
    return count;
}

void Grid::runPhase(int phase)
{
    // A mixture whose components changed leaves the mixture stores first.
    if (!siteModesValid || (phase == 0 && mixtures.dirty()))
        buildSiteModes();
    if (phase == 0) {
        chooseForceMode();
        producingPsi = false;
        if (forceFold == FieldFold)
            prepareForceFields();
        // Formed once per call to step; the mixtures' commits keep it
        // current from one iteration to the next.
        if (componentSites && fastPath && !componentFieldCurrent)
            formComponentField();
    }
    // Rows whose phase-1 or phase-3 work is empty for every site are left out.
    QList<int> *work = &rows;
    if (fastPath && immersed->isEmpty()) {
        if (phase == 1)
            work = parameters->getMcType() == 4 ? &updateRowsWithWalls : &updateRows;
        else if (phase == 3)
            work = &finishRows;
    }
    // Under heat (multicomponent type 4) a wall's phase-1 work rewrites the
    // scalar of a fluid neighbour from values that the walls of the rows
    // around it rewrite too: in parallel the outcome would depend on which
    // thread came first, so that phase runs in row order.
    const bool ordered = phase == 1 && parameters->getMcType() == 4;
    if (!work->isEmpty()) {
        mapRows(parameters->getMulticore() && !ordered, *work, Scaled(this, phase));
    }
    // The commit of the attached cells is the flip of the populations.
    if (phase == 2)
        flipPopulations();
    // Phases run one by one from outside a step may have edits between them.
    if (phase == 3 && !stepping)
        componentFieldCurrent = false;
    fluxValid = false;
}

// When the grid holds only plain fluid, plain walls and null cells and no
// companion has work between the phases, phase 1 does nothing and phase 2
// touches each cell alone; phases 0 and 2 can then run in one sweep that
// commits each row right after its neighbours have streamed into it, which
// reads every cell from memory once per iteration instead of twice. The
// operations and their results are exactly those of the separate phases.
bool Grid::canFuse() const
{
    if (!fastPath || !finishRows.isEmpty() || rows.size() < 3)
        return false;
    if (!(parameters->getMcType() == 4 ? updateRowsWithWalls : updateRows).isEmpty())
        return false;
    return particles->isEmpty() && immersed->isEmpty() && melting->isIdle();
}

void Grid::prepareFusedChunks(int chunks)
{
    const int n = rows.size();
    chunks = std::max(1, std::min(chunks, n / 3));
    if (int(fusedChunks.size()) == chunks && fusedChunks.back().second == n - 1)
        return;
    fusedChunks.clear();
    fusedChunkIndices.clear();
    fusedEdgeRows.clear();
    fusedBuffers.assign(nz > 1 ? std::size_t(chunks) * 2 * nx * nz : 0, 0.0);
    for (int c = 0; c < chunks; ++c) {
        const int first = n * c / chunks, last = n * (c + 1) / chunks - 1;
        fusedChunks.emplace_back(first, last);
        fusedChunkIndices.append(c);
        fusedEdgeRows.append(rows[first]);
        fusedEdgeRows.append(rows[last]);
    }
}

void Grid::runFusedSweep()
{
    const bool parallel = parameters->getMulticore();
    // More chunks than threads, so one busy core does not hold up the sweep.
    prepareFusedChunks(parallel ? 4 * QThreadPool::globalInstance()->maxThreadCount() : 1);
    producingPsi = false;
    if (forceFold == FieldFold)
        prepareForceFields();
    const Scaled sweep(this, Scaled::FusedSweep);
    const Scaled commit(this, 2);
    if (parallel && fusedChunkIndices.size() > 1) {
        mapOnPool(fusedChunkIndices, sweep);
        mapOnPool(fusedEdgeRows, commit);
    } else {
        for (int c : qAsConst(fusedChunkIndices))
            sweep(c);
        for (int y : qAsConst(fusedEdgeRows))
            commit(y);
    }
    flipPopulations();
    particles->preUpdate();
    melting->step();
    immersed->step();
    fluxValid = false;
}

// The commit kept the view's values from the next array, which the flip
// makes current; from here any write of a current value voids them.
void Grid::flipPopulations()
{
    populations.flip();
    mixtures.flip();
    // The deposition cells' commit copied their values.
    if (scalars.stride > 0 && !scalarsDeposit)
        scalars.flip();
    if (producingPsi) {
        // The commit formed the psi of what is now current.
        psiField.swap(psiNext);
        psiValid = true;
        psiGeneration = populations.generation;
        producingPsi = false;
        populations.clearTouched();
    }
    if (!keeping)
        return;
    keptKind = keepWanted;
    keptGeneration = populations.generation;
    populations.clearTouched();
}

bool Grid::canStep() const
{
    const int limit = parameters->getMaxIterations();
    if (limit != 0 && statistics.iterations >= limit)
        return false;
    if (statistics.iterations == 0)
        return true;
    const double threshold = parameters->getStopWhen();
    if (threshold == 0.0)
        return true;
    // With no fluid or no mass there is no change to measure; keep running.
    if (statistics.fluidCells == 0 || statistics.totalP == 0.0)
        return true;
    const double r = statistics.fluidCells * statistics.deltaP / statistics.totalP;
    return r >= threshold;
}

// ---- plain sites without a cell object ----

void Grid::setLeanSites(bool on)
{
    leanWanted = on;
    if (on)
        compactSites();
    else
        materialiseAll();
}

std::size_t Grid::leanSiteCount() const
{
    return std::size_t(std::count_if(cells.begin(), cells.end(), [this](BaseCell *c) { return isHandle(c); }));
}

bool Grid::handlesAllowed() const
{
    // Moving particles carry the cells they cover from site to site; a
    // handle answers for its own site alone.
    return immersed->isEmpty() && particles->isEmpty() &&
           (parameters->getForces().isEmpty() || populations.fieldShifts);
}

void Grid::allocateHandles(double p0)
{
    if (plainSites.size() == cells.size())
        return;
    dropHandles();
    plainSites = std::vector<PlainSite>(cells.size());
    // With every slot of the handles' registry taken, this grid keeps its
    // cell objects.
    if (!PlainSite::publish(this, plainSites.data(), plainSites.size())) {
        plainSites.clear();
        plainSites.shrink_to_fit();
        return;
    }
    leanP0 = p0;
}

void Grid::dropHandles()
{
    if (plainSites.empty())
        return;
    PlainSite::withdraw(plainSites.data());
    plainSites.clear();
    plainSites.shrink_to_fit();
    leanP0s.reset();
    leanFrozen.reset();
    leanFrozenAt.store(~std::uint64_t(0));
}

void Grid::forgetHandleState(int s)
{
    if (leanP0s)
        leanP0s[std::size_t(s)] = leanP0;
    if (leanFrozen)
        leanFrozen[std::size_t(s)] = NotFrozen;
}

void Grid::setHandleP0(int s, double p0)
{
    if (!leanP0s) {
        if (std::memcmp(&p0, &leanP0, sizeof p0) == 0)
            return;
        leanP0s.reset(new double[cells.size()]);
        std::fill(leanP0s.get(), leanP0s.get() + cells.size(), leanP0);
    }
    leanP0s[std::size_t(s)] = p0;
}

bool Grid::frozenDeltaP(int s, double &delta) const
{
    if (leanFrozenAt.load(std::memory_order_acquire) != populations.generation)
        return false;
    const std::uint64_t bits = leanFrozen[std::size_t(s)];
    if (bits == NotFrozen)
        return false;
    std::memcpy(&delta, &bits, sizeof delta);
    return true;
}

void Grid::freezeDeltaP(int s, double delta)
{
    const std::uint64_t now = populations.generation;
    if (leanFrozenAt.load(std::memory_order_acquire) != now) {
        std::lock_guard<std::mutex> lock(leanFreezing);
        if (leanFrozenAt.load(std::memory_order_relaxed) != now) {
            if (!leanFrozen)
                leanFrozen.reset(new std::uint64_t[cells.size()]);
            std::fill(leanFrozen.get(), leanFrozen.get() + cells.size(), NotFrozen);
            leanFrozenAt.store(now, std::memory_order_release);
        }
    }
    std::uint64_t bits;
    std::memcpy(&bits, &delta, sizeof bits);
    leanFrozen[std::size_t(s)] = bits;
}

BaseCell *Grid::freshFluid(int s, double p0)
{
    if (plainSites.empty() || populations.stride != cells.size() || populations.q != neighbourQ)
        return new SCCell(p0, &populations, s);
    // The attached cell writes its values at rest and goes: the handle
    // stands for it.
    SCCell fresh(p0, &populations, s);
    forgetHandleState(s);
    setHandleP0(s, p0);
    return &plainSites[std::size_t(s)];
}

void Grid::reformRows()
{
    for (std::size_t s = 0; s < rowOf.size(); ++s)
        if (rowOf[s] >= 0)
            formRow(int(s), &neighbours[std::size_t(rowOf[s]) * std::size_t(neighbourQ)]);
}

// An exact fluid cell attached here, not pinned and with no force shift
// beyond the populations' fields becomes the site's handle; its initial
// density and a last deltaP that differs from the one its populations give
// go into the tables, so the handle answers as it did.
void Grid::compactSites()
{
    if (!leanWanted || !handlesAllowed() || cells.empty() || populations.stride != cells.size())
        return;
    bool changed = false;
    for (std::size_t s = 0; s < cells.size(); ++s) {
        BaseCell *c = cells[s];
        if (!c || typeid(*c) != typeid(SCCell))
            continue;
        auto *fluid = static_cast<SCCell *>(c);
        if (!fluid->isAttachedTo(&populations, int(s)) || fluid->getFixedDensity() != 0.0)
            continue;
        double tau = 0.0;
        const Vector3d shift = fluid->forceShift(tau);
        if (!populations.fieldShifts && (tau != 0.0 || shift.x != 0.0 || shift.y != 0.0 || shift.z != 0.0))
            continue;
        if (plainSites.empty())
            allocateHandles(fluid->getP0());
        if (plainSites.empty())
            break;
        PlainSite *handle = &plainSites[s];
        forgetHandleState(int(s));
        setHandleP0(int(s), fluid->getP0());
        const double delta = fluid->getDeltaP();
        if (!(handle->getDeltaP() == delta))
            freezeDeltaP(int(s), delta);
        delete fluid;
        cells[s] = handle;
        changed = true;
    }
    leanStale = false;
    if (changed) {
        reformRows();
        siteModesValid = false;
        fluxValid = false;
    }
}

bool Grid::materialiseSite(std::size_t s)
{
    BaseCell *c = cells[s];
    if (!isHandle(c))
        return false;
    cells[s] = static_cast<PlainSite *>(c)->materialise();
    forgetHandleState(int(s));
    leanStale = true;
    return true;
}

BaseCell *Grid::materialise(int x, int y, int z)
{
    if (!contains(x, y, z))
        return nullptr;
    const std::size_t s = std::size_t(siteIndex(x, y, z));
    // The rows that name the handle are formed afresh before the next step;
    // until then the handle reads the same populations as the cell.
    if (materialiseSite(s)) {
        parameters->setNeedsNeighbourRebuild(true);
        siteModesValid = false;
    }
    return cells[s];
}

void Grid::materialiseAll()
{
    if (plainSites.empty())
        return;
    bool changed = false;
    for (std::size_t s = 0; s < cells.size(); ++s)
        changed = materialiseSite(s) || changed;
    if (changed) {
        reformRows();
        siteModesValid = false;
    }
}
