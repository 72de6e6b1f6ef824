#include "batchrun.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "persistence/exports.h"
#include "persistence/geometryfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>
#include <limits>

#include <sys/stat.h>

BatchRun::BatchRun(Grid &grid) : grid(grid) {}

namespace {

// The loaders name the file in their messages; one that does not gets the
// path in front, so every message names it once.
bool failNamingFile(const QString &input, QString *error)
{
    if (error && !error->contains(input) && !error->contains(QFileInfo(input).fileName()))
        *error = QStringLiteral("%1: %2").arg(input, *error);
    return false;
}

} // namespace

bool BatchRun::load(const QString &input, QString *error)
{
    inputPath = input;
    notes.clear();
    // A pipe or a device named like a document would block the reader or
    // never end.
    struct stat st;
    if (::stat(QFile::encodeName(input).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (error)
            *error = QStringLiteral("%1 is not a regular file").arg(input);
        return false;
    }
    const QString suffix = QFileInfo(input).suffix().toLower();
    if (suffix == QLatin1String("png") || suffix == QLatin1String("txt") || suffix == QLatin1String("lb"))
        return GeometryFiles::load(grid, input, grid.getParameters()->getMeltingFlag(), error) ||
               failNamingFile(input, error);

    StateDocument document(grid);
    QList<StateDocument::Panel> panels = keeper.panels({QStringLiteral("results")});
    StateDocument::Panel results;
    results.name = QStringLiteral("results");
    results.read = [this](QXmlStreamReader &reader, QString *message) {
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
    results.write = [this](QXmlStreamWriter &writer) { writer.writeAttributes(resultsAttributes); };
    panels.append(results);
    document.setPanels(panels);
    if (!document.load(input, StateDocument::Options(), error))
        return failNamingFile(input, error);
    notes = document.warnings();
    if (images)
        notes << QStringLiteral("The document asks for view images; a run without a window writes none.");
    return true;
}

BatchRun::Outcome BatchRun::run(const Settings &settings, const std::function<void(const Progress &)> &progress,
                                QString *error)
{
    ran = 0;
    SimulationParameters &p = *grid.getParameters();
    if (settings.iterations <= 0 && p.getMaxIterations() <= 0 && p.getStopWhen() <= 0.0) {
        if (error)
            *error = QStringLiteral("Nothing ends this run: give a number of iterations, or set an iteration limit "
                                    "or a convergence threshold in the document.");
        return Outcome::Failed;
    }
    if (settings.stop && settings.stop->load())
        return Outcome::Stopped;
    if (!QDir().mkpath(settings.outputDirectory)) {
        if (error)
            *error = QStringLiteral("The folder %1 cannot be made.").arg(settings.outputDirectory);
        return Outcome::Failed;
    }
    if (settings.serial)
        p.setMulticore(false);
    const QString stem = QFileInfo(inputPath).completeBaseName();
    finalPath = settings.finalDocument.isEmpty() ? QDir(settings.outputDirectory).filePath(stem + "-final.lb2")
                                                 : settings.finalDocument;
    vtkFiles.clear();

    const int start = grid.getStatistics().iterations;
    int target = settings.iterations > 0 ? start + settings.iterations : p.getMaxIterations();
    const double sites = double(grid.getWidth()) * grid.getHeight() * grid.getLength();
    const qint64 timeLimitMs = settings.timeLimit > 0.0 ? qint64(settings.timeLimit * 1000.0) : 0;
    QElapsedTimer clock;
    clock.start();
    qint64 lastReport = std::numeric_limits<qint64>::min() / 2;
    const int burst = std::max(1, settings.burst);
    Outcome outcome = Outcome::Finished;
    while (true) {
        if (settings.stop && settings.stop->load()) {
            outcome = Outcome::Stopped;
            break;
        }
        if (timeLimitMs > 0 && clock.elapsed() >= timeLimitMs) {
            outcome = Outcome::TimeLimit;
            break;
        }
        const int now = grid.getStatistics().iterations;
        // A call ends on every iteration that writes outputs, so they come at
        // the exact multiples of their intervals whatever the burst.
        int count = target > 0 ? std::min(burst, target - now) : burst;
        if ((cellTables || timeSeries) && interval > 0)
            count = std::min(count, interval - now % interval);
        if (settings.vtkEvery > 0)
            count = std::min(count, settings.vtkEvery - now % settings.vtkEvery);
        if (count <= 0 || grid.step(count) == 0)
            break;
        const int after = grid.getStatistics().iterations;
        ran = after - start;
        // The throughput so far, for the tables' "performance" column and
        // the progress: sites times iterations per second, in millions.
        const double seconds = std::max<qint64>(1, clock.nsecsElapsed()) / 1e9;
        const double mlups = sites * ran / seconds / 1e6;
        grid.getStatistics().mlups = mlups;
        if (settings.vtkEvery > 0 || ((cellTables || timeSeries) && interval > 0))
            if (!writeOutputs(settings, error))
                return Outcome::Failed;
        const qint64 elapsed = clock.elapsed();
        if (progress && (elapsed - lastReport >= settings.progressInterval || (target > 0 && after >= target))) {
            lastReport = elapsed;
            // Rounded up: a run that has iterations left has time left.
            int remaining = -1;
            if (target > 0)
                remaining = after >= target ? 0 : int(std::min(1e9, std::ceil(double(target - after) * seconds / ran)));
            progress({after, target, mlups, remaining});
        }
    }
    // Stopped before anything ran: the input is the state, and nothing is written.
    if (outcome == Outcome::Stopped && ran == 0)
        return outcome;

    StateDocument document(grid);
    QList<StateDocument::Panel> panels = keeper.panels({QStringLiteral("results")});
    if (!resultsAttributes.isEmpty()) {
        StateDocument::Panel results;
        results.name = QStringLiteral("results");
        results.write = [this](QXmlStreamWriter &writer) { writer.writeAttributes(resultsAttributes); };
        results.read = [](QXmlStreamReader &reader, QString *) {
            reader.skipCurrentElement();
            return true;
        };
        panels.append(results);
    }
    document.setPanels(panels);
    StateDocument::Options options;
    options.compress = settings.compressFinal;
    if (!document.save(finalPath, options, error))
        return Outcome::Failed;
    return outcome;
}

bool BatchRun::writeOutputs(const Settings &settings, QString *error)
{
    const int iteration = grid.getStatistics().iterations;
    const QDir dir(settings.outputDirectory);
    if (interval > 0 && iteration % interval == 0) {
        if (cellTables && !Exports::writeCellTable(
                              -1, -1, -1, grid,
                              dir.filePath(QStringLiteral("vp_%1.csv").arg(iteration, 6, 10, QLatin1Char('0'))), error))
            return false;
        if (timeSeries && !Exports::appendTimeSeries(grid, dir.filePath(QStringLiteral("simulation.csv")), error))
            return false;
    }
    if (settings.vtkEvery > 0 && iteration % settings.vtkEvery == 0) {
        const QString name = QStringLiteral("vtk_%1.vtu").arg(iteration, 6, 10, QLatin1Char('0'));
        if (!Exports::exportVtk(grid, dir.filePath(name), error,
                                settings.vtkBinary || documentVtkBinary ? VtuWriter::Format::Binary
                                                                        : VtuWriter::Format::Ascii))
            return false;
        vtkFiles.append({iteration, name});
        return writeCollection(settings, error);
    }
    return true;
}

bool BatchRun::writeCollection(const Settings &settings, QString *error)
{
    QSaveFile file(QDir(settings.outputDirectory).filePath(QStringLiteral("run.pvd")));
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

QString BatchRun::clockText(int seconds)
{
    if (seconds < 0)
        return QStringLiteral("--:--:--");
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
