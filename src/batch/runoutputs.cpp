#include "runoutputs.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "persistence/exports.h"
#include "persistence/statedocument.h"

#include <QDir>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>

namespace {

StateDocument::Panel resultsPanel(QXmlStreamAttributes &attributes)
{
    StateDocument::Panel results;
    results.name = QStringLiteral("results");
    results.write = [&attributes](QXmlStreamWriter &writer) { writer.writeAttributes(attributes); };
    return results;
}

} // namespace

bool RunOutputs::loadDocument(Grid &grid, const QString &input, QString *error, const StateDocument::Options &options)
{
    notes.clear();
    unread.clear();
    StateDocument document(grid);
    QList<StateDocument::Panel> panels = keeper.panels({QStringLiteral("results")});
    StateDocument::Panel results = resultsPanel(resultsAttributes);
    results.read = [this, &grid](QXmlStreamReader &reader, QString *message) {
        AttributeReader a(reader);
        const int every = a.integer("interval", 10, 1);
        const int limit = a.integer("maxIterations", 0, 0);
        const double threshold = a.real("stopWhen", 0.0, 0.0);
        if (!a.ok()) {
            *message = a.error();
            reader.skipCurrentElement();
            return false;
        }
        resultsAttributes = reader.attributes();
        images = a.flag("images");
        cellTables = a.flag("vp");
        timeSeries = a.flag("simulation");
        documentVtkBinary = a.flag("vtkBinary");
        interval = every;
        // The run's limits are Results settings, like the window's.
        grid.getParameters()->setMaxIterations(limit);
        grid.getParameters()->setStopWhen(threshold);
        reader.skipCurrentElement();
        return true;
    };
    panels.append(results);
    document.setPanels(panels);
    if (!document.load(input, options, error))
        return false;
    notes = document.warnings();
    unread = document.unreadSections();
    if (images)
        notes << QStringLiteral("The document asks for view images; a run without a window writes none.");
    return true;
}

int RunOutputs::cutCount(int count, int now, int vtkEvery) const
{
    if ((cellTables || timeSeries) && interval > 0)
        count = std::min(count, interval - now % interval);
    if (vtkEvery > 0)
        count = std::min(count, vtkEvery - now % vtkEvery);
    return count;
}

QString RunOutputs::vtkName(int iteration, const QString &suffix)
{
    return QStringLiteral("vtk_%1%2").arg(iteration, 6, 10, QLatin1Char('0')).arg(suffix);
}

bool RunOutputs::write(Grid &grid, int iteration, const QString &directory, int vtkEvery, bool vtkBinary,
                       QString *error)
{
    if (!writeTables(grid, iteration, directory, error))
        return false;
    if (vtkDueAt(iteration, vtkEvery)) {
        const QString name = vtkName(iteration, QStringLiteral(".vtu"));
        if (!Exports::exportVtk(grid, QDir(directory).filePath(name), error,
                                vtkBinaryFor(vtkBinary) ? VtuWriter::Format::Binary : VtuWriter::Format::Ascii))
            return false;
        vtkFiles.append({iteration, name});
        return writeCollection(directory, error);
    }
    return true;
}

bool RunOutputs::writeTables(Grid &grid, int iteration, const QString &directory, QString *error)
{
    if (!tablesDueAt(iteration))
        return true;
    const QDir dir(directory);
    if (cellTables && !Exports::writeCellTable(-1, -1, -1, grid, cellTablePath(directory, iteration), error))
        return false;
    return !timeSeries || Exports::appendTimeSeries(grid, dir.filePath(QStringLiteral("simulation.csv")), error);
}

QString RunOutputs::cellTablePath(const QString &directory, int iteration)
{
    return QDir(directory).filePath(QStringLiteral("vp_%1.csv").arg(iteration, 6, 10, QLatin1Char('0')));
}

bool RunOutputs::writeTimeSeries(const SimulationStats &stats, const QMap<int, Vector3d> &drag,
                                 const QString &directory, QString *error, const QList<Vector3i> &probes,
                                 const QByteArray &probeColumns)
{
    return Exports::appendTimeSeries(stats, drag, QDir(directory).filePath(QStringLiteral("simulation.csv")), error,
                                     probes, probeColumns);
}

bool RunOutputs::writeVtkPiece(Grid &grid, int firstRow, int rowCount, int yShift, int iteration, int piece,
                               const QString &directory, bool binary, QString *error)
{
    return Exports::exportVtkPiece(grid, firstRow, rowCount, yShift,
                                   QDir(directory).filePath(vtkName(iteration, QStringLiteral("_%1.vtu").arg(piece))),
                                   error, binary ? VtuWriter::Format::Binary : VtuWriter::Format::Ascii);
}

bool RunOutputs::writeVtkHead(int iteration, int pieces, const QString &directory, QString *error)
{
    QStringList names;
    for (int piece = 0; piece < pieces; ++piece)
        names << vtkName(iteration, QStringLiteral("_%1.vtu").arg(piece));
    const QString name = vtkName(iteration, QStringLiteral(".pvtu"));
    if (!Exports::exportVtkHead(QDir(directory).filePath(name), names, error))
        return false;
    vtkFiles.append({iteration, name});
    return writeCollection(directory, error);
}

bool RunOutputs::writeCollection(const QString &directory, QString *error) const
{
    QSaveFile file(QDir(directory).filePath(QStringLiteral("run.pvd")));
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QXmlStreamWriter w(&file);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeStartElement("VTKFile");
    w.writeAttribute("type", "Collection");
    w.writeAttribute("version", "0.1");
    w.writeAttribute("byte_order", "LittleEndian");
    w.writeStartElement("Collection");
    for (const auto &entry : vtkFiles) {
        w.writeStartElement("DataSet");
        w.writeAttribute("timestep", QString::number(entry.first));
        w.writeAttribute("group", "");
        w.writeAttribute("part", "0");
        w.writeAttribute("file", entry.second);
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool RunOutputs::saveFinal(Grid &grid, const QString &path, bool compress, QString *error)
{
    return saveFinal(grid, -1, StateDocument::CellSource(), path, compress, error);
}

bool RunOutputs::saveFinal(Grid &grid, int height, const StateDocument::CellSource &cells, const QString &path,
                           bool compress, QString *error, qint64 cellBytes)
{
    StateDocument document(grid);
    if (cells)
        document.setCellSource(height, cells, cellBytes);
    QList<StateDocument::Panel> panels = keeper.panels({QStringLiteral("results")});
    if (!resultsAttributes.isEmpty()) {
        StateDocument::Panel results = resultsPanel(resultsAttributes);
        results.read = [](QXmlStreamReader &reader, QString *) {
            reader.skipCurrentElement();
            return true;
        };
        panels.append(results);
    }
    document.setPanels(panels);
    StateDocument::Options options;
    options.compress = compress;
    return document.save(path, options, error);
}
