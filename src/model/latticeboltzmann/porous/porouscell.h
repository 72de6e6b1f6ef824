#pragma once

#include "model/latticeboltzmann/sccell.h"

// Fluid inside a partially solid medium (gray lattice): of every population
// a cell streams in direction i, the fraction s (the solid density) is
// replaced by the cell's own pre-collision population of the opposite
// direction, i.e. bounced back. s = 0 is plain fluid (bitwise), s = 1 a solid
// that lets nothing through; in between a body force F drives the Darcy speed
// u = (1 - s) F / (2 s rho). The exchange reads only the cell's own state, so
// it does not depend on the order in which rows run.
class PorousCell : public SCCell
{
public:
    explicit PorousCell(double p0 = 1.0);

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    int getKind() override { return 9; }
    BaseCell *clone() override;
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;

    double getSolidDensity() const { return solidDensity; }
    void setSolidDensity(double s);
    int getComponentIndex() const { return componentIndex; }
    void setComponentIndex(int index) { componentIndex = index; }

private:
    double solidDensity;
    int componentIndex = 0;
};
