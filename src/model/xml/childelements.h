#pragma once

#include <QString>

class QXmlStreamReader;

// Walks the child elements of the reader's current start element and nothing
// beyond it: next() stops at the element's own end, whatever the document
// declares about how many children follow. A child the caller leaves unread
// (the reader still on its start tag) is skipped whole by the next call, so an
// unknown element never swallows its siblings.
class ChildElements
{
public:
    // The reader must be on the parent's start element.
    explicit ChildElements(QXmlStreamReader &reader);

    // Moves to the next child start element. False at the parent's end (the
    // reader is then on that end element), at the end of the input or on a
    // malformed document.
    bool next();
    // Skips the rest of the current child, leaving the reader on its end.
    void skip();
    // True when next() stopped at the parent's end rather than on an error.
    bool finished() const { return done; }

private:
    QXmlStreamReader &reader;
    qint64 childOffset = -1;
    bool done = false;
};
