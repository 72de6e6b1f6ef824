#pragma once

#include <QStringList>

class Boundary;
class Grid;
class QXmlStreamReader;
class QXmlStreamWriter;

// The "boundary" child element through which inlets and outlets save and
// restore their strategy.
class StrategyElement
{
public:
    // Writes the "boundary" element holding the strategy's attributes (an
    // empty element when there is no strategy).
    static void write(QXmlStreamWriter &writer, Boundary *strategy);

    // Moves the reader from the cell's element to its "boundary" child and
    // creates the strategy named by its "type" when that is one of the
    // accepted types; the strategy then reads its own attributes. Returns
    // null for a missing child or a type not accepted. The reader stays on
    // the child, or on the cell's end when there is no child, so the next
    // cell element is not consumed. A numeric attribute that does not parse
    // or lies outside its range gives null with the message in *rejection.
    static Boundary *read(QXmlStreamReader &reader, Grid *grid, const QStringList &accepted,
                          QString *rejection = nullptr);

    // A new strategy for an XML type ("zouhe", "equilibrium", "fixed",
    // "extrapolation", "point"), or null.
    static Boundary *create(const QString &type);
};
