#include "simulationparameters.h"

#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/deposition/depositioncell.h"
#include "model/latticeboltzmann/forces/force.h"
#include "model/latticeboltzmann/forces/forcelist.h"
#include "model/latticeboltzmann/forces/gravity.h"
#include "model/latticeboltzmann/forces/multiphase.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/passivescalar.h"
#include "model/latticeboltzmann/meltingsolidification/meltingsolidificationcell.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/moving/movingwall.h"
#include "model/latticeboltzmann/multi/mccell.h"
#include "model/latticeboltzmann/multi/rkcell.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/porous/shallowcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/xml/attributereader.h"
#include "model/xml/childelements.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtGlobal>

#include <cmath>
#include <cstdlib>
#include <typeinfo>

SimulationParameters::SimulationParameters(Grid *g) : grid(g)
{
    recomputeNanofluid();
}

SimulationParameters::~SimulationParameters()
{
    clearForces();
}

void SimulationParameters::setSize(int nx, int ny, int nz)
{
    width = nx;
    height = ny;
    length = nz;
}

void SimulationParameters::setModel(int q)
{
    if (q == model)
        return;
    model = q;
    needsNeighbourRebuild = true;
}

bool SimulationParameters::validIndex(int index, const char *setter)
{
    if (index >= 0 && index < 3)
        return true;
    qWarning("%s: index %d is outside 0..2; the value is ignored", setter, index);
    return false;
}

void SimulationParameters::setEpsilon(int index, double value)
{
    if (!validIndex(index, "setEpsilon"))
        return;
    epsilon[index] = value;
    recomputeNanofluid();
}

void SimulationParameters::setMinP0(double v)
{
    minP0 = v;
    if (grid)
        grid->resetAll();
}

void SimulationParameters::setMaxP0(double v)
{
    maxP0 = v;
    if (grid)
        grid->resetAll();
}

void SimulationParameters::setSourcePressureValue(int index, double v)
{
    if (validIndex(index, "setSourcePressure"))
        sourcePressure[index] = v;
}

void SimulationParameters::setSourcePeriodValue(int index, int v)
{
    if (validIndex(index, "setSourcePeriod"))
        sourcePeriod[index] = v;
}

void SimulationParameters::setSourceAmplitudeValue(int index, double v)
{
    if (validIndex(index, "setSourceAmplitude"))
        sourceAmplitude[index] = v;
}

void SimulationParameters::setThermal(int index, double v)
{
    if (validIndex(index, "setThermal"))
        thermal[index] = v;
}

void SimulationParameters::setInletFormula(int index, const QString &f)
{
    if (validIndex(index, "setInletFormula"))
        inletFormula[index] = f;
}

double SimulationParameters::randomInitialDensity() const
{
    const int r = randomSource.next() % 32768;
    return minP0 + (r / 32767.0) * (maxP0 - minP0);
}

double SimulationParameters::sourceVelocity(int index) const
{
    return sourceVelocityValues[clampIndex(index)];
}

void SimulationParameters::setSourceVelocityValue(int index, double v)
{
    if (validIndex(index, "setSourceVelocity"))
        sourceVelocityValues[index] = v;
}

namespace {

// Calls visit on every cell of the grid of type T.
template <typename T, typename Visit> void forEachOf(Grid *grid, Visit visit)
{
    if (!grid)
        return;
    grid->forEachCell([&](BaseCell *c, int, int, int) {
        if (auto *cell = dynamic_cast<T *>(PassiveScalarCell::innerOf(c)))
            visit(cell);
    });
}

// Calls apply(wall) for the wall of every moving cell of the grid.
template <typename Apply> void forEachMovingWall(Grid *grid, Apply apply)
{
    forEachOf<MovingCell>(grid, [&](MovingCell *cell) {
        if (auto *wall = dynamic_cast<MovingWall *>(cell->body()))
            apply(wall);
    });
}

} // namespace

void SimulationParameters::setWallVelocity(const Vector3d &v)
{
    wallVelocityValue = v;
    forEachMovingWall(grid, [&v](MovingWall *wall) { wall->setWallVelocity(v); });
}

void SimulationParameters::setWallPeriod(int period)
{
    wallPeriod = period;
    forEachMovingWall(grid, [period](MovingWall *wall) { wall->setPeriod(period); });
}

void SimulationParameters::setSourceVelocity(int index, double v)
{
    if (!validIndex(index, "setSourceVelocity"))
        return;
    setSourceVelocityValue(index, v);
    forEachOf<SourceCell>(grid, [&](SourceCell *inlet) {
        if (inlet->index() == index && inlet->strategy())
            inlet->strategy()->setBoundaryU(v);
    });
}

void SimulationParameters::setSourcePressure(int index, double v)
{
    if (!validIndex(index, "setSourcePressure"))
        return;
    setSourcePressureValue(index, v);
    forEachOf<SourceCell>(grid, [&](SourceCell *inlet) {
        if (inlet->index() == index && inlet->strategy())
            inlet->strategy()->setBoundaryP(v);
    });
}

void SimulationParameters::setSourceStrategy(int v)
{
    sourceStrategy = v;
    forEachOf<SourceCell>(grid, [&](SourceCell *inlet) { inlet->replaceStrategy(v, *this); });
}

void SimulationParameters::setOpenStrategy(int v)
{
    openStrategy = v;
    forEachOf<OpenCell>(grid, [&](OpenCell *outlet) { outlet->replaceStrategy(v, *this); });
}

void SimulationParameters::setPeriodicBoundaries(bool v)
{
    periodicBoundaries = v;
    needsNeighbourRebuild = true;
}

void SimulationParameters::setGravity(double g)
{
    gravity = g;
    addForce(new Gravity);
}

void SimulationParameters::setMultiphase(double g, double psi0, double p0, double gads)
{
    mpG = g;
    mpPsi0 = psi0;
    mpP0 = p0;
    mpGads = gads;
    addForce(new MultiPhase);
}

void SimulationParameters::setMulticomponentValues(int quantity, double g, double gads, double gads2, int type)
{
    mcQuantity = quantity;
    mcG = g;
    mcGads = gads;
    mcGads2 = gads2;
    mcType = type;
}

void SimulationParameters::setMulticomponent(int quantity, double g, double gads, double gads2, int type)
{
    setMulticomponentValues(quantity, g, gads, gads2, type);
    if (!grid)
        return;
    // Every fluid cell becomes the kind of the chosen model; cells already of
    // that kind keep their state (a loaded document's heat or deposition
    // stays as it was).
    const int nx = grid->getWidth(), ny = grid->getHeight(), nz = grid->getLength();
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z) {
                BaseCell *site = grid->getCell(x, y, z);
                // Free-surface cells are their own model and keep their state.
                if (!site || !site->isFluid() || dynamic_cast<MeltingSolidificationCell *>(site))
                    continue;
                // A colour wrapper keeps its colours; its fluid is what changes.
                BaseCell *cell = PassiveScalarCell::innerOf(site);
                BaseCell *replacement = nullptr;
                if (quantity <= 1) {
                    const bool kept = dynamic_cast<ShallowCell *>(cell) || dynamic_cast<PorousCell *>(cell) ||
                                      typeid(*cell) == typeid(SCCell);
                    if (!kept)
                        replacement = new SCCell(randomInitialDensity(), model);
                } else if (type == 1 && !dynamic_cast<MCCell *>(cell)) {
                    replacement = new MCCell(*this, dynamic_cast<SCCell *>(cell));
                } else if (type == 2 && !dynamic_cast<RKCell *>(cell)) {
                    replacement = new RKCell(*this);
                } else if (type == 4 && !dynamic_cast<PassiveScalar *>(cell)) {
                    replacement = new PassiveScalar(*this);
                } else if (type == 5 && !dynamic_cast<DepositionCell *>(cell)) {
                    replacement = new DepositionCell(model);
                }
                if (replacement && site != cell) {
                    static_cast<PassiveScalarCell *>(site)->replaceInner(replacement);
                    grid->setCell(x, y, z, site, false, false);
                } else if (replacement) {
                    grid->setCell(x, y, z, replacement, true, true);
                }
                grid->getCell(x, y, z)->setComponents(quantity);
            }
}

void SimulationParameters::setPorousSolidDensity(double mean, double variation)
{
    porousSolidDensity = mean;
    if (!grid)
        return;
    // Each porous cell draws its own solid fraction around the mean (the cell
    // keeps it within [0, 1]).
    grid->forEachCell([this, mean, variation](BaseCell *cell, int, int, int) {
        if (PorousCell *porous = dynamic_cast<PorousCell *>(cell))
            porous->setSolidDensity(mean + (2.0 * (randomSource.next() % 1000) / 1000.0 - 1.0) * variation);
    });
}

void SimulationParameters::setThermalExpansion(double v)
{
    thermalExpansion = v;
    recomputeNanofluid();
}

void SimulationParameters::setNanoParameters(double phi, double rhoP, double betaP, double kP, double cP)
{
    nanoFraction = phi;
    nanoDensity = rhoP;
    nanoThermalExpansion = betaP;
    nanoThermalConductivity = kP;
    nanoHeatCapacitance = cP;
    recomputeNanofluid();
}

void SimulationParameters::recomputeNanofluid()
{
    const double phi = nanoFraction;
    const double ratio = 1.0 - phi + phi * nanoDensity;
    // Brinkman viscosity over the mixture density.
    effectiveTau0 = (epsilon[0] - 0.5) / (std::pow(1.0 - phi, 2.5) * ratio) + 0.5;
    effectiveThermalExpansion = ((1.0 - phi) + phi * nanoDensity * nanoThermalExpansion) * thermalExpansion / ratio;
    // Maxwell conductivity over the mixture heat capacity.
    const double kp = nanoThermalConductivity;
    const double conductivity = (kp + 2.0 - 2.0 * phi + 2.0 * phi * kp) / (kp + 2.0 + phi - phi * kp);
    effectiveTau1 = conductivity * (epsilon[1] - 0.5) / ((1.0 - phi) + phi * nanoDensity * nanoHeatCapacitance) + 0.5;
}

void SimulationParameters::addForce(Force *force)
{
    if (!force)
        return;
    for (int i = forces.size() - 1; i >= 0; --i) {
        if (typeid(*forces[i]) == typeid(*force))
            delete forces.takeAt(i);
    }
    if (force->isActive(*this))
        forces.append(force);
    else
        delete force;
}

void SimulationParameters::clearForces()
{
    qDeleteAll(forces);
    forces.clear();
}

void SimulationParameters::takeForcesFrom(SimulationParameters &other)
{
    if (&other == this)
        return;
    clearForces();
    forces.swap(other.forces);
}

void SimulationParameters::copyPersistedFrom(const SimulationParameters &o)
{
    model = o.model;
    for (int i = 0; i < 3; ++i) {
        epsilon[i] = o.epsilon[i];
        sourceVelocityValues[i] = o.sourceVelocityValues[i];
        sourcePressure[i] = o.sourcePressure[i];
        sourcePeriod[i] = o.sourcePeriod[i];
        sourceAmplitude[i] = o.sourceAmplitude[i];
        thermal[i] = o.thermal[i];
    }
    minP0 = o.minP0;
    maxP0 = o.maxP0;
    maxIterations = o.maxIterations;
    needsNeighbourRebuild = true;
    periodicBoundaries = o.periodicBoundaries;
    gravity = o.gravity;
    mcQuantity = o.mcQuantity;
    mcType = o.mcType;
    mcG = o.mcG;
    mcGads = o.mcGads;
    mcGads2 = o.mcGads2;
    mpG = o.mpG;
    mpPsi0 = o.mpPsi0;
    mpP0 = o.mpP0;
    mpGads = o.mpGads;
    porousSolidDensity = o.porousSolidDensity;
    wallVelocityValue = o.wallVelocityValue;
    wallPeriod = o.wallPeriod;
    density1 = o.density1;
    density2 = o.density2;
    shallowG = o.shallowG;
    shallowNB = o.shallowNB;
    passiveScalarGravity = o.passiveScalarGravity;
    smagorinsky = o.smagorinsky;
    entropic = o.entropic;
    slipWallCoefficient = o.slipWallCoefficient;
    sourceStrategy = o.sourceStrategy;
    openStrategy = o.openStrategy;
    thermalExpansion = o.thermalExpansion;
    depositionRate = o.depositionRate;
    velocityOrder = o.velocityOrder;
    reflectWithFactor = o.reflectWithFactor;
    nanoFraction = o.nanoFraction;
    nanoDensity = o.nanoDensity;
    nanoThermalExpansion = o.nanoThermalExpansion;
    nanoThermalConductivity = o.nanoThermalConductivity;
    nanoHeatCapacitance = o.nanoHeatCapacitance;
    recomputeNanofluid();
}

void SimulationParameters::passivate(QXmlStreamWriter &w) const
{
    using XmlFormat::real;
    const auto integer = [](int v) { return QString::number(v); };
    w.writeAttribute("model", integer(model));
    for (int i = 0; i < 3; ++i)
        w.writeAttribute(QStringLiteral("epsilon%1").arg(i), real(epsilon[i]));
    w.writeAttribute("minP0", real(minP0));
    w.writeAttribute("maxP0", real(maxP0));
    for (int i = 0; i < 3; ++i)
        w.writeAttribute(QStringLiteral("sourceVelocity%1").arg(i), real(sourceVelocityValues[i]));
    w.writeAttribute("sourcePressure0", real(sourcePressure[0]));
    w.writeAttribute("sourcePressure1", real(sourcePressure[1]));
    w.writeAttribute("sourcePeriod0", integer(sourcePeriod[0]));
    w.writeAttribute("sourcePeriod1", integer(sourcePeriod[1]));
    w.writeAttribute("sourceAmplitude0", real(sourceAmplitude[0]));
    w.writeAttribute("sourceAmplitude1", real(sourceAmplitude[1]));
    w.writeAttribute("processNeighbors", XmlFormat::flag(needsNeighbourRebuild));
    w.writeAttribute("periodicBoundaries", XmlFormat::flag(periodicBoundaries));
    w.writeAttribute("gravity", real(gravity));
    w.writeAttribute("mcQuantity", integer(mcQuantity));
    w.writeAttribute("mcType", integer(mcType));
    w.writeAttribute("mcG", real(mcG));
    w.writeAttribute("mcGads", real(mcGads));
    w.writeAttribute("mcGads2", real(mcGads2));
    w.writeAttribute("mpG", real(mpG));
    w.writeAttribute("mpPsi0", real(mpPsi0));
    w.writeAttribute("mpP0", real(mpP0));
    w.writeAttribute("mpGads", real(mpGads));
    w.writeAttribute("porousSolidDensity", real(porousSolidDensity));
    w.writeAttribute("wallVelocityX", real(wallVelocityValue.x));
    w.writeAttribute("wallVelocityY", real(wallVelocityValue.y));
    w.writeAttribute("wallVelocityZ", real(wallVelocityValue.z));
    w.writeAttribute("wallPeriod", integer(wallPeriod));
    w.writeAttribute("density1", real(density1));
    w.writeAttribute("density2", real(density2));
    w.writeAttribute("shallowG", real(shallowG));
    w.writeAttribute("shallowNB", real(shallowNB));
    w.writeAttribute("passiveScalarGravity", real(passiveScalarGravity));
    for (int i = 0; i < 3; ++i)
        w.writeAttribute(QStringLiteral("thermal%1").arg(i), real(thermal[i]));
    w.writeAttribute("smagorinsky", real(smagorinsky));
    w.writeAttribute("entropic", XmlFormat::flag(entropic));
    w.writeAttribute("slipWallCoefficient", real(slipWallCoefficient));
    w.writeAttribute("sourceStrategy", integer(sourceStrategy));
    w.writeAttribute("openStrategy", integer(openStrategy));
    w.writeAttribute("thermalExpansion", real(thermalExpansion));
    w.writeAttribute("depositionRate", real(depositionRate));
    w.writeAttribute("velocityOrder", integer(velocityOrder));
    w.writeAttribute("reflectWithFactor", real(reflectWithFactor));
    w.writeAttribute("nanoFraction", real(nanoFraction));
    w.writeAttribute("nanoDensity", real(nanoDensity));
    w.writeAttribute("nanoThermalExpansion", real(nanoThermalExpansion));
    w.writeAttribute("nanoThermalConductivity", real(nanoThermalConductivity));
    w.writeAttribute("nanoHeatCapacitance", real(nanoHeatCapacitance));
    ForceList::write(w, forces);
}

bool SimulationParameters::activate(QXmlStreamReader &reader, QString *error)
{
    AttributeReader a(reader);
    // Always read; a missing one reads as 0 like any other missing number,
    // except the model, which must name a lattice.
    const int q = a.integer("model", model);
    if (q != 9 && q != 15 && q != 19 && q != 27)
        a.reject("model", QStringLiteral("is %1, not one of 9, 15, 19, 27").arg(q));
    model = q;
    for (int i = 0; i < 3; ++i)
        epsilon[i] = a.real(QStringLiteral("epsilon%1").arg(i));
    minP0 = a.real("minP0");
    maxP0 = a.real("maxP0");
    for (int i = 0; i < 3; ++i)
        sourceVelocityValues[i] = a.real(QStringLiteral("sourceVelocity%1").arg(i));
    if (a.has("sourcePressure0")) {
        sourcePressure[0] = a.real("sourcePressure0");
        sourcePressure[1] = a.real("sourcePressure1");
    }
    maxIterations = 0;
    needsNeighbourRebuild = true;
    periodicBoundaries = a.flag("periodicBoundaries");
    gravity = a.real("gravity");
    if (a.has("mcQuantity")) {
        mcQuantity = a.integer("mcQuantity", 1, 1, 64);
        mcG = a.real("mcG");
        mcGads = a.real("mcGads", 0.0);
        mcGads2 = a.real("mcGads2", 0.0);
        mpG = a.real("mpG");
        mpPsi0 = a.real("mpPsi0");
        mpP0 = a.real("mpP0");
        mpGads = a.real("mpGads");
        mcType = a.integer("mcType", 1);
    }
    porousSolidDensity = a.real("porousSolidDensity", 0.5);
    if (a.has("wallPeriod")) {
        wallPeriod = a.integer("wallPeriod");
        wallVelocityValue = Vector3d(a.real("wallVelocityX"), a.real("wallVelocityY"), a.real("wallVelocityZ"));
    }
    density1 = density2 = 1.0;
    if (a.has("density1")) {
        density1 = a.real("density1");
        density2 = a.real("density2");
    }
    sourcePeriod[0] = sourcePeriod[1] = 0;
    sourceAmplitude[0] = sourceAmplitude[1] = 0.0;
    if (a.has("sourcePeriod0")) {
        sourcePeriod[0] = a.integer("sourcePeriod0", 0, 0);
        sourcePeriod[1] = a.integer("sourcePeriod1", 0, 0);
        sourceAmplitude[0] = a.real("sourceAmplitude0");
        sourceAmplitude[1] = a.real("sourceAmplitude1");
    }
    if (a.has("shallowG")) {
        shallowG = a.real("shallowG");
        shallowNB = a.real("shallowNB");
    }
    if (a.has("passiveScalarGravity")) {
        passiveScalarGravity = a.real("passiveScalarGravity");
        thermal[0] = a.real("thermal0");
        thermal[1] = a.real("thermal1");
    }
    if (a.has("thermal2"))
        thermal[2] = a.real("thermal2");
    if (a.has("smagorinsky")) {
        smagorinsky = a.real("smagorinsky");
        entropic = a.flag("entropic");
    }
    if (a.has("slipWallCoefficient"))
        slipWallCoefficient = a.real("slipWallCoefficient");
    if (a.has("sourceStrategy")) {
        sourceStrategy = a.integer("sourceStrategy");
        openStrategy = a.integer("openStrategy");
    }
    thermalExpansion = a.real("thermalExpansion", 1.0);
    depositionRate = a.real("depositionRate", 1.0);
    velocityOrder = a.integer("velocityOrder", 2, 0, 2);
    reflectWithFactor = a.real("reflectWithFactor", 1.0);
    nanoFraction = 0.0;
    nanoDensity = nanoThermalExpansion = nanoThermalConductivity = nanoHeatCapacitance = 1.0;
    if (a.has("nanoFraction")) {
        nanoFraction = a.real("nanoFraction", 0.0, 0.0, 1.0);
        if (nanoFraction >= 1.0)
            a.reject("nanoFraction", QStringLiteral("must lie below 1"));
        nanoDensity = a.real("nanoDensity");
        nanoThermalExpansion = a.real("nanoThermalExpansion");
        nanoThermalConductivity = a.real("nanoThermalConductivity");
        nanoHeatCapacitance = a.real("nanoHeatCapacitance");
    }
    clearForces();
    // The forces are found by name among the children; the list holds what
    // the document lists.
    ChildElements children(reader);
    while (children.next()) {
        if (reader.name() == QLatin1String("forces"))
            forces = ForceList::read(reader, grid);
    }
    recomputeNanofluid();
    if (!a.ok() || reader.hasError()) {
        if (error)
            *error = a.ok() ? reader.errorString() : a.error();
        return false;
    }
    return true;
}
