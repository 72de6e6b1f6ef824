#pragma once

#include "model/latticeboltzmann/basecell.h"

#include <QString>

class FreeSurfaceSettings;

// A site of the free-surface and melting model (D2Q9 on the plane z = 0):
// solid 'S', liquid 'L', gas 'G', interface 'I' or wall 'W'. It carries mass
// populations f and energy populations g, both pulled from the upstream
// neighbours in phase 0, so nothing may push into it. Interface cells keep
// their own mass m and exchange it with liquid and interface neighbours. The
// state changes and the heat of the moving beam are run by the grid's
// FreeSurfaceSettings between phases 0 and 1, on one thread, because a state
// change also changes neighbours.
class MeltingSolidificationCell final : public BaseCell
{
public:
    static constexpr int Q = 9;

    explicit MeltingSolidificationCell(FreeSurfaceSettings *settings = nullptr);
    ~MeltingSolidificationCell() override;

    // The cell of a free-surface code ("korner_solid", "korner_liquid",
    // "korner_gas", "korner_interface", "korner_wall") at rest with density
    // and energy 1, bound to the grid's settings; null for any other code.
    static MeltingSolidificationCell *forCode(const QString &code, Grid &grid);
    // Changes whenever a cell of this kind is created or destroyed, so the
    // settings know when to look for the cells again.
    static unsigned generation();

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    // The state changes touch neighbours; the settings run them serially.
    void update(double[], BaseCell *[], Grid *, Vector3i) override {}
    void postUpdate() override;
    void finishUpdate(Grid *, int, int, int) override {}
    // f_i := w_i a and g_i := w_i b; a negative value stands for 1.
    void reset(double a, double b) override;
    double getF(int i, int component) override;
    void setNextF(int, double, int) override {}
    void setComponents(int) override {}
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    // Component 1: the energy; otherwise the density of 'S', 'L', 'G', the
    // mass of 'I' and 0 for 'W'.
    double getP(int component) override;
    Vector3d getVelocity(int) override { return u; }
    double computeDeltaP() override;
    double getDeltaP() override { return lastDeltaP; }
    double getNextF(int i, int component) override;
    Vector3d getForce(int) override { return Vector3d(); }
    bool isFluid() override { return true; }
    int getKind() override { return -1; }
    // Nine mass populations, then nine energy populations.
    void setF(double values[]) override;
    BaseCell *clone(const SimulationParameters &parameters) override;
    int modelQ() override { return Q; }

    char getState() const { return state; }
    // m := 0.5 for 'I', 0 otherwise; the new mass is left as it is.
    void setState(char s);
    double getMass() const { return m; }
    double getNewMass() const { return mNew; }
    void setNewMass(double value) { mNew = value; }
    double getDensity() const { return rho; }
    double getEnergy() const { return energy; }
    double populationSum() const;
    double energySum() const;
    double getBeam() const { return beam; }
    void setBeam(double value) { beam = value; }
    double getHeat() const { return heat; }
    void setHeat(double value) { heat = value; }
    FreeSurfaceSettings *getSettings() const { return settings; }
    void setSettings(FreeSurfaceSettings *s) { settings = s; }

private:
    void recompute();
    void exchangeMass(BaseCell *neighbours[]);
    void streamMass(BaseCell *neighbours[], double tau0, double gravity);
    void streamEnergy(BaseCell *neighbours[]);
    double energyTau() const;

    double f[Q], fNext[Q];
    double g[Q], gNext[Q];
    double m = 0.0, mNew = 0.0;
    double rho = 0.0, energy = 0.0;
    Vector3d u;
    double beam = 0.0, heat = 0.0;
    double lastDeltaP = 0.0;
    char state = 'L';
    FreeSurfaceSettings *settings;
};
