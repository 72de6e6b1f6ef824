#pragma once

#include "boundary.h"

class SimulationParameters;

// Outlet: sits next to the fluid and forwards its lattice work to the
// boundary strategy it owns.
class OpenCell : public InertCell
{
public:
    explicit OpenCell(Boundary *strategy = nullptr);
    ~OpenCell() override;
    OpenCell(const OpenCell &) = delete;
    OpenCell &operator=(const OpenCell &) = delete;

    // The outlet of the geometry files: the flow leaves by extrapolation.
    static OpenCell *extrapolation();

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void postUpdate() override;
    void reset(double p0, double p1) override;
    void setNextF(int i, double value, int component) override;
    void passivate(QXmlStreamWriter &writer) override;
    // Reads the strategy from the "boundary" child, leaving the reader on
    // that child. An unknown strategy type leaves the outlet without a
    // strategy and logs "outlet error".
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    int getKind() override { return 2; }
    // A new outlet with a copy of the strategy.
    BaseCell *clone(const SimulationParameters &parameters) override;

    Boundary *strategy() const { return currentStrategy; }
    // Takes ownership of the new strategy and deletes the previous one.
    void setStrategy(Boundary *strategy);

    // Replaces the strategy by kind: 1 equilibrium and 3 Zou and He, both at
    // the density "minP0", 2 extrapolation. Returns false, leaving the outlet
    // unchanged, for any other kind.
    bool replaceStrategy(int kind, const SimulationParameters &parameters);

protected:
    Boundary *currentStrategy = nullptr;
};
