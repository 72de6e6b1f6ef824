#include "strategyelement.h"

#include "equilibriumboundary.h"
#include "extrapolationboundary.h"
#include "fixedboundary.h"
#include "model/xml/attributereader.h"
#include "pointboundary.h"
#include "zouheboundary.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

void StrategyElement::write(QXmlStreamWriter &writer, Boundary *strategy)
{
    writer.writeStartElement("boundary");
    if (strategy)
        strategy->passivate(writer);
    writer.writeEndElement();
}

Boundary *StrategyElement::read(QXmlStreamReader &reader, Grid *grid, const QStringList &accepted, QString *rejection)
{
    // The cell's own start element is current; its first child is the next
    // start element before the cell's end.
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement())
            break;
        if (reader.isEndElement())
            return nullptr;
    }
    if (!reader.isStartElement())
        return nullptr;
    const QString type = reader.attributes().value("type").toString();
    if (!accepted.contains(type))
        return nullptr;
    // The attributes every strategy may carry, checked before one is built.
    AttributeReader a(reader);
    a.real("velocity");
    a.real("pressure", 0.0, -1.0);
    a.integer("multiComponentIndex", 0, 0, 2);
    if (!a.ok()) {
        if (rejection)
            *rejection = a.error();
        return nullptr;
    }
    Boundary *strategy = create(type);
    if (strategy)
        strategy->activate(reader, grid);
    return strategy;
}

Boundary *StrategyElement::create(const QString &type)
{
    if (type == QLatin1String("zouhe"))
        return new ZouHeBoundary;
    if (type == QLatin1String("equilibrium"))
        return new EquilibriumBoundary;
    if (type == QLatin1String("fixed"))
        return new FixedBoundary;
    if (type == QLatin1String("extrapolation"))
        return new ExtrapolationBoundary;
    if (type == QLatin1String("point"))
        return new PointBoundary;
    return nullptr;
}
