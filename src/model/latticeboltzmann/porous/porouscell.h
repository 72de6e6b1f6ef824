#pragma once

#include "model/latticeboltzmann/sccell.h"

// Fluid inside a partially solid medium (gray lattice): of every population
// a cell streams in direction i, the fraction s (the solid density) is
// replaced by the cell's own pre-collision population of the opposite
// direction, i.e. bounced back. s = 0 is plain fluid (bitwise), s = 1 a solid
// that lets nothing through; in between a body force F drives the Darcy speed
// u = (1 - s) F / (2 s rho). The exchange reads only the cell's own state, so
// it does not depend on the order in which rows run.
//
// Over one step the momentum goes from M to (1 - s)(M + F) - s M, so the
// velocity the cell reports, the mean of the two, is (1 - s)(u + F / (2 rho)):
// that of plain fluid at s = 0, zero in a solid (s = 1), and the Darcy speed
// above in a steady uniform medium.
class PorousCell : public SCCell
{
public:
    // A porous cell for model q at density p0 with the solid density of the
    // parameters.
    PorousCell(double p0, const SimulationParameters &parameters);

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    Vector3d getVelocity(int component) override;
    int getKind() override { return 9; }
    BaseCell *clone(const SimulationParameters &parameters) override;
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
