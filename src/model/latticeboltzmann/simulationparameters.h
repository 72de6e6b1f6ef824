#pragma once

#include "model/latticeboltzmann/randomsource.h"
#include "model/latticeboltzmann/vector3d.h"
#include "model/latticeboltzmann/vector3i.h"

#include <QList>
#include <QString>
#include <QVector>

class Grid;
class Force;

// The one store of every physical and numerical setting of a simulation. The
// grid creates and owns it; cells, forces and dialogs reach it through the
// grid they work on (or a reference handed to them when they are built), so
// several simulations with their own settings can live in one process.
class SimulationParameters
{
public:
    explicit SimulationParameters(Grid *grid = nullptr);
    ~SimulationParameters();
    SimulationParameters(const SimulationParameters &) = delete;
    SimulationParameters &operator=(const SimulationParameters &) = delete;

    int getWidth() const { return width; }
    int getHeight() const { return height; }
    int getLength() const { return length; }
    void setSize(int nx, int ny, int nz);
    int getModel() const { return model; }
    // Changing the model requests a neighbour rebuild; storing the same one does not.
    void setModel(int q);

    // The block of consecutive doubles handed to the cells' update operations;
    // it starts with the relaxation times "epsilon0".."epsilon2".
    double *parameterBlock() { return epsilon; }
    const double *parameterBlock() const { return epsilon; }
    double getEpsilon(int index) const { return epsilon[index]; }
    void setEpsilon(int index, double value);

    double getMinP0() const { return minP0; }
    double getMaxP0() const { return maxP0; }
    void setMinP0Value(double v) { minP0 = v; }
    void setMaxP0Value(double v) { maxP0 = v; }
    // Store, then reset every cell of the grid to the equilibrium at its
    // stored density.
    void setMinP0(double v);
    void setMaxP0(double v);
    // minP0 + (r / 32767)(maxP0 - minP0) with r from this simulation's generator.
    double randomInitialDensity() const;
    // The simulation's own random numbers (initial densities, random walls,
    // porous fractions, Brownian motion).
    RandomSource &random() const { return randomSource; }

    // An index of 3 or more reads entry 0.
    double sourceVelocity(int index) const;
    void setSourceVelocityValue(int index, double v);
    // Stores the speed and gives it to the strategy of every inlet of that index.
    void setSourceVelocity(int index, double v);
    double getSourcePressure(int index) const { return sourcePressure[clampIndex(index)]; }
    void setSourcePressureValue(int index, double v);
    // Stores the density and gives it to the strategy of every inlet of that index.
    void setSourcePressure(int index, double v);
    int getSourcePeriod(int index) const { return sourcePeriod[clampIndex(index)]; }
    void setSourcePeriodValue(int index, int v);
    double getSourceAmplitude(int index) const { return sourceAmplitude[clampIndex(index)]; }
    void setSourceAmplitudeValue(int index, double v);

    Vector3d wallVelocity() const { return wallVelocityValue; }
    void setWallVelocityValue(const Vector3d &v) { wallVelocityValue = v; }
    int getWallPeriod() const { return wallPeriod; }
    void setWallPeriodValue(int v) { wallPeriod = v; }
    // Store, then give the velocity to the wall of every moving cell of the
    // grid that carries one; their periods stay as they are.
    void setWallVelocity(const Vector3d &v);
    // Store, then give the period to the wall of every moving cell of the
    // grid that carries one, restarting its oscillation.
    void setWallPeriod(int period);

    int getMaxIterations() const { return maxIterations; }
    void setMaxIterations(int v) { maxIterations = v; }
    double getStopWhen() const { return stopWhen; }
    void setStopWhen(double v) { stopWhen = v; }

    bool getNeedsNeighbourRebuild() const { return needsNeighbourRebuild; }
    void setNeedsNeighbourRebuild(bool v) { needsNeighbourRebuild = v; }
    bool getPeriodicBoundaries() const { return periodicBoundaries; }
    void setPeriodicBoundaries(bool v);

    Grid *getGrid() const { return grid; }

    double getGravity() const { return gravity; }
    void setGravityValue(double g) { gravity = g; }
    // Stores the value, then puts a gravity force in the list (or drops it
    // when it has nothing to do).
    void setGravity(double g);
    // mpG, mpPsi0, mpP0, mpGads
    QVector<double> multiphase() const { return {mpG, mpPsi0, mpP0, mpGads}; }
    double getMpG() const { return mpG; }
    double getMpPsi0() const { return mpPsi0; }
    double getMpP0() const { return mpP0; }
    double getMpGads() const { return mpGads; }
    void setMultiphaseValues(double g, double psi0, double p0, double gads);
    // Stores the values, then puts a multiphase force in the list (or drops
    // it when it has nothing to do).
    void setMultiphase(double g, double psi0, double p0, double gads);
    // mcQuantity, mcG, mcGads, mcGads2, mcType
    QVector<double> multicomponent() const { return {double(mcQuantity), mcG, mcGads, mcGads2, double(mcType)}; }
    int getMcQuantity() const { return mcQuantity; }
    int getMcType() const { return mcType; }
    double getMcG() const { return mcG; }
    double getMcGads() const { return mcGads; }
    double getMcGads2() const { return mcGads2; }
    void setMulticomponentValues(int quantity, double g, double gads, double gads2, int type);
    // Stores the five values, then converts the fluid cells of the grid to
    // the kind they select and gives every cell the component count. No
    // multicomponent cell kind exists yet: a quantity above 1 leaves the
    // fluid cells as they are and logs "multicomponent error".
    void setMulticomponent(int quantity, double g, double gads, double gads2, int type);

    int getOpenStrategy() const { return openStrategy; }
    void setOpenStrategyValue(int v) { openStrategy = v; }
    // Stores the kind (1 equilibrium, 2 extrapolation, 3 Zou and He) and
    // replaces the strategy of every outlet of the grid; other kinds leave
    // the outlets as they are.
    void setOpenStrategy(int v);
    int getSourceStrategy() const { return sourceStrategy; }
    void setSourceStrategyValue(int v) { sourceStrategy = v; }
    // Stores the kind (1 equilibrium, 2 fixed flux, 3 Zou and He) and
    // replaces the strategy of every inlet of the grid; other kinds leave the
    // inlets as they are.
    void setSourceStrategy(int v);

    double getPorousSolidDensity() const { return porousSolidDensity; }
    void setPorousSolidDensityValue(double v) { porousSolidDensity = v; }
    // Stores the mean; every porous cell would draw its own solid fraction
    // around it (mean +- variation). No porous cell kind exists yet.
    void setPorousSolidDensity(double mean, double variation);
    double getRkAmplitude() const { return rkAmplitude; }
    double getRkBeta() const { return rkBeta; }
    void setRkAmplitude(double v) { rkAmplitude = v; }
    void setRkBeta(double v) { rkBeta = v; }
    double getShallowG() const { return shallowG; }
    void setShallowG(double v) { shallowG = v; }
    double getShallowNB() const { return shallowNB; }
    void setShallowNB(double v) { shallowNB = v; }
    double getDensity1() const { return density1; }
    void setDensity1(double v) { density1 = v; }
    double getDensity2() const { return density2; }
    void setDensity2(double v) { density2 = v; }
    bool getEntropic() const { return entropic; }
    void setEntropic(bool v) { entropic = v; }
    // Whether the grid keeps the plain fluid's populations as 32-bit values
    // (computing in double all the same); the grid converts its arrays on
    // its next step.
    bool getSinglePopulations() const { return singlePopulations; }
    void setSinglePopulations(bool v) { singlePopulations = v; }
    double getPassiveScalarGravity() const { return passiveScalarGravity; }
    void setPassiveScalarGravity(double v) { passiveScalarGravity = v; }
    double getThermal(int index) const { return thermal[clampIndex(index)]; }
    void setThermal(int index, double v);
    double getThermalExpansion() const { return thermalExpansion; }
    void setThermalExpansion(double v);
    bool getMulticore() const { return multicore; }
    void setMulticore(bool v) { multicore = v; }
    double getSmagorinsky() const { return smagorinsky; }
    void setSmagorinsky(double v) { smagorinsky = v; }
    double getSlipWallCoefficient() const { return slipWallCoefficient; }
    void setSlipWallCoefficient(double v) { slipWallCoefficient = v; }
    QList<Vector3i> getProbePoints() const { return probePoints; }
    void clearProbePoints() { probePoints.clear(); }
    void addProbePoint(const Vector3i &p) { probePoints.append(p); }
    bool getChartsDisabled() const { return chartsDisabled; }
    void setChartsDisabled(bool v) { chartsDisabled = v; }
    double getDepositionRate() const { return depositionRate; }
    void setDepositionRate(double v) { depositionRate = v; }
    int getVelocityOrder() const { return velocityOrder; }
    void setVelocityOrder(int v) { velocityOrder = v; }
    double getReflectWithFactor() const { return reflectWithFactor; }
    void setReflectWithFactor(double v) { reflectWithFactor = v; }

    // phi, rho_p, beta_p, k_p, c_p
    QVector<double> nanoParameters() const
    {
        return {nanoFraction, nanoDensity, nanoThermalExpansion, nanoThermalConductivity, nanoHeatCapacitance};
    }
    void setNanoParameters(double phi, double rhoP, double betaP, double kP, double cP);
    double getEffectiveTau0() const { return effectiveTau0; }
    double getEffectiveTau1() const { return effectiveTau1; }
    double getEffectiveThermalExpansion() const { return effectiveThermalExpansion; }
    // rho_p phi + (1 - phi), the mixture density factor offered to the thermal cells.
    double nanoDensityFactor() const { return nanoDensity * nanoFraction + (1.0 - nanoFraction); }
    void recomputeNanofluid();

    bool getMeltingFlag() const { return meltingFlag; }
    void setMeltingFlag(bool v) { meltingFlag = v; }
    QString getInletFormula(int index) const { return inletFormula[clampIndex(index)]; }
    void setInletFormula(int index, const QString &f);

    // The active body forces, in insertion order; the list owns them.
    const QList<Force *> &getForces() const { return forces; }
    // Removes every force of the new one's class, then appends it when active
    // (otherwise it is deleted).
    void addForce(Force *force);
    void clearForces();
    // Replaces the forces with the given ones, which the list then owns.
    void setForces(const QList<Force *> &list);
    // Replaces this object's forces with the other's, which is left without
    // any (forces cannot be copied, so a loaded configuration hands its own
    // over).
    void takeForcesFrom(SimulationParameters &other);

    // Copies every field that a saved document keeps but the forces (and
    // the derived constants) from another parameter object; nothing reaches
    // the cells.
    void copyPersistedFrom(const SimulationParameters &other);

private:
    // False (with a warning naming the setter) for an index outside 0..2.
    static bool validIndex(int index, const char *setter);
    static int clampIndex(int index) { return index >= 0 && index < 3 ? index : 0; }

    int width = 10;
    int height = 10;
    int length = 10;
    int model = 9;
    double epsilon[3] = {1.0, 1.0, 1.0};
    double minP0 = 1.0;
    double maxP0 = 1.0;
    double sourceVelocityValues[3] = {0.02, 0.02, 0.02};
    double sourcePressure[3] = {1.0, 1.0, 1.0};
    int sourcePeriod[3] = {0, 0, 0};
    double sourceAmplitude[3] = {0.0, 0.0, 0.0};
    Vector3d wallVelocityValue = Vector3d(0.02, 0.0, 0.0);
    int maxIterations = 0;
    bool needsNeighbourRebuild = true;
    bool periodicBoundaries = true;
    Grid *grid = nullptr;
    double gravity = 0.0;
    double mpG = 0.0;
    double mpPsi0 = 4.0;
    double mpP0 = 200.0;
    double mpGads = -190.0;
    int mcQuantity = 1;
    int mcType = 1;
    double mcG = 0.05;
    double mcGads = 0.0;
    double mcGads2 = 0.0;
    int openStrategy = 1;
    int sourceStrategy = 1;
    int wallPeriod = 0;
    double porousSolidDensity = 0.5;
    double rkAmplitude = 0.00001;
    double rkBeta = 0.5;
    double shallowG = 1.0;
    double shallowNB = 1.0;
    double density1 = 1.0;
    double density2 = 1.0;
    bool entropic = false;
    bool singlePopulations = false;
    double passiveScalarGravity = 0.0;
    double thermal[3] = {1.0, 1.0, 1.0};
    double thermalExpansion = 1.0;
    double stopWhen = 0.0;
    bool multicore = true;
    double smagorinsky = 0.0;
    double slipWallCoefficient = 0.0;
    QList<Vector3i> probePoints;
    bool chartsDisabled = true;
    double depositionRate = 1.0;
    int velocityOrder = 2;
    QList<Force *> forces;
    double reflectWithFactor = 1.0;
    double nanoFraction = 0.0;
    double nanoDensity = 1.0;
    double nanoThermalExpansion = 1.0;
    double nanoThermalConductivity = 1.0;
    double nanoHeatCapacitance = 1.0;
    double effectiveTau0 = 1.0;
    double effectiveTau1 = 1.0;
    double effectiveThermalExpansion = 1.0;
    bool meltingFlag = false;
    QString inletFormula[3];
    mutable RandomSource randomSource;
};
