#include "cellscanner.h"

#include "rowcensus.h"

#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QVector>
#include <QtConcurrent>

#include <charconv>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string_view>

namespace {

struct Attribute
{
    std::string_view name;
    std::string_view value;
};

// More attributes than a plain fluid cell of the largest lattice can carry
// (position, type, density, delta and two population sets).
constexpr int MaxAttributes = 6 + 2 * Lattice::MaxQ;

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.' || c == ':';
}

// The number must fill the whole value, as the general reader's check does;
// leading or trailing spaces, a plus sign or hexadecimal forms are left to it.
bool toReal(std::string_view text, double *v)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), *v);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && !text.empty() && std::isfinite(*v);
}

bool toInt(std::string_view text, int *v)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), *v);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && !text.empty();
}

// "f12" -> 12 for the given letter, -1 for any other name.
int indexedName(std::string_view name, char letter)
{
    if (name.size() < 2 || name.size() > 3 || name[0] != letter)
        return -1;
    int i = 0;
    if (!toInt(name.substr(1), &i) || (name.size() == 3 && name[1] == '0'))
        return -1;
    return i;
}

// The end of the element starting at p (just past its closing "/>" or end
// tag), or null when the text is not plain elements and attributes. Quoted
// values are skipped, so a '>' inside one does not end the tag.
const char *elementEnd(const char *p, const char *end)
{
    int depth = 0;
    while (p < end) {
        if (*p != '<') {
            ++p;
            continue;
        }
        if (p + 1 >= end || p[1] == '!' || p[1] == '?')
            return nullptr;
        const bool closing = p[1] == '/';
        ++p;
        char quote = 0;
        while (p < end && (quote || *p != '>')) {
            if (quote && *p == quote)
                quote = 0;
            else if (!quote && (*p == '"' || *p == '\''))
                quote = *p;
            ++p;
        }
        if (p == end)
            return nullptr;
        const bool selfClosing = p[-1] == '/';
        ++p;
        if (closing)
            --depth;
        else if (!selfClosing)
            ++depth;
        if (depth == 0)
            return p;
        if (depth < 0)
            return nullptr;
    }
    return nullptr;
}

// A plain fluid cell, plain wall or null cell from its attributes, or null
// when the element is anything else or holds anything the general reader
// would treat differently (it then reads the element).
BaseCell *plainCell(const Attribute *attributes, int n, int width, int firstRow, int lastRow, int length, int q,
                    const std::vector<int> &window, qint64 *site)
{
    int x = -1, y = -1, z = -1;
    std::string_view type;
    double p0 = 0.0, delta = 0.0;
    bool haveP0 = false, haveDelta = false;
    double f[Lattice::MaxQ], next[Lattice::MaxQ];
    unsigned long fSeen = 0, nSeen = 0;
    for (int k = 0; k < n; ++k) {
        const std::string_view name = attributes[k].name;
        const std::string_view value = attributes[k].value;
        int i;
        if (name == "x" || name == "y" || name == "z") {
            int &c = name == "x" ? x : name == "y" ? y : z;
            if (c != -1 || !toInt(value, &c) || c < 0)
                return nullptr;
        } else if (name == "type") {
            if (!type.empty())
                return nullptr;
            type = value;
        } else if (name == "p0") {
            if (haveP0 || !toReal(value, &p0))
                return nullptr;
            haveP0 = true;
        } else if (name == "lastDeltaP") {
            if (haveDelta || !toReal(value, &delta) || delta < 0.0)
                return nullptr;
            haveDelta = true;
        } else if ((i = indexedName(name, 'f')) >= 0 && i < q) {
            if ((fSeen >> i & 1) || !toReal(value, &f[i]))
                return nullptr;
            fSeen |= 1ul << i;
        } else if ((i = indexedName(name, 'n')) >= 0 && i < q) {
            if ((nSeen >> i & 1) || !toReal(value, &next[i]))
                return nullptr;
            nSeen |= 1ul << i;
        } else {
            return nullptr;
        }
    }
    if (x < 0 || y < firstRow || z < 0 || x >= width || y > lastRow || z >= length)
        return nullptr;
    if (!window.empty() && window[std::size_t(y)] < 0)
        return nullptr;
    *site = (qint64(window.empty() ? y : window[std::size_t(y)]) * width + x) * length + z;
    const bool onlyPosition = !haveP0 && !haveDelta && fSeen == 0 && nSeen == 0;
    if (type == "wall" && onlyPosition)
        return new WallCell;
    if (type == "null" && onlyPosition)
        return new NullCell;
    const unsigned long all = (1ul << q) - 1;
    // Next populations count only when the set starts at n0.
    if (type != "singleComponent" || fSeen != all || (nSeen && !(nSeen & 1)))
        return nullptr;
    auto *cell = new SCCell(1.0, q);
    cell->restore(haveP0 ? p0 : cell->getP0(), delta, f);
    for (int i = 0; i < q; ++i)
        if (nSeen >> i & 1)
            cell->setNextF(i, next[i], 0);
    return cell;
}

} // namespace

CellScanner::CellScanner(int width, int height, int length, int q, ElementReader readElement, int firstRow,
                         int rowCount)
    : width(width), length(length), q(q), readElement(std::move(readElement)), firstRow(firstRow),
      lastRow(rowCount < 0 ? height - 1 : firstRow + rowCount - 1)
{}

void CellScanner::setWindow(std::vector<int> localRows)
{
    window = std::move(localRows);
}

bool CellScanner::scan(const char *begin, const char *end, std::vector<std::vector<PlacedCell>> &pieces, QString *error,
                       bool parallel, RowCensus *census, qint64 *skipped) const
{
    // Pieces start where a cell element opens after a space. A split that falls
    // inside an element leaves the piece before it with an unclosed element,
    // which that piece refuses.
    const qint64 size = end - begin;
    const int wanted = parallel ? int(std::min<qint64>(256, std::max<qint64>(1, size >> 20))) : 1;
    std::vector<const char *> starts{begin};
    static const char opening[] = "<lattice";
    for (int k = 1; k < wanted; ++k) {
        const char *at = std::max(starts.back(), begin + size * k / wanted);
        do
            at = std::search(at + 1, end, opening, opening + sizeof(opening) - 1);
        while (at != end && !isSpace(at[-1]));
        if (at == end)
            break;
        starts.push_back(at);
    }
    starts.push_back(end);
    const int count = int(starts.size()) - 1;
    pieces.assign(static_cast<std::size_t>(count), {});
    std::vector<QString> errors(static_cast<std::size_t>(count));
    std::vector<RowCensus> censuses(static_cast<std::size_t>(count));
    std::vector<qint64> left(static_cast<std::size_t>(count), 0);
    QVector<int> order(count);
    std::iota(order.begin(), order.end(), 0);
    const auto scanOne = [&](int k) {
        if (!scanPiece(starts[std::size_t(k)], starts[std::size_t(k) + 1], pieces[std::size_t(k)],
                       &errors[std::size_t(k)], censuses[std::size_t(k)], left[std::size_t(k)])) {
            for (const PlacedCell &c : pieces[std::size_t(k)])
                delete c.cell;
            pieces[std::size_t(k)].clear();
        }
    };
    // One piece runs here: the caller may itself be a pool thread.
    if (count == 1)
        scanOne(0);
    else
        QtConcurrent::blockingMap(order, scanOne);
    for (const QString &e : errors) {
        if (e.isEmpty())
            continue;
        for (auto &piece : pieces) {
            for (const PlacedCell &c : piece)
                delete c.cell;
            piece.clear();
        }
        *error = e;
        return false;
    }
    for (std::size_t k = 0; k < censuses.size(); ++k) {
        if (census)
            census->add(censuses[k]);
        if (skipped)
            *skipped += left[k];
    }
    return true;
}

bool CellScanner::scanPiece(const char *p, const char *end, std::vector<PlacedCell> &cells, QString *error,
                            RowCensus &census, qint64 &skipped) const
{
    static const std::string_view latticeTag("<lattice");
    Attribute attributes[MaxAttributes];
    while (true) {
        while (p < end && isSpace(*p))
            ++p;
        if (p == end)
            return true;
        const char *start = p;
        if (std::size_t(end - p) <= latticeTag.size() || std::string_view(p, latticeTag.size()) != latticeTag ||
            !(isSpace(p[latticeTag.size()]) || p[latticeTag.size()] == '/' || p[latticeTag.size()] == '>')) {
            *error = QStringLiteral("an element other than a cell");
            return false;
        }
        p += latticeTag.size();
        // The attributes, as long as the tag stays simple.
        int n = 0;
        bool simple = true;
        bool selfClosing = false;
        while (true) {
            while (p < end && isSpace(*p))
                ++p;
            if (p == end) {
                *error = QStringLiteral("the cells end inside a tag");
                return false;
            }
            if (*p == '/') {
                selfClosing = p + 1 < end && p[1] == '>';
                break;
            }
            if (*p == '>')
                break;
            const char *name = p;
            while (p < end && isNameChar(*p))
                ++p;
            const char *nameEnd = p;
            while (p < end && isSpace(*p))
                ++p;
            if (name == nameEnd || p == end || *p != '=') {
                *error = QStringLiteral("a malformed attribute");
                return false;
            }
            ++p;
            while (p < end && isSpace(*p))
                ++p;
            if (p == end || (*p != '"' && *p != '\'')) {
                *error = QStringLiteral("a malformed attribute");
                return false;
            }
            const char quote = *p++;
            const char *value = p;
            bool references = false;
            while (p < end && *p != quote) {
                references |= *p == '&' || *p == '<';
                ++p;
            }
            if (p == end) {
                *error = QStringLiteral("the cells end inside a value");
                return false;
            }
            const std::string_view text(value, std::size_t(p - value));
            ++p;
            // Attributes are separated by white space.
            if (p < end && !isSpace(*p) && *p != '/' && *p != '>') {
                *error = QStringLiteral("attributes without a space between them");
                return false;
            }
            if (references) {
                *error = QStringLiteral("a value with references");
                return false;
            }
            if (n == MaxAttributes)
                simple = false;
            else
                attributes[n++] = {std::string_view(name, std::size_t(nameEnd - name)), text};
        }
        // An element of a row outside the window is read no further than
        // its row and kind. One without a plain row is left to the element
        // reader, which refuses it.
        if (!window.empty() && simple) {
            int y = -1;
            std::string_view type;
            for (int k = 0; k < n; ++k) {
                if (attributes[k].name == "y" && !toInt(attributes[k].value, &y))
                    y = -1;
                else if (attributes[k].name == "type")
                    type = attributes[k].value;
            }
            if (y >= firstRow && y <= lastRow && window[std::size_t(y)] < 0) {
                const char *stop = selfClosing ? p + 2 : elementEnd(start, end);
                if (!stop) {
                    *error = QStringLiteral("an unclosed cell element");
                    return false;
                }
                census.count(y, type == "null", type == "null" || type == "wall" || type == "singleComponent");
                ++skipped;
                p = stop;
                continue;
            }
        }
        // Plain cells are built here; everything else goes to the element
        // reader with its whole text.
        qint64 site = -1;
        BaseCell *cell = nullptr;
        if (simple && selfClosing) {
            cell = plainCell(attributes, n, width, firstRow, lastRow, length, q, window, &site);
            if (cell)
                p += 2;
        }
        if (!cell) {
            const char *stop = elementEnd(start, end);
            if (!stop) {
                *error = QStringLiteral("an unclosed cell element");
                return false;
            }
            QString why;
            cell = readElement(QByteArray(start, int(stop - start)), &site, &why);
            if (!cell) {
                *error = why;
                return false;
            }
            p = stop;
        }
        cells.push_back({site, cell});
    }
}
