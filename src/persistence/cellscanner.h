#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

class BaseCell;
struct RowCensus;

// A cell read from a document, with the site it goes to.
struct PlacedCell
{
    qint64 site;
    BaseCell *cell;
};

// Reads the cell elements of a state document's grid by hand, in parallel
// pieces. Plain fluid, plain walls and null cells (nearly every site of a
// large grid) are built straight from their attributes; any other element is
// handed whole to a reader for single elements. The scanner accepts only text
// it reads exactly as the general XML reader would: anything else (comments,
// entities, an element without a position, a malformed tag, a number the
// general reader words differently) makes it refuse, and the caller reads the
// document the general way, which gives the message.
class CellScanner
{
public:
    // Reads one element given as its own text; null (and a message) when the
    // element is unusable.
    using ElementReader = std::function<BaseCell *(const QByteArray &element, qint64 *site, QString *error)>;

    // Cells must lie in the rows [firstRow, firstRow + rowCount); a negative
    // rowCount means every row of the box.
    CellScanner(int width, int height, int length, int q, ElementReader readElement, int firstRow = 0,
                int rowCount = -1);
    // Builds only the cells of the rows y whose localRows[y] is not negative,
    // each at its site in a grid whose row localRows[y] holds row y (sites
    // are numbered in that grid); the elements of other rows are read no
    // further than their row and kind, and counted in the census that scan
    // is given. localRows has an entry for every row of the box.
    void setWindow(std::vector<int> localRows);

    // Reads [begin, end), the content of the grid element (or of a chunk's
    // root), in parallel pieces unless `parallel` is false. On success
    // `pieces` holds every cell read (exactly one per site is checked by the
    // caller when placing them). On refusal every cell built is deleted and
    // `error` says why.
    // With a window, census (when given) counts the elements left out, and
    // skipped gets their number.
    bool scan(const char *begin, const char *end, std::vector<std::vector<PlacedCell>> &pieces, QString *error,
              bool parallel = true, RowCensus *census = nullptr, qint64 *skipped = nullptr) const;

private:
    bool scanPiece(const char *begin, const char *end, std::vector<PlacedCell> &cells, QString *error,
                   RowCensus &census, qint64 &skipped) const;

    int width;
    int length;
    int q;
    ElementReader readElement;
    int firstRow;
    int lastRow;
    std::vector<int> window;
};
