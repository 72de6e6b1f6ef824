#pragma once

#include <QList>
#include <QString>

class Force;
class Grid;
class QXmlStreamReader;
class QXmlStreamWriter;

// The "forces" element of the parameters: the active body forces by type
// name, in list order.
class ForceList
{
public:
    // "gravity", "multiphase", "multicomponent", "passiveScalarForce"; empty
    // for other classes.
    static QString typeName(Force *force);
    // A new force of that type, or null for an unknown name.
    static Force *create(const QString &type);

    static void write(QXmlStreamWriter &writer, const QList<Force *> &forces);
    // The reader stands on the "forces" start element. Reads its "force"
    // children up to "forcesQuantity" of them, skipping unknown types whole,
    // and leaves the reader on the end of "forces". Returns the new forces,
    // owned by the caller.
    static QList<Force *> read(QXmlStreamReader &reader, Grid *grid);
};
