#pragma once

#include "vtuwriter.h"

#include "model/latticeboltzmann/vector3d.h"
#include "model/latticeboltzmann/vector3i.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>

class CellRow;

class Grid;
struct SimulationStats;

// Results that leave the program for other programs: the VTK unstructured
// grid of the fluid cells, the per-cell table and the time-series table.
// Each writer returns false with a message in *error when the file cannot be
// written. The VTK file and the per-cell table are written to a temporary
// file that replaces an existing one only once it is complete; a failed
// append to the time-series table takes its partial line back.
class Exports
{
public:
    // ASCII text, or compressed binary (smaller and faster, values exact).
    static bool exportVtk(Grid &grid, const QString &path, QString *error = nullptr,
                          VtuWriter::Format format = VtuWriter::Format::Ascii);
    // One piece of a domain written in pieces: the rows [firstRow, firstRow
    // + rowCount) of the grid, whose row y is row y - yShift of the domain.
    static bool exportVtkPiece(Grid &grid, int firstRow, int rowCount, int yShift, const QString &path,
                               QString *error = nullptr, VtuWriter::Format format = VtuWriter::Format::Ascii);
    // The head (.pvtu) listing the pieces, named relative to it.
    static bool exportVtkHead(const QString &path, const QStringList &pieces, QString *error = nullptr);
    // x, y, z select one index each, or -1 for all.
    static bool writeCellTable(int x, int y, int z, Grid &grid, const QString &path, QString *error = nullptr);
    // The whole table from lines formed elsewhere (a domain in slabs): the
    // header, then every piece lines hands to its sink, which answers false
    // once a write failed. lines is called also when the file cannot be
    // opened (its sink then refuses everything).
    using TextSink = std::function<bool(const QByteArray &)>;
    static bool writeCellTable(const QString &path, const std::function<bool(const TextSink &)> &lines,
                               QString *error = nullptr);
    // Appends one line, with a header first when the file is new or empty.
    // Probe points are lattice indices; then each moving particle's velocity
    // and centre, the particles' mean squared speed and mean electrostatic
    // potential (times the coupling constant); then the drag columns, which
    // follow the grid's drag table, one group per drag-wall index.
    static bool appendTimeSeries(Grid &grid, const QString &path, QString *error = nullptr);
    // The same line for a domain no one grid holds (in slabs, without
    // moving particles or shapes), from its statistics, its drag table and
    // the columns of its probe points put together elsewhere.
    static bool appendTimeSeries(const SimulationStats &stats, const QMap<int, Vector3d> &drag, const QString &path,
                                 QString *error = nullptr, const QList<Vector3i> &probes = {},
                                 const QByteArray &probeColumns = QByteArray());
    // The columns of one probe point: its cell's values from row, or empty
    // columns for a site without fluid (row null).
    static void appendProbeColumns(QByteArray &text, const CellRow *row, int x, int y, int z);
};
