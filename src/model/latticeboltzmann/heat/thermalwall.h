#pragma once

#include "model/latticeboltzmann/wallcell.h"

// A wall held at the temperature "thermal0".."thermal2" chosen by its index.
// It bounces the fluid back like any wall, so its surface lies half-way
// between the wall site and the fluid; the scalar (component 1 of a heat
// cell) is held at the wall temperature T on that same plane by
// anti-bounce-back: a scalar population g_i streamed into the wall returns
// to its sender as 2 w_i T - g_i. That fixes the scalar at the plane to
// second order, and a linear profile exactly. The second set of any other
// kind of cell (a second fluid, a concentration) bounces back like the first.
class ThermalWall : public WallCell
{
public:
    explicit ThermalWall(int index = 0) : index(index) {}

    // Nothing left for phase 1: the scalar is set as it streams in.
    void update(double[], BaseCell *[], Grid *, Vector3i) override {}
    void setNextF(int i, double value, int component) override;
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    int getKind() override { return index == 0 ? 5 : index == 1 ? 6 : -1; }
    BaseCell *clone(const SimulationParameters &) override { return new ThermalWall(index); }
    // The wall temperature is read from the parameters of the grid that links it.
    void setNeighbours(BaseCell **block, const SimulationParameters &parameters) override
    {
        WallCell::setNeighbours(block, parameters);
        settings = &parameters;
    }

    int getIndex() const { return index; }
    void setIndex(int i) { index = i; }

private:
    int index;
    const SimulationParameters *settings = nullptr;
};
