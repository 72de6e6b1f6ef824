#include "interpolationcell.h"

#include "grid.h"
#include "lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

#include <cmath>

InterpolationCell::InterpolationCell(double d, double v, int t) : density(d), variation(v), period(t) {}

double InterpolationCell::densityAt(int iteration) const
{
    if (period == 0)
        return density;
    return density + variation * std::sin(6.2831853 * (iteration % period) / period);
}

void InterpolationCell::preUpdate(double[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    const double rho = densityAt(grid ? grid->getStatistics().iterations : 0);
    const int q = grid->getParameters()->getModel();
    for (int i = 0; i < q; ++i)
        if (BaseCell *n = neighbours[i])
            n->setNextF(i, Lattice::weight(q, i) * rho, 0);
}

void InterpolationCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "interpolation");
    writer.writeAttribute("density", XmlFormat::real(density));
    writer.writeAttribute("variation", XmlFormat::real(variation));
    writer.writeAttribute("period", QString::number(period));
}

void InterpolationCell::activate(QXmlStreamReader &reader, Grid *)
{
    // A rejected value keeps the point as it was; the message names it.
    AttributeReader a(reader);
    const double d = a.real("density", density, 0.0);
    const bool full = a.has("variation");
    const double v = full ? a.real("variation") : variation;
    const int t = full ? a.integer("period", 0, 0) : period;
    if (!a.ok()) {
        qWarning() << "load error:" << a.error();
        return;
    }
    density = d;
    variation = v;
    period = t;
}
