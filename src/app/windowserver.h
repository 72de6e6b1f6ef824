#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class SimulationServer;

// The window's simulation server: watches a folder and runs each state
// document dropped into it as ondix-run --watch does, in a grid of its own on
// the thread pool, so the window's own simulation is never touched. Its
// signals come from the job's thread; connected to objects of the GUI
// thread they arrive queued.
class WindowServer : public QObject
{
    Q_OBJECT

public:
    enum class Stop {
        Finish,  // take no more documents; the running job goes on to its end
        Abandon  // the running job stops at its next iteration, keeps its outputs and goes back to the folder
    };

    explicit WindowServer(QObject *parent = nullptr);
    // Abandons a running job and waits for the server's thread.
    ~WindowServer() override;

    // Starts watching the folder (looked at every pollMs; a document is taken
    // once it has stayed unchanged for settleMs). False, with nothing
    // started, while an earlier server of this window still runs its job.
    bool start(const QString &directory, int pollMs = 1000, int settleMs = 1000);
    void stop(Stop how);
    // Until stopped, new documents are taken.
    bool isWatching() const { return watching; }
    // The server's thread runs: watching, or finishing its job.
    bool isActive() const { return future.isRunning(); }
    bool isJobRunning() const;
    QString directory() const { return folder; }
    // Waits for the server's thread to end.
    void wait();

signals:
    void jobStarted(const QString &job, const QString &document);
    void jobProgress(const QString &job, int iteration, int target, double mlups);
    void jobEnded(const QString &job);
    // One line of the server's log ("Running ...", "Done ...", "Failed ...").
    void logLine(const QString &line);
    // The server's thread has ended (after a stop, once its job ended).
    void stopped();

private:
    std::unique_ptr<SimulationServer> server;
    std::atomic<bool> stopWatching{false};
    std::atomic<bool> abandon{false};
    QFuture<void> future;
    QFutureWatcher<void> watcher;
    QString folder;
    bool watching = false;
};
