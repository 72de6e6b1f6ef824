#pragma once

#include "basecell.h"
#include "lattice.h"

// The ordinary fluid node: BGK relaxation towards a local equilibrium whose
// velocity is shifted by the body forces, optional Smagorinsky and entropic
// corrections of the relaxation, and push streaming into the neighbours.
class SCCell : public BaseCell
{
public:
    explicit SCCell(double p0 = 1.0);
    ~SCCell() override;
    SCCell(const SCCell &) = delete;
    SCCell &operator=(const SCCell &) = delete;

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double[], BaseCell *[], Grid *, Vector3i) override {}
    void postUpdate() override;
    void finishUpdate(Grid *, int, int, int) override {}
    void reset(double p0, double p1) override;
    double getF(int i, int) override { return f[i]; }
    void setNextF(int i, double value, int component) override
    {
        if (component != 1)
            fNext[i] = value;
    }
    void setComponents(int) override {}
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    double getP(int) override { return rho; }
    Vector3d getVelocity(int) override { return u; }
    double computeDeltaP() override;
    double getDeltaP() override { return lastDeltaP; }
    double getNextF(int i, int) override { return fNext[i]; }
    Vector3d getForce(int) override { return shift; }
    bool isFluid() override { return true; }
    int getKind() override { return 0; }
    void setF(double values[]) override;
    BaseCell *clone() override;

    void setFixedDensity(double density) { fixedDensity = density; }
    double getFixedDensity() const { return fixedDensity; }
    double getP0() const { return p0; }
    int getQ() const { return q; }
    // f := equilibrium at (velocity, density); u is recomputed, rho kept.
    void setEquilibrium(const Vector3d &velocity, double density);
    // The cell's own equilibrium for direction i, honouring "velocityOrder".
    double equilibrium(int i, double tau, BaseCell *neighbours[], Grid *grid);
    // Replaces the force shift until the next preUpdate starts it afresh.
    void setShift(const Vector3d &s) { shift = s; }

    // Relaxes the distributions and writes the post-collision value of every
    // direction to out[] (forces, Smagorinsky and entropic options included).
    // preUpdate streams these values; the grid's fast path uses the same
    // routine so both give bitwise the same result.
    void collide(double params[], BaseCell *neighbours[], Grid *grid, const Vector3i &position, double *out);
    // Storage access for the grid's devirtualised stepping of plain fluid.
    double *nextArray() { return fNext; }
    double *currentArray() { return f; }

    // The equilibrium of one direction for velocity U (uu = U.U) and density rho.
    static inline double equilibriumOf(const Vector3d &U, double uu, double density, int q, int i, int order)
    {
        const double w = Lattice::tables.w[q][i];
        if (w <= Lattice::ActiveWeight)
            return 0.0;
        const double s = Lattice::dot(q, i, U);
        double e = 1.0;
        if (order > 0)
            e = 3.0 * s + 1.0;
        if (order > 1)
            e = 4.5 * s * s - 1.5 * uu + e;
        return density * w * e;
    }

protected:
    void recomputeMoments() { Lattice::moments(f, q, rho, u); }

    double *f = nullptr;
    double *fNext = nullptr;
    Vector3d u;
    Vector3d shift;
    double rho = 0.0;
    double p0 = 1.0;
    double lastDeltaP = 0.0;
    double fixedDensity = 0.0;
    int q = 9;

private:
    double entropicAlpha(const double *feq) const;
};
