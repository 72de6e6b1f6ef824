#pragma once

#include "batchrun.h"
#include "dropfolder.h"

#include <QFuture>
#include <QMutex>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <list>
#include <memory>

class DropJob;

// Watches a drop folder (see DropFolder) and runs each state document to its
// end (the document's iteration limit or convergence threshold) with
// BatchRun, up to a number of documents at once, each in a grid of its own
// on the server's thread pool. Each document is taken into a results folder
// of its own, where its outputs and final state go; a document that cannot
// be run gets its reason in "error.txt" there, and the server goes on. When
// the settings' stop flag is set, every running job ends at its next whole
// iteration, saves the state reached and puts its document back into the
// folder.
class SimulationServer
{
public:
    using Log = std::function<void(const QString &)>;
    // What the jobs report, called from the thread that runs the job; job is
    // the document's printable name.
    struct Observer
    {
        std::function<void(const QString &job, const QString &document)> started;
        std::function<void(const QString &job, const BatchRun::Progress &progress)> progress;
        std::function<void(const QString &job)> ended;
    };

    SimulationServer(const QString &directory, const BatchRun::Settings &base);
    // Stops taking documents and waits for the running jobs.
    ~SimulationServer();
    SimulationServer(const SimulationServer &) = delete;
    SimulationServer &operator=(const SimulationServer &) = delete;

    // How long a document must stay unchanged before it is taken.
    void setSettleTime(int milliseconds) { folder.setSettleTime(milliseconds); }
    // The number of documents run at once (at least 1).
    void setJobs(int count);
    int jobs() const { return maxJobs; }
    void setObserver(const Observer &o) { observer = o; }
    // The jobs running now (any thread may ask).
    int runningJobs() const { return running.load(); }

    // Takes the ready documents and runs them, looking again whenever a job
    // ends, and returns once no document is ready and no job runs. Returns
    // the number of documents taken (run or failed).
    int poll(const Log &log);
    // Looks at the folder every interval and keeps up to jobs() documents
    // running until stop is set; then takes no more and waits for the
    // running jobs (which end early only when the settings' stop flag is
    // set).
    void serve(const std::atomic<bool> &stop, const Log &log, int intervalMs = 1000);

private:
    struct Worker;
    // Starts jobs for ready documents while fewer than jobs() run; returns
    // the number of documents taken.
    int fill();
    // Forgets the workers that have ended; true when one had.
    bool reap();
    void waitForAll();
    void handle(DropJob &job);
    void write(const QString &line);

    DropFolder folder;
    BatchRun::Settings base;
    int maxJobs = 1;
    Observer observer;
    QThreadPool pool;
    std::list<std::unique_ptr<Worker>> workers;
    std::atomic<int> running{0};
    // The log of the current poll or serve; the jobs write to it one line
    // at a time.
    Log log;
    QMutex logLock;
    // The last problem with the folder itself, reported once.
    QString problem;
};
