#pragma once

#include "batchrun.h"
#include "dropfolder.h"

#include <QString>

#include <atomic>
#include <functional>

class Grid;

// Watches a drop folder (see DropFolder) and runs each state document to its
// end (the document's iteration limit or convergence threshold) with
// BatchRun, one after the other, on the given grid. Results go to
// "<name>-results/" beside the document, into which the document is then
// moved; a document that cannot be run is set aside with its reason, and the
// server goes on.
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
    DropFolder folder;
    BatchRun::Settings base;
};
