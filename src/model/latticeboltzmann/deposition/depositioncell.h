#pragma once

#include "model/latticeboltzmann/basecell.h"

// A diffusing concentration (no flow) that settles: its deposited fraction d
// grows where the concentration touches deposited neighbours or deposition
// walls, and the deposit reflects the concentration back in proportion to d.
// Defined on D2Q9; on a 3D model the cell stays still. The reflection reads
// the neighbours' populations as they were committed, so its result does not
// depend on the order of rows; against walls it does nothing (walls already
// return what reaches them), so no concentration is lost there.
class DepositionCell : public BaseCell
{
public:
    // A deposition cell for model q (it moves on D2Q9 only).
    explicit DepositionCell(int q);

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double[], BaseCell *[], Grid *, Vector3i) override {}
    void postUpdate() override;
    void finishUpdate(Grid *grid, int x, int y, int z) override;
    void reset(double p0, double p1) override;
    double getF(int i, int component) override { return component == 1 && i >= 0 && i < 9 ? g[i] : 0.0; }
    void setNextF(int i, double value, int component) override
    {
        if (component == 1 && i >= 0 && i < 9)
            gNext[i] = value;
    }
    void setComponents(int) override {}
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    double getP(int component) override { return component == 0 ? deposited : component == 1 ? theta : 0.0; }
    Vector3d getVelocity(int) override { return Vector3d(); }
    double computeDeltaP() override;
    double getDeltaP() override { return lastDeltaP; }
    double getNextF(int i, int component) override { return component == 1 && i >= 0 && i < 9 ? gNext[i] : 0.0; }
    Vector3d getForce(int) override { return Vector3d(); }
    bool isFluid() override { return true; }
    int getKind() override { return -1; }

    double getDeposited() const { return deposited; }

private:
    double g[9], gNext[9];
    // The populations as committed in phase 2, read by the neighbours'
    // reflection in phase 3.
    double committed[9];
    double deposited = 0.0;
    double depositedNext = 0.0;
    double theta = 0.0;
    double theta0 = 0.0;
    double lastDeltaP = 0.0;
    bool planar;
};
