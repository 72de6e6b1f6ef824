#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

class DocumentSection;
class Grid;
struct RowCensus;
class QIODevice;
class QXmlStreamReader;
class QXmlStreamWriter;

// The complete state of a simulation as one XML document (version 2, the
// cells inline, optionally compressed) or as a main document and ten chunk
// files holding the cells by rows (version 3). Loading reads and checks the
// whole document and builds the new cells aside before it touches the grid,
// so a document it refuses leaves the running simulation as it was.
class StateDocument
{
public:
    struct Options
    {
        // 2: one file; 3: the main file and the chunk files path + ".n0".."n9".
        int version = 2;
        // Version 2 only: the file holds the compressed text.
        bool compress = false;
        // Bytes a load may use for the document text and the new grid; 0
        // means what the system has available (MemAvailable).
        qint64 memoryLimit = 0;
        // Plain cells are read by a fast scanner that gives what the general
        // XML reader gives (or leaves the document to it); false reads every
        // cell through the general reader, the scanner's reference.
        bool scanCells = true;
        // Version 2 only: a row window. A rowCount of 0 or more builds only
        // the rows firstRow, firstRow + 1, ... of the document's grid, taken
        // round its height (a window may wrap round a periodic domain, but
        // holds no row twice): the grid gets rowCount rows, its row r the
        // document's row (firstRow + r) mod height. The rest of the document
        // is read and checked as always, so a process that holds one slab of
        // a domain never holds the domain's cells. Negative: every row.
        int firstRow = 0;
        int rowCount = -1;
        // When given, gets what every row of the document holds (see
        // RowCensus), whether its cells are built or not.
        RowCensus *census = nullptr;
        // With a row window, the cells of a document as this program writes
        // it are read in blocks of this size, never the whole text at once
        // (tests lower it to see many blocks in a small document).
        qint64 cellBlockBytes = qint64(32) << 20;
    };

    // An element of the document that a part outside the core library owns
    // (the view, info, results, colour and interpolation panels). write fills
    // the element the document has started; read gets the reader on the
    // element's start and leaves it on its end, returning false with a
    // message when the element is unusable.
    struct Panel
    {
        QString name;
        std::function<void(QXmlStreamWriter &)> write;
        std::function<bool(QXmlStreamReader &, QString *)> read;
    };

    explicit StateDocument(Grid &grid);

    // The panel elements, written after the core elements in the order
    // "view", "scheduler", "info", "results", "colors", "regression",
    // "interpolation" (then any other registered name, then the free-surface
    // settings); a name without a panel is written empty, and on loading an
    // element without a panel is skipped. Elements are read by name, in any
    // order.
    void setPanels(const QList<Panel> &panels);
    const QList<Panel> &panels() const { return panelList; }

    // Writes through QSaveFile, so a failed save leaves the previous file.
    bool save(const QString &path, const Options &options, QString *error = nullptr) const;
    // Replaces the grid's state with the document's; false with a message
    // (and nothing changed) for a document it cannot use. Compressed
    // documents are recognised by their content.
    bool load(const QString &path, const Options &options, QString *error = nullptr);
    // Warnings of the last load that did not stop it (a panel that refused
    // its element, forces that cannot be restored).
    const QStringList &warnings() const { return loadWarnings; }
    // The names of the elements of particles, bodies, tracers, free surface
    // or scalar sources that the last load found in the document but could
    // not restore (with a row window, what lies outside it).
    const QStringList &unreadSections() const { return sectionsUnread; }

    // The text of a version-2 document, or of a version-3 main file.
    QByteArray text(int version) const;

    // A domain that no one grid holds whole (cut into slabs of rows, each
    // living in another process): the document's grid has `height` rows,
    // whose cells `source` hands to the sink in row order as formatRows
    // formats them where the rows live; this document's grid gives
    // everything but the cells and the height. Only single-file (version 2)
    // documents are written this way.
    using TextSink = std::function<bool(const QByteArray &)>;
    using CellSource = std::function<bool(const TextSink &sink)>;
    // cellBytes, when not negative, is the length of all the cells' text:
    // a compressed save then compresses the text as it is written instead
    // of holding it whole.
    void setCellSource(int height, const CellSource &source, qint64 cellBytes = -1);
    // The cells of the grid's rows [firstRow, firstRow + rowCount) as a
    // single-file document holds them, for a domain whose row y is the
    // grid's row y - yShift, handed to sink piece by piece; false when sink
    // refused one. A cell's element depends on its neighbours' kinds, so the
    // rows around them must hold what the domain holds there.
    bool formatRows(int firstRow, int rowCount, int yShift, const TextSink &sink) const;

    // The most memory a load of a grid of this many sites and directions
    // takes at once, holding a document text of textBytes while it reads,
    // with every site wrapped for the given number of coloured scalars.
    static qint64 estimatedLoadBytes(qint64 sites, int q, qint64 textBytes, int colours = 0);

    static QString chunkPath(const QString &path, int chunk);
    // First row and row count of a chunk for a grid height.
    static std::pair<int, int> chunkRows(int height, int chunk);
    static constexpr int Chunks = 10;

private:
    struct Parsed;
    bool parse(const QByteArray &text, const QString &path, const Options &options, Parsed &parsed, QString *error);
    void commit(Parsed &parsed);
    // Reads the cells of a version-2 document through the cell scanner.
    bool scanCells(Parsed &parsed, QString *error);
    // The same for cells read from the file block by block, so that a load
    // with a row window never holds the whole text.
    bool scanCellBlocks(Parsed &parsed, QString *error);
    // A load with a row window of an uncompressed version-2 document that
    // reads the text around the cells and then the cells block by block;
    // false (and nothing changed) when the document needs the whole text in
    // memory, which the general load then reads and checks.
    bool loadWindowInBlocks(const QString &path, const Options &options);
    // The grid part that stores itself in the element of this name, if any.
    DocumentSection *section(const QString &name) const;
    // The text in consecutive parts: the cells come in pieces formatted in
    // parallel, which go to the file (or the compressor) without being joined.
    // Without cells (version 2), the list is the text before them and after.
    // Files named in the document (a shape's STL) beside path are named
    // relative to it.
    QList<QByteArray> parts(int version, bool withCells = true, const QString &path = QString()) const;
    // Formats the cells of the rows in pieces on the thread pool and hands
    // each piece to sink in order as soon as it is ready; false when sink
    // refused one.
    bool streamCells(int firstRow, int rowCount, int indent, const std::function<bool(const QByteArray &)> &sink,
                     int yShift = 0) const;
    // The cells of every row, from the grid or from the cell source.
    bool streamAllCells(int indent, const TextSink &sink) const;
    bool parse(QIODevice &device, qint64 size, const QString &path, const Options &options, Parsed &parsed,
               QString *error);

    Grid &grid;
    QList<Panel> panelList;
    QStringList loadWarnings;
    QStringList sectionsUnread;
    int sourceHeight = -1;
    CellSource cellSource;
    qint64 sourceBytes = -1;
};
