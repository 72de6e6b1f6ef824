#include "mixturelayout.h"

#include "componentfield.h"
#include "exactcell.h"
#include "mccell.h"
#include "rkcell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/wallcell.h"

#include <algorithm>

void MixtureLayout::attach(const std::vector<BaseCell *> &cells, int q)
{
    const std::size_t n = cells.size();
    bool any = false, colours = false;
    for (BaseCell *c : cells) {
        if (const MCCell *mixture = exactCell<MCCell>(c); mixture && mixture->canAttach(q))
            any = true;
        else if (RKCell *colour = exactCell<RKCell>(c); colour && colour->modelQ() == q)
            colours = true;
        if (any && colours)
            break;
    }
    if (!any && !colours) {
        detachAll(cells);
        return;
    }
    if (stores[0].q != q || stores[0].stride != n) {
        detachAll(cells);
        for (Populations &store : stores)
            store.allocate(q, n);
    }
    // A fresh phase field holds no attached cell's phase yet.
    const bool freshPhase = colours && phase.size() != n;
    if (freshPhase)
        phase.assign(n, 0.0);
    // The mixtures' state arrays are formed as each attaches; none is
    // attached while they are of another size.
    if (any && stateStride != n) {
        mixtureState.assign(n * StateEntries, 0.0);
        stateStride = n;
    }
    flags.assign(n, 0);
    for (std::size_t s = 0; s < n; ++s) {
        if (RKCell *colour = exactCell<RKCell>(cells[s])) {
            if (!colours || colour->modelQ() != q) {
                colour->detach();
                continue;
            }
            if (freshPhase || !colour->isAttachedTo(this, int(s))) {
                colour->detach();
                colour->attach(this, int(s));
            }
            flags[s] = ColourAttached;
            continue;
        }
        MCCell *mixture = exactCell<MCCell>(cells[s]);
        if (!mixture)
            continue;
        if (!mixture->canAttach(q)) {
            mixture->detachComponents();
            continue;
        }
        if (!mixture->isAttachedTo(*this, int(s))) {
            mixture->detachComponents();
            mixture->attachComponents(*this, int(s));
        }
        flags[s] = Attached;
    }
    if (!colours)
        phase.clear();
    if (!any)
        releaseState();
    for (Populations &store : stores)
        store.layoutDirty = false;
}

void MixtureLayout::detachAll(const std::vector<BaseCell *> &cells)
{
    for (BaseCell *c : cells)
        if (MCCell *mixture = exactCell<MCCell>(c))
            mixture->detachComponents();
        else if (RKCell *colour = exactCell<RKCell>(c))
            colour->detach();
    for (Populations &store : stores)
        store.release();
    flags.clear();
    kernelLines.clear();
    phase.clear();
    releaseState();
}

void MixtureLayout::releaseState()
{
    std::vector<double>().swap(mixtureState);
    stateStride = 0;
}

void MixtureLayout::release(BaseCell *cell, int site, bool stays)
{
    if (empty())
        return;
    if (RKCell *colour = exactCell<RKCell>(cell)) {
        if (!(stays && colour->isAttachedTo(this, site)))
            colour->detach();
    } else if (MCCell *mixture = exactCell<MCCell>(cell)) {
        if (!(stays && mixture->isAttachedTo(*this, site)))
            mixture->detachComponents();
    } else {
        return;
    }
    if (!flags.empty() && site >= 0 && std::size_t(site) < flags.size() && !stays)
        flags[std::size_t(site)] = 0;
}

void MixtureLayout::markKernelSites(Grid &grid, const std::vector<BaseCell *> &cells, const std::uint32_t *modes,
                                    std::uint32_t fast)
{
    kernelLines.clear();
    if (empty() || flags.empty())
        return;
    const int q = stores[0].q;
    const int nx = grid.getWidth(), ny = grid.getHeight(), nz = grid.getLength();
    const std::size_t n = flags.size();
    const int length = nz > 1 ? nz : nx;
    kernelLines.assign(std::size_t(nz > 1 ? nx * ny : ny), 0);
    for (std::size_t s = 0; s < n; ++s) {
        flags[s] &= Attached | ColourAttached;
        const bool colour = flags[s] & ColourAttached;
        if (!colour && !(flags[s] & Attached))
            continue;
        kernelLines[s / std::size_t(length)] |= colour ? 8 : 2;
        // The bounce directions fit in 19 bits.
        if (colour ? q > 19 : !(modes[s] & fast))
            continue;
        const std::uint32_t member = colour ? ColourAttached : Attached;
        BaseCell *scratch[Lattice::MaxQ];
        BaseCell **block = grid.neighbourRow(int(s), scratch);
        BaseCell *self = cells[s];
        std::uint32_t bounces = 0;
        bool kernel = true;
        for (int i = 0; i < q && kernel; ++i) {
            BaseCell *nb = block[i];
            if (!nb)
                continue;
            if (colour ? exactCell<RKCell>(nb) != nullptr : exactCell<MCCell>(nb) != nullptr) {
                // The neighbour's site: the cell is stored at exactly one.
                const int *e = Lattice::tables.e[q][i];
                const int x = int(s / std::size_t(nz)) % nx, y = int(s / std::size_t(nz * nx)), z = int(s % nz);
                const std::size_t t =
                    std::size_t(grid.siteIndex((x + e[0] + nx) % nx, (y + e[1] + ny) % ny, (z + e[2] + nz) % nz));
                kernel = cells[t] == nb && (flags[t] & member);
                continue;
            }
            auto *wall = exactCell<WallCell>(nb);
            BaseCell **wallBlock = wall ? wall->getNeighbours() : nullptr;
            kernel = wallBlock && wallBlock[Lattice::opposite(q, i)] == self;
            bounces |= 1u << i;
        }
        if (!kernel)
            continue;
        flags[s] |= (colour ? ColourKernel : Kernel) | bounces;
        kernelLines[s / std::size_t(length)] |= colour ? 4 : 1;
    }
}

void MixtureLayout::formSites(ComponentField &field, std::size_t first, std::size_t count) const
{
    if (flags.empty())
        return;
    const int q = stores[0].q;
    const std::size_t stride = stores[0].stride;
    // Tiles of sites, each store read direction after direction; a density
    // is the sum of the active directions in order, as Lattice::moments
    // forms it.
    constexpr std::size_t Tile = 64;
    double density[Components][Tile];
    for (std::size_t t0 = first; t0 < first + count; t0 += Tile) {
        const std::size_t n = std::min(Tile, first + count - t0);
        for (int j = 0; j < Components; ++j) {
            for (std::size_t k = 0; k < n; ++k)
                density[j][k] = 0.0;
            for (int i = 0; i < q; ++i) {
                if (Lattice::tables.w[q][i] <= Lattice::ActiveWeight)
                    continue;
                const double *__restrict f = stores[j].cur + std::size_t(i) * stride + t0;
                for (std::size_t k = 0; k < n; ++k)
                    density[j][k] += f[k];
            }
        }
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t s = t0 + k;
            if (!(flags[s] & Attached))
                continue;
            for (int j = 0; j < field.components(); ++j)
                field.setDensity(j, s, j < Components ? density[j][k] : 0.0);
            field.setKind(s, ComponentField::Mixture);
        }
    }
}

void MixtureLayout::flip()
{
    if (empty())
        return;
    for (Populations &store : stores)
        store.flip();
}

std::size_t MixtureLayout::bytes() const
{
    return stores[0].bytes() + stores[1].bytes() + flags.capacity() * sizeof(std::uint32_t) + kernelLines.capacity() +
           phase.capacity() * sizeof(double) + mixtureState.capacity() * sizeof(double);
}
