// ondix-run: runs a simulation without a window.
#include "batchrun.h"
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
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs an Ondix simulation without a window: a state document (.lb2, .lb3) or a geometry (.png, .txt, .lb),\n"
        "for a number of iterations or until the document's iteration limit or convergence threshold, writing the\n"
        "outputs its Results settings ask for and the final state document.\n"
        "SIGINT or SIGTERM ends a run at the next whole iteration and saves the state reached.\n"
        "Exit codes: 0 done, 1 the run failed, 2 bad options, 3 the time limit was reached,\n"
        "128 + N stopped by signal N (130 SIGINT, 143 SIGTERM)."));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("input"), QStringLiteral("The state document or geometry to run."));
    const QCommandLineOption iterations({"n", "iterations"},
                                        "Iterations to run (default: until the document ends the run).", "N");
    const QCommandLineOption output({"o", "output"},
                                    "Folder of the outputs (default: <input>-results beside the input).", "DIR");
    const QCommandLineOption final({"f", "final"}, "The final state document (default: <output>/<input>-final.lb2).",
                                   "FILE");
    const QCommandLineOption compress("compress", "Write the final document compressed.");
    const QCommandLineOption vtk("vtk-every", "Write a VTK file every N iterations, listed in run.pvd.", "N");
    const QCommandLineOption vtkBinary("vtk-binary", "Write the VTK files as compressed binary instead of ASCII.");
    const QCommandLineOption burst("burst", "Iterations per step call (default 1).", "N");
    const QCommandLineOption serial("serial", "Run the rows of each phase one after the other.");
    const QCommandLineOption watch("watch", "Serve a folder: run every state document dropped into it.", "DIR");
    const QCommandLineOption jobs("jobs", "With --watch, run up to N documents at once, each in its own grid (default 1).",
                                  "N");
    const QCommandLineOption timeLimit(
        "time-limit",
        "End a run after SECONDS of stepping (each document's run with --watch), saving the state reached; "
        "exit code 3.",
        "SECONDS");
    parser.addOptions({iterations, output, final, compress, vtk, vtkBinary, burst, serial, watch, jobs, timeLimit});
    // Bad options end the program with 2, as a run's own failures end it with 1.
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "ondix-run: %s See --help.\n", parser.errorText().toLocal8Bit().constData());
        return 2;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp(0);

    auto number = [&](const QCommandLineOption &o, int fallback) {
        if (!parser.isSet(o))
            return fallback;
        bool ok = false;
        const int v = parser.value(o).toInt(&ok);
        if (!ok || v < 0) {
            std::fprintf(stderr, "ondix-run: --%s needs a whole number, not \"%s\"\n",
                         o.names().constLast().toLatin1().constData(), parser.value(o).toLocal8Bit().constData());
            std::exit(2);
        }
        return v;
    };
    BatchRun::Settings settings;
    settings.iterations = number(iterations, 0);
    settings.vtkEvery = number(vtk, 0);
    settings.burst = std::max(1, number(burst, 1));
    settings.serial = parser.isSet(serial);
    settings.compressFinal = parser.isSet(compress);
    settings.vtkBinary = parser.isSet(vtkBinary);
    if (parser.isSet(timeLimit)) {
        bool ok = false;
        settings.timeLimit = parser.value(timeLimit).toDouble(&ok);
        if (!ok || !(settings.timeLimit > 0.0) || settings.timeLimit > 1e9) {
            std::fprintf(stderr, "ondix-run: --time-limit needs a positive number of seconds, not \"%s\"\n",
                         parser.value(timeLimit).toLocal8Bit().constData());
            return 2;
        }
    }
    settings.stop = &StopSignals::requested();
    const int jobCount = number(jobs, 1);
    if (jobCount < 1) {
        std::fprintf(stderr, "ondix-run: --jobs needs at least 1 job, not %d\n", jobCount);
        return 2;
    }

    Grid grid;
    StopSignals::install();

    if (parser.isSet(watch)) {
        const QString dir = parser.value(watch);
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

    const QStringList inputs = parser.positionalArguments();
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
    const QFileInfo info(input);
    settings.outputDirectory =
        parser.isSet(output) ? parser.value(output) : info.absolutePath() + "/" + info.completeBaseName() + "-results";
    settings.finalDocument = parser.value(final);
    const bool terminal = isatty(fileno(stdout));
    const BatchRun::Outcome outcome = run.run(
        settings, [terminal](const BatchRun::Progress &p) { show(p, terminal); }, &error);
    const char *lineEnd = terminal ? "\n" : "";
    const int iteration = grid.getStatistics().iterations;
    const QByteArray finalPath = run.finalDocumentPath().toLocal8Bit();
    switch (outcome) {
    case BatchRun::Outcome::Finished:
        std::fprintf(stdout, "%sDone at iteration %d; final state in %s\n", lineEnd, iteration, finalPath.constData());
        return 0;
    case BatchRun::Outcome::TimeLimit:
        std::fprintf(stdout, "%sStopped at iteration %d: the time limit of %g s was reached; state in %s\n", lineEnd,
                     iteration, settings.timeLimit, finalPath.constData());
        return 3;
    case BatchRun::Outcome::Stopped:
        if (run.iterationsRun() > 0)
            std::fprintf(stdout, "%sStopped at iteration %d by %s; state in %s\n", lineEnd, iteration,
                         StopSignals::name(), finalPath.constData());
        else
            std::fprintf(stdout, "%sStopped by %s before the first iteration; nothing was written\n", lineEnd,
                         StopSignals::name());
        return 128 + StopSignals::received();
    case BatchRun::Outcome::Failed:
        break;
    }
    std::fprintf(stderr, "%sondix-run: %s\n", lineEnd, error.toLocal8Bit().constData());
    return 1;
}
