#pragma once

#include "model/latticeboltzmann/wallcell.h"

// A wall held at the temperature "thermal0".."thermal2" chosen by its index.
// It bounces the fluid back like any wall; in phase 1 it completes the scalar
// populations that its fluid face neighbour receives from the wall side, so
// that the neighbour's scalar sums to the wall temperature. The missing
// amount is shared among those directions in proportion to their weights
// (1/6 : 2/3 : 1/6 on D2Q9), which works on every model. A fluid cell that
// touches several thermal walls is completed by one of them only (the first
// in direction order), so the result does not depend on the order of rows.
class ThermalWall : public WallCell
{
public:
    explicit ThermalWall(int index = 0) : index(index) {}

    void update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    // The fluid bounces back; the scalar is set in update instead.
    void setNextF(int i, double value, int component) override;
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    int getKind() override { return index == 0 ? 5 : index == 1 ? 6 : -1; }
    BaseCell *clone() override { return new ThermalWall(index); }

    int getIndex() const { return index; }
    void setIndex(int i) { index = i; }

private:
    int index;
};
