#pragma once

#include "model/latticeboltzmann/vector3d.h"

#include <QString>

#include <memory>
#include <vector>

class Grid;
class Shape;
class ShapeSet;
class QXmlStreamReader;
class QXmlStreamWriter;

// The "shapes" element of the state document: one "shape" child per shape
// of the grid with its kind, placement, size, wall scheme, motion, the STL
// file of a mesh and the last force and torque on it. Reals are written
// exactly, so the shapes read back cut the links at the same fractions and a
// saved run resumes bitwise.
class ShapeXml
{
public:
    struct Entry
    {
        std::unique_ptr<Shape> shape;
        Vector3d force, torque;
    };

    // Writes the shapes' children into the element the caller started. An
    // STL file beside the document is named relative to it.
    static void write(QXmlStreamWriter &writer, const ShapeSet &shapes, const QString &documentPath);
    // Reads the children of the element the reader is on and leaves it on
    // the element's end; false with a message (and entries cleared) for an
    // unusable shape or an STL file that cannot be read. Relative STL names
    // are taken from the document's folder.
    static bool read(QXmlStreamReader &reader, const QString &documentPath, std::vector<Entry> &entries,
                     QString *error);
    // Replaces the grid's shapes with the entries and places them.
    static void apply(Grid &grid, std::vector<Entry> &entries);
};
