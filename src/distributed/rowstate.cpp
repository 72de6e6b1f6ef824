#include "rowstate.h"

#include "model/latticeboltzmann/cellfactory.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/passivescalar.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/multi/mccell.h"
#include "model/latticeboltzmann/multi/rkcell.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/plainsite.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QBuffer>
#include <QtConcurrent>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <typeinfo>
#include <vector>

namespace {

enum Kind : char { Fluid = 'f', Wall = 'w', Null = 'n', Element = 'e' };
// What a lean pack writes of plain fluid: only its current populations; of
// a heat cell: its current fluid populations, then its scalar ones; of a
// two- or three-component mixture: its component count and common
// velocity, then each component's current populations; of a
// colour-gradient cell: its current red, then its blue populations.
constexpr char FluidPopulations = 'p', HeatPopulations = 'h', MixturePopulations = 'm', ColourPopulations = 'r';

// Reads values off the bytes, refusing to run past their end.
class Reader
{
public:
    explicit Reader(const QByteArray &bytes) : at(bytes.constData()), end(bytes.constData() + bytes.size()) {}
    template <typename T> bool get(T &value)
    {
        if (end - at < qint64(sizeof value))
            return false;
        std::memcpy(&value, at, sizeof value);
        at += sizeof value;
        return true;
    }
    bool bytes(QByteArray &out, quint32 n)
    {
        if (end - at < qint64(n))
            return false;
        out = QByteArray(at, int(n));
        at += n;
        return true;
    }
    bool atEnd() const { return at == end; }

private:
    const char *at;
    const char *end;
};

Kind kindOf(BaseCell *cell)
{
    const std::type_info &kind = typeid(*cell);
    if (PlainSite::isPlainFluid(cell))
        return Fluid;
    if (kind == typeid(WallCell))
        return Wall;
    if (kind == typeid(NullCell))
        return Null;
    return Element;
}

// A cell that travels lean: the byte naming its kind and its number of
// population sets; kind 0 for any other cell. Its current populations are
// what such a ghost site needs, with a mixture's common velocity: what else
// its next step reads of it (a colour cell's densities and phase, the
// densities the forces read) it forms from them as it does after every
// commit, and what only its own rows' reports read (the last collision's
// shifts and forces, the last change) the ghost rows never report. A
// mixture's common velocity is formed from its populations at every commit
// too, but not by a reset, which leaves it at rest, nor by a document that
// brings it along; the ghost takes it as it is.
struct LeanSite
{
    char kind;
    int sets;
};

LeanSite leanSite(BaseCell *cell)
{
    const std::type_info &kind = typeid(*cell);
    if (PlainSite::isPlainFluid(cell))
        return {FluidPopulations, 1};
    if (kind == typeid(PassiveScalar))
        return {HeatPopulations, 2};
    if (kind == typeid(MCCell))
        return {MixturePopulations, static_cast<MCCell *>(cell)->componentCount()};
    if (kind == typeid(RKCell))
        return {ColourPopulations, 2};
    return {0, 0};
}

const char *leanName(char kind)
{
    switch (kind) {
    case HeatPopulations:
        return "heat populations";
    case MixturePopulations:
        return "mixture populations";
    case ColourPopulations:
        return "colour populations";
    default:
        return "populations";
    }
}

// Replaces the site's cell with a new cell of the named kind, which the
// caller then fills; null for a kind the factory does not know.
BaseCell *replace(Grid &grid, int x, int y, int z, const QString &type)
{
    BaseCell *cell = CellFactory::create(type, grid);
    if (cell)
        grid.setCell(x, y, z, cell, true, false);
    return cell;
}

// Sites per piece of the populations packed side by side.
constexpr qint64 PieceSites = 2048;

// Runs work(piece) for the pieces [0, pieces), on the pool when parallel.
template <typename Work> void forPieces(qint64 pieces, bool parallel, Work work)
{
    if (!parallel || pieces < 2) {
        for (qint64 k = 0; k < pieces; ++k)
            work(k);
        return;
    }
    std::vector<qint64> indices(static_cast<std::size_t>(pieces));
    for (qint64 k = 0; k < pieces; ++k)
        indices[std::size_t(k)] = k;
    QtConcurrent::blockingMap(indices, [&work](qint64 k) { work(k); });
}

} // namespace

namespace {

// The directions of the lattice whose populations move along y by towards
// (-1 or +1).
int crossingDirections(const Grid &grid, int towards, int *directions)
{
    const int q = grid.getParameters()->getModel();
    int n = 0;
    for (int i = 0; i < q; ++i)
        if (Lattice::tables.e[q][i][1] == towards)
            directions[n++] = i;
    return n;
}

// The fluid sites of a row before each piece of PieceSites sites (the last
// entry: all of them); false when the row holds a cell other than plain
// fluid, a plain wall or a null cell.
bool fluidBeforePieces(const Grid &grid, int row, std::vector<qint64> &fluidBefore)
{
    const int nz = grid.getLength();
    const qint64 sites = qint64(grid.getWidth()) * nz;
    fluidBefore.assign(std::size_t((sites + PieceSites - 1) / PieceSites) + 1, 0);
    for (qint64 s = 0; s < sites; ++s) {
        const Kind kind = kindOf(grid.getCell(int(s / nz), row, int(s % nz)));
        if (kind == Element)
            return false;
        if (kind == Fluid)
            ++fluidBefore[std::size_t(s / PieceSites) + 1];
    }
    for (std::size_t k = 1; k < fluidBefore.size(); ++k)
        fluidBefore[k] += fluidBefore[k - 1];
    return true;
}

} // namespace

bool RowState::packCrossing(const Grid &grid, int row, int towards, bool parallel, QByteArray &out)
{
    const int nz = grid.getLength();
    const qint64 sites = qint64(grid.getWidth()) * nz;
    std::vector<qint64> fluidBefore;
    if (!fluidBeforePieces(grid, row, fluidBefore))
        return false;
    int directions[Lattice::MaxQ];
    const int n = crossingDirections(grid, towards, directions);
    const qint64 perFluid = qint64(sizeof(double)) * n;
    out = QByteArray(int(perFluid * fluidBefore.back()), Qt::Uninitialized);
    char *const data = out.data();
    forPieces(qint64(fluidBefore.size()) - 1, parallel, [&](qint64 k) {
        char *at = data + perFluid * fluidBefore[std::size_t(k)];
        for (qint64 s = k * PieceSites; s < std::min(sites, (k + 1) * PieceSites); ++s) {
            BaseCell *cell = grid.getCell(int(s / nz), row, int(s % nz));
            if (kindOf(cell) != Fluid)
                continue;
            BaseCell *fluid = cell;
            for (int d = 0; d < n; ++d) {
                const double value = fluid->getF(directions[d], 0);
                std::memcpy(at, &value, sizeof value);
                at += sizeof value;
            }
        }
    });
    return true;
}

bool RowState::unpackCrossing(Grid &grid, int row, int towards, const QByteArray &bytes, bool parallel,
                              QString *error)
{
    const int nz = grid.getLength();
    const qint64 sites = qint64(grid.getWidth()) * nz;
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    std::vector<qint64> fluidBefore;
    if (row < 0 || row >= grid.getHeight())
        return fail(QStringLiteral("a row of populations does not fit the grid at row %1").arg(row));
    if (!fluidBeforePieces(grid, row, fluidBefore))
        return fail(QStringLiteral("row %1 holds other cells than plain fluid and walls").arg(row));
    int directions[Lattice::MaxQ];
    const int n = crossingDirections(grid, towards, directions);
    const qint64 perFluid = qint64(sizeof(double)) * n;
    if (perFluid * fluidBefore.back() != bytes.size())
        return fail(QStringLiteral("the populations of %1 fluid sites take %2 bytes, not %3")
                        .arg(fluidBefore.back())
                        .arg(perFluid * fluidBefore.back())
                        .arg(bytes.size()));
    const char *const data = bytes.constData();
    const int q = grid.getParameters()->getModel();
    forPieces(qint64(fluidBefore.size()) - 1, parallel, [&](qint64 k) {
        const char *at = data + perFluid * fluidBefore[std::size_t(k)];
        double f[Lattice::MaxQ];
        for (qint64 s = k * PieceSites; s < std::min(sites, (k + 1) * PieceSites); ++s) {
            BaseCell *cell = grid.getCell(int(s / nz), row, int(s % nz));
            if (kindOf(cell) != Fluid)
                continue;
            BaseCell *fluid = cell;
            for (int i = 0; i < q; ++i)
                f[i] = fluid->getF(i, 0);
            for (int d = 0; d < n; ++d) {
                std::memcpy(&f[directions[d]], at, sizeof(double));
                at += sizeof(double);
            }
            fluid->setF(f);
        }
    });
    return true;
}

QByteArray RowState::pack(const Grid &grid, int firstRow, int rowCount, bool lean)
{
    const int nx = grid.getWidth(), nz = grid.getLength();
    // Room for every site as plain fluid, written through a pointer; other
    // cells' elements make room for themselves.
    const int q = grid.getParameters()->getModel();
    const qint64 fluidBytes = 2 + qint64(sizeof(double)) * (6 + 2 * q);
    QByteArray out(int(std::min<qint64>(qint64(rowCount) * nx * nz * fluidBytes, std::numeric_limits<int>::max() / 2)),
                   Qt::Uninitialized);
    qint64 used = 0;
    const auto room = [&out, &used](qint64 bytes) {
        if (used + bytes > out.size())
            out.resize(int(std::max<qint64>(used + bytes, 2 * qint64(out.size()))));
        return out.data() + used;
    };
    const auto putReal = [](char *&at, double value) {
        std::memcpy(at, &value, sizeof value);
        at += sizeof value;
    };
    for (int y = firstRow; y < firstRow + rowCount; ++y)
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z) {
                BaseCell *cell = grid.getCell(x, y, z);
                const Kind kind = kindOf(cell);
                const LeanSite site = lean ? leanSite(cell) : LeanSite{0, 0};
                if (site.kind) {
                    // Each set of current populations in turn (see leanSite);
                    // a mixture says first how many it has and its common
                    // velocity.
                    const bool mixture = site.kind == MixturePopulations;
                    char *at = room(1 + mixture + qint64(sizeof(double)) * (site.sets * q + 3 * mixture));
                    *at++ = site.kind;
                    if (mixture) {
                        *at++ = char(quint8(site.sets));
                        const Vector3d u = static_cast<MCCell *>(cell)->commonVelocity();
                        for (double v : {u.x, u.y, u.z})
                            putReal(at, v);
                    }
                    for (int set = 0; set < site.sets; ++set)
                        for (int i = 0; i < q; ++i)
                            putReal(at, cell->getF(i, set));
                    used = at - out.data();
                } else if (kind == Fluid) {
                    BaseCell *fluid = cell;
                    const int cellQ = fluid->modelQ();
                    char *at = room(2 + qint64(sizeof(double)) * (6 + 2 * cellQ));
                    *at++ = char(kind);
                    *at++ = char(quint8(cellQ));
                    putReal(at, PlainSite::initialDensityOf(fluid));
                    putReal(at, fluid->getDeltaP());
                    // The force shift of the last collision, which the
                    // velocity the cell reports adds.
                    double tau = 0.0;
                    const Vector3d shift = PlainSite::forceShiftOf(fluid, tau);
                    putReal(at, shift.x);
                    putReal(at, shift.y);
                    putReal(at, shift.z);
                    putReal(at, tau);
                    for (int i = 0; i < cellQ; ++i)
                        putReal(at, fluid->getF(i, 0));
                    for (int i = 0; i < cellQ; ++i)
                        putReal(at, fluid->getNextF(i, 0));
                    used = at - out.data();
                } else if (kind == Element) {
                    QByteArray element;
                    QBuffer buffer(&element);
                    buffer.open(QIODevice::WriteOnly);
                    QXmlStreamWriter writer(&buffer);
                    writer.writeStartElement("lattice");
                    cell->passivate(writer);
                    writer.writeEndElement();
                    buffer.close();
                    // A multicomponent cell adds each component's shift and
                    // force of the last collision, which its reported
                    // velocities add and its element does not hold.
                    const auto *mixture = dynamic_cast<const MCCell *>(cell);
                    const int components = mixture ? mixture->componentCount() : 0;
                    char *at = room(2 + qint64(sizeof(quint32)) + element.size() +
                                    qint64(sizeof(double)) * 6 * components);
                    *at++ = char(kind);
                    const quint32 size = quint32(element.size());
                    std::memcpy(at, &size, sizeof size);
                    at += sizeof size;
                    std::memcpy(at, element.constData(), std::size_t(element.size()));
                    at += element.size();
                    *at++ = char(quint8(components));
                    for (int j = 0; j < components; ++j) {
                        const Vector3d shift = mixture->lastShift(j), force = mixture->lastForce(j);
                        for (double v : {shift.x, shift.y, shift.z, force.x, force.y, force.z})
                            putReal(at, v);
                    }
                    used = at - out.data();
                } else {
                    *room(1) = char(kind);
                    ++used;
                }
            }
    out.resize(int(used));
    return out;
}

bool RowState::unpack(Grid &grid, int firstRow, const QByteArray &bytes, QString *error, int *rowsRead)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const int nx = grid.getWidth(), nz = grid.getLength();
    const int q = grid.getParameters()->getModel();
    Reader in(bytes);
    // The last collision's shifts and forces of a mixture's components.
    std::vector<double> collision;
    if (rowsRead)
        *rowsRead = 0;
    for (int y = firstRow; !in.atEnd(); ++y) {
        if (y >= grid.getHeight())
            return fail(QStringLiteral("the rows do not fit the grid from row %1 on").arg(firstRow));
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z) {
                char kind = 0;
                if (!in.get(kind))
                    return fail(QStringLiteral("row %1 ends before its last site").arg(y));
                BaseCell *cell = grid.getCell(x, y, z);
                if (kind == Fluid) {
                    quint8 cellQ = 0;
                    double p0 = 0.0, delta = 0.0, f[Lattice::MaxQ], next[Lattice::MaxQ];
                    Vector3d shift;
                    double tau = 0.0;
                    bool ok = in.get(cellQ) && cellQ == q && in.get(p0) && in.get(delta) && in.get(shift.x) &&
                              in.get(shift.y) && in.get(shift.z) && in.get(tau);
                    for (int i = 0; ok && i < q; ++i)
                        ok = in.get(f[i]);
                    for (int i = 0; ok && i < q; ++i)
                        ok = in.get(next[i]);
                    if (!ok)
                        return fail(QStringLiteral("the fluid at (%1, %2, %3) is cut short or of another model")
                                        .arg(x)
                                        .arg(y)
                                        .arg(z));
                    // The whole state arrives: the site takes a fluid cell of
                    // its own, which the next step makes a handle again
                    // where it keeps nothing beyond the populations.
                    if (!PlainSite::isPlainFluid(cell))
                        cell = replace(grid, x, y, z, QStringLiteral("singleComponent"));
                    auto *fluid = static_cast<SCCell *>(grid.materialise(x, y, z));
                    fluid->restore(p0, delta, f);
                    for (int i = 0; i < q; ++i)
                        fluid->setNextF(i, next[i], 0);
                    fluid->restoreForceShift(shift, tau);
                } else if (kind == FluidPopulations || kind == HeatPopulations || kind == MixturePopulations ||
                           kind == ColourPopulations) {
                    // Only into a cell of the kind packed, of the grid's
                    // model and with as many population sets, which keeps
                    // its other values (its initial densities) and forms
                    // the rest from the populations as it does after a
                    // commit (see leanSite).
                    const LeanSite site = leanSite(cell);
                    const bool mixture = kind == MixturePopulations;
                    quint8 sets = quint8(site.sets);
                    Vector3d common;
                    bool ok = site.kind == kind && cell->modelQ() == q &&
                              (!mixture || (in.get(sets) && int(sets) == site.sets && in.get(common.x) &&
                                            in.get(common.y) && in.get(common.z)));
                    double values[MCCell::MaxComponents * Lattice::MaxQ];
                    for (int i = 0; ok && i < site.sets * q; ++i)
                        ok = in.get(values[i]);
                    if (!ok)
                        return fail(QStringLiteral("the %1 at (%2, %3, %4) are cut short or do not fit its cell")
                                        .arg(QLatin1String(leanName(kind)))
                                        .arg(x)
                                        .arg(y)
                                        .arg(z));
                    if (mixture) {
                        // Each component its populations, the mixture the
                        // common velocity as it came.
                        auto *cells = static_cast<MCCell *>(cell);
                        for (int j = 0; j < site.sets; ++j)
                            cells->component(j)->setF(values + j * q);
                        cells->restoreCommonVelocity(common);
                    } else {
                        cell->setF(values);
                    }
                } else if (kind == Wall || kind == Null) {
                    const std::type_info &want = kind == Wall ? typeid(WallCell) : typeid(NullCell);
                    if (typeid(*cell) != want)
                        replace(grid, x, y, z, kind == Wall ? QStringLiteral("wall") : QStringLiteral("null"));
                } else if (kind == Element) {
                    quint32 size = 0;
                    QByteArray element;
                    if (!in.get(size) || !in.bytes(element, size))
                        return fail(QStringLiteral("the cell at (%1, %2, %3) is cut short").arg(x).arg(y).arg(z));
                    QXmlStreamReader reader(element);
                    if (!reader.readNextStartElement())
                        return fail(QStringLiteral("the cell at (%1, %2, %3) is not an element").arg(x).arg(y).arg(z));
                    const QString type = reader.attributes().value(QLatin1String("type")).toString();
                    std::unique_ptr<BaseCell> fresh(CellFactory::create(type, grid));
                    if (!fresh)
                        return fail(QStringLiteral("the cell at (%1, %2, %3) is of the unknown kind \"%4\"")
                                        .arg(x)
                                        .arg(y)
                                        .arg(z)
                                        .arg(type));
                    // A cell of the same kind reads its element in place, as
                    // a new one would (the cells keep nothing beyond what
                    // they write), and keeps its neighbour block; another
                    // kind is replaced, which rebuilds the neighbour table.
                    quint8 components = 0;
                    bool ok = in.get(components);
                    collision.resize(std::size_t(6 * components));
                    for (std::size_t k = 0; ok && k < collision.size(); ++k)
                        ok = in.get(collision[k]);
                    if (!ok)
                        return fail(QStringLiteral("the cell at (%1, %2, %3) is cut short").arg(x).arg(y).arg(z));
                    if (typeid(*fresh) == typeid(*cell)) {
                        cell->activate(reader, &grid);
                    } else {
                        fresh->activate(reader, &grid);
                        cell = fresh.get();
                        grid.setCell(x, y, z, fresh.release(), true, false);
                    }
                    if (auto *mixture = dynamic_cast<MCCell *>(cell)) {
                        if (components != mixture->componentCount())
                            return fail(QStringLiteral("the mixture at (%1, %2, %3) has %4 components, not %5")
                                            .arg(x)
                                            .arg(y)
                                            .arg(z)
                                            .arg(components)
                                            .arg(mixture->componentCount()));
                        for (int j = 0; j < components; ++j) {
                            const double *v = collision.data() + 6 * j;
                            mixture->restoreLastCollision(j, Vector3d(v[0], v[1], v[2]), Vector3d(v[3], v[4], v[5]));
                        }
                    }
                } else {
                    return fail(QStringLiteral("the site (%1, %2, %3) has no known kind").arg(x).arg(y).arg(z));
                }
            }
        if (rowsRead)
            ++*rowsRead;
    }
    return true;
}
