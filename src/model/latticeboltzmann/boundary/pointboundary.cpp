#include "pointboundary.h"

#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

PointBoundary::PointBoundary(double density)
{
    p = density;
}

void PointBoundary::preUpdate(double[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    SimulationParameters *sp = parametersOf(grid);
    const int q = sp->getModel();
    const int period = sp->getSourcePeriod(0);
    const double density = period != 0 ? p + sp->getSourceAmplitude(0) * modulation(period, iterationsOf(grid)) : p;
    for (int i = 0; i < q; ++i)
        if (BaseCell *n = neighbours[i])
            n->setNextF(i, Lattice::weight(q, i) * density, 0);
}

void PointBoundary::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "point");
    writer.writeAttribute("pressure", XmlFormat::real(p));
}

void PointBoundary::activate(QXmlStreamReader &reader, Grid *)
{
    // A rejected value keeps the strategy as it was.
    AttributeReader a(reader);
    const double pressure = a.real("pressure", 0.0, 0.0);
    if (!a.ok()) {
        qWarning("%s", qPrintable(a.error()));
        return;
    }
    p = pressure;
}

BaseCell *PointBoundary::clone(const SimulationParameters &)
{
    return new PointBoundary(p);
}
