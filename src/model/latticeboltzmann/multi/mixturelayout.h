#pragma once

#include "model/latticeboltzmann/populations.h"
#include "model/latticeboltzmann/vector3d.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class BaseCell;
class ComponentField;
class Grid;

// The grid-owned populations of the two-component mixtures: component j of
// every attached mixture lives at its site in store j, laid out as the plain
// fluid's populations are, so that the mixtures' collision runs over whole
// lines of sites and streams at fixed offsets instead of through the
// neighbours' component cells. A mixture attaches when it is exactly an
// MCCell of two plain fluid components built for the grid's model with no
// pinned density; any other keeps its components' own arrays.
// The colour-gradient cells (RKCell) built for the grid's model live in the
// same stores, their red values in store 0 and their blue ones in store 1,
// with the difference of their colour densities in a phase field that the
// colour gradient of their neighbours reads at fixed offsets.
class MixtureLayout
{
public:
    static constexpr int Components = 2;
    // Per-site flags: the low 19 bits are the directions that hit a plain
    // wall sending the value back to this very site.
    enum SiteFlag : std::uint32_t {
        BounceMask = (1u << 19) - 1,
        ColourKernel = 1u << 28,   // the site's colour cell collides in the line kernel
        ColourAttached = 1u << 29, // the site's colour cell lives in the stores
        Attached = 1u << 30,       // the site's mixture lives in the stores
        Kernel = 1u << 31,         // its collision runs in the line kernel
    };

    // Attaches every mixture and colour cell that fits (allocating the
    // stores when there is one, releasing them when there is none) and
    // detaches the others.
    void attach(const std::vector<BaseCell *> &cells, int q);
    // Detaches every mixture and colour cell and releases the stores.
    void detachAll(const std::vector<BaseCell *> &cells);
    // Gives the site's mixture or colour cell its own arrays back, unless it is attached
    // to this very site and stays.
    void release(BaseCell *cell, int site, bool stays);
    // Marks the sites whose collision the line kernel runs: attached
    // mixtures marked fast by the grid (fast: its ComponentFast mark) whose
    // neighbours are attached mixtures, plain walls sending back to them, or
    // absent; attached colour cells (on lattices of at most 19 directions)
    // whose neighbours are attached colour cells, such walls or absent; and
    // the lines (rows in 2D, columns in 3D) holding such sites or attached
    // cells of either kind.
    void markKernelSites(Grid &grid, const std::vector<BaseCell *> &cells, const std::uint32_t *modes,
                         std::uint32_t fast);

    bool attachedAt(std::size_t site) const { return !flags.empty() && (flags[site] & Attached); }
    std::uint32_t flagsAt(std::size_t site) const { return flags.empty() ? 0u : flags[site]; }
    const std::uint32_t *siteFlags() const { return flags.data(); }
    bool lineHasKernelSites(std::size_t line) const { return line < kernelLines.size() && (kernelLines[line] & 1); }
    bool lineHasAttachedSites(std::size_t line) const { return line < kernelLines.size() && (kernelLines[line] & 2); }
    bool colourAt(std::size_t site) const { return !flags.empty() && (flags[site] & ColourAttached); }
    bool lineHasColourKernelSites(std::size_t line) const
    {
        return line < kernelLines.size() && (kernelLines[line] & 4);
    }
    bool lineHasColourSites(std::size_t line) const { return line < kernelLines.size() && (kernelLines[line] & 8); }
    // The attached colour cells' red minus blue density, by site; null
    // while none is attached.
    double *phaseField() { return phase.empty() ? nullptr : phase.data(); }
    const double *phaseField() const { return phase.empty() ? nullptr : phase.data(); }
    bool empty() const { return stores[0].stride == 0; }
    // Whether a cell was edited so that the attachment must be formed again.
    bool dirty() const { return stores[0].layoutDirty; }
    Populations &store(int j) { return stores[j]; }
    const Populations &store(int j) const { return stores[j]; }
    // The values of the attached mixtures' sites among count sites from
    // first in the component field: their components' current densities, as
    // the cells would give them. The other sites are left as they are.
    void formSites(ComponentField &field, std::size_t first, std::size_t count) const;
    // The commit of the attached components: the stores' flip.
    void flip();
    std::size_t bytes() const;

    // What the last collision and commit of each attached mixture leave,
    // one array per entry in site order: the common velocity of its
    // equilibria (Common: x, y and z), component j's equilibrium shift
    // (Shift + 3 j) and force (Force + 3 j), the mean change of its last
    // commit and component j's relaxation time in that collision (Tau + j).
    // The cell answers from here while attached, so that the line kernels
    // read and write arrays rather than the cell objects.
    enum StateEntry { Common = 0, Shift = 3, Force = 9, DeltaP = 15, Tau = 16, StateEntries = 18 };
    double *state(int entry) { return mixtureState.data() + std::size_t(entry) * stateStride; }
    const double *state(int entry) const { return mixtureState.data() + std::size_t(entry) * stateStride; }
    Vector3d stateVector(int entry, std::size_t site) const
    {
        const double *p = state(entry) + site;
        return Vector3d(p[0], p[stateStride], p[2 * stateStride]);
    }
    void setStateVector(int entry, std::size_t site, const Vector3d &v)
    {
        double *p = state(entry) + site;
        p[0] = v.x;
        p[stateStride] = v.y;
        p[2 * stateStride] = v.z;
    }

private:
    void releaseState();

    Populations stores[Components];
    std::vector<std::uint32_t> flags;
    std::vector<std::uint8_t> kernelLines;
    std::vector<double> phase;
    std::vector<double> mixtureState;
    std::size_t stateStride = 0;
};
