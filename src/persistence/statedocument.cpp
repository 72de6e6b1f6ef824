#include "statedocument.h"

#include "cellscanner.h"
#include "compression.h"
#include "documentbytes.h"
#include "geometryfiles.h"
#include "memorydevice.h"
#include "parametersxml.h"
#include "rowcensus.h"
#include "model/latticeboltzmann/cellfactory.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/unitscales.h"
#include "model/xml/attributereader.h"
#include "model/xml/childelements.h"
#include "model/xml/xmlformat.h"
#include "shapexml.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/blockpool.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/immersed/immersedset.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/meltingsolidification/freesurfacesettings.h"
#include "model/latticeboltzmann/moving/particlemanager.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/plainsite.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/shapes/shape.h"
#include "model/latticeboltzmann/shapes/shapeset.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/latticeboltzmann/tracers/scalartracersettings.h"
#include "model/latticeboltzmann/tracers/tracerset.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtConcurrent>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numeric>
#include <typeinfo>
#include <deque>
#include <vector>

namespace {

const char *const PanelOrder[] = {"view", "scheduler", "info", "results", "colors", "regression", "interpolation"};

// A cursor over a stack buffer that one cell's element is formatted into,
// so the piece it goes to grows by one append per cell.
struct Line
{
    char data[2048];
    char *at = data;

    void text(const char *s, std::size_t n)
    {
        std::memcpy(at, s, n);
        at += n;
    }
    template <std::size_t N> void text(const char (&s)[N]) { text(s, N - 1); }
    // Numbers in the shortest form that reads back exactly.
    void real(double v) { at = std::to_chars(at, data + sizeof data, v).ptr; }
    void integer(long long v) { at = std::to_chars(at, data + sizeof data, v).ptr; }
    void open(int indent, int x, int y, int z)
    {
        *at++ = '\n';
        std::memset(at, ' ', std::size_t(indent));
        at += indent;
        text("<lattice x=\"");
        integer(x);
        text("\" y=\"");
        integer(y);
        text("\" z=\"");
        integer(z);
        *at++ = '"';
    }
};

void appendInt(QByteArray &out, long long v)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, int(result.ptr - buffer));
}

// Whether every population a fluid cell at (x, y, z) receives is written
// afresh in the next streaming: each of its neighbours exists and is plain
// fluid or a plain wall (which hands back what the cell sends it). Otherwise
// some entries of its next array carry over into the run, and the document
// keeps them.
bool nextIsRewritten(const Grid &grid, int x, int y, int z, int q)
{
    const bool periodic = grid.getParameters()->getPeriodicBoundaries();
    for (int i = 1; i < q; ++i) {
        if (Lattice::weight(q, i) <= Lattice::ActiveWeight)
            continue;
        const Vector3i e = Lattice::direction(q, i);
        int px = x - e.x, py = y - e.y, pz = z - e.z;
        if (periodic) {
            px = (px + grid.getWidth()) % grid.getWidth();
            py = (py + grid.getHeight()) % grid.getHeight();
            pz = (pz + grid.getLength()) % grid.getLength();
        }
        BaseCell *from = grid.getCell(px, py, pz);
        if (!from)
            return false;
        if (!PlainSite::isPlainFluid(from) && typeid(*from) != typeid(WallCell))
            return false;
    }
    return true;
}

// Writes one cell. Plain fluid, plain walls and null cells are formatted by
// hand (they are nearly every site of a large grid); every other kind writes
// itself through its passivate.
// The cell's element names the row writtenY, the row it has in the domain
// written; y is its row in the grid.
void appendCell(QByteArray &out, int indent, const Grid &grid, BaseCell *cell, int x, int y, int z, int writtenY)
{
    const std::type_info &kind = typeid(*cell);
    if (PlainSite::isPlainFluid(cell)) {
        BaseCell *fluid = cell;
        const int q = fluid->modelQ();
        Line line;
        line.open(indent, x, writtenY, z);
        line.text(" type=\"singleComponent\" p0=\"");
        line.real(PlainSite::initialDensityOf(fluid));
        line.text("\" lastDeltaP=\"");
        line.real(fluid->getDeltaP());
        for (int i = 0; i < q; ++i) {
            line.text("\" f");
            line.integer(i);
            line.text("=\"");
            line.real(fluid->getF(i, 0));
        }
        if (!nextIsRewritten(grid, x, y, z, q)) {
            for (int i = 0; i < q; ++i) {
                line.text("\" n");
                line.integer(i);
                line.text("=\"");
                line.real(fluid->getNextF(i, 0));
            }
        }
        line.text("\"/>");
        out.append(line.data, int(line.at - line.data));
        return;
    }
    if (kind == typeid(WallCell) || kind == typeid(NullCell)) {
        Line line;
        line.open(indent, x, writtenY, z);
        if (kind == typeid(WallCell))
            line.text(" type=\"wall\"/>");
        else
            line.text(" type=\"null\"/>");
        out.append(line.data, int(line.at - line.data));
        return;
    }
    QByteArray element;
    QBuffer buffer(&element);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter writer(&buffer);
    writer.writeStartElement("lattice");
    writer.writeAttribute("x", QString::number(x));
    writer.writeAttribute("y", QString::number(writtenY));
    writer.writeAttribute("z", QString::number(z));
    cell->passivate(writer);
    writer.writeEndElement();
    out.append('\n');
    out.append(QByteArray(indent, ' '));
    out.append(element);
}

// What the system can still give (MemAvailable); half the physical memory
// where the system does not say.
qint64 defaultMemoryLimit()
{
    const double available = GeometryFiles::availableBytes();
    if (available > 0.0)
        return qint64(available);
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return qint64(4) << 30;
    return qint64(pages) * pageSize / 2;
}

// Kinds that read only the attributes of their own element.
bool readsOnlyAttributes(const QString &type)
{
    static const QStringList flat = {"singleComponent",
                                     "wall",
                                     "null",
                                     "partialSlip",
                                     "dragWall",
                                     "depositionWall",
                                     "interpolation",
                                     "reflectWithFactor",
                                     "meltingSolidification"};
    return flat.contains(type);
}

// Every attribute of the element but "type" must be a finite number. One
// pass over the attributes; the checked reader words the message.
bool checkNumbers(const QXmlStreamReader &reader, QString *error)
{
    const QXmlStreamAttributes attributes = reader.attributes();
    for (const QXmlStreamAttribute &attribute : attributes) {
        const QStringRef name = attribute.name();
        if (name == QLatin1String("type"))
            continue;
        bool parsed = false;
        const double v = attribute.value().toDouble(&parsed);
        if (parsed && std::isfinite(v))
            continue;
        AttributeReader a(reader);
        a.real(name.toString());
        *error = a.ok() ? QStringLiteral("element \"%1\": attribute \"%2\" is not a number")
                              .arg(reader.name().toString(), name.toString())
                        : a.error();
        return false;
    }
    return true;
}

// Copies the current element and everything in it, checking the numbers of
// every element on the way; the reader ends on the element's end.
bool captureElement(QXmlStreamReader &reader, QByteArray *copy, bool checkAll, QString *error)
{
    QBuffer buffer(copy);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter writer(&buffer);
    int depth = 0;
    do {
        if (reader.isStartElement()) {
            ++depth;
            if (checkAll && !checkNumbers(reader, error))
                return false;
        } else if (reader.isEndElement()) {
            --depth;
        }
        writer.writeCurrentToken(reader);
        if (depth == 0)
            return true;
        reader.readNext();
    } while (!reader.atEnd() && !reader.hasError());
    *error = reader.hasError() ? reader.errorString() : QStringLiteral("the document ends inside an element");
    return false;
}

// The coloured scalar sources of the captured settings element, which wrap
// every cell of the grid once it is built.
int colourSources(const QList<std::pair<QString, QByteArray>> &sections)
{
    int count = 0;
    for (const auto &section : sections) {
        if (section.first != QLatin1String("passivescalarsingleton"))
            continue;
        QXmlStreamReader reader(section.second);
        reader.readNextStartElement();
        ChildElements children(reader);
        while (children.next())
            if (reader.name() == QLatin1String("color") && count < ScalarTracerSettings::MaxColours)
                ++count;
    }
    return count;
}

struct Box
{
    // The most sites a grid indexes (its site numbers are ints).
    static constexpr qint64 MaxSites = std::numeric_limits<int>::max();

    int width = 0, height = 0, length = 0;
    // Whether every side is positive and the site count fits a grid. Each
    // factor is checked against what is left before it multiplies, so
    // sides taken from a file never wrap the count.
    bool fits() const
    {
        if (width < 1 || height < 1 || length < 1)
            return false;
        const qint64 area = qint64(width) * height; // below 2^62
        return area <= MaxSites && area <= MaxSites / length;
    }
    // Only meaningful once fits() holds.
    qint64 sites() const { return qint64(width) * height * length; }
};

// Reads the cell element the reader is on, for the rows [firstRow, firstRow +
// rowCount): its position, or `site` when it names none (a negative `site`
// requires a position), its kind and its content. An element of an unknown
// kind, or of none, becomes plain fluid at rest and is counted in
// `unknownKinds`, so documents of other programs load. The reader ends on
// the element's end.
BaseCell *readCell(QXmlStreamReader &reader, Grid *grid, const Box &box, int firstRow, int rowCount, qint64 *site,
                   std::atomic<qint64> *unknownKinds, QString *error, const std::vector<int> &window = {})
{
    AttributeReader a(reader);
    const bool positioned = a.has("x") || a.has("y") || a.has("z");
    if (positioned || *site < 0) {
        const int x = a.integer("x", -1, 0, box.width - 1);
        const int y = a.integer("y", -1, firstRow, firstRow + rowCount - 1);
        const int z = a.integer("z", -1, 0, box.length - 1);
        if (!a.ok() || x < 0 || y < 0 || z < 0) {
            *error = a.ok() ? QStringLiteral("a cell element lacks one of \"x\", \"y\", \"z\"") : a.error();
            return nullptr;
        }
        if (!window.empty() && window[std::size_t(y)] < 0) {
            *error = QStringLiteral("a cell of row %1 outside the rows read").arg(y);
            return nullptr;
        }
        *site = (qint64(window.empty() ? y : window[std::size_t(y)]) * box.width + x) * box.length + z;
    }
    const QString type = a.text("type");
    std::unique_ptr<BaseCell> cell(CellFactory::create(type, *grid));
    if (!cell) {
        ++*unknownKinds;
        // Its content is not read, but it must be well-formed.
        ChildElements rest(reader);
        while (rest.next())
            rest.skip();
        if (reader.hasError()) {
            *error = reader.errorString();
            return nullptr;
        }
        return new SCCell(1.0, grid->getParameters()->getModel());
    }
    if (readsOnlyAttributes(type)) {
        if (!checkNumbers(reader, error))
            return nullptr;
        cell->activate(reader, grid);
        // Next populations that the coming streaming does not rewrite.
        if (type == QLatin1String("singleComponent") && a.has("n0")) {
            for (int i = 0; i < Lattice::MaxQ; ++i) {
                const QString key = QStringLiteral("n%1").arg(i);
                if (a.has(key))
                    cell->setNextF(i, a.real(key), 0);
            }
        }
        ChildElements rest(reader);
        while (rest.next()) {
        }
        // Content the cell does not read must still be well-formed.
        if (reader.hasError()) {
            *error = reader.errorString();
            return nullptr;
        }
    } else {
        // Kinds with child elements read from a copy of their own element,
        // so a reader that stops early or runs on cannot touch the next cell.
        QByteArray copy;
        if (!captureElement(reader, &copy, true, error))
            return nullptr;
        QXmlStreamReader own(copy);
        own.readNextStartElement();
        cell->activate(own, grid);
    }
    return cell.release();
}

// Reads the "lattice" children of the current element (the "grid" element or
// a chunk's root) for the rows [firstRow, firstRow + rowCount). Cells are
// placed by their x, y, z, which must lie in those rows; an element without
// a position takes the next position in reading order. Stops at the
// element's end and never reads more cells than the rows hold.
// With a window (see CellScanner::setWindow), the cells of rows outside it
// are read no further than their row and kind, which census counts; their
// elements must name their row.
bool readCells(QXmlStreamReader &reader, Grid *grid, const Box &box, int firstRow, int rowCount,
               std::vector<PlacedCell> &cells, std::atomic<qint64> *unknownKinds, QString *error,
               const std::vector<int> &window = {}, RowCensus *census = nullptr)
{
    const qint64 rowSites = qint64(box.width) * box.length;
    const qint64 capacity = rowSites * rowCount;
    const qint64 firstSite = rowSites * firstRow;
    qint64 count = 0;
    ChildElements children(reader);
    while (children.next()) {
        if (reader.name() != QLatin1String("lattice"))
            continue;
        if (count == capacity) {
            *error = QStringLiteral("more cells than the grid of %1 x %2 x %3 holds")
                         .arg(box.width)
                         .arg(box.height)
                         .arg(box.length);
            return false;
        }
        if (!window.empty()) {
            AttributeReader a(reader);
            const int y = a.integer("y", -1, 0, box.height - 1);
            if (!a.ok() || y < 0) {
                *error = a.ok() ? QStringLiteral("a cell element lacks \"y\"") : a.error();
                return false;
            }
            if (window[std::size_t(y)] < 0) {
                const QString type = a.text("type");
                if (census)
                    census->count(y, type == QLatin1String("null"),
                                  type == QLatin1String("null") || type == QLatin1String("wall") ||
                                      type == QLatin1String("singleComponent"));
                ChildElements rest(reader);
                while (rest.next())
                    rest.skip();
                ++count;
                if (reader.hasError())
                    break;
                continue;
            }
        }
        qint64 site = firstSite + count;
        BaseCell *cell = readCell(reader, grid, box, firstRow, rowCount, &site, unknownKinds, error, window);
        if (!cell)
            return false;
        cells.push_back({site, cell});
        ++count;
        if (reader.hasError())
            break;
    }
    if (reader.hasError()) {
        *error = QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
        return false;
    }
    if (!children.finished()) {
        *error = QStringLiteral("the document ends inside the cells");
        return false;
    }
    if (count != capacity) {
        *error = QStringLiteral("%1 cells for %2 sites").arg(count).arg(capacity);
        return false;
    }
    return true;
}

// The content of the document's grid element: after the "<grid" start tag,
// up to the last "</grid>". A wrong guess (a "<grid" inside a comment) leaves
// text the cell scanner refuses.
bool findCells(const char *data, qint64 size, const char **begin, const char **end)
{
    static const char open[] = "<grid ";
    static const char close[] = "</grid>";
    const char *stop = data + size;
    const char *tag = std::search(data, stop, open, open + sizeof(open) - 1);
    if (tag == stop)
        return false;
    const char *tagEnd = std::find(tag, stop, '>');
    if (tagEnd == stop || tagEnd[-1] == '/')
        return false;
    const qint64 closeSize = sizeof(close) - 1;
    for (const char *p = stop - closeSize; p > tagEnd; --p) {
        if (std::memcmp(p, close, std::size_t(closeSize)) == 0) {
            *begin = tagEnd + 1;
            *end = p;
            return true;
        }
    }
    return false;
}

// A scanner for the cells of the rows [rows.first, rows.first + rows.second)
// that hands every element it does not read itself to readCell.
CellScanner cellScanner(Grid &grid, const Box &box, int model, std::pair<int, int> rows,
                        std::atomic<qint64> *unknownKinds, const std::vector<int> &window = {})
{
    CellScanner scanner(
        box.width, box.height, box.length, model,
        [&grid, box, rows, unknownKinds, window](const QByteArray &element, qint64 *site, QString *why) -> BaseCell * {
            QXmlStreamReader own(element);
            if (!own.readNextStartElement()) {
                *why = own.errorString();
                return nullptr;
            }
            *site = -1;
            std::unique_ptr<BaseCell> cell(
                readCell(own, &grid, box, rows.first, rows.second, site, unknownKinds, why, window));
            if (!cell)
                return nullptr;
            // The element must be all the text the scanner handed over, and
            // well-formed to its end, as the general reader requires.
            while (!own.atEnd() && !own.hasError()) {
                if (own.readNext() == QXmlStreamReader::StartElement || (own.isCharacters() && !own.isWhitespace())) {
                    *why = QStringLiteral("text after a cell element");
                    return nullptr;
                }
            }
            if (own.hasError()) {
                *why = own.errorString();
                return nullptr;
            }
            return cell.release();
        },
        rows.first, rows.second);
    if (!window.empty())
        scanner.setWindow(window);
    return scanner;
}

// Reads a version-3 chunk through the cell scanner; false (and no cells)
// when the chunk needs the general reader.
bool scanChunk(const char *data, qint64 size, Grid &grid, const Box &box, int model, std::pair<int, int> rows,
               std::vector<PlacedCell> &cells, std::atomic<qint64> *unknownKinds)
{
    // The chunk's cells lie between "<tavrine>" and "</tavrine>" with only
    // white space around; any other form is read the general way.
    const char *stop = data + size;
    static const char open[] = "<tavrine>";
    static const char close[] = "</tavrine>";
    const char *begin = data;
    while (begin < stop && std::isspace(static_cast<unsigned char>(*begin)))
        ++begin;
    const char *end = stop;
    while (end > begin && std::isspace(static_cast<unsigned char>(end[-1])))
        --end;
    const qint64 openSize = sizeof(open) - 1, closeSize = sizeof(close) - 1;
    if (end - begin < openSize + closeSize || std::memcmp(begin, open, std::size_t(openSize)) != 0 ||
        std::memcmp(end - closeSize, close, std::size_t(closeSize)) != 0)
        return false;
    // Counted aside: a refused chunk is read again by the general reader.
    std::atomic<qint64> unknown(0);
    const CellScanner scanner = cellScanner(grid, box, model, rows, &unknown);
    std::vector<std::vector<PlacedCell>> pieces;
    QString why;
    if (!scanner.scan(begin + openSize, end - closeSize, pieces, &why, false))
        return false;
    cells = std::move(pieces.front());
    if (qint64(cells.size()) == qint64(rows.second) * box.width * box.length) {
        *unknownKinds += unknown;
        return true;
    }
    for (const PlacedCell &c : cells)
        delete c.cell;
    cells.clear();
    return false;
}

} // namespace

struct StateDocument::Parsed
{
    Box box;
    int model = 9;
    bool haveGrid = false;
    std::vector<PlacedCell> cells;
    std::vector<std::vector<PlacedCell>> chunkCells;
    int iterations = 0;
    double deltaP = 0.0;
    std::unique_ptr<SimulationParameters> config;
    bool configHasMulticomponent = false;
    std::unique_ptr<UnitScales> scales;
    std::vector<ShapeXml::Entry> shapes;
    QList<std::pair<int, QByteArray>> panels;
    QList<std::pair<QString, QByteArray>> sections;
    // The text of the grid's cells when the cell scanner reads them; the
    // parsed text then holds an empty grid element.
    const char *cellsBegin = nullptr;
    const char *cellsEnd = nullptr;
    // Or where they are read from block by block, in order (the next bytes
    // from cellsFrom on, which the function reads into the buffer, giving
    // their number), and where they lie.
    std::function<qint64(char *, qint64)> cellsSource;
    qint64 cellsFrom = 0, cellsTo = 0, cellBlockBytes = 0;
    // The cells by site index, once every site is known to be named once.
    std::vector<BaseCell *> placed;
    // Cell elements of an unknown kind or of none, read as plain fluid.
    std::atomic<qint64> unknownKinds{0};
    // With a row window: the grid row of every row of the document (-1 for
    // the rows left out) and the number of rows built; and what the rows
    // hold, when it is asked for.
    std::vector<int> window;
    int windowRows = 0;
    RowCensus *census = nullptr;
    RowCensus skippedCensus;

    int builtRows() const { return window.empty() ? box.height : windowRows; }
    // Only meaningful once box.fits() holds.
    qint64 builtSites() const { return qint64(box.width) * builtRows() * box.length; }

    ~Parsed()
    {
        for (BaseCell *c : placed)
            delete c;
        for (const PlacedCell &c : cells)
            delete c.cell;
        for (const auto &chunk : chunkCells)
            for (const PlacedCell &c : chunk)
                delete c.cell;
    }
};

StateDocument::StateDocument(Grid &grid) : grid(grid) {}

DocumentSection *StateDocument::section(const QString &name) const
{
    if (name == QLatin1String("particleManager"))
        return grid.getParticleManager();
    if (name == QLatin1String("passivescalarsingleton"))
        return grid.getScalarTracers();
    if (name == QLatin1String("particles"))
        return grid.getTracers();
    if (name == QLatin1String("immersedBoundary"))
        return grid.getImmersed();
    if (name == QLatin1String("freeSurface"))
        return grid.getMeltingController();
    return nullptr;
}

void StateDocument::setPanels(const QList<Panel> &panels)
{
    panelList = panels;
}

qint64 StateDocument::estimatedLoadBytes(qint64 sites, int q, qint64 textBytes, int colours)
{
    const qint64 pointer = sizeof(BaseCell *);
    const qint64 populations = 2 * qint64(sizeof(double)) * q;
    // A fluid cell read from the document, with populations of its own, and
    // the wrapper that carries the coloured scalars, when there are any
    // (two distributions and a value per colour).
    const qint64 wrapper =
        colours > 0 ? qint64(sizeof(PassiveScalarCell)) + qint64(colours) * (2 * q + 1) * qint64(sizeof(double)) : 0;
    const qint64 cell = sizeof(SCCell) + populations + wrapper;
    // While the cells are read: the document text, the cells, and the list
    // of read cells with their sites (up to twice its length as it grows).
    const qint64 reading = textBytes + sites * (cell + 2 * qint64(sizeof(PlacedCell)));
    // While the grid is built (the text is gone): the cells by site, the
    // grid's cell and mode tables and its populations, and the plain fluid
    // its resize makes before the read cells take its place. The neighbour
    // table is formed at the first step, for the kinds that keep rows.
    const qint64 building =
        sites * (cell + pointer + pointer + qint64(sizeof(std::uint32_t)) + populations + sizeof(SCCell));
    // An eighth more for the allocators' rounding and the grid's smaller
    // tables.
    return std::max(reading, building) / 8 * 9;
}

QString StateDocument::chunkPath(const QString &path, int chunk)
{
    return path + QStringLiteral(".n") + QString::number(chunk);
}

std::pair<int, int> StateDocument::chunkRows(int height, int chunk)
{
    const int rows = height / Chunks;
    return {chunk * rows, chunk == Chunks - 1 ? height - (Chunks - 1) * rows : rows};
}

bool StateDocument::streamCells(int firstRow, int rowCount, int indent,
                                const std::function<bool(const QByteArray &)> &sink, int yShift) const
{
    const int nx = grid.getWidth(), nz = grid.getLength();
    const int q = grid.getParameters()->getModel();
    // Room for a plain fluid line per site (about 30 bytes per population).
    const qint64 perSite = 64 + indent + 30 * q;
    const qint64 rowSites = qint64(nx) * nz;
    const qint64 first = qint64(firstRow) * rowSites, count = qint64(rowCount) * rowSites;
    // More pieces than threads, so the first pieces are handed on (written)
    // while the later ones are still being formatted; and pieces split by
    // sites, not rows, so no piece outgrows what a QByteArray holds however
    // long a row is.
    const qint64 pieceBytes = qint64(128) << 20;
    const qint64 pieces = std::max<qint64>(
        1, std::min<qint64>(count, std::max<qint64>(4 * QThreadPool::globalInstance()->maxThreadCount(),
                                                    count * perSite / pieceBytes + 1)));
    // A few pieces more than threads are formatted ahead of the sink, and
    // each is let go once handed on, so the text held at once stays bounded
    // however many rows are written.
    const qint64 ahead = qint64(QThreadPool::globalInstance()->maxThreadCount()) + 2;
    std::deque<QFuture<QByteArray>> texts;
    qint64 piece = 0;
    const auto launch = [&] {
        const qint64 s0 = first + count * piece / pieces;
        const qint64 s1 = first + count * (piece + 1) / pieces;
        ++piece;
        texts.push_back(QtConcurrent::run([this, s0, s1, nx, nz, rowSites, perSite, indent, yShift] {
            QByteArray out;
            // Pages of the reserve that stay unused cost no memory.
            out.reserve(int(std::min<qint64>(std::numeric_limits<int>::max() / 2, (s1 - s0) * perSite)));
            int y = int(s0 / rowSites), x = int(s0 % rowSites / nz), z = int(s0 % nz);
            for (qint64 s = s0; s < s1; ++s) {
                if (BaseCell *cell = grid.getCell(x, y, z))
                    appendCell(out, indent, grid, cell, x, y, z, y - yShift);
                if (++z == nz) {
                    z = 0;
                    if (++x == nx) {
                        x = 0;
                        ++y;
                    }
                }
            }
            return out;
        }));
    };
    while (piece < pieces && qint64(texts.size()) < ahead)
        launch();
    bool ok = true;
    while (!texts.empty()) {
        if (ok)
            ok = sink(texts.front().result());
        else
            texts.front().waitForFinished();
        texts.pop_front();
        // After a refused piece nothing more is formatted.
        if (ok && piece < pieces)
            launch();
    }
    return ok;
}

void StateDocument::setCellSource(int height, const CellSource &source, qint64 cellBytes)
{
    sourceHeight = height;
    cellSource = source;
    sourceBytes = cellBytes;
}

bool StateDocument::formatRows(int firstRow, int rowCount, int yShift, const TextSink &sink) const
{
    return streamCells(firstRow, rowCount, 8, sink, yShift);
}

bool StateDocument::streamAllCells(int indent, const TextSink &sink) const
{
    return cellSource ? cellSource(sink) : streamCells(0, grid.getHeight(), indent, sink);
}

QByteArray StateDocument::text(int version) const
{
    QByteArray all;
    for (const QByteArray &part : parts(version))
        all.append(part);
    return all;
}

QList<QByteArray> StateDocument::parts(int version, bool withCells, const QString &path) const
{
    QList<QByteArray> list;
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter writer(&buffer);
    writer.setAutoFormatting(true);
    writer.writeStartElement("tavrine");
    writer.writeStartElement("particleManager");
    grid.getParticleManager()->write(writer);
    writer.writeEndElement();
    writer.writeStartElement("passivescalarsingleton");
    grid.getScalarTracers()->write(writer);
    writer.writeEndElement();
    // The grid goes in as text of its own, formatted in parallel; the writer
    // has finished every element it started, so the bytes join cleanly.
    QByteArray gridText("\n    <grid width=\"");
    appendInt(gridText, grid.getWidth());
    gridText.append("\" height=\"");
    appendInt(gridText, cellSource ? sourceHeight : grid.getHeight());
    gridText.append("\" length=\"");
    appendInt(gridText, grid.getLength());
    gridText.append("\" model=\"");
    appendInt(gridText, grid.getParameters()->getModel());
    if (version == 3) {
        gridText.append("\"/>");
        buffer.write(gridText);
    } else {
        gridText.append("\">");
        buffer.write(gridText);
        list.append(out);
        if (withCells)
            streamAllCells(8, [&list](const QByteArray &text) {
                list.append(text);
                return true;
            });
        out.clear();
        buffer.seek(0);
        buffer.write("\n    </grid>");
    }
    const SimulationStats &stats = grid.getStatistics();
    writer.writeStartElement("simulation");
    writer.writeAttribute("iterations", QString::number(stats.iterations));
    writer.writeAttribute("deltaP", XmlFormat::real(stats.deltaP));
    writer.writeAttribute("deltasP", QString::number(stats.fluidCells));
    writer.writeEndElement();
    writer.writeStartElement("config");
    ParametersXml::write(writer, *grid.getParameters());
    writer.writeEndElement();
    writer.writeStartElement("particles");
    grid.getTracers()->write(writer);
    writer.writeEndElement();
    writer.writeStartElement("parameters");
    grid.getScales()->passivate(writer);
    writer.writeEndElement();
    writer.writeStartElement("immersedBoundary");
    grid.getImmersed()->write(writer);
    writer.writeEndElement();
    QStringList names;
    for (const char *name : PanelOrder)
        names << QString::fromLatin1(name);
    for (const Panel &panel : panelList)
        if (!names.contains(panel.name))
            names << panel.name;
    for (const QString &name : names) {
        writer.writeStartElement(name);
        for (const Panel &panel : panelList)
            if (panel.name == name && panel.write)
                panel.write(writer);
        writer.writeEndElement();
    }
    // After the panels, so a reader that takes the panel elements in their
    // fixed order right after "immersedBoundary" finds them there; this
    // reader takes it in either place.
    writer.writeStartElement("freeSurface");
    grid.getMeltingController()->write(writer);
    writer.writeEndElement();
    if (grid.shapes()->count() > 0) {
        writer.writeStartElement("shapes");
        ShapeXml::write(writer, *grid.shapes(), path);
        writer.writeEndElement();
    }
    writer.writeEndElement();
    writer.writeEndDocument();
    list.append(out);
    return list;
}

bool StateDocument::save(const QString &path, const Options &options, QString *error) const
{
    const auto fail = [error](QSaveFile &file, const QString &why) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), why);
        file.cancelWriting();
        return false;
    };
    const auto failure = [](QSaveFile &file) {
        return file.error() != QFileDevice::NoError ? file.errorString()
                                                    : QStringLiteral("the file could not be written completely");
    };
    const auto write = [](QSaveFile &file, const QList<QByteArray> &parts) {
        if (!file.isOpen() && !file.open(QIODevice::WriteOnly))
            return false;
        for (const QByteArray &part : parts)
            if (file.write(part) != part.size())
                return false;
        return true;
    };
    // The last buffered bytes go out and are checked before anything is
    // committed: the commit itself does not report a failed final write, and
    // a file replaced by a short one is lost.
    const auto complete = [](QSaveFile &file) { return file.flush() && file.error() == QFileDevice::NoError; };
    // Cells go to the file piece by piece while later pieces are formatted.
    const auto writeRows = [this](QSaveFile &file, int firstRow, int rowCount, int indent) {
        return streamCells(firstRow, rowCount, indent,
                           [&file](const QByteArray &text) { return file.write(text) == text.size(); });
    };
    const auto writeCells = [this](QSaveFile &file, int indent) {
        return streamAllCells(indent, [&file](const QByteArray &text) { return file.write(text) == text.size(); });
    };
    if (options.version == 3 && cellSource) {
        if (error)
            *error = QStringLiteral("cannot write %1: a domain in slabs is written as one file").arg(path);
        return false;
    }
    if (options.version == 3) {
        // Every file is written aside and completed first; the files replace
        // the old ones only when all of them are complete.
        std::vector<std::unique_ptr<QSaveFile>> files;
        for (int k = 0; k < Chunks; ++k) {
            const auto rows = chunkRows(grid.getHeight(), k);
            files.push_back(std::make_unique<QSaveFile>(chunkPath(path, k)));
            QSaveFile &file = *files.back();
            if (!write(file, {"<tavrine>"}) || !writeRows(file, rows.first, rows.second, 4) ||
                !write(file, {"\n</tavrine>\n"}) || !complete(file))
                return fail(file, failure(file));
        }
        files.push_back(std::make_unique<QSaveFile>(path));
        if (!write(*files.back(), parts(3, true, path)) || !complete(*files.back()))
            return fail(*files.back(), failure(*files.back()));
        for (auto &file : files)
            if (!file->commit())
                return fail(*file, file->errorString());
        return true;
    }
    QSaveFile file(path);
    if (options.compress && cellSource && sourceBytes >= 0) {
        // Compressed as the cells arrive: no one holds the whole text.
        const QList<QByteArray> frame = parts(2, false, path);
        if (!file.open(QIODevice::WriteOnly))
            return fail(file, failure(file));
        Compression::Writer writer(&file, frame.first().size() + sourceBytes + frame.last().size());
        if (!writer.write(frame.first()) ||
            !streamAllCells(8, [&writer](const QByteArray &text) { return writer.write(text); }) ||
            !writer.write(frame.last()) || !writer.finish() || !complete(file))
            return fail(file, failure(file));
    } else if (options.compress) {
        if (!write(file, {Compression::compress(parts(2, true, path))}) || !complete(file))
            return fail(file, failure(file));
    } else {
        const QList<QByteArray> frame = parts(2, false, path);
        if (!write(file, {frame.first()}) || !writeCells(file, 8) ||
            !write(file, {frame.last()}) || !complete(file))
            return fail(file, failure(file));
    }
    if (!file.commit())
        return fail(file, file.errorString());
    return true;
}

bool StateDocument::scanCells(Parsed &parsed, QString *error)
{
    const Box box = parsed.box;
    const CellScanner scanner =
        cellScanner(grid, box, parsed.model, {0, box.height}, &parsed.unknownKinds, parsed.window);
    qint64 count = 0;
    if (!scanner.scan(parsed.cellsBegin, parsed.cellsEnd, parsed.chunkCells, error, true, &parsed.skippedCensus,
                      &count))
        return false;
    for (const auto &piece : parsed.chunkCells)
        count += qint64(piece.size());
    if (count != box.sites()) {
        *error = QStringLiteral("%1 cells for %2 sites").arg(count).arg(box.sites());
        return false;
    }
    return true;
}

bool StateDocument::scanCellBlocks(Parsed &parsed, QString *error)
{
    const Box box = parsed.box;
    const CellScanner scanner =
        cellScanner(grid, box, parsed.model, {0, box.height}, &parsed.unknownKinds, parsed.window);
    // Each block is cut before the last cell element that begins in it;
    // the rest goes with the next block.
    const qint64 block = std::max<qint64>(64, parsed.cellBlockBytes);
    static const char opening[] = "<lattice";
    QByteArray text;
    qint64 at = parsed.cellsFrom, count = 0;
    std::vector<std::vector<PlacedCell>> pieces;
    while (at < parsed.cellsTo || !text.isEmpty()) {
        const qint64 want = std::min(block, parsed.cellsTo - at);
        if (want > 0) {
            const int kept = text.size();
            text.resize(int(kept + want));
            if (parsed.cellsSource(text.data() + kept, want) != want) {
                *error = QStringLiteral("the file changed while it was read");
                return false;
            }
            at += want;
        }
        int cut = text.size();
        if (at < parsed.cellsTo) {
            cut = text.lastIndexOf(opening);
            while (cut > 0 && !std::isspace(static_cast<unsigned char>(text[cut - 1])))
                cut = text.lastIndexOf(opening, cut - 1);
            // One element longer than a block: read on.
            if (cut <= 0)
                continue;
        }
        if (!scanner.scan(text.constData(), text.constData() + cut, pieces, error, true, &parsed.skippedCensus,
                          &count))
            return false;
        for (auto &piece : pieces) {
            count += qint64(piece.size());
            parsed.chunkCells.push_back(std::move(piece));
        }
        text.remove(0, cut);
    }
    if (count != box.sites()) {
        *error = QStringLiteral("%1 cells for %2 sites").arg(count).arg(box.sites());
        return false;
    }
    return true;
}

namespace {

// The text before and after the cells of a compressed document, inflated
// once through as it is read: the grid's start tag within the first 64 MB
// and the text from the last "</grid>" on, which must be as short; false
// for a document that is not so, or whose stream is corrupt.
bool findCompressedCells(QFile &file, QByteArray &head, QByteArray &tail, qint64 &cellsFrom, qint64 &cellsTo)
{
    static const char close[] = "</grid>";
    const int closeLength = int(sizeof close) - 1;
    const qint64 around = qint64(64) << 20;
    Compression::Reader reader(&file);
    QByteArray chunk(1 << 20, Qt::Uninitialized), carry;
    int tagEnd = -1;
    qint64 at = 0;
    cellsTo = -1;
    for (;;) {
        const qint64 got = reader.read(chunk.data(), chunk.size());
        if (got < 0)
            return false;
        if (got == 0)
            break;
        QByteArray piece = chunk.left(int(got));
        if (tagEnd < 0) {
            head += piece;
            const int tag = head.indexOf("<grid ");
            tagEnd = tag < 0 ? -1 : head.indexOf('>', tag);
            if (tagEnd < 0) {
                if (head.size() >= around)
                    return false;
                continue;
            }
            piece = head.mid(tagEnd + 1);
            head.truncate(tagEnd + 1);
            at = head.size();
            cellsFrom = at;
        }
        // A tag may lie across two pieces: the end of the last one is kept.
        const QByteArray look = carry + piece;
        const qint64 lookFrom = at - carry.size();
        const int found = look.lastIndexOf(close);
        if (found >= 0) {
            cellsTo = lookFrom + found;
            tail = look.mid(found);
        } else if (cellsTo >= 0) {
            tail += piece;
        }
        if (tail.size() > around)
            return false;
        carry = look.right(closeLength - 1);
        at += piece.size();
    }
    return tagEnd > 0 && head[tagEnd - 1] != '/' && cellsTo >= 0;
}

} // namespace

bool StateDocument::loadWindowInBlocks(const QString &path, const Options &options)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray head, tail;
    qint64 cellsFrom = 0, cellsTo = 0;
    std::unique_ptr<Compression::Reader> inflating;
    std::function<qint64(char *, qint64)> source;
    if (Compression::looksCompressed(file.peek(4096))) {
        // Inflated twice as it is read, so the text is never held whole:
        // once to find where the cells lie, once to read them.
        if (!findCompressedCells(file, head, tail, cellsFrom, cellsTo) || !file.seek(0))
            return false;
        inflating = std::make_unique<Compression::Reader>(&file);
        if (!inflating->skip(cellsFrom))
            return false;
        source = [&inflating](char *data, qint64 size) { return inflating->read(data, size); };
    } else {
        const qint64 size = file.size();
        // The text before the cells: the grid's start tag within the first
        // blocks, as this program writes it.
        const qint64 around = qint64(64) << 20;
        int tagEnd = -1;
        while (head.size() < around && !file.atEnd()) {
            head += file.read(qint64(1) << 20);
            const int tag = head.indexOf("<grid ");
            tagEnd = tag < 0 ? -1 : head.indexOf('>', tag);
            if (tagEnd >= 0)
                break;
        }
        if (tagEnd < 0 || head[tagEnd - 1] == '/')
            return false;
        head.truncate(tagEnd + 1);
        // The text after them, from the last "</grid>".
        static const char close[] = "</grid>";
        qint64 tailFrom = size;
        int closeAt = -1;
        while (closeAt < 0 && tailFrom > head.size() && size - tailFrom < around) {
            const qint64 from = std::max<qint64>(head.size(), tailFrom - (qint64(1) << 20));
            if (!file.seek(from))
                return false;
            // Joined to what was read, so a tag across two blocks is found.
            tail = file.read(tailFrom - from) + tail;
            tailFrom = from;
            closeAt = tail.lastIndexOf(close);
        }
        if (closeAt < 0)
            return false;
        tail = tail.mid(closeAt);
        cellsFrom = head.size();
        cellsTo = tailFrom + closeAt;
        if (!file.seek(cellsFrom))
            return false;
        source = [&file](char *data, qint64 size) { return file.read(data, size); };
    }
    Parsed parsed;
    parsed.census = options.census;
    parsed.cellsSource = source;
    parsed.cellsFrom = cellsFrom;
    parsed.cellsTo = cellsTo;
    parsed.cellBlockBytes = options.cellBlockBytes;
    QByteArray rest = head + tail;
    QBuffer restDevice(&rest);
    restDevice.open(QIODevice::ReadOnly);
    QString why;
    bool ok = false;
    try {
        // The text held at once: the text around the cells and a block.
        ok = parse(restDevice, rest.size() + 2 * std::max<qint64>(64, options.cellBlockBytes), path, options, parsed,
                   &why);
    } catch (const std::bad_alloc &) {
    } catch (const QException &) {
    }
    if (!ok)
        return false;
    commit(parsed);
    return true;
}

bool StateDocument::parse(QIODevice &device, qint64 size, const QString &path, const Options &options, Parsed &parsed,
                          QString *error)
{
    const qint64 limit = options.memoryLimit > 0 ? options.memoryLimit : defaultMemoryLimit();
    QXmlStreamReader reader(&device);
    // A document type declaration can give the cell elements attributes by
    // default, which only the general reader applies: the cell scanner
    // leaves such a document to it.
    while (!reader.atEnd() && reader.readNext() != QXmlStreamReader::StartElement) {
        if (reader.tokenType() == QXmlStreamReader::DTD && (parsed.cellsBegin || parsed.cellsSource)) {
            *error = QStringLiteral("a document type declaration");
            return false;
        }
    }
    if (!reader.isStartElement() || reader.name() != QLatin1String("tavrine")) {
        *error = reader.hasError() ? reader.errorString() : QStringLiteral("the root element is not \"tavrine\"");
        return false;
    }
    ChildElements root(reader);
    while (root.next()) {
        const QStringRef name = reader.name();
        if (name == QLatin1String("grid")) {
            if (parsed.haveGrid) {
                *error = QStringLiteral("the document holds two grids");
                return false;
            }
            parsed.haveGrid = true;
            AttributeReader a(reader);
            parsed.box.width = a.integer("width", 0, 1);
            parsed.box.height = a.integer("height", 0, 1);
            parsed.box.length = a.integer("length", 0, 1);
            parsed.model = a.integer("model", grid.getParameters()->getModel());
            if (parsed.model != 9 && parsed.model != 15 && parsed.model != 19 && parsed.model != 27)
                a.reject("model", QStringLiteral("is %1, not one of 9, 15, 19, 27").arg(parsed.model));
            if (!a.ok()) {
                *error = a.error();
                return false;
            }
            if (!parsed.box.fits()) {
                *error = QStringLiteral("a grid of %1 x %2 x %3 sites is more than the %4 sites a grid can hold")
                             .arg(parsed.box.width)
                             .arg(parsed.box.height)
                             .arg(parsed.box.length)
                             .arg(Box::MaxSites);
                return false;
            }
            if (options.rowCount >= 0) {
                if (options.version != 2 || options.rowCount < 1 || options.rowCount > parsed.box.height) {
                    *error = QStringLiteral("%1 rows from row %2 cannot be read of a grid of %3 rows")
                                 .arg(options.rowCount)
                                 .arg(options.firstRow)
                                 .arg(parsed.box.height);
                    return false;
                }
                const int h = parsed.box.height;
                parsed.window.assign(std::size_t(h), -1);
                for (int r = 0; r < options.rowCount; ++r)
                    parsed.window[std::size_t(((options.firstRow + r) % h + h) % h)] = r;
                parsed.windowRows = options.rowCount;
            }
            const qint64 sites = parsed.builtSites();
            // Version 3 holds the text of its chunk files while it reads.
            qint64 text = size;
            if (options.version == 3)
                for (int k = 0; k < Chunks; ++k)
                    text += QFileInfo(chunkPath(path, k)).size();
            const qint64 needed = estimatedLoadBytes(sites, parsed.model, text, colourSources(parsed.sections));
            if (needed > limit) {
                *error = QStringLiteral("a grid of %1 x %2 x %3 sites needs about %4 MB of memory, more than the "
                                        "%5 MB available")
                             .arg(parsed.box.width)
                             .arg(parsed.box.height)
                             .arg(parsed.box.length)
                             .arg(needed >> 20)
                             .arg(limit >> 20);
                return false;
            }
            // The cells are built for the document's lattice model, in one
            // run of memory each (the size is within the limit checked above).
            grid.getParameters()->setModel(parsed.model);
            BlockPool::expect(sizeof(SCCell), std::size_t(sites));
            BlockPool::expect(2 * sizeof(double) * std::size_t(parsed.model), std::size_t(sites));
            if (options.version == 3) {
                ChildElements none(reader);
                while (none.next()) {
                }
                continue;
            }
            if (parsed.cellsBegin || parsed.cellsSource) {
                ChildElements none(reader);
                while (none.next()) {
                }
                if (!(parsed.cellsSource ? scanCellBlocks(parsed, error) : scanCells(parsed, error)))
                    return false;
                continue;
            }
            if (!readCells(reader, &grid, parsed.box, 0, parsed.box.height, parsed.cells, &parsed.unknownKinds, error,
                           parsed.window, &parsed.skippedCensus))
                return false;
        } else if (name == QLatin1String("simulation")) {
            AttributeReader a(reader);
            parsed.iterations = a.integer("iterations", 0, 0);
            parsed.deltaP = a.real("deltaP");
            if (!a.ok()) {
                *error = a.error();
                return false;
            }
        } else if (name == QLatin1String("config")) {
            parsed.config = std::make_unique<SimulationParameters>(nullptr);
            parsed.config->copyPersistedFrom(*grid.getParameters());
            parsed.configHasMulticomponent = reader.attributes().hasAttribute("mcQuantity");
            QString why;
            if (!ParametersXml::read(reader, *parsed.config, &why)) {
                *error = why;
                return false;
            }
        } else if (name == QLatin1String("parameters")) {
            parsed.scales = std::make_unique<UnitScales>(*grid.getScales());
            QString why;
            if (!parsed.scales->activate(reader, &why)) {
                *error = why;
                return false;
            }
        } else if (name == QLatin1String("shapes")) {
            if (!ShapeXml::read(reader, path, parsed.shapes, error))
                return false;
        } else if (section(name.toString())) {
            QByteArray copy;
            if (!captureElement(reader, &copy, false, error))
                return false;
            parsed.sections.append({name.toString(), copy});
        } else {
            for (int i = 0; i < panelList.size(); ++i) {
                if (panelList[i].name == name && panelList[i].read) {
                    QByteArray copy;
                    if (!captureElement(reader, &copy, false, error))
                        return false;
                    parsed.panels.append({i, copy});
                    break;
                }
            }
            // Elements without a reader ("scheduler", "regression" and
            // unknown ones) are skipped whole.
        }
    }
    if (reader.hasError()) {
        *error = QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
        return false;
    }
    if (!root.finished()) {
        *error = QStringLiteral("the document is truncated");
        return false;
    }
    if (!parsed.haveGrid) {
        *error = QStringLiteral("the document holds no grid");
        return false;
    }
    if (parsed.config && parsed.config->getModel() != parsed.model) {
        *error = QStringLiteral("the configuration's model %1 differs from the grid's %2")
                     .arg(parsed.config->getModel())
                     .arg(parsed.model);
        return false;
    }
    if (options.version == 3) {
        parsed.chunkCells.resize(Chunks);
        std::vector<QString> errors(Chunks);
        QVector<int> chunks(Chunks);
        std::iota(chunks.begin(), chunks.end(), 0);
        std::atomic<qint64> budget(limit - size);
        QtConcurrent::blockingMap(chunks, [&](int k) {
            QFile file(chunkPath(path, k));
            if (!file.open(QIODevice::ReadOnly)) {
                errors[k] = QStringLiteral("cannot open %1").arg(file.fileName());
                return;
            }
            if ((budget -= file.size()) < 0) {
                errors[k] = QStringLiteral("%1 is larger than the memory allowed").arg(file.fileName());
                return;
            }
            // Read whole into memory: a file cut short while it is read
            // gives a message, where a mapping of it would give a signal.
            DocumentBytes text;
            QString why;
            if (!text.readFile(file, &why, false)) {
                errors[k] = QStringLiteral("%1: %2").arg(file.fileName(), why);
                return;
            }
            const auto rows = chunkRows(parsed.box.height, k);
            if (options.scanCells && scanChunk(text.data(), text.size(), grid, parsed.box, parsed.model, rows,
                                               parsed.chunkCells[k], &parsed.unknownKinds))
                return;
            MemoryDevice device(text.data(), text.size());
            QXmlStreamReader chunkReader(&device);
            if (!chunkReader.readNextStartElement() || chunkReader.name() != QLatin1String("tavrine")) {
                errors[k] = QStringLiteral("%1: the root element is not \"tavrine\"").arg(file.fileName());
                return;
            }
            if (!readCells(chunkReader, &grid, parsed.box, rows.first, rows.second, parsed.chunkCells[k],
                           &parsed.unknownKinds, &why))
                errors[k] = QStringLiteral("%1: %2").arg(file.fileName(), why);
        });
        for (const QString &e : errors)
            if (!e.isEmpty()) {
                *error = e;
                return false;
            }
    }
    // The colours wrap every site once the grid is built; their settings
    // may come after the grid.
    const int colours = colourSources(parsed.sections);
    if (colours > 0 && estimatedLoadBytes(parsed.builtSites(), parsed.model, 0, colours) > limit) {
        *error = QStringLiteral("a grid of %1 sites with %2 coloured scalars needs about %3 MB of memory, more than "
                                "the %4 MB available")
                     .arg(parsed.builtSites())
                     .arg(colours)
                     .arg(estimatedLoadBytes(parsed.builtSites(), parsed.model, 0, colours) >> 20)
                     .arg(limit >> 20);
        return false;
    }
    // Each site must be named exactly once. The counts are checked already,
    // so this array has the size of cells really read.
    parsed.placed.assign(std::size_t(parsed.builtSites()), nullptr);
    const auto place = [&](std::vector<PlacedCell> &list) {
        for (PlacedCell &c : list) {
            BaseCell *&slot = parsed.placed[std::size_t(c.site)];
            if (slot) {
                *error = QStringLiteral("two cells at site %1").arg(c.site);
                return false;
            }
            slot = c.cell;
            c.cell = nullptr;
        }
        std::vector<PlacedCell>().swap(list);
        return true;
    };
    if (!place(parsed.cells))
        return false;
    for (auto &chunk : parsed.chunkCells)
        if (!place(chunk))
            return false;
    return true;
}

void StateDocument::commit(Parsed &parsed)
{
    const Box &box = parsed.box;
    std::vector<BaseCell *> placed;
    placed.swap(parsed.placed);
    const int rows = parsed.builtRows();
    grid.resize(box.width, rows, box.length);
    // A document without bodies, tracers or colours leaves none from before.
    grid.getImmersed()->clear();
    grid.getTracers()->clear();
    grid.getScalarTracers()->clearSources();
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < box.width; ++x)
            for (int z = 0; z < box.length; ++z)
                grid.setCell(x, y, z, placed[std::size_t(grid.siteIndex(x, y, z))], true, false);
    if (parsed.census) {
        // The rows read are counted by the cells built, the others by the
        // kinds their elements name.
        RowCensus &census = *parsed.census;
        census = RowCensus();
        census.working.assign(std::size_t(box.height), 0);
        census.add(parsed.skippedCensus);
        std::vector<int> domainRow(static_cast<std::size_t>(rows), 0);
        for (int y = 0; y < box.height; ++y)
            if (parsed.window.empty() || parsed.window[std::size_t(y)] >= 0)
                domainRow[std::size_t(parsed.window.empty() ? y : parsed.window[std::size_t(y)])] = y;
        grid.forEachCell([&](BaseCell *cell, int, int y, int) {
            const std::type_info &kind = typeid(*cell);
            census.count(domainRow[std::size_t(y)], kind == typeid(NullCell),
                         PlainSite::isPlainFluid(cell) || kind == typeid(WallCell) || kind == typeid(NullCell));
        });
    }

    if (parsed.unknownKinds > 0) {
        const QString note = QStringLiteral("%1 cells of an unknown kind or of none became plain fluid")
                                 .arg(qint64(parsed.unknownKinds));
        QMessageLogger(__FILE__, __LINE__, Q_FUNC_INFO).warning("load error: %s", qPrintable(note));
        loadWarnings << note;
    }

    SimulationStats &stats = grid.getStatistics();
    stats.iterations = parsed.iterations;
    stats.deltaP = parsed.deltaP;
    int fluid = 0;
    double total = 0.0;
    grid.forEachCell([&](BaseCell *cell, int, int, int) {
        if (cell->isFluid())
            ++fluid;
        total += cell->getP(-1);
    });
    stats.fluidCells = fluid;
    stats.totalP = total;

    SimulationParameters *parameters = grid.getParameters();
    if (parsed.config) {
        parameters->copyPersistedFrom(*parsed.config);
        // The document's forces replace the running ones, also when it
        // lists none.
        parameters->takeForcesFrom(*parsed.config);
        if (parsed.configHasMulticomponent)
            parameters->setMulticomponent(parsed.config->getMcQuantity(), parsed.config->getMcG(),
                                          parsed.config->getMcGads(), parsed.config->getMcGads2(),
                                          parsed.config->getMcType());
    }
    parameters->setNeedsNeighbourRebuild(true);
    if (parsed.scales)
        *grid.getScales() = *parsed.scales;
    // The shapes' walls are placed again (under the document's parameters),
    // so they cut their links at exactly the fractions they had.
    ShapeXml::apply(grid, parsed.shapes);

    // Particles, tracers and immersed bodies come after the cells, so they
    // can find the cells they belong to.
    for (const auto &element : parsed.sections) {
        QXmlStreamReader reader(element.second);
        reader.readNextStartElement();
        QString why;
        if (!section(element.first)->read(reader, &why)) {
            loadWarnings << QStringLiteral("element \"%1\": %2").arg(element.first, why);
            sectionsUnread << element.first;
        }
    }
    for (const auto &panel : parsed.panels) {
        QXmlStreamReader reader(panel.second);
        reader.readNextStartElement();
        QString why;
        if (!panelList[panel.first].read(reader, &why))
            loadWarnings << QStringLiteral("element \"%1\": %2").arg(panelList[panel.first].name, why);
    }
    // Walls get their neighbour blocks now, so the drag reads right before
    // the first step.
    grid.buildNeighbours();
    parameters->setNeedsNeighbourRebuild(true);
    grid.notify(2);
}

bool StateDocument::load(const QString &path, const Options &options, QString *error)
{
    loadWarnings.clear();
    sectionsUnread.clear();
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    // A row window of a document as this program writes it is read without
    // the whole text; any other document, and any refusal (whose message
    // the general load gives), goes the general way.
    if (options.rowCount >= 0 && options.version == 2 && options.scanCells) {
        SimulationParameters *parameters = grid.getParameters();
        const int oldModel = parameters->getModel();
        const bool oldRebuild = parameters->getNeedsNeighbourRebuild();
        if (loadWindowInBlocks(path, options))
            return true;
        if (parameters->getModel() != oldModel) {
            parameters->setModel(oldModel);
            parameters->setNeedsNeighbourRebuild(oldRebuild);
        }
    }
    const qint64 limit = options.memoryLimit > 0 ? options.memoryLimit : defaultMemoryLimit();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    if (file.size() > limit)
        return fail(QStringLiteral("%1 is larger than the %2 MB allowed").arg(path).arg(limit >> 20));
    // The document is read whole into memory (and inflated there when it is
    // compressed): a file cut short or replaced while it loads gives a
    // message, where a mapping of it would give a signal.
    DocumentBytes text;
    qint64 size = file.size();
    {
        QString why;
        if (!text.readFile(file, &why))
            return fail(QStringLiteral("%1: %2").arg(path, why));
        file.close();
        if (Compression::looksCompressed(
                QByteArray::fromRawData(text.data(), int(std::min<qint64>(text.size(), 4096))))) {
            DocumentBytes inflated;
            if (!Compression::inflate(text.data(), text.size(), limit - size, &inflated, &why))
                return fail(QStringLiteral("%1: %2").arg(path, why));
            text = std::move(inflated);
            size = text.size();
        }
    }
    MemoryDevice device(text.data(), text.size());

    SimulationParameters *parameters = grid.getParameters();
    const int oldModel = parameters->getModel();
    const bool oldRebuild = parameters->getNeedsNeighbourRebuild();
    const auto restoreModel = [&] {
        // The cells were built for the document's model; the running grid
        // keeps its own.
        if (parameters->getModel() != oldModel) {
            parameters->setModel(oldModel);
            parameters->setNeedsNeighbourRebuild(oldRebuild);
        }
    };
    QString why;
    // Memory that runs out while the document is read (a parallel reader's
    // failure arrives as Qt's wrapper of it) refuses the document; the read
    // cells go with the parse.
    const auto parseChecked = [&](QIODevice &from, Parsed &parsed) {
        try {
            return parse(from, size, path, options, parsed, &why);
        } catch (const std::bad_alloc &) {
        } catch (const QException &) {
        }
        why = QStringLiteral("not enough memory to read it");
        return false;
    };

    // The cells of a version-2 document are read by hand in parallel, and the
    // rest of the document by the XML reader. When the scanner meets anything
    // it does not read exactly, the whole document is read the general way.
    if (options.version == 2 && options.scanCells) {
        const char *data = text.data();
        const qint64 bytes = text.size();
        const char *begin = nullptr;
        const char *end = nullptr;
        // The text around the cells is small in any document this program
        // writes; one that is not is read the general way.
        if (data && findCells(data, bytes, &begin, &end) && bytes - (end - begin) < qint64(64) << 20) {
            QByteArray rest(data, int(begin - data));
            rest.append(end, int(data + bytes - end));
            QBuffer restDevice(&rest);
            restDevice.open(QIODevice::ReadOnly);
            Parsed parsed;
            parsed.census = options.census;
            parsed.cellsBegin = begin;
            parsed.cellsEnd = end;
            if (parseChecked(restDevice, parsed)) {
                // The text is read; its memory goes before the grid is built.
                text.clear();
                commit(parsed);
                return true;
            }
            restoreModel();
        }
    }

    Parsed parsed;
    parsed.census = options.census;
    if (!parseChecked(device, parsed)) {
        restoreModel();
        return fail(QStringLiteral("%1: %2").arg(path, why));
    }
    text.clear();
    commit(parsed);
    return true;
}
