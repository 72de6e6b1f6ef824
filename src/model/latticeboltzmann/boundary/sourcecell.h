#pragma once

#include "boundary.h"

class SimulationParameters;

// Inlet: sits next to the fluid and forwards its lattice work to the boundary
// strategy it owns. Inlets are grouped by their index, which selects the
// inlet settings of the parameters.
class SourceCell : public InertCell
{
public:
    explicit SourceCell(Boundary *strategy = nullptr);
    ~SourceCell() override;
    SourceCell(const SourceCell &) = delete;
    SourceCell &operator=(const SourceCell &) = delete;

    // A fixed-flux inlet: the strategy gets the speed, then the density.
    static SourceCell *fixedFlux(double speed, double density);
    // A pressure inlet emitting fluid at rest at the given density.
    static SourceCell *point(double density);

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void postUpdate() override;
    void reset(double p0, double p1) override;
    void setNextF(int i, double value, int component) override;
    void passivate(QXmlStreamWriter &writer) override;
    // Reads "index", then the strategy from the "boundary" child, leaving the
    // reader on that child. An unknown strategy type leaves the inlet without
    // a strategy and logs "inlet error".
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    int getKind() override { return inletIndex == 0 ? 3 : 8; }
    // A new inlet with a copy of the strategy.
    BaseCell *clone(const SimulationParameters &parameters) override;

    Boundary *strategy() const { return currentStrategy; }
    // Takes ownership of the new strategy and deletes the previous one.
    void setStrategy(Boundary *strategy);
    int index() const { return inletIndex; }
    // Also the component index of a fixed-flux strategy.
    virtual void setIndex(int index);

    // Replaces the strategy by kind: 1 equilibrium, 2 fixed flux, 3 Zou and
    // He; each keeps the previous speed. Returns false, leaving the inlet
    // unchanged, for any other kind.
    bool replaceStrategy(int kind, const SimulationParameters &parameters);

protected:
    Boundary *currentStrategy = nullptr;
    int inletIndex = 0;
};
