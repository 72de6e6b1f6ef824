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
    // The rows [firstRow, firstRow + rowCount) of the grid.
    static QByteArray pack(const Grid &grid, int firstRow, int rowCount);
    // Puts packed rows into the grid from row firstRow on: a site holding a
    // cell of the same kind takes the values in place; any other kind is
    // built anew and set on the site. False with a message for bytes that do
    // not describe whole rows of this grid's width, length and model, or
    // more rows than the grid holds from firstRow on. rowsRead, when given,
    // gets the number of rows read.
    static bool unpack(Grid &grid, int firstRow, const QByteArray &bytes, QString *error, int *rowsRead = nullptr);

    // Only the current populations of the plain fluid of whole rows, with
    // every site's kind: what a neighbour's ghost rows need where plain
    // fluid steps among plain walls without forces, whose ghost sites then
    // hold the same kinds already (their initial density, last density
    // change and next populations are never read for the own rows). Empty
    // when a row holds another kind of cell. Packed and unpacked in pieces
    // of sites on the thread pool when `parallel`.
    static QByteArray packPopulations(const Grid &grid, int firstRow, int rowCount, bool parallel);
    // Puts them into the rows [firstRow, firstRow + rowCount); false with a
    // message when the bytes do not fit the rows or a site holds another
    // kind than the bytes say.
    static bool unpackPopulations(Grid &grid, int firstRow, int rowCount, const QByteArray &bytes, bool parallel,
                                  QString *error);
};
