#pragma once

#include "model/latticeboltzmann/basecell.h"

// Two-dimensional shallow water on D2Q9: the "density" is the water depth h,
// the equilibrium carries the hydrostatic pressure g h^2 / 2 ("shallowG"), and
// a Manning-type bed friction F = -g kappa^2 h^(-1/3) |u| u ("shallowNB")
// slows the flow. On a 3D model the cell cannot stream (its directions are
// those of D2Q9) and stays still.
class ShallowCell : public BaseCell
{
public:
    // A shallow-water cell; it keeps the parameters for the gravity of its
    // resting state.
    explicit ShallowCell(const SimulationParameters &parameters);

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double[], BaseCell *[], Grid *, Vector3i) override {}
    void postUpdate() override;
    void finishUpdate(Grid *, int, int, int) override {}
    void reset(double p0, double p1) override;
    double getF(int i, int) override { return i >= 0 && i < 9 ? f[i] : 0.0; }
    // Only the fluid's own component: colours pushed by a neighbouring
    // wrapper must not overwrite it.
    void setNextF(int i, double value, int component) override
    {
        if (i >= 0 && i < 9 && (component == 0 || component == -1))
            fNext[i] = value;
    }
    void setComponents(int) override {}
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    double getP(int) override { return h; }
    Vector3d getVelocity(int) override { return u; }
    double computeDeltaP() override;
    double getDeltaP() override { return lastDeltaP; }
    double getNextF(int i, int) override { return i >= 0 && i < 9 ? fNext[i] : 0.0; }
    Vector3d getForce(int) override { return Vector3d(); }
    bool isFluid() override { return true; }
    int getKind() override { return -1; }
    void setF(double values[]) override;

    // The D2Q9 shallow-water equilibrium of depth h and velocity u under gravity g.
    static void equilibrium(double h, const Vector3d &u, double g, double out[9]);

private:
    const SimulationParameters *settings;
    void recompute();

    double f[9];
    double fNext[9];
    double h = 0.0;
    Vector3d u;
    double p0 = 1.0;
    double lastDeltaP = 0.0;
    bool planar;
};
