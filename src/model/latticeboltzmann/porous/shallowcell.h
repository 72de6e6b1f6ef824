#pragma once

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/populations.h"

#include <cstdint>

// Two-dimensional shallow water on D2Q9: the "density" is the water depth h,
// the equilibrium carries the hydrostatic pressure g h^2 / 2 ("shallowG"), and
// a Manning-type bed friction F = -g kappa^2 h^(-1/3) |u| u ("shallowNB")
// slows the flow. On a 3D model the cell cannot stream (its directions are
// those of D2Q9) and stays still.
//
// On a 2D grid the grid keeps the cell's populations in its own arrays (see
// attach), beside those of the plain fluid, and steps the cells whose
// neighbours it can push to with a line kernel; the cell then answers from
// the grid's arrays. A cell on its own keeps both arrays in one pooled block.
class ShallowCell : public BaseCell
{
public:
    // A shallow-water cell; it keeps the parameters for the gravity of its
    // resting state.
    explicit ShallowCell(const SimulationParameters &parameters);
    ~ShallowCell() override;
    ShallowCell(const ShallowCell &) = delete;
    ShallowCell &operator=(const ShallowCell &) = delete;

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double[], BaseCell *[], Grid *, Vector3i) override {}
    void postUpdate() override;
    void finishUpdate(Grid *, int, int, int) override {}
    void reset(double p0, double p1) override;
    double getF(int i, int) override { return i >= 0 && i < 9 ? current(i) : 0.0; }
    // Only the fluid's own component: colours pushed by a neighbouring
    // wrapper must not overwrite it.
    void setNextF(int i, double value, int component) override
    {
        if (i < 0 || i >= 9 || (component != 0 && component != -1))
            return;
        if (f)
            fNext[i] = value;
        else
            store->next[std::size_t(i) * store->stride + site] = value;
    }
    void setComponents(int) override {}
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    double getP(int) override;
    Vector3d getVelocity(int) override;
    double computeDeltaP() override;
    double getDeltaP() override;
    double getNextF(int i, int) override
    {
        if (i < 0 || i >= 9)
            return 0.0;
        return f ? fNext[i] : store->next[std::size_t(i) * store->stride + site];
    }
    Vector3d getForce(int) override { return Vector3d(); }
    bool isFluid() override { return true; }
    int getKind() override { return -1; }
    // Sets the current populations; the next ones too, so that a direction
    // nothing streams into (the edge of a closed box, a null neighbour)
    // keeps the value set here.
    void setF(double values[]) override;

    // The D2Q9 shallow-water equilibrium of depth h and velocity u under gravity g.
    static void equilibrium(double h, const Vector3d &u, double g, double out[9]);
    // Depth and velocity of nine populations (no velocity when dry).
    static void moments(const double f[9], double &h, Vector3d &u);
    // The post-collision values of populations f with moments (h, u): BGK
    // towards the equilibrium with relaxation time tau, plus the bed
    // friction of coefficient kappa. The grid's line kernel repeats these
    // operations in the same order.
    static void collide(const double f[9], double h, const Vector3d &u, double g, double kappa, double tau,
                        double out[9]);

    // Attachment to the grid's populations (2D grids only): the values move
    // into the grid's arrays at `site` and the cell's block is freed;
    // detaching moves them back. Only the grid calls these.
    void attach(Populations *populations, int siteIndex);
    void detach();
    bool isAttached() const { return f == nullptr; }
    bool isAttachedTo(const Populations *populations, int siteIndex) const
    {
        return !f && store == populations && site == siteIndex;
    }
    // The depth of the next populations, as it will be after the commit.
    double nextDepth() const;

private:
    // A detached cell's pooled block, starting at f: both arrays (a commit
    // copies the next values into f), then h, u.x and u.y.
    static constexpr std::size_t BlockBytes = (2 * 9 + 3) * sizeof(double);
    double current(int i) const { return f ? f[i] : store->cur[std::size_t(i) * store->stride + site]; }
    void currentMoments(double &h, Vector3d &u) const;
    void recompute();
    void freezeDeltaP();

    const SimulationParameters *settings;
    // While attached f is null and the populations live in the grid (store,
    // site); deltaGeneration is the flip count at which lastDeltaP was taken.
    double *f = nullptr;
    union {
        double *fNext = nullptr;
        Populations *store;
    };
    std::uint64_t deltaGeneration = 0;
    double p0 = 1.0;
    double lastDeltaP = 0.0;
    int site = -1;
    bool planar;
};
