#pragma once

class Grid;
class BaseCell;

// The work item of one stepping phase: applied to a row y it processes every
// site of that row, x outermost and z innermost.
class Scaled
{
public:
    Scaled(Grid *grid, BaseCell **neighbours, int phase) : grid(grid), neighbours(neighbours), phase(phase) {}
    void operator()(const int &y) const;

private:
    void collideAndStream(int y) const;
    void boundaries(int y) const;
    void commit(int y) const;
    void finish(int y) const;

    Grid *grid;
    BaseCell **neighbours;
    int phase;
};
