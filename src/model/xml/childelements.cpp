#include "childelements.h"

#include <QXmlStreamReader>

ChildElements::ChildElements(QXmlStreamReader &reader) : reader(reader) {}

void ChildElements::skip()
{
    if (reader.isStartElement())
        reader.skipCurrentElement();
}

bool ChildElements::next()
{
    if (done)
        return false;
    // The previous child is still on its start tag: the caller did not read it.
    if (childOffset >= 0 && reader.isStartElement() && reader.characterOffset() == childOffset)
        reader.skipCurrentElement();
    childOffset = -1;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            childOffset = reader.characterOffset();
            return true;
        }
        if (reader.isEndElement()) {
            done = true;
            return false;
        }
    }
    return false;
}
