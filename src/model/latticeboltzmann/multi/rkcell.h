#pragma once

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/lattice.h"

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

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double[], BaseCell *[], Grid *, Vector3i) override {}
    void postUpdate() override;
    void finishUpdate(Grid *, int, int, int) override {}
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

private:
    void recompute();

    int q;
    double r[Lattice::MaxQ], rNext[Lattice::MaxQ];
    double b[Lattice::MaxQ], bNext[Lattice::MaxQ];
    double rhoR = 0.0, rhoB = 0.0;
    double p0 = 1.0, p1 = 1.0;
    Vector3d u;
    double lastDeltaP = 0.0;
};
