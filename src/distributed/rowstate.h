#pragma once

#include <QByteArray>
#include <QString>

class Grid;

// The complete state of whole rows of a grid as bytes, and back: what a slab
// hands its neighbour for its ghost rows, and what the slabs send to be put
// together into the whole domain. Plain fluid travels as raw doubles (its
// initial density, last density change, current and next populations), plain
// walls and null cells as a kind byte, every other cell as its own "lattice"
// element, exactly as the state document stores it, so a row read back steps
// on as the document's cells do.
class RowState
{
public:
    // The rows [firstRow, firstRow + rowCount) of the grid. Lean, of plain
    // fluid only the current populations, of a heat cell its current fluid
    // and scalar populations, of a mixture each component's and of a
    // colour-gradient cell its red and blue current populations: what such
    // a ghost site needs, whose other values it forms from them or its own
    // step forms again before anything reads them (see Slab::edge);
    // unpacked only into a cell of the same kind, model and number of
    // components.
    static QByteArray pack(const Grid &grid, int firstRow, int rowCount, bool lean = false);
    // Puts packed rows into the grid from row firstRow on: a site holding a
    // cell of the same kind takes the values in place; any other kind is
    // built anew and set on the site. False with a message for bytes that do
    // not describe whole rows of this grid's width, length and model, or
    // more rows than the grid holds from firstRow on. rowsRead, when given,
    // gets the number of rows read.
    static bool unpack(Grid &grid, int firstRow, const QByteArray &bytes, QString *error, int *rowsRead = nullptr);

    // Of the plain fluid of one row, only the current populations that
    // move along y by towards (-1 or +1): what crosses into a neighbour's
    // ghost row where plain fluid steps among plain walls without forces.
    // The ghost row holds the same kinds and steps like the row it mirrors,
    // so its other populations are those its own step left it (see
    // Slab::edge). False when the row holds another kind of cell. Packed
    // and unpacked in pieces of sites on the thread pool when `parallel`.
    static bool packCrossing(const Grid &grid, int row, int towards, bool parallel, QByteArray &out);
    // Puts them into the row's plain fluid, keeping its other populations;
    // false with a message when the bytes do not fit the row's fluid.
    static bool unpackCrossing(Grid &grid, int row, int towards, const QByteArray &bytes, bool parallel,
                               QString *error);
};
