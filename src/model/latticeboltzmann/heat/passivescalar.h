#pragma once

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/lattice.h"

// A fluid that carries a scalar (typically temperature) in a second set of
// populations. The scalar is advected by the fluid, diffuses with its own
// relaxation time and lifts the fluid by buoyancy (Boussinesq): with
// "passiveScalarGravity" g > 0 gravity points along -y, so a positive scalar
// rises with the acceleration g beta theta / r.
class PassiveScalar : public BaseCell
{
public:
    // A heat cell for the model of the parameters, which it keeps for the
    // buoyancy of the velocity it reports.
    explicit PassiveScalar(const SimulationParameters &parameters);
    // Fluid at the equilibrium of (rho, u) carrying the scalar theta at rest.
    PassiveScalar(const SimulationParameters &parameters, double rho, const Vector3d &u, double theta);

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double[], BaseCell *[], Grid *, Vector3i) override {}
    void postUpdate() override;
    void finishUpdate(Grid *, int, int, int) override {}
    void reset(double density, double scalar) override;
    double getF(int i, int component) override;
    void setNextF(int i, double value, int component) override;
    void setComponents(int) override {}
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    double getP(int component) override;
    // u + F / (2 rho) with the buoyancy F of the present scalar.
    Vector3d getVelocity(int) override;
    Vector3d getLatticeVelocity(int) override { return u; }
    // Mean over the directions of the change of both population sets.
    double computeDeltaP() override;
    double getDeltaP() override { return lastDeltaP; }
    double getNextF(int i, int component) override;
    Vector3d getForce(int) override { return Vector3d(); }
    bool isFluid() override { return true; }
    int getKind() override { return 0; }
    void setF(double values[]) override;
    BaseCell *clone(const SimulationParameters &parameters) override;
    int modelQ() override { return q; }

private:
    const SimulationParameters *settings;
    void recompute();

    int q;
    double f[Lattice::MaxQ], fNext[Lattice::MaxQ];
    double g[Lattice::MaxQ], gNext[Lattice::MaxQ];
    double rho = 0.0, theta = 0.0;
    double p00 = 1.0, p01 = 0.0;
    Vector3d u;
    double lastDeltaP = 0.0;
};
