#pragma once

#include <QString>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

// A part of the grid's state that the state document stores as one element of
// its own (moving particles, tracers, immersed bodies). write fills the
// element the document has started; read gets the reader on the element's
// start, must leave it on the element's end, and returns false with a message
// when the element is unusable. The document reads these elements after the
// new cells are in place, so a section may link itself to the cells.
class DocumentSection
{
public:
    virtual ~DocumentSection() = default;

    virtual void write(QXmlStreamWriter &) const {}
    virtual bool read(QXmlStreamReader &reader, QString *)
    {
        reader.skipCurrentElement();
        return true;
    }
};
