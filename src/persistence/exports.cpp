#include "exports.h"

#include "cellrow.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "vtuwriter.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/moving/movingparticle.h"
#include "model/latticeboltzmann/moving/particlemanager.h"
#include "model/latticeboltzmann/shapes/shapeset.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <optional>

namespace {

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

QString cannotWrite(const QString &path, const QString &reason)
{
    return QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), reason);
}

bool openSaveFile(QSaveFile &file, QString *error)
{
    if (file.open(QIODevice::WriteOnly))
        return true;
    return fail(error, cannotWrite(file.fileName(), file.errorString()));
}

// Replaces the destination by the temporary file, or discards the temporary
// file, leaves the destination untouched and reports why. A short write is
// not an error of the device, so the caller says whether everything went out.
bool finishSaveFile(QSaveFile &file, bool complete, QString *error)
{
    if (complete && file.flush() && file.commit())
        return true;
    const QString reason = file.error() != QFileDevice::NoError
                               ? file.errorString()
                               : QStringLiteral("the file could not be written completely");
    file.cancelWriting();
    return fail(error, cannotWrite(file.fileName(), reason));
}

// Writes the line buffer to the file once it is large; force empties it.
bool drain(QIODevice &file, QByteArray &buffer, bool force = false)
{
    if (buffer.size() < 64 * 1024 && !force)
        return true;
    const bool ok = file.write(buffer) == buffer.size();
    buffer.resize(0);
    return ok;
}

} // namespace

bool Exports::exportVtk(Grid &grid, const QString &path, QString *error, VtuWriter::Format format)
{
    QSaveFile file(path);
    if (!openSaveFile(file, error))
        return false;
    VtuWriter writer(grid, &file, format);
    return finishSaveFile(file, writer.write(), error);
}

bool Exports::exportVtkPiece(Grid &grid, int firstRow, int rowCount, int yShift, const QString &path,
                             QString *error, VtuWriter::Format format)
{
    QSaveFile file(path);
    if (!openSaveFile(file, error))
        return false;
    VtuWriter writer(grid, &file, format);
    writer.setRows(firstRow, rowCount, yShift);
    return finishSaveFile(file, writer.write(), error);
}

bool Exports::exportVtkHead(const QString &path, const QStringList &pieces, QString *error)
{
    QSaveFile file(path);
    if (!openSaveFile(file, error))
        return false;
    return finishSaveFile(file, VtuWriter::writeHead(&file, pieces), error);
}

bool Exports::writeCellTable(int x, int y, int z, Grid &grid, const QString &path, QString *error)
{
    QSaveFile file(path);
    if (!openSaveFile(file, error))
        return false;
    QByteArray buffer = CellRow::tableHeader();
    const CellRow row(grid);
    bool ok = true;
    for (int cx = 0; cx < grid.getWidth() && ok; ++cx) {
        if (x >= 0 && cx != x)
            continue;
        for (int cy = 0; cy < grid.getHeight() && ok; ++cy) {
            if (y >= 0 && cy != y)
                continue;
            for (int cz = 0; cz < grid.getLength(); ++cz) {
                if (z >= 0 && cz != z)
                    continue;
                BaseCell *cell = grid.getCell(cx, cy, cz);
                if (!cell || !cell->isFluid())
                    continue;
                row.appendLine(buffer, cx, cy, cz, cy);
            }
            ok = drain(file, buffer);
        }
    }
    ok = ok && drain(file, buffer, true);
    return finishSaveFile(file, ok, error);
}

bool Exports::writeCellTable(const QString &path, const std::function<bool(const TextSink &)> &lines, QString *error)
{
    QSaveFile file(path);
    if (!openSaveFile(file, error)) {
        // The pieces are taken all the same, so whoever forms them finishes.
        lines([](const QByteArray &) { return false; });
        return false;
    }
    const QByteArray header = CellRow::tableHeader();
    bool ok = file.write(header) == header.size();
    ok = lines([&file, &ok](const QByteArray &text) {
             ok = ok && file.write(text) == text.size();
             return ok;
         }) &&
         ok;
    return finishSaveFile(file, ok, error);
}

namespace {

// The header of the time series: the probes' columns, then the given
// columns of particles and shapes, then the drag columns.
QByteArray timeSeriesHeader(const QList<Vector3i> &probes, const QByteArray &particleColumns,
                            const QMap<int, Vector3d> &drag, const QByteArray &shapeColumns)
{
    QByteArray text = "iterations,performance,deltaP";
    for (const Vector3i &p : probes) {
        text += ",(" + QByteArray::number(p.x) + ';' + QByteArray::number(p.y) + ';' + QByteArray::number(p.z) + "),";
        text += CellRow::header();
    }
    text += particleColumns;
    for (auto it = drag.cbegin(); it != drag.cend(); ++it) {
        const QByteArray i = QByteArray::number(it.key());
        text += ",drag" + i + "x,drag" + i + "y,drag" + i + "z";
    }
    text += shapeColumns;
    text += '\n';
    return text;
}

// Appends the line, with the header first when the file is new or empty;
// a failed append takes its partial line back.
bool appendLine(const QString &path, const QByteArray &header, const QByteArray &line, QString *error)
{
    QFile file(path);
    // An empty file counts as new, so a header lost with a failed first
    // write is written again.
    const bool existed = file.exists();
    const qint64 previousSize = existed ? file.size() : 0;
    const QByteArray text = previousSize == 0 ? header + line : line;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return fail(error, cannotWrite(path, file.errorString()));
    const bool written = file.write(text) == text.size() && file.flush();
    if (written) {
        file.close();
        if (file.error() == QFileDevice::NoError)
            return true;
    }
    // Take back a partly written line so the rows already in the file stay
    // intact; a file this call created goes away again.
    const QString reason = file.errorString();
    file.close();
    if (!existed)
        QFile::remove(path);
    else
        QFile::resize(path, previousSize);
    return fail(error, cannotWrite(path, reason));
}

QByteArray statsColumns(const SimulationStats &stats)
{
    QByteArray text = QByteArray::number(stats.iterations) + ',';
    CellRow::appendNumber(text, stats.mlups);
    text += ',';
    CellRow::appendNumber(text, stats.deltaP);
    return text;
}

void appendVectors(QByteArray &text, const QMap<int, Vector3d> &drag)
{
    for (const Vector3d &d : drag) {
        for (double v : {d.x, d.y, d.z}) {
            text += ',';
            CellRow::appendNumber(text, v);
        }
    }
}

} // namespace

bool Exports::appendTimeSeries(const SimulationStats &stats, const QMap<int, Vector3d> &drag, const QString &path,
                               QString *error, const QList<Vector3i> &probes, const QByteArray &probeColumns)
{
    QByteArray text = statsColumns(stats);
    text += probeColumns;
    appendVectors(text, drag);
    text += '\n';
    return appendLine(path, timeSeriesHeader(probes, QByteArray(), drag, QByteArray()), text, error);
}

bool Exports::appendTimeSeries(Grid &grid, const QString &path, QString *error)
{
    grid.computeDrag();
    const QMap<int, Vector3d> &drag = grid.dragTable();
    const QList<Vector3i> probes = grid.getParameters()->getProbePoints();
    const ParticleManager *manager = grid.getParticleManager();
    const int particles = manager->count();
    const ShapeSet *shapes = grid.shapes();

    QByteArray particleColumns, shapeColumns;
    for (int k = 1; k <= particles; ++k) {
        const QByteArray n = QByteArray::number(k);
        particleColumns += ",mVx" + n + ",mVy" + n + ",mVz" + n + ",mx" + n + ",my" + n + ",mz" + n;
    }
    if (particles > 0)
        particleColumns += ",Vi2/N,ElecPot";
    for (int k = 1; k <= shapes->count(); ++k) {
        const QByteArray n = "shape" + QByteArray::number(k);
        shapeColumns += ',' + n + "Fx," + n + "Fy," + n + "Fz," + n + "Tx," + n + "Ty," + n + "Tz";
    }

    QByteArray text = statsColumns(grid.getStatistics());
    std::optional<CellRow> row;
    for (const Vector3i &p : probes) {
        BaseCell *cell = grid.getCell(p);
        if (cell && cell->isFluid() && !row)
            row.emplace(grid);
        appendProbeColumns(text, cell && cell->isFluid() ? &*row : nullptr, p.x, p.y, p.z);
    }
    // Each moving particle's velocity and centre, then the mean squared
    // speed and the mean electrostatic potential times the coupling.
    if (particles > 0) {
        const bool periodic = grid.getParameters()->getPeriodicBoundaries();
        const Vector3i period =
            periodic ? Vector3i(grid.getWidth(), grid.getHeight(), grid.getLength()) : Vector3i(0, 0, 0);
        double speeds = 0.0, potential = 0.0;
        for (int k = 0; k < particles; ++k) {
            const MovingParticle *p = manager->particle(k);
            const Vector3d c = p->centre(period);
            for (double v : {p->velocity.x, p->velocity.y, p->velocity.z, c.x, c.y, c.z}) {
                text += ',';
                CellRow::appendNumber(text, v);
            }
            speeds += p->velocity.dot(p->velocity);
            potential += p->potential;
        }
        for (double v : {speeds / particles, manager->getElectrostatic() * potential / particles}) {
            text += ',';
            CellRow::appendNumber(text, v);
        }
    }
    appendVectors(text, drag);
    // The force and torque on each shape, from the last iteration.
    for (int k = 0; k < shapes->count(); ++k) {
        const Vector3d f = shapes->force(k), t = shapes->torque(k);
        for (double v : {f.x, f.y, f.z, t.x, t.y, t.z}) {
            text += ',';
            CellRow::appendNumber(text, v);
        }
    }
    text += '\n';
    return appendLine(path, timeSeriesHeader(probes, particleColumns, drag, shapeColumns), text, error);
}

void Exports::appendProbeColumns(QByteArray &text, const CellRow *row, int x, int y, int z)
{
    if (!row) {
        text += ",,,,,,,,,,,,,,";
        return;
    }
    text += ",,";
    row->append(text, x, y, z);
}
