#include "interpolationcell.h"

#include "grid.h"
#include "lattice.h"
#include "persistence/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cmath>

InterpolationCell::InterpolationCell(double d, double v, int t) : density(d), variation(v), period(t)
{}

double InterpolationCell::densityAt(int iteration) const
{
    if (period == 0)
        return density;
    return density + variation * std::sin(6.2831853 * (iteration % period) / period);
}

void InterpolationCell::preUpdate(double[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    const double rho = densityAt(grid ? grid->getStatistics().iterations : 0);
    const int q = Lattice::currentQ();
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
    const QXmlStreamAttributes a = reader.attributes();
    density = XmlFormat::readReal(a, "density");
    if (a.hasAttribute("variation")) {
        variation = XmlFormat::readReal(a, "variation");
        period = XmlFormat::readInt(a, "period");
    }
}
