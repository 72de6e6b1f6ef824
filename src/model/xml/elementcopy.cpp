#include "elementcopy.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

QByteArray ElementCopy::capture(QXmlStreamReader &reader)
{
    QByteArray copy;
    QXmlStreamWriter out(&copy);
    int depth = 0;
    while (!reader.hasError()) {
        if (reader.isStartElement())
            ++depth;
        out.writeCurrentToken(reader);
        if (reader.isEndElement() && --depth <= 0)
            break;
        if (reader.atEnd())
            break;
        reader.readNext();
    }
    return copy;
}

void ElementCopy::writeContent(const QByteArray &element, QXmlStreamWriter &writer)
{
    QXmlStreamReader reader(element);
    int depth = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.hasError())
            break;
        if (reader.isStartElement()) {
            if (depth++ == 0) {
                writer.writeAttributes(reader.attributes());
                continue;
            }
        } else if (reader.isEndElement()) {
            if (--depth == 0)
                break;
        } else if (reader.isStartDocument() || reader.isEndDocument()) {
            continue;
        }
        writer.writeCurrentToken(reader);
    }
}
