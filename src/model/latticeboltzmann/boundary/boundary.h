#pragma once

#include "model/latticeboltzmann/basecell.h"

class MovingCell;
class SimulationParameters;

// A boundary strategy: owned by an inlet or outlet cell, never placed in the
// grid itself. It writes the populations its target fluid cell receives from
// the boundary. p is the prescribed density and u the prescribed speed along
// the inward face normal; -1 means not prescribed.
class Boundary : public InertCell
{
public:
    virtual void setBoundaryP(double value) = 0;
    virtual void setBoundaryU(double value) = 0;
    virtual double getBoundaryU() = 0;
    virtual double getBoundaryP() = 0;

    int getKind() override { return -1; }
    // Reads "pressure" and "velocity"; a rejected value keeps the strategy as
    // it was. Strategies with more attributes read their own.
    void activate(QXmlStreamReader &reader, Grid *grid) override;

    // The periodic modulation sin(6.2831853 (N mod T) / T) at iteration N;
    // 0 for a steady inlet (T = 0).
    static double modulation(int period, int iteration);

protected:
    // The parameters of the grid the strategy works in, or the current ones.
    static SimulationParameters *parametersOf(Grid *grid);
    static int iterationsOf(Grid *grid);
    // The face across which the boundary cell meets its target fluid cell,
    // and that cell; -1 (target null) when the cell has no such face.
    static int targetSide(int q, BaseCell *neighbours[], BaseCell *&target);
    // The moving cell that feeds direction k of the target in phase 1 (its
    // moving bounce-back), or null; position is the boundary cell's own and
    // side the face it feeds. Where a moving wall meets an inlet or outlet
    // both would write that entry of the corner fluid cell from different
    // rows of the same phase: the wall's bounce-back wins, so strategies skip
    // such entries and read the wall's value instead of the entry.
    static MovingCell *movingSource(int q, Grid *grid, Vector3i position, int side, int k, BaseCell *target);

    double p = -1.0;
    double u = -1.0;
};
