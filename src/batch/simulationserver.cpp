#include "simulationserver.h"

#include <QFileInfo>
#include <QThread>

SimulationServer::SimulationServer(Grid &grid, const QString &directory, const BatchRun::Settings &base)
    : grid(grid), folder(directory), base(base)
{}

int SimulationServer::poll(const std::function<void(const QString &)> &log)
{
    const QStringList documents = folder.ready();
    for (const QString &path : documents)
        handle(path, log);
    return documents.size();
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

bool SimulationServer::handle(const QString &path, const std::function<void(const QString &)> &log)
{
    const QFileInfo info(path);
    const QString results = DropFolder::resultsFolder(path);
    BatchRun run(grid);
    BatchRun::Settings settings = base;
    settings.outputDirectory = results;
    QString error;
    bool ok = run.load(path, &error);
    if (ok) {
        if (log)
            log(QStringLiteral("Running %1").arg(info.fileName()));
        ok = run.run(settings, nullptr, &error);
    }
    if (ok && DropFolder::finish(path, &error)) {
        if (log)
            log(QStringLiteral("Done %1: results in %2").arg(info.fileName(), results));
        return true;
    }
    DropFolder::setAside(path, error);
    if (log)
        log(QStringLiteral("Failed %1: %2").arg(info.fileName(), error));
    return false;
}
