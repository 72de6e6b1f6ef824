#pragma once

#include "batchrun.h"

#include <QDateTime>
#include <QMap>
#include <QString>

#include <atomic>
#include <functional>

class Grid;

// Watches a folder for state documents ("*.lb2") and runs each one to its
// end (the document's iteration limit or convergence threshold) with
// BatchRun, one after the other, on the given grid. A document is taken only
// once its size and time have stayed the same for a whole poll, so a file
// still being written is never read half-written. Results go to
// "<name>-results/" beside the document, into which the document is then
// moved; a document that cannot be run is renamed "<name>.failed" and its
// reason written to "<name>.error.txt", and the server goes on.
class SimulationServer
{
public:
    SimulationServer(Grid &grid, const QString &directory, const BatchRun::Settings &base);

    // One look at the folder: runs every document that is ready. Returns the
    // number of documents handled (run or set aside).
    int poll(const std::function<void(const QString &)> &log);
    // Polls every interval until stop is set.
    void serve(const std::atomic<bool> &stop, const std::function<void(const QString &)> &log, int intervalMs = 1000);

private:
    bool handle(const QString &path, const std::function<void(const QString &)> &log);

    Grid &grid;
    QString directory;
    BatchRun::Settings base;
    QMap<QString, QPair<qint64, QDateTime>> seen;
};
