#pragma once

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/populations.h"

#include <cstdint>

// A fluid that carries a scalar (typically temperature) in a second set of
// populations. The scalar is advected by the fluid, diffuses with its own
// relaxation time and lifts the fluid by buoyancy (Boussinesq): with
// "passiveScalarGravity" g > 0 gravity points along -y, so a positive scalar
// rises with the acceleration g beta theta / r.
//
// The grid keeps both sets in its own arrays (see attach): the fluid beside
// the plain fluid's populations, the scalar in a second array set; a line
// kernel steps the cells whose neighbours it can push to, and the cell then
// answers from the grid's arrays. A cell on its own keeps its four arrays in
// one pooled block.
class PassiveScalar : public BaseCell
{
public:
    // A heat cell for the model of the parameters, which it keeps for the
    // buoyancy of the velocity it reports.
    explicit PassiveScalar(const SimulationParameters &parameters);
    // Fluid at the equilibrium of (rho, u) carrying the scalar theta at rest.
    PassiveScalar(const SimulationParameters &parameters, double rho, const Vector3d &u, double theta);
    ~PassiveScalar() override;
    PassiveScalar(const PassiveScalar &) = delete;
    PassiveScalar &operator=(const PassiveScalar &) = delete;

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double[], BaseCell *[], Grid *, Vector3i) override {}
    void postUpdate() override;
    void finishUpdate(Grid *, int, int, int) override {}
    void reset(double density, double scalar) override;
    double getF(int i, int component) override;
    void setNextF(int i, double value, int component) override
    {
        if (i < 0 || i >= q || (component != 0 && component != 1))
            return;
        if (f)
            (component == 0 ? fNext : gNext())[i] = value;
        else
            (component == 0 ? store : scalars)->next[std::size_t(i) * store->stride + site] = value;
    }
    void setComponents(int) override {}
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    double getP(int component) override;
    // u + F / (2 rho) with the buoyancy F of the present scalar.
    Vector3d getVelocity(int) override;
    Vector3d getLatticeVelocity(int) override;
    // Mean over the directions of the change of both population sets.
    double computeDeltaP() override;
    double getDeltaP() override;
    double getNextF(int i, int component) override;
    Vector3d getForce(int) override { return Vector3d(); }
    bool isFluid() override { return true; }
    int getKind() override { return 0; }
    // The fluid's q values, then the scalar's; the next values are set too,
    // so that a direction nothing streams into keeps the value set here.
    void setF(double values[]) override;
    BaseCell *clone(const SimulationParameters &parameters) override;
    int modelQ() override { return q; }

    // Density, scalar and velocity of q fluid and scalar populations.
    static void moments(const double *f, const double *g, int q, double &rho, double &theta, Vector3d &u);

    // Attachment to the grid's arrays: the fluid values at `site` of
    // fluid, the scalar values at the same site of scalar; the cell's block
    // is freed. Detaching moves them back. Only the grid calls these.
    void attach(Populations *fluid, Populations *scalar, int siteIndex);
    void detach();
    bool isAttached() const { return f == nullptr; }
    bool isAttachedTo(const Populations *fluid, int siteIndex) const
    {
        return !f && store == fluid && site == siteIndex;
    }
    int getQ() const { return q; }
    // The change (sum over the directions of both sets' |next - current|,
    // over q) and the total density plus scalar of the next values, as
    // computeDeltaP and getP(-1) after the commit give them.
    void nextStatistics(double &delta, double &total) const;

private:
    // A detached cell's pooled block, starting at f: f, fNext, g, gNext
    // (a commit copies the next values), then rho, theta and u.
    std::size_t blockBytes() const { return (4 * std::size_t(q) + 5) * sizeof(double); }
    double *gCur() const { return f + 2 * q; }
    double *gNext() const { return f + 3 * q; }
    double *cached() const { return f + 4 * q; }
    double value(int i, int component) const
    {
        if (f)
            return (component == 0 ? f : gCur())[i];
        return (component == 0 ? store : scalars)->cur[std::size_t(i) * store->stride + site];
    }
    double nextValue(int i, int component) const
    {
        if (f)
            return (component == 0 ? fNext : gNext())[i];
        return (component == 0 ? store : scalars)->next[std::size_t(i) * store->stride + site];
    }
    void currentMoments(double &rho, double &theta, Vector3d &u) const;
    void recompute();
    void freezeDeltaP();
    void allocateBlock();

    const SimulationParameters *settings;
    // While attached f is null and the values live in the grid (store and
    // scalars at site); deltaGeneration is the flip count of store at which
    // lastDeltaP was taken.
    double *f = nullptr;
    union {
        double *fNext = nullptr;
        Populations *store;
    };
    Populations *scalars = nullptr;
    std::uint64_t deltaGeneration = 0;
    double p00 = 1.0, p01 = 0.0;
    double lastDeltaP = 0.0;
    int q;
    int site = -1;
};
