#include "passivescalarforce.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

#include <cmath>

double PassiveScalarForce::factor(int n) const
{
    if (period == 0)
        return 1.0;
    // The period may be negative in a document; the phase is taken on its size.
    const long long p = std::llabs(static_cast<long long>(period));
    return std::sin(6.2831853 * double(n % p) / double(p));
}

Vector3d PassiveScalarForce::force(BaseCell *, BaseCell **, int, int x, int y, int z, Grid *grid)
{
    if (x < minx || x > maxx || y < miny || y > maxy || !grid)
        return Vector3d();
    auto *wrapper = dynamic_cast<PassiveScalarCell *>(grid->getCell(x, y, z));
    const double b = wrapper ? wrapper->colour(0) : 0.0;
    const double s = factor(grid->getStatistics().iterations);
    return Vector3d(strengthX * b * s, strengthY * b * s, 0.0);
}

void PassiveScalarForce::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("strengthX", XmlFormat::real(strengthX));
    writer.writeAttribute("strengthY", XmlFormat::real(strengthY));
    writer.writeAttribute("minx", QString::number(minx));
    writer.writeAttribute("maxx", QString::number(maxx));
    writer.writeAttribute("miny", QString::number(miny));
    writer.writeAttribute("maxy", QString::number(maxy));
    writer.writeAttribute("period", QString::number(period));
}

void PassiveScalarForce::activate(QXmlStreamReader &reader, Grid *)
{
    AttributeReader a(reader);
    strengthX = a.real("strengthX", strengthX);
    strengthY = a.real("strengthY", strengthY);
    minx = a.integer("minx", minx);
    maxx = a.integer("maxx", maxx);
    miny = a.integer("miny", miny);
    maxy = a.integer("maxy", maxy);
    period = a.integer("period", period);
    if (!a.ok())
        qWarning() << "load error:" << a.error();
}
