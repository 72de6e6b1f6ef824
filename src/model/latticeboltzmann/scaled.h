#pragma once

#include "linekernels.h"

#include <cstddef>

class Grid;
class BaseCell;
namespace LineKernels {
struct MixtureMoments;
}

// The work item of one stepping phase: applied to a row y it processes every
// site of that row, x outermost and z innermost.
class Scaled
{
public:
    // The phase that collides, streams and commits whole chunks of rows at
    // once, applied to a chunk index (see Grid::step).
    static constexpr int FusedSweep = 4;

    Scaled(Grid *grid, int phase) : grid(grid), phase(phase) {}
    void operator()(const int &y) const;

private:
    void collideAndStream(int y) const { collideAndStream(y, 0, -1); }
    // The sites of row y with x in [x0, x1] (x1 = -1: the whole row); in 2D a
    // row is one line and always done whole.
    void collideAndStream(int y, int x0, int x1) const;
    // 3D fused sweep: the deltaP and density of every site of the column
    // (x, y), kept at (x nz + z) in the chunk's row buffers, and their sum
    // over the row in site order.
    void commitColumn(int y, int x, double *change, double *density) const;
    void sumRow(int y, const double *change, const double *density) const;
    // With the pseudopotential force folded in, the psi of n committed sites
    // from their new densities (zero at sites not attached), for the grid's
    // next psi field.
    void storePsi(std::size_t first, int n, const double *density) const;
    // The attached two-component mixtures of line l of row y (the row
    // itself in 2D, the column x = l in 3D) that the line kernel collides.
    void collideMixtures(int y, int l) const;
    // The attached colour-gradient cells of that line that the line kernel
    // collides.
    void collideColours(int y, int l) const;
    // Phase 3 of the attached mixtures of that line: their common velocity
    // and their densities in the component field. On the fast path with a
    // line kernel for the lattice the commit does this from the next values
    // instead (mixturesFinishInCommit), saving a pass over the stores.
    void finishMixtures(int y, int l) const;
    bool mixturesFinishInCommit() const;
    // That work for the attached mixtures among the n sites from first,
    // from the moments of their committed values.
    void finishMixtureSites(std::size_t first, int n, const LineKernels::MixtureMoments &m) const;
    // The mixture stores' arrays set up for line l of row y (the row itself
    // in 2D, the column x = l in 3D): its sites and its neighbour lines.
    LineKernels::Line mixtureLine(int y, int l) const;
    // The mixture stores' arrays: component 0 as cur and next, component 1
    // as scalarCur and scalarNext.
    LineKernels::Line mixtureArrays() const;
    void boundaries(int y) const;
    void commit(int y) const;
    void finish(int y) const;
    void collideAndCommitChunk(int chunk) const;

    Grid *grid;
    int phase;
};
