#pragma once

#include "batchrun.h"
#include "dropfolder.h"

#include <QString>

#include <atomic>
#include <functional>

class DropJob;
class Grid;

// Watches a drop folder (see DropFolder) and runs each state document to its
// end (the document's iteration limit or convergence threshold) with
// BatchRun, one after the other, on the given grid. Each document is taken
// into a results folder of its own, where its outputs and final state go; a
// document that cannot be run gets its reason in "error.txt" there, and the
// server goes on.
class SimulationServer
{
public:
    SimulationServer(Grid &grid, const QString &directory, const BatchRun::Settings &base);

    // How long a document must stay unchanged before it is taken.
    void setSettleTime(int milliseconds) { folder.setSettleTime(milliseconds); }
    // Looks at the folder and runs the ready documents, looking again before
    // each. Returns the number of documents taken (run or failed).
    int poll(const std::function<void(const QString &)> &log);
    // Polls every interval until stop is set.
    void serve(const std::atomic<bool> &stop, const std::function<void(const QString &)> &log, int intervalMs = 1000);

private:
    void handle(DropJob &job, const std::function<void(const QString &)> &log);

    Grid &grid;
    DropFolder folder;
    BatchRun::Settings base;
    // The last problem with the folder itself, reported once.
    QString problem;
};
