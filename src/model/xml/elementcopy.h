#pragma once

#include <QByteArray>

class QXmlStreamReader;
class QXmlStreamWriter;

// Copies one XML element as it stands: capture takes the element the reader
// is on (start to end, children included) and leaves the reader on its end;
// writeContent writes a captured element's attributes and children into an
// element the writer has already started.
class ElementCopy
{
public:
    static QByteArray capture(QXmlStreamReader &reader);
    static void writeContent(const QByteArray &element, QXmlStreamWriter &writer);
};
