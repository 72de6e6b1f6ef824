// ondix-run: runs a simulation without a window.
#include "batchrun.h"
#include "runoptions.h"
#include "simulationserver.h"
#include "stopsignals.h"
#ifdef ONDIX_MPI
#include "distributed/slabrun.h"
#endif

#include "model/latticeboltzmann/boundary/inletformula.h"
#include "model/latticeboltzmann/grid.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace {

// A bar that redraws itself on a terminal; plain lines otherwise.
void show(const BatchRun::Progress &p, bool terminal)
{
    if (terminal && p.target > 0) {
        const int width = 30;
        const int done = int(double(p.iteration) / p.target * width);
        std::fprintf(stdout, "\r[%s%s] %d/%d  %.1f MLUPS  %s left ", QByteArray(done, '#').constData(),
                     QByteArray(width - done, '.').constData(), p.iteration, p.target, p.mlups,
                     BatchRun::clockText(p.remainingSeconds).toLatin1().constData());
    } else if (terminal) {
        std::fprintf(stdout, "\riteration %d  %.1f MLUPS ", p.iteration, p.mlups);
    } else {
        std::fprintf(stdout, "iteration %d%s  %.1f MLUPS  remaining %s\n", p.iteration,
                     p.target > 0 ? QStringLiteral(" of %1").arg(p.target).toLatin1().constData() : "", p.mlups,
                     BatchRun::clockText(p.remainingSeconds).toLatin1().constData());
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    // Inlet formulas are evaluated in a process of this program of its own,
    // under memory and time limits.
    if (InletFormula::isEvaluatorCall(argc, argv))
        return InletFormula::serveEvaluations(argc, argv);
#ifdef ONDIX_MPI
    // One of several processes started by mpirun: the domain cut into slabs.
    if (SlabRun::severalProcesses())
        return SlabRun::main(argc, argv);
#endif
    QCoreApplication app(argc, argv);
    InletFormula::setEvaluatorProgram(QCoreApplication::applicationFilePath());
    QCoreApplication::setApplicationName(QStringLiteral("ondix-run"));
    RunOptions options;
    QString message;
    // Bad options end the program with 2, as a run's own failures end it with 1.
    if (!options.parse(QCoreApplication::arguments(), &message)) {
        std::fprintf(stderr, "ondix-run: %s\n", message.toLocal8Bit().constData());
        return 2;
    }
    if (options.helpRequested()) {
        std::fputs(options.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    BatchRun::Settings settings = options.settings(QString());
    settings.stop = &StopSignals::requested();
    const int jobCount = options.jobs();

    Grid grid;
    StopSignals::install();

    if (!options.watchFolder().isEmpty()) {
        const QString dir = options.watchFolder();
        if (!QFileInfo(dir).isDir()) {
            std::fprintf(stderr, "ondix-run: %s is not a folder\n", dir.toLocal8Bit().constData());
            return 2;
        }
        std::fprintf(stdout, "Watching %s for state documents (*.lb2), %d at once; Ctrl+C stops.\n",
                     dir.toLocal8Bit().constData(), jobCount);
        std::fflush(stdout);
        // Several jobs report at once: one progress line a second each, naming it.
        settings.progressInterval = 1000;
        SimulationServer server(dir, settings);
        server.setJobs(jobCount);
        SimulationServer::Observer observer;
        observer.progress = [](const QString &job, const BatchRun::Progress &p) {
            const QByteArray line = job.toLocal8Bit();
            std::fprintf(stdout, "%s: iteration %d%s  %.1f MLUPS  remaining %s\n", line.constData(), p.iteration,
                         p.target > 0 ? QStringLiteral(" of %1").arg(p.target).toLatin1().constData() : "", p.mlups,
                         BatchRun::clockText(p.remainingSeconds).toLatin1().constData());
            std::fflush(stdout);
        };
        server.setObserver(observer);
        server.serve(StopSignals::requested(), [](const QString &line) {
            std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
            std::fflush(stdout);
        });
        std::fprintf(stdout, "Stopped watching %s (%s)\n", dir.toLocal8Bit().constData(), StopSignals::name());
        return 0;
    }

    const QStringList inputs = options.inputs();
    if (inputs.size() != 1) {
        std::fprintf(stderr, "ondix-run: give one state document or geometry (see --help)\n");
        return 2;
    }
    const QString input = inputs.first();
    QString error;
    BatchRun run(grid);
    if (!run.load(input, &error)) {
        std::fprintf(stderr, "ondix-run: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    for (const QString &note : run.warnings())
        std::fprintf(stderr, "ondix-run: %s\n", note.toLocal8Bit().constData());
    settings = options.settings(input);
    settings.stop = &StopSignals::requested();
    const bool terminal = isatty(fileno(stdout));
    const BatchRun::Outcome outcome = run.run(
        settings, [terminal](const BatchRun::Progress &p) { show(p, terminal); }, &error);
    const char *lineEnd = terminal ? "\n" : "";
    const int iteration = grid.getStatistics().iterations;
    return BatchRun::reportEnd(outcome, iteration, run.iterationsRun(), settings, run.finalDocumentPath(), error,
                               lineEnd);
}
