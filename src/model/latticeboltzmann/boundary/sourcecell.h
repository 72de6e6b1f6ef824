#pragma once

#include "boundary.h"

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

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void postUpdate() override;
    void reset(double p0, double p1) override;
    void setNextF(int i, double value, int component) override;
    int getKind() override { return inletIndex == 0 ? 3 : 8; }

    Boundary *strategy() const { return currentStrategy; }
    // Takes ownership of the new strategy and deletes the previous one.
    void setStrategy(Boundary *strategy);
    int index() const { return inletIndex; }
    virtual void setIndex(int index) { inletIndex = index; }

protected:
    Boundary *currentStrategy = nullptr;
    int inletIndex = 0;
};
