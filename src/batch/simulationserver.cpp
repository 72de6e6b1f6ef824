#include "simulationserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>

SimulationServer::SimulationServer(Grid &grid, const QString &directory, const BatchRun::Settings &base)
    : grid(grid), directory(directory), base(base)
{}

int SimulationServer::poll(const std::function<void(const QString &)> &log)
{
    QDir dir(directory);
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.lb2")}, QDir::Files | QDir::Readable, QDir::Time | QDir::Reversed);
    QMap<QString, QPair<qint64, QDateTime>> now;
    int handled = 0;
    for (const QFileInfo &info : files) {
        const QString path = info.absoluteFilePath();
        const QPair<qint64, QDateTime> state(info.size(), info.lastModified());
        // Unchanged since the last look: the writer is done with it.
        if (seen.contains(path) && seen.value(path) == state) {
            handle(path, log);
            ++handled;
            continue;
        }
        now.insert(path, state);
    }
    seen = now;
    return handled;
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
    const QString results = info.absolutePath() + "/" + info.completeBaseName() + "-results";
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
    if (ok && QFile::rename(path, results + "/" + info.fileName())) {
        if (log)
            log(QStringLiteral("Done %1: results in %2").arg(info.fileName(), results));
        return true;
    }
    if (ok)
        error = QStringLiteral("The document could not be moved into %1.").arg(results);
    // Set the document aside with the reason, so the server does not try it again.
    QFile::rename(path, path + ".failed");
    QSaveFile note(info.absolutePath() + "/" + info.fileName() + ".error.txt");
    if (note.open(QIODevice::WriteOnly | QIODevice::Text)) {
        note.write(error.toUtf8() + "\n");
        note.commit();
    }
    if (log)
        log(QStringLiteral("Failed %1: %2").arg(info.fileName(), error));
    return false;
}
