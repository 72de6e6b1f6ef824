#pragma once

#include "passivescalarcell.h"

// The coloured scalars by moment propagation: one value per colour instead
// of a distribution. Each colour takes the share of every fluid neighbour's
// value that the neighbour's populations carry towards the cell, less a
// fraction delta (the settings' epsilon) kept in place.
class MomentPropagationCell : public PassiveScalarCell
{
public:
    MomentPropagationCell(BaseCell *inner, int q) : PassiveScalarCell(inner, q) {}

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override
    {
        innerCell->preUpdate(params, neighbours, grid, position);
    }
    void update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void postUpdate() override;
    // A negative p1 (the grid's "keep") leaves the colours alone.
    void reset(double p0, double p1) override;
    double getF(int i, int component) override;
    void setNextF(int i, double value, int component) override;
    void setF(double values[]) override;

    void initColours(double concentration) override;
    void allocateColours(int colours) override;
    void recomputeColours() override;

protected:
    PassiveScalarCell *emptyWrapper(BaseCell *inner) const override { return new MomentPropagationCell(inner, q); }
    const char *typeName() const override { return "momentPropagationCell"; }
    int valuesPerColour() const override { return 1; }
    // Here g holds the colour values, gNext the next ones and theta the
    // displayed copy.
};
