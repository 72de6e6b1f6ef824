#include "unitscales.h"

#include "model/xml/attributereader.h"
#include "model/xml/childelements.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <limits>

void UnitScales::passivate(QXmlStreamWriter &writer) const
{
    writer.writeAttribute("dx", XmlFormat::real(dx));
    writer.writeAttribute("dt", XmlFormat::real(dt));
    writer.writeAttribute("dm", XmlFormat::real(dm));
}

bool UnitScales::activate(QXmlStreamReader &reader, QString *error)
{
    AttributeReader a(reader);
    const double smallest = std::numeric_limits<double>::min();
    const double newDx = a.real("dx", dx, smallest);
    const double newDt = a.real("dt", dt, smallest);
    const double newDm = a.real("dm", dm, smallest);
    ChildElements children(reader);
    while (children.next()) {
    }
    if (!a.ok()) {
        if (error)
            *error = a.error();
        return false;
    }
    dx = newDx;
    dt = newDt;
    dm = newDm;
    return true;
}
