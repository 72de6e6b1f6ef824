#pragma once

#include "wallcell.h"

// A solid point that imposes a prescribed density on all its neighbours: every
// step it sends them the populations of fluid at rest at that density,
// optionally oscillating, and absorbs whatever they send.
class InterpolationCell : public WallCell
{
public:
    explicit InterpolationCell(double density = 0.0, double variation = 0.0, int period = 0);

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void setNextF(int, double, int) override {}
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    int getKind() override { return -1; }
    BaseCell *clone(const SimulationParameters &) override { return new InterpolationCell(density, variation, period); }

    double getDensity() const { return density; }
    double getVariation() const { return variation; }
    int getPeriod() const { return period; }
    // The imposed density after the given number of iterations.
    double densityAt(int iteration) const;

private:
    double density = 0.0;
    double variation = 0.0;
    int period = 0;
};
