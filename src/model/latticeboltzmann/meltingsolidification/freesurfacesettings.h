#pragma once

#include "model/latticeboltzmann/documentsection.h"

#include <atomic>
#include <vector>

class Grid;
class MeltingSolidificationCell;

// The per-grid settings of the free-surface and melting model and its
// per-iteration work, which the grid runs between phases 0 and 1: the moving
// beam that heats the cells (while the parameters' melting flag is set) and
// the state changes of the cells. The state changes run here, on one thread,
// because a cell that changes state also changes its neighbours. Stored in
// the state document as its own element ("freeSurface").
class FreeSurfaceSettings : public DocumentSection
{
public:
    explicit FreeSurfaceSettings(Grid *grid);
    ~FreeSurfaceSettings() override;
    FreeSurfaceSettings(const FreeSurfaceSettings &) = delete;
    FreeSurfaceSettings &operator=(const FreeSurfaceSettings &) = delete;

    // The settings of cells that belong to no grid.
    static const FreeSurfaceSettings &defaults();

    virtual void step();
    // True when step has nothing to do: the grid holds no melting cells.
    virtual bool isIdle() const;

    // Also puts the beam back to its start column.
    void setBeam(double power, double stdDev, int startX, double velocity, int timesteps, double absorption);
    void setEnergies(double solidEnergy, double meltingEnergy);

    double getPower() const { return power; }
    double getStdDev() const { return stdDev; }
    double getVelocity() const { return velocity; }
    int getStartX() const { return startX; }
    int getTimesteps() const { return timesteps; }
    double getBeamX() const { return beamX; }
    double getAbsorption() const { return absorption; }
    double getTauSolid() const { return tauSolid; }
    double getTauLiquid() const { return tauLiquid; }
    double getTauGas() const { return tauGas; }
    double getSolidEnergy() const { return solidEnergy; }
    double getMeltingEnergy() const { return meltingEnergy; }

    // The beam intensity of column x for the beam at beamX: the sampled
    // Gaussian, scaled so the columns of an unbounded row sum to the power.
    double beamAt(int x) const;

    // Says once per run that a mass population met a pair of states the
    // streaming has no rule for (the population is left unchanged).
    void reportUnsupportedPair(char from, char to);

    void write(QXmlStreamWriter &writer) const override;
    bool read(QXmlStreamReader &reader, QString *error) override;

private:
    struct Site
    {
        MeltingSolidificationCell *cell;
        int x, y, z;
    };
    // Finds the grid's melting cells again when they may have changed.
    void refreshSites() const;
    void clearBeam();
    void runBeam();
    void changeStates();

    Grid *grid;
    double power = 0.5;
    double stdDev = 0.1;
    double velocity = 0.01;
    int startX = 0;
    int timesteps = 10000;
    double beamX = 0.0;
    double absorption = 0.5;
    double tauSolid = 0.65;
    double tauLiquid = 0.7;
    double tauGas = 1.0;
    double solidEnergy = 1.5;
    double meltingEnergy = 2.0;

    // A cache of the grid's cells: the melting cells, y outermost, then x,
    // then z; the z = 0 cells by column, each column from the top down; the
    // generation they were found at.
    mutable std::vector<Site> sites;
    mutable std::vector<int> columnOrder;
    mutable unsigned foundAt = 0;
    mutable bool found = false;
    mutable bool beamClear = true;
    mutable std::atomic<bool> warned{false};
};
