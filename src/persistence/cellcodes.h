#pragma once

#include <QString>

class BaseCell;
class Grid;

// The table of one-word cell codes from which the grid builds cells.
class CellCodes
{
public:
    // A new cell for the code at (x, y, z), owned by the caller. Unknown codes
    // give plain fluid. With fillFromNeighbours a fluid code starts from the
    // average of the fluid cells around the site.
    static BaseCell *create(const QString &code, Grid &grid, int x, int y, int z, bool fillFromNeighbours);
};
