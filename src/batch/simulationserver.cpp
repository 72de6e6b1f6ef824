#include "simulationserver.h"

#include "dropjob.h"

#include "model/latticeboltzmann/grid.h"

#include <QThread>

namespace {

// Names and messages may hold line breaks; a log line holds none.
QString shown(const QString &text)
{
    return DropFolder::printable(text.toUtf8());
}

} // namespace

SimulationServer::SimulationServer(Grid &grid, const QString &directory, const BatchRun::Settings &base)
    : grid(grid), folder(directory), base(base)
{}

int SimulationServer::poll(const std::function<void(const QString &)> &log)
{
    int taken = 0;
    while (true) {
        QString error;
        const std::unique_ptr<DropJob> job = folder.claimNext(&error);
        if (log)
            for (const DropFolder::Skipped &s : folder.takeSkipped())
                log(QStringLiteral("Skipped %1: %2").arg(DropFolder::printable(s.name), s.reason));
        if (error != problem && !error.isEmpty() && log)
            log(QStringLiteral("Cannot take a document: %1").arg(shown(error)));
        problem = error;
        if (!job)
            return taken;
        handle(*job, log);
        ++taken;
        if (base.stop && base.stop->load())
            return taken;
    }
}

void SimulationServer::serve(const std::atomic<bool> &stop, const std::function<void(const QString &)> &log,
                             int intervalMs)
{
    while (!stop.load()) {
        poll(log);
        for (int waited = 0; waited < intervalMs && !stop.load(); waited += 50)
            QThread::msleep(50);
    }
}

void SimulationServer::handle(DropJob &job, const std::function<void(const QString &)> &log)
{
    const QString name = job.printableName();
    const QString results = shown(job.resultsFolder());
    BatchRun run(grid);
    BatchRun::Settings settings = base;
    settings.outputDirectory = job.resultsFolder();
    settings.finalDocument = job.finalDocument();
    QString error;
    bool ok = run.load(job.document(), &error);
    if (!job.unchanged()) {
        // Written to while it was read: what was read is not the document.
        // It goes back, to be taken once it stays unchanged.
        QString why;
        if (job.release(&why)) {
            if (log)
                log(QStringLiteral("Left %1 in the folder: it changed while it was read").arg(name));
            return;
        }
        ok = false;
        error = QStringLiteral("The document changed while it was read, and cannot go back to the folder: %1")
                    .arg(why);
    }
    if (ok && base.stop && base.stop->load()) {
        // Asked to stop while it loaded: back it goes, untouched.
        if (job.release(nullptr)) {
            if (log)
                log(QStringLiteral("Left %1 in the folder: the runner is stopping").arg(name));
            return;
        }
    }
    BatchRun::Outcome outcome = BatchRun::Outcome::Failed;
    if (ok) {
        if (!run.warnings().isEmpty())
            job.writeNote(QStringLiteral("warnings.txt"), run.warnings().join(QLatin1Char('\n')), nullptr);
        if (log)
            log(QStringLiteral("Running %1 (results in %2)").arg(name, results));
        outcome = run.run(settings, nullptr, &error);
    }
    // Texts that come from outside go in with one arg call, so a "%1" in a
    // file name stays as it is.
    const QString iteration = QString::number(grid.getStatistics().iterations);
    const QString limit = QString::number(settings.timeLimit);
    switch (outcome) {
    case BatchRun::Outcome::Finished:
        if (log)
            log(QStringLiteral("Done %1: results in %2").arg(name, results));
        return;
    case BatchRun::Outcome::TimeLimit:
        job.writeNote(QStringLiteral("stopped.txt"),
                      QStringLiteral("Stopped at iteration %1: the time limit of %2 s was reached.").arg(iteration, limit),
                      nullptr);
        if (log)
            log(QStringLiteral("Stopped %1 at iteration %2: the time limit of %3 s was reached; results in %4")
                    .arg(name, iteration, limit, results));
        return;
    case BatchRun::Outcome::Stopped: {
        // The runner is stopping: the state reached stays here, and the
        // document goes back to be run afresh by a later runner.
        QString why;
        const bool back = job.release(&why);
        job.writeNote(QStringLiteral("stopped.txt"),
                      QStringLiteral("Stopped at iteration %1: the runner was asked to stop. %2")
                          .arg(iteration, back ? QStringLiteral("The document went back to the folder.")
                                               : QStringLiteral("The document stays here: %1").arg(why)),
                      nullptr);
        if (log)
            log(QStringLiteral("Stopped %1 at iteration %2: %3")
                    .arg(name, iteration,
                         back ? QStringLiteral("it is back in the folder")
                              : QStringLiteral("it stays in %1 (%2)").arg(results, shown(why))));
        return;
    }
    case BatchRun::Outcome::Failed:
        break;
    }
    job.fail(error);
    if (log)
        log(QStringLiteral("Failed %1: %2 (the reason is in %3/error.txt)").arg(name, shown(error), results));
}
