#pragma once

#include "linekernels.h"
#include "listener.h"
#include "multi/componentfield.h"
#include "multi/mixturelayout.h"
#include "plainsite.h"
#include "populations.h"
#include "simulationstats.h"
#include "vector3d.h"
#include "vector3i.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <typeinfo>
#include <utility>
#include <vector>

class BaseCell;
class SimulationParameters;
class UnitScales;
class ParticleManager;
class TracerSet;
class ScalarTracerSettings;
class FreeSurfaceSettings;
class ImmersedSet;
class ShapeSet;
class QXmlStreamWriter;

// The simulation domain: a box of nx x ny x nz sites holding one cell each,
// the per-site neighbour blocks used for streaming, the work rows of the
// parallel phases and the companions that live and die with the domain.
// Site (x, y, z) is stored at index (y nx + x) nz + z.
class Grid
{
public:
    Grid();
    ~Grid();
    Grid(const Grid &) = delete;
    Grid &operator=(const Grid &) = delete;

    int getWidth() const { return nx; }
    int getHeight() const { return ny; }
    int getLength() const { return nz; }
    int siteCount() const { return nx * ny * nz; }
    int siteIndex(int x, int y, int z) const { return (y * nx + x) * nz + z; }
    bool contains(int x, int y, int z) const { return x >= 0 && x < nx && y >= 0 && y < ny && z >= 0 && z < nz; }

    SimulationParameters *getParameters() const { return parameters.get(); }
    SimulationStats &getStatistics() { return statistics; }
    const SimulationStats &getStatistics() const { return statistics; }
    UnitScales *getScales() const { return scales.get(); }
    ParticleManager *getParticleManager() const { return particles.get(); }
    TracerSet *getTracers() const { return tracers.get(); }
    // The coloured scalar sources and their settings ("passivescalarsingleton").
    ScalarTracerSettings *getScalarTracers() const { return scalarTracers.get(); }
    FreeSurfaceSettings *getMeltingController() const { return melting.get(); }
    ImmersedSet *getImmersed() const { return immersed.get(); }
    // The shapes placed on the grid; their forces are summed after each step.
    ShapeSet *shapes() const { return shapeSet.get(); }
    const QList<int> &getRows() const { return rows; }

    BaseCell *getCell(int x, int y, int z) const { return contains(x, y, z) ? cells[siteIndex(x, y, z)] : nullptr; }
    BaseCell *getCell(const Vector3i &p) const { return getCell(p.x, p.y, p.z); }
    // Calls visit(cell, x, y, z) for every site, y outermost, then x, then z.
    template <typename Visit> void forEachCell(Visit visit) const
    {
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                for (int z = 0; z < nz; ++z)
                    visit(cells[siteIndex(x, y, z)], x, y, z);
    }
    // The neighbours of a site, one per direction (null outside the box).
    // Sites of kinds that keep their row (walls, wrappers, every kind but
    // plain, porous, shallow-water, heat and deposition cells) get their row in the table; for the others the
    // row is formed from the lattice offsets in a buffer of the calling
    // thread, valid until its next call.
    BaseCell **neighbourBlock(int x, int y, int z);
    // The row of site s: its row in the table, or the row formed into
    // scratch (Lattice::MaxQ entries) for a site that has none.
    BaseCell **neighbourRow(int s, BaseCell **scratch)
    {
        const std::int32_t r = rowOf.empty() ? -1 : rowOf[std::size_t(s)];
        if (r >= 0)
            return &neighbours[std::size_t(r) * std::size_t(neighbourQ)];
        formRow(s, scratch);
        return scratch;
    }
    // Plain fluid sites without a cell object (see PlainSite), on by default: while on,
    // the fluid the grid builds and every attached plain fluid cell with
    // nothing of its own to keep become handles, read by getCell as the
    // cells were; off, every handle becomes its cell again. The grid turns
    // handles back into cells itself while immersed bodies, or forces it
    // does not keep in the populations' fields, give the cells shifts.
    void setLeanSites(bool on);
    bool getLeanSites() const { return leanWanted; }
    // How many sites are handles.
    std::size_t leanSiteCount() const;
    // The cell at the site as an object of its own: a handle is replaced by
    // the attached fluid cell it stands for, for the rare edits that need
    // one (pinning a density, a force shift). Any other cell is returned.
    BaseCell *materialise(int x, int y, int z);
    // Stores the cell without bookkeeping (the particle manager moves cells so).
    void putCell(int x, int y, int z, BaseCell *cell);
    // Replaces the cell with bookkeeping: fluid count, particle notifications,
    // group numbering when autoGroup is set, and a neighbour rebuild request.
    void setCell(int x, int y, int z, BaseCell *cell, bool deleteOld = true, bool autoGroup = true);
    void buildNeighbours();
    void resize(int width, int height, int length, bool keepOld = false);
    // Each old cell is cloned into a factor x factor block; z is not refined.
    void refine(int factor);
    // Rebuilds every cell whose arrays were built for another model than the
    // parameters' current one ("model"), keeping each site's kind: fluid
    // cells keep their density, velocity and pinned density (at the new
    // model's equilibrium), other kinds are cloned for the new model; cells
    // that fit every model stay. Call it after every model change; until
    // then step refuses to run.
    void rebuildCellsForModel();
    // Whether every cell fits the parameters' current model.
    bool cellsMatchModel() const;
    void resetAll();
    void randomiseDensities();
    void resetBox(int x0, int x1, int y0, int y1, int z0, int z1, double p0, double p1);
    // A new fluid cell at the mean density of the fluid neighbours of the site
    // (1 when it has none), at the equilibrium for u.
    BaseCell *fillFromAverage(int x, int y, int z, const Vector3d &u);
    void randomWalls(int percent);
    // Gives every porous cell, also inside a colour wrapper or as a
    // component of a multicomponent cell, the solid density mean +
    // variation r with r drawn from the simulation's generator in [-1, 1)
    // (site order; the components of one cell share a draw).
    void setPorousSolidDensities(double mean, double variation);
    void enclosedWallsToNull();
    // Builds the grid from one cell code per site (index (y nx + x) nz + z).
    void loadTypes(const QStringList &codes, int width, int height, int length);
    // Applies a cell code to the inclusive box; with fillFromNeighbours, new
    // fluid cells start from the average of their fluid neighbours. New
    // fluid is the fluid of the active model (see fluidForModel), and with
    // coloured scalar sources every new cell is wrapped like the others.
    void fillRegion(const QString &code, int x0, int x1, int y0, int y1, int z0, int z1,
                    bool fillFromNeighbours = false);
    // The fluid cell of the parameters' model ("mcType" with more than one
    // component: multicomponent, colour-gradient, heat or deposition) made
    // from plain fluid about to be placed at (x, y, z), which it replaces
    // (and deletes); any other cell, or plain fluid under a plain model, is
    // returned as it is. The new cell keeps the fluid's density (and the
    // heat cell its velocity); with fromNeighbours each population set
    // starts from the mean of the surrounding cells of the same kind.
    BaseCell *fluidForModel(BaseCell *cell, int x, int y, int z, bool fromNeighbours);

    void computeDrag();
    Vector3d getDrag(int index);
    const QMap<int, Vector3d> &dragTable() const { return drag; }

    void addListener(int key, Listener *listener);
    void removeListener(int key);
    void notify(int code);

    // Stepping: runs up to count iterations; 0 when the stop test refuses.
    int step(int count);
    void runPhase(int phase);
    bool canStep() const;

    // Field queries.
    double velocityDerivative(char component, char axis, int x, int y, int z) const;
    std::vector<Vector3d> vorticity() const;
    std::vector<double> streamFunction(int startX, int startY) const;
    Vector3d interpolatedVelocity(double px, double py) const;
    // Cached until the next phase runs; laid out (z ny + y) nx + x.
    const std::vector<Vector3d> &crossSectionFlux();
    // The flux value of one site's column (used by the parallel work item).
    Vector3d fluxAt(int x, int y) const;

    // The devirtualised stepping of plain fluid among plain fluid and walls.
    // It is on by default and gives bitwise the same result as the generic
    // path; switching it off is for comparisons.
    void setFastPath(bool on) { fastPath = on; }
    // Whether the next step runs collision and commit in one sweep (valid
    // once the grid has stepped since its last edit).
    bool fusesPhases() const { return canFuse(); }
    bool getFastPath() const { return fastPath; }
    // The instruction set of the line kernels: 0 the best the processor
    // has, 1 baseline, 2 AVX2, 3 AVX-512 (capped at what the processor has).
    // Every level gives bitwise the same result; choosing one is for
    // comparisons.
    void setVectorLevel(int level) { vectorLevel = level; }
    int getVectorLevel() const;
    // The populations of the plain fluid cells.
    const Populations &getPopulations() const { return populations; }
    // Whether the site holds a plain fluid cell reading the populations
    // above, whose values the view may take from them; false for every site
    // while the stepping tables are stale, and while a force may have
    // shifted an attached cell's velocity (it then reports more than the
    // populations' moments); false at a porous site with a solid fraction,
    // whose velocity is scaled by it; false while the populations are in
    // single precision (the view then asks the cells).
    bool isPlainFluidSite(int site) const
    {
        return siteModesValid && !populations.single && !populations.shiftsMarked() &&
               (siteModes[std::size_t(site)] & PlainFluid) &&
               !(populations.solid && populations.solid[site] != 0.0);
    }
    // Whether every site from first to first + n - 1 is such a site.
    bool arePlainFluidSites(int first, int n) const
    {
        if (!siteModesValid || populations.single || populations.shiftsMarked() || n <= 0)
            return false;
        const std::uint32_t *modes = siteModes.data() + first;
        std::uint32_t all = PlainFluid;
        for (int i = 0; i < n; ++i)
            all &= modes[i];
        if (populations.solid)
            for (int i = 0; i < n; ++i)
                if (populations.solid[first + i] != 0.0)
                    return false;
        return all != 0;
    }
    // The quantity of the plain fluid sites a step keeps for the view. With
    // Density or Speed asked for, the last iteration of each call to step on
    // a 2D grid stores it for every attached site as a by-product of its
    // sums, so a frame need not read the populations again.
    enum class PlainValue { None, Density, Speed };
    void keepPlainValues(PlainValue which) { keepWanted = which; }
    // The values the last step kept, by site index and meaningful at plain
    // fluid sites; null when it kept another quantity or none, or when the
    // populations changed since.
    const double *keptPlainValues(PlainValue which) const
    {
        const bool valid = which != PlainValue::None && keptKind == which && keptGeneration == populations.generation &&
                           !populations.wasTouched() && !populations.shiftsMarked() && kept.size() == cells.size();
        return valid ? kept.data() : nullptr;
    }
    // Whether the site's collision runs in a line kernel on the fast path
    // (the stepping tables being current); for comparisons.
    bool kernelSite(int site) const
    {
        const std::uint32_t mode = siteModesValid ? siteModes[std::size_t(site)] : 0;
        return (mode & FastFluid) || ((mode & ShallowFast) && shallowAttaches()) ||
               ((mode & HeatFast) && heatAttaches()) || ((mode & DepositFast) && depositionAttaches());
    }
    // Bytes held for the grid's sites: cells, their arrays, the neighbour
    // table, the stepping tables and the values kept for the view.
    std::size_t memoryBytes() const;

    // Per-site stepping modes, rebuilt with the neighbour table.
    // Shallow water runs on D2Q9 alone, whose bounce directions are bits 0
    // to 8, and heat cells attach on D2Q9, D3Q15 and D3Q19 alone (bits 0 to
    // 18), deposition cells on a 2D D2Q9 grid alone: their marks take bits
    // the 27 directions of D3Q27 need.
    enum SiteMode : std::uint32_t {
        BounceMask = (1u << 27) - 1, // directions that hit a plain wall bouncing back to this site
        ComponentFluid = 1u << 19,   // exactly an MCCell, its components all in the component field (Q <= 19)
        ComponentFast = 1u << 20,    // such a cell whose neighbours are such cells, plain walls or absent
        DepositFluid = 1u << 21,     // a DepositionCell attached to the grid's scalar set (D2Q9 only)
        DepositFast = 1u << 22,      // such a cell whose neighbours are attached deposition cells or absent
        HeatFluid = 1u << 23,        // a PassiveScalar attached to the grid's populations (Q <= 19)
        HeatFast = 1u << 24,         // such a cell whose neighbours are attached heat cells, plain walls or absent
        ShallowFluid = 1u << 25,     // a ShallowCell attached to the grid's populations (D2Q9 only)
        ShallowFast = 1u << 26,      // such a cell whose neighbours are attached, plain walls or absent
        FastFluid = 1u << 27,        // plain fluid whose neighbours are plain fluid, plain walls or absent
        PlainFluid = 1u << 28,       // an SCCell or PorousCell attached to the grid's populations
        PlainWall = 1u << 29,        // exactly a WallCell
        PlainNull = 1u << 30,        // exactly a NullCell
        FluidNeighbours = 1u << 31,  // fast fluid whose every neighbour is plain fluid or absent
    };

    // The sums of computeDeltaP and of the density over the sites of row y
    // in the last iteration, which the step adds up in row order into the
    // statistics; a run cut into slabs of rows adds them up the same way.
    double rowDeltaPSum(int y) const { return rowDeltaP[std::size_t(y)]; }
    double rowTotalPSum(int y) const { return rowTotalP[std::size_t(y)]; }

    // The component field of the mixture cells while it holds the current
    // densities (during a call to step on the fast path), for the mixture
    // cells to keep current as they commit; null otherwise.
    ComponentField *componentFieldInUse() { return componentFieldCurrent ? &componentField : nullptr; }
    // The component field for the interaction force of the mixture at
    // (x, y, z) when it may read it there (the site marked ComponentFast);
    // null when it must ask its neighbour cells.
    const ComponentField *componentFieldFor(int x, int y, int z) const
    {
        return componentFieldCurrent && (siteModes[std::size_t(siteIndex(x, y, z))] & ComponentFast)
                   ? &componentField
                   : nullptr;
    }
    // Whether the mixture at site s takes its interaction force from the
    // component field on the fast path (the stepping tables being current);
    // for comparisons.
    bool componentFieldSite(int site) const
    {
        return fastPath && siteModesValid && (siteModes[std::size_t(site)] & ComponentFast);
    }

    // Whether the mixture at site s collides in the mixtures' line kernel
    // on the fast path (its components in the grid's mixture stores); for
    // comparisons.
    bool mixtureKernelSite(int site) const
    {
        return fastPath && siteModesValid && (mixtures.flagsAt(std::size_t(site)) & MixtureLayout::Kernel);
    }
    // Whether the components of the mixture at site s live in the grid's
    // mixture stores.
    bool mixtureAttachedAt(int site) const { return mixtures.attachedAt(std::size_t(site)); }
    // Whether the colour-gradient cell at site s collides in the colour
    // line kernel on the fast path, and whether its red and blue values
    // live in the grid's mixture stores; for comparisons.
    bool colourGradientKernelSite(int site) const
    {
        return fastPath && siteModesValid && (mixtures.flagsAt(std::size_t(site)) & MixtureLayout::ColourKernel);
    }
    bool colourGradientAttachedAt(int site) const { return mixtures.colourAt(std::size_t(site)); }

private:
    friend class Scaled;
    friend class PlainSite;

    // Replaces eligible attached fluid cells by handles (see setLeanSites);
    // a handle stands for site s while it answers exactly as the cell did.
    void compactSites();
    void materialiseAll();
    bool materialiseSite(std::size_t s);
    bool isHandle(const BaseCell *c) const
    {
        return !plainSites.empty() && c >= plainSites.data() && c < plainSites.data() + plainSites.size();
    }
    // Fresh fluid at rest at density p0 for site s, attached to the
    // populations: the site's handle while the grid keeps handles.
    BaseCell *freshFluid(int s, double p0);
    // The handles of the grid's sites, most of whose initial density is p0;
    // and their release (no cell may still be a handle).
    void allocateHandles(double p0);
    void dropHandles();
    // Forgets what the tables keep for the handle of site s.
    void forgetHandleState(int s);
    // The initial density of the handle of site s, kept by site from the
    // first that differs from the common one on.
    double handleP0(int s) const { return leanP0s ? leanP0s[std::size_t(s)] : leanP0; }
    void setHandleP0(int s, double p0);
    // The last deltaP an edit froze for the handle of site s in the present
    // flip count, and the freezing.
    bool frozenDeltaP(int s, double &delta) const;
    void freezeDeltaP(int s, double delta);
    // Forms the kept neighbour rows afresh after cells changed in place.
    void reformRows();
    // Whether the cells' force shifts can be kept without cell objects.
    bool handlesAllowed() const;

    void deleteCells();
    // Keeps the values of a cell that leaves the populations alive.
    // With stays set, a cell attached to this very site keeps its place.
    void releaseSite(BaseCell *old, int site, bool stays);
    void detachAll();
    void attachCells();
    // Whether the cell's kind can live in the populations (plain fluid and
    // porous fluid).
    static bool attachable(BaseCell *c);
    // Whether the cell is a shallow-water cell, which lives in the
    // populations on a 2D D2Q9 grid.
    static bool isShallow(BaseCell *c);
    // Shallow water, heat and colours keep the double populations: in single
    // precision they keep their own arrays and the per-site path.
    bool shallowAttaches() const { return neighbourQ == 9 && nz == 1 && !populations.single; }
    // Whether the cell is a heat cell, which lives in the populations (its
    // scalar in the second set) on D2Q9, D3Q15 and D3Q19.
    static bool isHeat(BaseCell *c);
    bool heatAttaches() const
    {
        return neighbourQ <= 19 && LineKernels::slot(neighbourQ) >= 0 && !populations.single;
    }
    // Whether the cell is a deposition cell, which lives in the scalar set
    // on a 2D D2Q9 grid (when no heat cell holds that set).
    static bool isDeposition(BaseCell *c);
    bool depositionAttaches() const { return neighbourQ == 9 && nz == 1; }
    // Whether the cell wraps plain fluid in lattice-Boltzmann colours: its
    // fluid lives in the populations and its colours in the scalar set (on
    // the lattices heat cells attach on, while no heat or deposition cell
    // holds that set).
    static bool isColourFluid(BaseCell *c);
    // Attaches the colour wrappers of plain fluid built for the grid's
    // model and the tracers' colour count (their fluid to the populations,
    // their colours to the scalar set); with wanted false, or none such,
    // detaches them all. Returns whether the scalar set holds colours.
    bool attachColours(bool wanted);
    void detachColours();
    // Marks the colour sites that step in the line kernels (see buildSiteModes).
    void markColourSites();
    // Attaches the deposition cells to the scalar set, or detaches them all
    // when heat cells hold it or the grid is not 2D D2Q9.
    void attachDeposition(bool heat);
    // Attaches the heat cells built for the grid's model to the scalar set
    // (allocated for them), or detaches them all and releases the set.
    void attachHeat(bool heat);
    void detachHeat();
    // Whether the cell is attached to the populations at site s (plain,
    // porous or shallow-water fluid).
    bool attachedAt(BaseCell *c, int s) const;
    void chooseForceMode();
    void clearShifts();
    // Marks the mixture sites (ComponentFluid, ComponentFast) and sizes the
    // component field for them, or releases it when there are none.
    void markComponentSites();
    // Adds mark to the mode of every site whose mode holds a bit of within
    // and whose neighbours are each absent or pass fits(neighbour).
    template <typename Fits>
    void markWhereNeighbours(std::uint32_t within, std::uint32_t mark, Fits fits);
    // Forms the component field from every cell (once per call to step,
    // before the first collision reads it).
    void formComponentField();
    // The pseudopotential of every attached site into psiField (zero at the
    // other sites, whose values no kernel result depends on), and with
    // adhesion the adhesion weight of every site into adhesionField, from
    // the current populations (see LineKernels::Line::psi). The psi field a
    // commit formed as a by-product of its sums is used as it is while no
    // edit touched the populations since.
    void prepareForceFields();
    void computePsiField();
    // The first site of the neighbour line in direction i of a line (the
    // row y in 2D, the column (x, y) in 3D); false when it lies outside.
    bool lineTarget(int x, int y, int i, std::size_t &base, int &along) const;
    void allocate(int width, int height, int length);
    void assignGroup(int x, int y, int z, BaseCell *cell);
    // Calls visit(cell) for every site's cell, looking through colour wrappers.
    template <typename Visit> void forEachInner(Visit visit) const;
    void buildSiteModes();

    // Whether the site's cell needs a row in the neighbour table: every kind
    // but plain, porous, shallow-water, heat and deposition cells, which read their neighbours
    // only while stepping and get them from the lattice offsets (see
    // neighbourRow).
    static bool keepsRow(BaseCell *c)
    {
        return !attachable(c) && !isShallow(c) && !isHeat(c) && !isDeposition(c) &&
               !(c && typeid(*c) == typeid(PlainSite));
    }
    void formRow(int s, BaseCell **row) const;

    std::vector<BaseCell *> cells;
    // The handles of sites without a cell object, one per site while any is
    // wanted; the initial density common to the handles, and by site once
    // one differs (random initial densities); and the last deltaP of the
    // handles an edit froze at flip count leanFrozenAt, by site (the bits of
    // the value, or NotFrozen), kept from the first such edit on: edits from
    // several threads each freeze their own sites.
    std::vector<PlainSite> plainSites;
    bool leanWanted = true;
    // Set when cells may have become eligible for handles since the last look.
    bool leanStale = true;
    double leanP0 = 1.0;
    std::unique_ptr<double[]> leanP0s;
    std::unique_ptr<std::uint64_t[]> leanFrozen;
    std::atomic<std::uint64_t> leanFrozenAt{~std::uint64_t(0)};
    std::mutex leanFreezing;
    static constexpr std::uint64_t NotFrozen = 0x7ff4deadbeef0001ull;
    // The rows of the sites that keep one, in site order, and per site the
    // index of its row or -1.
    std::vector<BaseCell *> neighbours;
    std::vector<std::int32_t> rowOf;
    QList<int> rows;
    std::unique_ptr<SimulationParameters> parameters;
    SimulationStats statistics;
    std::unique_ptr<ParticleManager> particles;
    std::unique_ptr<UnitScales> scales;
    std::unique_ptr<TracerSet> tracers;
    QMap<int, Vector3d> drag;
    QMap<int, Listener *> listeners;
    std::vector<Vector3d> fluxCache;
    bool fluxValid = false;
    std::unique_ptr<FreeSurfaceSettings> melting;
    std::unique_ptr<ImmersedSet> immersed;
    std::unique_ptr<ScalarTracerSettings> scalarTracers;
    std::unique_ptr<ShapeSet> shapeSet;

    int nx = 0, ny = 0, nz = 0;
    int neighbourQ = 0;
    std::vector<std::uint32_t> siteModes;
    // Rows with phase-1 work beyond plain cells, the same plus rows with
    // walls (whose phase-1 work depends on the multicomponent type), and rows
    // with phase-3 work.
    QList<int> updateRows, updateRowsWithWalls, finishRows;
    // The fused sweep: chunks of the row list as index ranges [first, last],
    // the chunk numbers to map over, and the rows committed after them.
    std::vector<std::pair<int, int>> fusedChunks;
    QList<int> fusedChunkIndices, fusedEdgeRows;
    bool canFuse() const;
    void prepareFusedChunks(int chunks);
    void runFusedSweep();
    // Per chunk of the 3D fused sweep: deltaP and density of one row's sites.
    std::vector<double> fusedBuffers;
    std::vector<double> rowDeltaP;
    std::vector<double> rowTotalP;
    Populations populations;
    // Per line: 0 no fast site, 1 some (masked kernel), 2 all sites push to
    // plain fluid or out of the box; and whether it holds attached sites.
    std::vector<std::uint8_t> lineKinds, lineAttached;
    // Per line: whether it holds attached porous cells (the porous kernels).
    std::vector<std::uint8_t> linePorous;
    // Per line: 0 no fast shallow-water site, 1 some (masked shallow
    // kernel), 2 every site such a site pushing to attached sites or out of
    // the box.
    std::vector<std::uint8_t> lineShallow;
    // The same for the heat cells, whose scalar populations live in scalars
    // (allocated while the grid has attached heat cells).
    std::vector<std::uint8_t> lineHeat;
    Populations scalars;
    // Whether scalars holds the deposition cells' values (DepositionCell::
    // Values directions, committed by copying, never flipped) instead of
    // the heat cells' scalar populations; lineDeposit marks the lines as
    // lineHeat does (bits 0 and 1), with 4 added for a line holding any
    // attached deposition cell.
    bool scalarsDeposit = false;
    // Whether scalars holds the colours of the colour wrappers (colour k's
    // direction i as direction k q + i, flipped with the populations); the
    // sites are marked HeatFluid and HeatFast as heat sites are, lineHeat
    // marks their lines, and their fluid is stepped by the plain kernels.
    bool scalarsColour = false;
    std::vector<std::uint8_t> lineDeposit;
    // How the body forces reach the line kernels: not at all (the cells
    // form them), gravity alone, or the pseudopotential force (with gravity
    // before it, gravityOrder 1, after it, 2, or none, 0) from the fields.
    enum ForceFold { NoFold, GravityFold, FieldFold };
    ForceFold forceFold = NoFold;
    int gravityOrder = 0;
    std::vector<double> psiField, adhesionField;
    // The psi of the next populations, formed by the commit of an iteration
    // that produces it (producingPsi) and made psiField by the flip; valid
    // for the flip count psiGeneration and the parameters psiParameters.
    std::vector<double> psiNext;
    bool producingPsi = false;
    bool psiValid = false;
    std::uint64_t psiGeneration = 0;
    double psiParameters[2] = {0.0, 0.0};
    // Per site, while adhesionKindsValid: 1 a wall, 2 a porous cell (also
    // inside a colour wrapper), 0 anything else.
    std::vector<std::uint8_t> adhesionKinds;
    // The densities the interaction between components reads (see
    // ComponentField), held while the grid has ComponentFast sites;
    // current from its forming to the end of the call to step.
    ComponentField componentField;
    // The populations of the two-component mixtures' components.
    MixtureLayout mixtures;
    bool componentSites = false;
    bool componentFieldCurrent = false;
    // Set while step runs its iterations.
    bool stepping = false;
    bool adhesionKindsValid = false;
    int vectorLevel = 0;
    bool siteModesValid = false;
    bool cellsFitModel = true;
    bool fastPath = true;
    // In 3D the sums of the attached cells are formed only on the last
    // iteration of a call to step: nothing reads them in between, and their
    // second pass over the populations costs as much as the collision.
    bool skipAttachedSums = false;
    // The view's values kept by the step (see keepPlainValues): what is
    // asked for, whether this iteration keeps it, and what the last step
    // kept, at which flip.
    void flipPopulations();
    PlainValue keepWanted = PlainValue::None;
    PlainValue keptKind = PlainValue::None;
    bool keeping = false;
    std::uint64_t keptGeneration = 0;
    std::vector<double> kept;
};
