#include "fixedboundary.h"

#include "facetable.h"
#include "inletformula.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

FixedBoundary::FixedBoundary()
{
    p = 1.0;
    u = 0.02;
}

void FixedBoundary::preUpdate(double[], BaseCell *[], Grid *grid, Vector3i)
{
    SimulationParameters *sp = parametersOf(grid);
    const QString formula = sp->getInletFormula(multiComponentIndex);
    if (formula.isEmpty())
        return;
    u = sp->sourceVelocity(multiComponentIndex) * InletFormula::evaluate(formula, iterationsOf(grid));
}

void FixedBoundary::update(double[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    SimulationParameters *sp = parametersOf(grid);
    const int q = sp->getModel();
    BaseCell *target;
    const int side = targetSide(q, neighbours, target);
    if (side < 0)
        return;
    const FaceTable::Face &face = FaceTable::face(q, side);
    // Groups 0 and 1 have their own period and amplitude; group 2 uses
    // group 0's.
    const int group = multiComponentIndex == 1 ? 1 : 0;
    const int period = sp->getSourcePeriod(group);
    const double density = period != 0 ? p + sp->getSourceAmplitude(group) * modulation(period, iterationsOf(grid)) : p;
    // Group 1 feeds the second component only where there is one: in a
    // single-component run it would otherwise empty the fluid's incoming
    // populations and act as a drain.
    const int fed = group == 1 && sp->getMcQuantity() >= 2 ? 1 : 0;
    const int other = fed == 1 ? 0 : 1;
    const bool scalar = sp->getMcType() == 4;
    const Vector3d inflow = face.normal * u;
    for (int n = 0; n < face.count; ++n) {
        const int k = face.incoming[n];
        if (movingSource(q, grid, position, side, k, target))
            continue;
        target->setNextF(k, 0.0, other);
        if (scalar)
            target->setNextF(k, Lattice::equilibrium(inflow, sp->getSourcePressure(1), q, k), other);
        target->setNextF(k, Lattice::equilibrium(inflow, density, q, k), fed);
    }
}

void FixedBoundary::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "fixed");
    writer.writeAttribute("velocity", XmlFormat::real(u));
    writer.writeAttribute("pressure", XmlFormat::real(p));
    writer.writeAttribute("multiComponentIndex", QString::number(multiComponentIndex));
}

void FixedBoundary::activate(QXmlStreamReader &reader, Grid *)
{
    // A rejected value keeps the strategy as it was.
    AttributeReader a(reader);
    const double velocity = a.real("velocity");
    const double pressure = a.real("pressure", 0.0, -1.0);
    const int index = a.integer("multiComponentIndex", 0, 0, 2);
    if (!a.ok()) {
        qWarning("%s", qPrintable(a.error()));
        return;
    }
    u = velocity;
    p = pressure;
    multiComponentIndex = index;
}

BaseCell *FixedBoundary::clone(const SimulationParameters &)
{
    auto *copy = new FixedBoundary;
    copy->p = p;
    copy->u = u;
    copy->multiComponentIndex = multiComponentIndex;
    return copy;
}
