#include "forcelist.h"

#include "gravity.h"
#include "model/xml/attributereader.h"
#include "multicomponent.h"
#include "multiphase.h"
#include "passivescalarforce.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

QString ForceList::typeName(Force *force)
{
    if (dynamic_cast<Gravity *>(force))
        return QStringLiteral("gravity");
    if (dynamic_cast<MultiComponent *>(force))
        return QStringLiteral("multicomponent");
    if (dynamic_cast<MultiPhase *>(force))
        return QStringLiteral("multiphase");
    if (dynamic_cast<PassiveScalarForce *>(force))
        return QStringLiteral("passiveScalarForce");
    return QString();
}

Force *ForceList::create(const QString &type)
{
    if (type == QLatin1String("gravity"))
        return new Gravity;
    if (type == QLatin1String("multicomponent"))
        return new MultiComponent;
    if (type == QLatin1String("multiphase"))
        return new MultiPhase;
    if (type == QLatin1String("passiveScalarForce"))
        return new PassiveScalarForce;
    return nullptr;
}

void ForceList::write(QXmlStreamWriter &writer, const QList<Force *> &forces)
{
    int known = 0;
    for (Force *f : forces)
        known += typeName(f).isEmpty() ? 0 : 1;
    writer.writeStartElement("forces");
    writer.writeAttribute("forcesQuantity", QString::number(known));
    for (Force *f : forces) {
        const QString type = typeName(f);
        if (type.isEmpty())
            continue;
        writer.writeStartElement("force");
        writer.writeAttribute("type", type);
        f->passivate(writer);
        writer.writeEndElement();
    }
    writer.writeEndElement();
}

QList<Force *> ForceList::read(QXmlStreamReader &reader, Grid *grid)
{
    QList<Force *> forces;
    AttributeReader attributes(reader);
    const int quantity = attributes.integer("forcesQuantity", 0, 0);
    if (!attributes.ok())
        qWarning() << "load error:" << attributes.error();
    // Only the children of "forces" are read, however many it announces.
    while (reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("force") || forces.size() >= quantity) {
            reader.skipCurrentElement();
            continue;
        }
        const QString type = reader.attributes().value("type").toString();
        Force *f = create(type);
        if (!f) {
            qWarning() << "load error: unknown force type" << type;
            reader.skipCurrentElement();
            continue;
        }
        f->activate(reader, grid);
        forces.append(f);
        if (!reader.isEndElement() || reader.name() != QLatin1String("force"))
            reader.skipCurrentElement();
    }
    return forces;
}
