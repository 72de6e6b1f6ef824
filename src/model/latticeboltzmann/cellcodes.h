#pragma once

#include <QRgb>
#include <QString>

class BaseCell;
class Grid;

// The table of one-word cell codes from which the grid builds cells, and the
// colours that stand for them in geometry images. Codes whose cell kinds the
// program does not have yet create plain fluid, except the solid ones
// (thermal wall "t", free-surface wall "korner_wall"), which create plain
// walls.
class CellCodes
{
public:
    // A new cell for the code at (x, y, z), owned by the caller. Unknown codes
    // give plain fluid. With fillFromNeighbours a fluid code starts from the
    // average of the fluid cells around the site.
    static BaseCell *create(const QString &code, Grid &grid, int x, int y, int z, bool fillFromNeighbours);

    // The code of a pixel colour (alpha ignored). Mode "" uses the ordinary
    // colour table, where any colour not listed is fluid "x"; mode "korner"
    // uses the free-surface table, where a colour not listed gives an empty
    // code.
    static QString codeForColour(QRgb colour, const QString &mode = QString());
    // The colour of a code in geometry images; white for fluid and any code
    // without a colour.
    static QRgb colourForCode(const QString &code);
    // The code under which a cell is drawn in a geometry image: its kind's
    // code for walls, inlets, outlets and null cells, "x" for everything else.
    static QString codeForCell(BaseCell *cell);
};
