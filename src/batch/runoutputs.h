#pragma once

#include "panelkeeper.h"

#include "model/latticeboltzmann/vector3d.h"
#include "model/latticeboltzmann/vector3i.h"
#include "persistence/statedocument.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QXmlStreamAttributes>

class Grid;
struct SimulationStats;

// What a run without a window reads and writes around its stepping: the
// document's "results" settings (which tables, how often, the run's limits)
// while every window panel's element is kept to be written back unchanged;
// the per-cell tables and the time-series table every interval; the VTK
// series with its ParaView collection; and the final state document. The
// runner on one process and on several share it, so their files are the
// same byte for byte.
class RunOutputs
{
public:
    // Loads a state document into the grid, taking its "results" settings
    // and keeping the other panels' elements.
    // The options may ask for a row window of the document's grid.
    bool loadDocument(Grid &grid, const QString &input, QString *error,
                      const StateDocument::Options &options = StateDocument::Options());
    // Warnings of the last load that did not stop it (view images skipped, ...).
    QStringList warnings() const { return notes; }
    // The elements of the last load that could not be restored (see
    // StateDocument::unreadSections).
    QStringList unreadSections() const { return unread; }

    bool cellTablesEnabled() const { return cellTables; }
    bool timeSeriesEnabled() const { return timeSeries; }
    int outputInterval() const { return interval; }
    // Whether any output falls on some iterations.
    bool writesAny(int vtkEvery) const { return vtkEvery > 0 || ((cellTables || timeSeries) && interval > 0); }
    // Whether some output falls on this iteration.
    bool dueAt(int iteration, int vtkEvery) const
    {
        return (vtkEvery > 0 && iteration % vtkEvery == 0) ||
               ((cellTables || timeSeries) && interval > 0 && iteration % interval == 0);
    }
    // The iterations of the next step call from iteration now, cut so that
    // the call ends on every iteration that writes outputs.
    int cutCount(int count, int now, int vtkEvery) const;

    // Forgets the VTK files of an earlier run.
    void restart() { vtkFiles.clear(); }
    // Writes what falls on this iteration into the folder.
    bool write(Grid &grid, int iteration, const QString &directory, int vtkEvery, bool vtkBinary,
               QString *error);
    // The same in parts, for a domain cut into slabs: the tables that fall
    // on this iteration, written from the whole domain ...
    bool tablesDueAt(int iteration) const { return (cellTables || timeSeries) && interval > 0 && iteration % interval == 0; }
    bool writeTables(Grid &grid, int iteration, const QString &directory, QString *error);
    // Where the per-cell table of this iteration goes.
    static QString cellTablePath(const QString &directory, int iteration);
    // The time series of a domain no one grid holds, from its statistics,
    // its drag and its probes' columns put together from the slabs' parts
    // (see Exports::appendTimeSeries); the per-cell table of such a domain
    // is written with Exports::writeCellTable from the slabs' lines.
    bool writeTimeSeries(const SimulationStats &stats, const QMap<int, Vector3d> &drag, const QString &directory,
                         QString *error, const QList<Vector3i> &probes = {},
                         const QByteArray &probeColumns = QByteArray());
    // ... and the VTK file as pieces, each slab writing the piece of its
    // rows [firstRow, firstRow + rowCount) (grid row y is domain row y -
    // yShift), and then one process the head listing the pieces, which
    // joins the collection.
    static bool vtkDueAt(int iteration, int vtkEvery) { return vtkEvery > 0 && iteration % vtkEvery == 0; }
    // Whether VTK files are binary, as asked or as the document's Results say.
    bool vtkBinaryFor(bool asked) const { return asked || documentVtkBinary; }
    static bool writeVtkPiece(Grid &grid, int firstRow, int rowCount, int yShift, int iteration, int piece,
                              const QString &directory, bool binary, QString *error);
    bool writeVtkHead(int iteration, int pieces, const QString &directory, QString *error);
    // The grid's state with the kept panels and the results settings.
    bool saveFinal(Grid &grid, const QString &path, bool compress, QString *error);
    // The same for a domain of `height` rows in slabs, whose cells come from
    // `cells`; the grid gives the rest (see StateDocument::setCellSource).
    // cellBytes (the length of the cells' text, or -1) lets a compressed
    // document be compressed as the cells arrive.
    bool saveFinal(Grid &grid, int height, const StateDocument::CellSource &cells, const QString &path,
                   bool compress, QString *error, qint64 cellBytes = -1);

private:
    static QString vtkName(int iteration, const QString &suffix);
    // run.pvd: the VTK files of the run as one time series for ParaView.
    bool writeCollection(const QString &directory, QString *error) const;

    PanelKeeper keeper;
    QXmlStreamAttributes resultsAttributes;
    bool cellTables = false;
    bool timeSeries = false;
    bool images = false;
    // The document's Results ask for binary VTK files.
    bool documentVtkBinary = false;
    int interval = 10;
    QStringList notes;
    QStringList unread;
    QList<QPair<int, QString>> vtkFiles;
};
