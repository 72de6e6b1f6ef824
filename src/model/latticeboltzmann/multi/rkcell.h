#pragma once

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/lattice.h"

#include <cstddef>

class MixtureLayout;

// Two immiscible fluids of the colour-gradient kind: a red and a blue
// population set collide together as one fluid; a perturbation along the
// local colour gradient makes surface tension and a recolouring step sorts
// the colours along it again. Both steps move neither mass nor colour: the
// perturbation of direction i is A |G| w_i ((e_i.G)^2/|G|^2 - |e_i|^2/D),
// which sums to zero over the directions, and the recolouring adds and takes
// the same amount in opposite directions.
class RKCell : public BaseCell
{
public:
    // A colour-gradient cell for the model of the parameters, its two
    // densities drawn from their initial range.
    explicit RKCell(const SimulationParameters &parameters);
    ~RKCell() override;
    RKCell(const RKCell &) = delete;
    RKCell &operator=(const RKCell &) = delete;

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double[], BaseCell *[], Grid *, Vector3i) override {}
    void postUpdate() override;
    // An attached cell takes its densities and velocity from the committed
    // values, which the grid's flip made current after the commit.
    void finishUpdate(Grid *, int, int, int) override;
    // Zero-velocity equilibria of density red and blue; a negative density
    // keeps that colour's last one.
    void reset(double red, double blue) override;
    double getF(int i, int component) override;
    void setNextF(int i, double value, int component) override;
    void setComponents(int) override {}
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    double getP(int component) override;
    Vector3d getVelocity(int) override { return u; }
    double computeDeltaP() override;
    double getDeltaP() override { return lastDeltaP; }
    double getNextF(int i, int component) override;
    Vector3d getForce(int) override { return Vector3d(); }
    bool isFluid() override { return true; }
    int getKind() override { return 0; }
    void setF(double values[]) override;
    int modelQ() override { return q; }
    // A fresh cell of the current model at the same colour densities, at rest.
    BaseCell *clone(const SimulationParameters &parameters) override;

    // The model's constants of a collision.
    struct Collision
    {
        double tau, amplitude, beta;
        int order;
    };
    // At most this many sites collide in one call of collideSites.
    static constexpr int TileSites = 32;
    // The collision of n sites of model q at once: from the current red
    // and blue values of direction i of site k at red[i * stride + k] and
    // blue[i * stride + k] and its colour gradient (gx[k], gy[k], gz[k]),
    // the red and blue values site k streams in direction i, into
    // outRed[i * TileSites + k] and outBlue[i * TileSites + k]. The colour
    // densities and the velocity are formed from the values as a cell forms
    // its own. Direction by direction over the sites, so the compiler
    // vectorises it; each site's arithmetic is that of one site alone.
    // preUpdate collides its site through it, the grid's line kernels
    // (built for each instruction set from the same source,
    // LineKernels::collideColourTile) whole tiles of attached cells, so both
    // give bitwise the same.
    static void collideSites(int q, int n, std::size_t stride, const double *red, const double *blue,
                             const double *gx, const double *gy, const double *gz, double *outRed, double *outBlue,
                             const Collision &c);
    // The difference of the colour densities that the neighbours' colour
    // gradient reads.
    double phase() const { return rhoR - rhoB; }
    // The density after the commit, from the next values.
    double nextDensity() const;
    // What the commit of an attached cell leaves in it, formed by the grid
    // from its stores as the cell forms it itself: the change, and the
    // colour densities and momentum (summed over the active directions in
    // order) of the committed values.
    void keepDeltaP(double delta) { lastDeltaP = delta; }
    void keepMoments(double red, double blue, const Vector3d &momentum);

    // Attachment of the red and blue values to the stores of the grid's
    // mixture layout (red in store 0, blue in store 1, at site): only the
    // layout calls these. While attached the grid commits by flipping the
    // stores, and the cell writes its phase into the layout's phase field.
    void attach(MixtureLayout *stores, int siteIndex);
    void detach();
    bool isAttached() const { return values == nullptr; }
    bool isAttachedTo(const MixtureLayout *stores, int siteIndex) const
    {
        return !values && layout == stores && site == siteIndex;
    }

private:
    void recompute();
    // Sets the current values (q each) and the moments.
    void setCurrent(const double *red, const double *blue);
    double current(int i, int colour) const;
    double next(int i, int colour) const;
    double &nextEntry(int i, int colour);

    int q;
    // Red, next red, blue, next blue (q entries each) in one pooled block;
    // null while attached.
    double *values = nullptr;
    MixtureLayout *layout = nullptr;
    int site = -1;
    double rhoR = 0.0, rhoB = 0.0;
    double p0 = 1.0, p1 = 1.0;
    Vector3d u;
    double lastDeltaP = 0.0;
};
