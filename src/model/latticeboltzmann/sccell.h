#pragma once

#include "basecell.h"
#include "lattice.h"
#include "populations.h"

#include <cmath>
#include <cstdint>
#include <cstring>

// The ordinary fluid node: BGK relaxation towards a local equilibrium whose
// velocity is shifted by the body forces, optional Smagorinsky and entropic
// corrections of the relaxation, and push streaming into the neighbours.
class SCCell : public BaseCell
{
public:
    // A free cell for model q at rest at density p0.
    SCCell(double p0, int q);
    // A cell attached from the start to site `site` of the grid's
    // populations, at rest at density p0 (the grid builds its fluid so).
    SCCell(double p0, Populations *store, int site);
    // A cell standing for site `site` of the store as it is, writing nothing:
    // initial density p0, and a last deltaP of its own taken at flip count
    // deltaAt (any other count than the store's: none). A plain site without
    // a cell object of its own answers through one (see PlainSite).
    struct View {
    };
    SCCell(View, Populations *store, int site, double p0, double lastDelta, std::uint64_t deltaAt);
    ~SCCell() override;
    SCCell(const SCCell &) = delete;
    SCCell &operator=(const SCCell &) = delete;

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double[], BaseCell *[], Grid *, Vector3i) override {}
    void postUpdate() override;
    void finishUpdate(Grid *, int, int, int) override {}
    void reset(double p0, double p1) override;
    double getF(int i, int) override { return f ? f[i] : store->curAt(i, std::size_t(site)); }
    void setNextF(int i, double value, int component) override
    {
        // Only the fluid's own populations: writes for a second component or
        // a colour (10 + k) from a neighbouring wrapper are not this cell's.
        if (component != 0 && component != -1)
            return;
        if (f)
            fNext[i] = value;
        else
            store->setNext(i, std::size_t(site), value);
    }
    void setComponents(int) override {}
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    double getP(int) override;
    // u + F / (2 rho) with the body force of the last collision.
    Vector3d getVelocity(int) override;
    Vector3d getLatticeVelocity(int) override;
    double computeDeltaP() override;
    double getDeltaP() override;
    double getNextF(int i, int) override { return f ? fNext[i] : store->nextAt(i, std::size_t(site)); }
    Vector3d getForce(int) override
    {
        double tau;
        return lastShift(tau);
    }
    bool isFluid() override { return true; }
    int getKind() override { return 0; }
    void setF(double values[]) override;
    BaseCell *clone(const SimulationParameters &parameters) override;
    int modelQ() override { return q; }

    void setFixedDensity(double density)
    {
        fixedDensity = density;
        // A pinned cell keeps its own arrays; the grid detaches it.
        if (!f && density != 0.0)
            store->layoutDirty = true;
    }
    double getFixedDensity() const { return fixedDensity; }
    double getP0() const { return p0; }
    // What a stored cell brings back: its initial density, its last density
    // change and its populations.
    void restore(double density, double delta, double values[]);
    // The force shift of the last collision and the relaxation time it was
    // formed with, which the reported velocity and force read; a copy of the
    // cell's whole state (another process's rows) carries them.
    Vector3d forceShift(double &tau) const { return lastShift(tau); }
    void restoreForceShift(const Vector3d &s, double tau)
    {
        shift = s;
        forceTau = tau;
        if (!f) {
            if (store->fieldShifts)
                writeFieldShift(store, site, s);
            if (s.x != 0.0 || s.y != 0.0 || s.z != 0.0)
                store->markShifts();
        }
    }
    int getQ() const { return q; }
    // f := equilibrium at (velocity, density); u is recomputed, rho kept
    // (while attached the density is always that of the populations).
    void setEquilibrium(const Vector3d &velocity, double density);
    // The cell's own equilibrium for direction i, honouring "velocityOrder".
    double equilibrium(int i, double tau, BaseCell *neighbours[], Grid *grid);
    // Replaces the force shift until the next preUpdate starts it afresh;
    // such a shift (the immersed bodies' force) is reported by getForce but
    // does not enter the reported velocity.
    void setShift(const Vector3d &s)
    {
        shift = s;
        forceTau = 0.0;
        if (!f)
            store->markShifts();
    }
    void clearShift()
    {
        shift = Vector3d();
        forceTau = 0.0;
        if (!f && store->fieldShifts)
            writeFieldShift(store, site, Vector3d());
    }

    // Relaxes the distributions and writes the post-collision value of every
    // direction to out[] (forces, Smagorinsky and entropic options included).
    // preUpdate streams these values; the grid's fast path uses the same
    // routine so both give bitwise the same result.
    void collide(double params[], BaseCell *neighbours[], Grid *grid, const Vector3i &position, double *out);

    // Attachment to the grid's populations: the values move into the grid's
    // arrays at `site` and the cell's own arrays are freed; detaching moves
    // them back. Only the grid calls these.
    void attach(Populations *populations, int siteIndex);
    void detach();
    bool isAttached() const { return f == nullptr; }
    // The store the cell is attached to, or null.
    Populations *attachedStore() const { return f ? nullptr : store; }
    // An attached cell whose store's arrays were handed to another store
    // follows them there.
    void rebind(Populations *populations)
    {
        if (!f) {
            store = populations;
            deltaGeneration = store->generation;
        }
    }
    bool isAttachedTo(const Populations *populations, int siteIndex) const
    {
        return !f && store == populations && site == siteIndex;
    }
    // The density of the next populations, as it will be after the commit.
    double nextDensity() const;

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
    // A site's shift in the grid's per-site fields (see Populations::fieldShifts).
    static Vector3d fieldShift(const Populations *p, int site)
    {
        if (p->fieldShiftsXZ)
            return Vector3d(p->shiftX[site], p->shiftY[site], p->shiftZ[site]);
        return Vector3d(0.0, p->shiftY[site], 0.0);
    }
    static void writeFieldShift(Populations *p, int site, const Vector3d &s)
    {
        p->shiftY[site] = s.y;
        if (p->fieldShiftsXZ) {
            p->shiftX[site] = s.x;
            p->shiftZ[site] = s.z;
        }
    }
    // A detached cell's one pooled block: the two arrays, then the density
    // and velocity of the current values (an attached cell, the grid's
    // plain fluid, keeps no moments and no block).
    static std::size_t blockBytes(int q) { return (2 * std::size_t(q) + 4) * sizeof(double); }
    double *block() const { return f < fNext ? f : fNext; }
    double *moments() const { return block() + 2 * q; }
    void recomputeMoments()
    {
        double density;
        Vector3d velocity;
        Lattice::moments(f, q, density, velocity);
        double *m = moments();
        m[0] = density;
        m[1] = velocity.x;
        m[2] = velocity.y;
        m[3] = velocity.z;
    }
    // The force shift of the last collision and the relaxation time it was
    // formed with (0: no body-force shift): the cell's own, or the grid's
    // per-site value while the grid keeps them (see Populations::fieldShifts).
    Vector3d lastShift(double &tau) const
    {
        if (!f && store->fieldShifts) {
            tau = store->shiftTau;
            return fieldShift(store, site);
        }
        tau = forceTau;
        return shift;
    }
    // The current populations, gathered from the grid while attached.
    const double *currentValues(double *buffer) const;
    // Density and velocity of the current populations.
    void currentMoments(double &density, Vector3d &velocity) const;
    // Keeps the present deltaP as the cell's own before its populations change.
    void freezeDeltaP();

    // The fields read by every collision come first. While attached, f is
    // null, the populations live in the grid (store, site), and the density
    // and velocity are computed from them; deltaGeneration is the flip count
    // at which lastDeltaP was taken.
    double *f = nullptr;
    union {
        double *fNext = nullptr;
        Populations *store;
    };
    std::uint64_t deltaGeneration = 0;
    Vector3d shift;
    double p0 = 1.0;
    double lastDeltaP = 0.0;
    double fixedDensity = 0.0;
    // The relaxation time with which the last collision formed shift from
    // the body forces (shift = tau F / rho), so that F / (2 rho) is
    // shift / (2 tau); 0 when shift holds no body-force shift.
    double forceTau = 0.0;
    int q = 9;
    int site = -1;

private:
    friend class PlainSite;
    double entropicAlpha(const double *feq, const double *current) const;
};
