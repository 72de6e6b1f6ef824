#include "windowserver.h"

#include "batch/simulationserver.h"

#include <QtConcurrent>

WindowServer::WindowServer(QObject *parent) : QObject(parent)
{
    connect(&watcher, &QFutureWatcher<void>::finished, this, &WindowServer::stopped);
}

WindowServer::~WindowServer()
{
    stop(Stop::Abandon);
    wait();
}

bool WindowServer::start(const QString &directory, int pollMs, int settleMs)
{
    if (isActive())
        return false;
    future.waitForFinished();
    stopWatching = false;
    abandon = false;
    folder = directory;
    BatchRun::Settings settings;
    settings.stop = &abandon;
    settings.progressInterval = 250;
    server = std::make_unique<SimulationServer>(directory, settings);
    server->setSettleTime(settleMs);
    SimulationServer::Observer observer;
    observer.started = [this](const QString &job, const QString &document) { emit jobStarted(job, document); };
    observer.progress = [this](const QString &job, const BatchRun::Progress &p) {
        emit jobProgress(job, p.iteration, p.target, p.mlups);
    };
    observer.ended = [this](const QString &job) { emit jobEnded(job); };
    server->setObserver(observer);
    watching = true;
    SimulationServer *s = server.get();
    const int interval = std::max(1, pollMs);
    future = QtConcurrent::run([this, s, interval] {
        s->serve(stopWatching, [this](const QString &line) { emit logLine(line); }, interval);
    });
    watcher.setFuture(future);
    return true;
}

void WindowServer::stop(Stop how)
{
    watching = false;
    stopWatching = true;
    if (how == Stop::Abandon)
        abandon = true;
}

bool WindowServer::isJobRunning() const
{
    return server && isActive() && server->runningJobs() > 0;
}

void WindowServer::wait()
{
    future.waitForFinished();
}
