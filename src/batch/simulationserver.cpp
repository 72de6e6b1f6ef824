#include "simulationserver.h"

#include "dropjob.h"

#include "model/latticeboltzmann/grid.h"

#include <QMutexLocker>
#include <QThread>
#include <QtConcurrent>

#include <algorithm>

namespace {

// Names and messages may hold line breaks; a log line holds none.
QString shown(const QString &text)
{
    return DropFolder::printable(text.toUtf8());
}

} // namespace

struct SimulationServer::Worker
{
    std::unique_ptr<DropJob> job;
    QFuture<void> future;
};

SimulationServer::SimulationServer(const QString &directory, const BatchRun::Settings &base)
    : folder(directory), base(base)
{
    pool.setMaxThreadCount(maxJobs);
}

SimulationServer::~SimulationServer()
{
    waitForAll();
}

void SimulationServer::setJobs(int count)
{
    maxJobs = std::max(1, count);
    pool.setMaxThreadCount(maxJobs);
}

void SimulationServer::write(const QString &line)
{
    QMutexLocker lock(&logLock);
    if (log)
        log(line);
}

int SimulationServer::fill()
{
    int taken = 0;
    while (int(workers.size()) < maxJobs && !(base.stop && base.stop->load())) {
        QString error;
        std::unique_ptr<DropJob> job = folder.claimNext(&error);
        for (const DropFolder::Skipped &s : folder.takeSkipped())
            write(QStringLiteral("Skipped %1: %2").arg(DropFolder::printable(s.name), s.reason));
        if (error != problem && !error.isEmpty())
            write(QStringLiteral("Cannot take a document: %1").arg(shown(error)));
        problem = error;
        if (!job)
            break;
        ++taken;
        auto worker = std::make_unique<Worker>();
        worker->job = std::move(job);
        DropJob *claimed = worker->job.get();
        ++running;
        worker->future = QtConcurrent::run(&pool, [this, claimed] {
            handle(*claimed);
            --running;
        });
        workers.push_back(std::move(worker));
    }
    return taken;
}

bool SimulationServer::reap()
{
    const auto before = workers.size();
    workers.remove_if([](const std::unique_ptr<Worker> &w) { return w->future.isFinished(); });
    return workers.size() != before;
}

void SimulationServer::waitForAll()
{
    for (const std::unique_ptr<Worker> &w : workers)
        w->future.waitForFinished();
    workers.clear();
}

int SimulationServer::poll(const Log &logTo)
{
    {
        QMutexLocker lock(&logLock);
        log = logTo;
    }
    int taken = 0;
    while (true) {
        reap();
        taken += fill();
        if (workers.empty())
            break;
        // Wait for a job to end, then look again for a free slot.
        while (!reap())
            QThread::msleep(10);
    }
    return taken;
}

void SimulationServer::serve(const std::atomic<bool> &stop, const Log &logTo, int intervalMs)
{
    {
        QMutexLocker lock(&logLock);
        log = logTo;
    }
    while (!stop.load()) {
        // A job that ends frees its slot at once; the folder itself is
        // looked at once per interval.
        reap();
        fill();
        for (int waited = 0; waited < intervalMs && !stop.load(); waited += 50) {
            QThread::msleep(50);
            if (reap() && !(base.stop && base.stop->load()))
                fill();
        }
    }
    waitForAll();
}

void SimulationServer::handle(DropJob &job)
{
    const QString name = job.printableName();
    const QString results = shown(job.resultsFolder());
    // A grid of the job's own: jobs running at once share nothing.
    Grid grid;
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
            write(QStringLiteral("Left %1 in the folder: it changed while it was read").arg(name));
            return;
        }
        ok = false;
        error = QStringLiteral("The document changed while it was read, and cannot go back to the folder: %1")
                    .arg(why);
    }
    if (ok && base.stop && base.stop->load()) {
        // Asked to stop while it loaded: back it goes, untouched.
        if (job.release(nullptr)) {
            write(QStringLiteral("Left %1 in the folder: the runner is stopping").arg(name));
            return;
        }
    }
    BatchRun::Outcome outcome = BatchRun::Outcome::Failed;
    if (ok) {
        if (!run.warnings().isEmpty())
            job.writeNote(QStringLiteral("warnings.txt"), run.warnings().join(QLatin1Char('\n')), nullptr);
        write(QStringLiteral("Running %1 (results in %2)").arg(name, results));
        if (observer.started)
            observer.started(name, job.document());
        std::function<void(const BatchRun::Progress &)> progress;
        if (observer.progress)
            progress = [this, &name](const BatchRun::Progress &p) { observer.progress(name, p); };
        outcome = run.run(settings, progress, &error);
        if (observer.ended)
            observer.ended(name);
    }
    // Texts that come from outside go in with one arg call, so a "%1" in a
    // file name stays as it is.
    const QString iteration = QString::number(grid.getStatistics().iterations);
    const QString limit = QString::number(settings.timeLimit);
    switch (outcome) {
    case BatchRun::Outcome::Finished:
        write(QStringLiteral("Done %1: results in %2").arg(name, results));
        return;
    case BatchRun::Outcome::TimeLimit:
        job.writeNote(QStringLiteral("stopped.txt"),
                      QStringLiteral("Stopped at iteration %1: the time limit of %2 s was reached.").arg(iteration, limit),
                      nullptr);
        write(QStringLiteral("Stopped %1 at iteration %2: the time limit of %3 s was reached; results in %4")
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
        write(QStringLiteral("Stopped %1 at iteration %2: %3")
                  .arg(name, iteration,
                       back ? QStringLiteral("it is back in the folder")
                            : QStringLiteral("it stays in %1 (%2)").arg(results, shown(why))));
        return;
    }
    case BatchRun::Outcome::Failed:
        break;
    }
    job.fail(error);
    write(QStringLiteral("Failed %1: %2 (the reason is in %3/error.txt)").arg(name, shown(error), results));
}
