#pragma once

#include "basecell.h"
#include "lattice.h"

#include <cmath>
#include <cstdint>
#include <cstring>

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
    int modelQ() override { return q; }

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

    // Plain BGK for a fixed Q: no forces, no Smagorinsky or entropic option,
    // second-order equilibrium. Same arithmetic as collide with the table
    // constants folded, so the results are bitwise the same.
    // The post-collision values go to out[0..Q-1].
    template <int Q> void collidePlain(double keep, double omega, double *out)
    {
        if (!isPositiveZero(shift.x) || !isPositiveZero(shift.y) || !isPositiveZero(shift.z))
            shift = Vector3d();
        const Vector3d U = u + shift;
        const double uu = U.dot(U);
        const double density = rho;
        const double *current = f;
        // Written out per direction with the expression of equilibriumOf, so
        // the compiler can vectorise it without changing a single rounding.
        for (int i = 0; i < Q; ++i) {
            const double s = Lattice::directionComponents<Q>.x[i] * U.x + Lattice::directionComponents<Q>.y[i] * U.y +
                             Lattice::directionComponents<Q>.z[i] * U.z;
            const double e = 4.5 * s * s - 1.5 * uu + (3.0 * s + 1.0);
            out[i] = current[i] * keep + omega * (density * Lattice::tables.w[Q][i] * e);
        }
    }
    // computeDeltaP followed by postUpdate for a free (not pinned) cell with
    // a fixed Q; returns the deltaP.
    template <int Q> double commitPlain()
    {
        const double *current = f, *next = fNext;
        double change[Q];
        for (int i = 0; i < Q; ++i)
            change[i] = std::abs(next[i] - current[i]);
        double sum = 0.0;
#pragma GCC unroll 32
        for (int i = 0; i < Q; ++i)
            sum += change[i];
        lastDeltaP = sum / Q;
        f = fNext;
        fNext = const_cast<double *>(current);
        // Terms with a zero direction component add a zero, which never
        // changes these sums, so they are left out.
        double r = 0.0, mx = 0.0, my = 0.0, mz = 0.0;
#pragma GCC unroll 32
        for (int i = 0; i < Q; ++i) {
            const double v = next[i];
            r += v;
            if (Lattice::tables.e[Q][i][0] != 0)
                mx += v * Lattice::tables.e[Q][i][0];
            if (Lattice::tables.e[Q][i][1] != 0)
                my += v * Lattice::tables.e[Q][i][1];
            if (Lattice::tables.e[Q][i][2] != 0)
                mz += v * Lattice::tables.e[Q][i][2];
        }
        rho = r;
        if (r > Lattice::ActiveWeight) {
            const double inv = 1.0 / r;
            u = Vector3d(mx * inv, my * inv, mz * inv);
        } else {
            u = Vector3d();
        }
        return lastDeltaP;
    }

protected:
    void recomputeMoments()
    {
        Lattice::moments(f, q, rho, u);
    }
    static bool isPositiveZero(double v)
    {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return bits == 0;
    }

    // The fields read by every collision come first, within one cache line.
    double *f = nullptr;
    double *fNext = nullptr;
    Vector3d u;
    double rho = 0.0;
    Vector3d shift;
    double p0 = 1.0;
    double lastDeltaP = 0.0;
    double fixedDensity = 0.0;
    int q = 9;

private:
    double entropicAlpha(const double *feq, const double *current) const;
};
