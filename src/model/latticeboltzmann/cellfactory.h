#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class BaseCell;
class Grid;

// The table from the "type" attribute of a "lattice" element to the
// constructor of that cell kind. The new cell then reads its own attributes
// with activate. Every cell kind that can be saved adds itself here.
class CellFactory
{
public:
    // Builds a cell for the grid it will live in (its model and settings).
    using Constructor = std::function<BaseCell *(Grid &grid)>;

    // A new cell of the named kind for the grid, or null for a type not in
    // the table.
    static BaseCell *create(const QString &type, Grid &grid);
    static bool knows(const QString &type);
    static QStringList types();
    // Adds or replaces a kind. Not to be called while a document loads.
    static void add(const QString &type, Constructor constructor);
};
