#include "batchrun.h"
#include "stopsignals.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/geometryfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
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

    if (!outputs.loadDocument(grid, input, error))
        return failNamingFile(input, error);
    notes = outputs.warnings();
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
    if (settings.single)
        p.setSinglePopulations(true);
    finalPath = finalPathFor(settings, inputPath);
    outputs.restart();

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
        const int count = outputs.cutCount(target > 0 ? std::min(burst, target - now) : burst, now, settings.vtkEvery);
        if (count <= 0 || grid.step(count) == 0)
            break;
        const int after = grid.getStatistics().iterations;
        ran = after - start;
        // The throughput so far, for the tables' "performance" column and
        // the progress: sites times iterations per second, in millions.
        const double seconds = std::max<qint64>(1, clock.nsecsElapsed()) / 1e9;
        const double mlups = sites * ran / seconds / 1e6;
        grid.getStatistics().mlups = mlups;
        if (outputs.writesAny(settings.vtkEvery) &&
            !outputs.write(grid, after, settings.outputDirectory, settings.vtkEvery, settings.vtkBinary, error))
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

    if (!outputs.saveFinal(grid, finalPath, settings.compressFinal, error))
        return Outcome::Failed;
    return outcome;
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

QString BatchRun::finalPathFor(const Settings &settings, const QString &input)
{
    if (!settings.finalDocument.isEmpty())
        return settings.finalDocument;
    return QDir(settings.outputDirectory).filePath(QFileInfo(input).completeBaseName() + "-final.lb2");
}

int BatchRun::reportEnd(Outcome outcome, int iteration, int iterationsRun, const Settings &settings,
                        const QString &finalPath, const QString &error, const char *lineEnd)
{
    const QByteArray path = finalPath.toLocal8Bit();
    switch (outcome) {
    case Outcome::Finished:
        std::fprintf(stdout, "%sDone at iteration %d; final state in %s\n", lineEnd, iteration, path.constData());
        return 0;
    case Outcome::TimeLimit:
        std::fprintf(stdout, "%sStopped at iteration %d: the time limit of %g s was reached; state in %s\n", lineEnd,
                     iteration, settings.timeLimit, path.constData());
        return 3;
    case Outcome::Stopped:
        if (iterationsRun > 0)
            std::fprintf(stdout, "%sStopped at iteration %d by %s; state in %s\n", lineEnd, iteration,
                         StopSignals::name(), path.constData());
        else
            std::fprintf(stdout, "%sStopped by %s before the first iteration; nothing was written\n", lineEnd,
                         StopSignals::name());
        return 128 + StopSignals::received();
    case Outcome::Failed:
        break;
    }
    std::fprintf(stderr, "%sondix-run: %s\n", lineEnd, error.toLocal8Bit().constData());
    return 1;
}
