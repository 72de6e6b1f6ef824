#pragma once

class Grid;
class BaseCell;

// The work item of one stepping phase: applied to a row y it processes every
// site of that row, x outermost and z innermost.
class Scaled
{
public:
    // The phase that collides, streams and commits whole chunks of rows at
    // once, applied to a chunk index (see Grid::step).
    static constexpr int FusedSweep = 4;

    Scaled(Grid *grid, BaseCell **neighbours, int phase) : grid(grid), neighbours(neighbours), phase(phase) {}
    void operator()(const int &y) const;

private:
    void collideAndStream(int y) const;
    void boundaries(int y) const;
    void commit(int y) const;
    void finish(int y) const;
    void collideAndCommitChunk(int chunk) const;

    Grid *grid;
    BaseCell **neighbours;
    int phase;
};
