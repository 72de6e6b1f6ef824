#include "parametersxml.h"

#include "model/latticeboltzmann/forces/forcelist.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/childelements.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

void ParametersXml::write(QXmlStreamWriter &w, const SimulationParameters &p)
{
    using XmlFormat::real;
    const auto integer = [](int v) { return QString::number(v); };
    w.writeAttribute("model", integer(p.getModel()));
    for (int i = 0; i < 3; ++i)
        w.writeAttribute(QStringLiteral("epsilon%1").arg(i), real(p.getEpsilon(i)));
    w.writeAttribute("minP0", real(p.getMinP0()));
    w.writeAttribute("maxP0", real(p.getMaxP0()));
    for (int i = 0; i < 3; ++i)
        w.writeAttribute(QStringLiteral("sourceVelocity%1").arg(i), real(p.sourceVelocity(i)));
    w.writeAttribute("sourcePressure0", real(p.getSourcePressure(0)));
    w.writeAttribute("sourcePressure1", real(p.getSourcePressure(1)));
    w.writeAttribute("sourcePeriod0", integer(p.getSourcePeriod(0)));
    w.writeAttribute("sourcePeriod1", integer(p.getSourcePeriod(1)));
    w.writeAttribute("sourceAmplitude0", real(p.getSourceAmplitude(0)));
    w.writeAttribute("sourceAmplitude1", real(p.getSourceAmplitude(1)));
    w.writeAttribute("processNeighbors", XmlFormat::flag(p.getNeedsNeighbourRebuild()));
    w.writeAttribute("periodicBoundaries", XmlFormat::flag(p.getPeriodicBoundaries()));
    w.writeAttribute("gravity", real(p.getGravity()));
    w.writeAttribute("mcQuantity", integer(p.getMcQuantity()));
    w.writeAttribute("mcType", integer(p.getMcType()));
    w.writeAttribute("mcG", real(p.getMcG()));
    w.writeAttribute("mcGads", real(p.getMcGads()));
    w.writeAttribute("mcGads2", real(p.getMcGads2()));
    w.writeAttribute("mpG", real(p.getMpG()));
    w.writeAttribute("mpPsi0", real(p.getMpPsi0()));
    w.writeAttribute("mpP0", real(p.getMpP0()));
    w.writeAttribute("mpGads", real(p.getMpGads()));
    w.writeAttribute("porousSolidDensity", real(p.getPorousSolidDensity()));
    const Vector3d wall = p.wallVelocity();
    w.writeAttribute("wallVelocityX", real(wall.x));
    w.writeAttribute("wallVelocityY", real(wall.y));
    w.writeAttribute("wallVelocityZ", real(wall.z));
    w.writeAttribute("wallPeriod", integer(p.getWallPeriod()));
    w.writeAttribute("density1", real(p.getDensity1()));
    w.writeAttribute("density2", real(p.getDensity2()));
    w.writeAttribute("shallowG", real(p.getShallowG()));
    w.writeAttribute("shallowNB", real(p.getShallowNB()));
    w.writeAttribute("passiveScalarGravity", real(p.getPassiveScalarGravity()));
    for (int i = 0; i < 3; ++i)
        w.writeAttribute(QStringLiteral("thermal%1").arg(i), real(p.getThermal(i)));
    w.writeAttribute("smagorinsky", real(p.getSmagorinsky()));
    w.writeAttribute("entropic", XmlFormat::flag(p.getEntropic()));
    // Written only when set, so documents in double precision stay as they were.
    if (p.getSinglePopulations())
        w.writeAttribute("singlePopulations", XmlFormat::flag(true));
    w.writeAttribute("slipWallCoefficient", real(p.getSlipWallCoefficient()));
    w.writeAttribute("sourceStrategy", integer(p.getSourceStrategy()));
    w.writeAttribute("openStrategy", integer(p.getOpenStrategy()));
    w.writeAttribute("thermalExpansion", real(p.getThermalExpansion()));
    w.writeAttribute("depositionRate", real(p.getDepositionRate()));
    w.writeAttribute("velocityOrder", integer(p.getVelocityOrder()));
    w.writeAttribute("reflectWithFactor", real(p.getReflectWithFactor()));
    const QVector<double> nano = p.nanoParameters();
    w.writeAttribute("nanoFraction", real(nano[0]));
    w.writeAttribute("nanoDensity", real(nano[1]));
    w.writeAttribute("nanoThermalExpansion", real(nano[2]));
    w.writeAttribute("nanoThermalConductivity", real(nano[3]));
    w.writeAttribute("nanoHeatCapacitance", real(nano[4]));
    ForceList::write(w, p.getForces());
}

bool ParametersXml::read(QXmlStreamReader &reader, SimulationParameters &p, QString *error)
{
    AttributeReader a(reader);
    // Always read; a missing one reads as 0 like any other missing number,
    // except the model, which must name a lattice.
    const int q = a.integer("model", p.getModel());
    if (q != 9 && q != 15 && q != 19 && q != 27)
        a.reject("model", QStringLiteral("is %1, not one of 9, 15, 19, 27").arg(q));
    p.setModel(q);
    for (int i = 0; i < 3; ++i)
        p.setEpsilon(i, a.real(QStringLiteral("epsilon%1").arg(i)));
    p.setMinP0Value(a.real("minP0"));
    p.setMaxP0Value(a.real("maxP0"));
    for (int i = 0; i < 3; ++i)
        p.setSourceVelocityValue(i, a.real(QStringLiteral("sourceVelocity%1").arg(i)));
    if (a.has("sourcePressure0")) {
        p.setSourcePressureValue(0, a.real("sourcePressure0"));
        p.setSourcePressureValue(1, a.real("sourcePressure1"));
    }
    p.setMaxIterations(0);
    // The neighbour tables are always rebuilt after a load; the stored flag
    // is not read.
    p.setPeriodicBoundaries(a.flag("periodicBoundaries"));
    p.setNeedsNeighbourRebuild(true);
    p.setGravityValue(a.real("gravity"));
    if (a.has("mcQuantity")) {
        const int quantity = a.integer("mcQuantity", 1, 1, 64);
        const double g = a.real("mcG");
        const double gads = a.real("mcGads", 0.0);
        const double gads2 = a.real("mcGads2", 0.0);
        const double mpG = a.real("mpG");
        const double psi0 = a.real("mpPsi0");
        const double p0 = a.real("mpP0");
        const double mpGads = a.real("mpGads");
        p.setMultiphaseValues(mpG, psi0, p0, mpGads);
        p.setMulticomponentValues(quantity, g, gads, gads2, a.integer("mcType", 1));
    }
    p.setPorousSolidDensityValue(a.real("porousSolidDensity", 0.5));
    if (a.has("wallPeriod")) {
        p.setWallPeriodValue(a.integer("wallPeriod"));
        p.setWallVelocityValue(Vector3d(a.real("wallVelocityX"), a.real("wallVelocityY"), a.real("wallVelocityZ")));
    }
    p.setDensity1(1.0);
    p.setDensity2(1.0);
    if (a.has("density1")) {
        p.setDensity1(a.real("density1"));
        p.setDensity2(a.real("density2"));
    }
    for (int i = 0; i < 2; ++i) {
        p.setSourcePeriodValue(i, 0);
        p.setSourceAmplitudeValue(i, 0.0);
    }
    if (a.has("sourcePeriod0")) {
        p.setSourcePeriodValue(0, a.integer("sourcePeriod0", 0, 0));
        p.setSourcePeriodValue(1, a.integer("sourcePeriod1", 0, 0));
        p.setSourceAmplitudeValue(0, a.real("sourceAmplitude0"));
        p.setSourceAmplitudeValue(1, a.real("sourceAmplitude1"));
    }
    if (a.has("shallowG")) {
        p.setShallowG(a.real("shallowG"));
        p.setShallowNB(a.real("shallowNB"));
    }
    if (a.has("passiveScalarGravity")) {
        p.setPassiveScalarGravity(a.real("passiveScalarGravity"));
        p.setThermal(0, a.real("thermal0"));
        p.setThermal(1, a.real("thermal1"));
    }
    if (a.has("thermal2"))
        p.setThermal(2, a.real("thermal2"));
    if (a.has("smagorinsky")) {
        p.setSmagorinsky(a.real("smagorinsky"));
        p.setEntropic(a.flag("entropic"));
    }
    p.setSinglePopulations(a.flag("singlePopulations", false));
    if (a.has("slipWallCoefficient"))
        p.setSlipWallCoefficient(a.real("slipWallCoefficient"));
    if (a.has("sourceStrategy")) {
        p.setSourceStrategyValue(a.integer("sourceStrategy"));
        p.setOpenStrategyValue(a.integer("openStrategy"));
    }
    p.setThermalExpansion(a.real("thermalExpansion", 1.0));
    p.setDepositionRate(a.real("depositionRate", 1.0));
    p.setVelocityOrder(a.integer("velocityOrder", 2, 0, 2));
    p.setReflectWithFactor(a.real("reflectWithFactor", 1.0));
    double nano[5] = {0.0, 1.0, 1.0, 1.0, 1.0};
    if (a.has("nanoFraction")) {
        nano[0] = a.real("nanoFraction", 0.0, 0.0, 1.0);
        if (nano[0] >= 1.0)
            a.reject("nanoFraction", QStringLiteral("must lie below 1"));
        nano[1] = a.real("nanoDensity");
        nano[2] = a.real("nanoThermalExpansion");
        nano[3] = a.real("nanoThermalConductivity");
        nano[4] = a.real("nanoHeatCapacitance");
    }
    // Also recomputes the derived nanofluid constants from the values read.
    p.setNanoParameters(nano[0], nano[1], nano[2], nano[3], nano[4]);
    p.clearForces();
    // The forces are found by name among the children; the list holds what
    // the document lists.
    ChildElements children(reader);
    while (children.next()) {
        if (reader.name() == QLatin1String("forces"))
            p.setForces(ForceList::read(reader, p.getGrid()));
    }
    if (!a.ok() || reader.hasError()) {
        if (error)
            *error = a.ok() ? reader.errorString() : a.error();
        return false;
    }
    return true;
}
