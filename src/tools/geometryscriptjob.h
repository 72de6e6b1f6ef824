#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTextDecoder>
#include <QTimer>

#include <memory>

class QTemporaryDir;

// Runs one geometry script in a process of its own (GeometryScriptChild)
// under a memory and a time limit, and tells when and how it ended. The
// caller's event loop keeps running meanwhile; the script's printed lines
// arrive through output(). Stop and the time limit kill the process at
// once, so no built-in call of the script library can hold the caller.
class GeometryScriptJob : public QObject
{
    Q_OBJECT

public:
    enum class Outcome { Finished, ScriptError, BadResult, TimeLimit, MemoryLimit, StoppedByUser, Crashed, NotStarted };

    explicit GeometryScriptJob(QObject *parent = nullptr);
    // Kills a process still running.
    ~GeometryScriptJob() override;

    // The program that runs scripts when started with the child's option;
    // "ondix" beside the running program unless set.
    static void setDefaultProgram(const QString &path);
    static QString defaultProgram();
    void setProgram(const QString &path) { program = path; }

    // Longest wall-clock time of a run in milliseconds (60 s at start).
    void setTimeLimit(int milliseconds) { timeLimit = qMax(1, milliseconds); }
    int getTimeLimit() const { return timeLimit; }
    // Most memory a script may add to the process, in bytes (2 GiB at start).
    void setMemoryLimit(qint64 bytes) { memoryLimit = qMax<qint64>(1 << 20, bytes); }
    qint64 getMemoryLimit() const { return memoryLimit; }

    // Starts the script; finished() follows in every case, also when the
    // process cannot be started.
    void start(const QString &script);
    // Ends a running script at once.
    void stop();
    bool isRunning() const { return running; }

    // After finished(): how the run ended and, unless it finished, why in
    // words for the user.
    Outcome outcome() const { return result; }
    QString message() const { return explanation; }
    // The extents of a finished run's domain and the image of its layer z.
    int width() const { return extents[0]; }
    int height() const { return extents[1]; }
    int length() const { return extents[2]; }
    QString layerFile(int z) const;
    // Milliseconds from start to the end of the process.
    qint64 elapsed() const { return runTime; }

signals:
    // Text the script printed, in whole lines.
    void output(const QString &text);
    void finished();

private:
    void readOutput();
    void flushOutput();
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void onError(QProcess::ProcessError error);
    void readStatus(int exitCode, QProcess::ExitStatus status);
    void end(Outcome outcome, const QString &message);

    QString program;
    int timeLimit = 60000;
    qint64 memoryLimit = qint64(2) << 30;
    QProcess *process = nullptr;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<QTextDecoder> decoder;
    QString pendingLine;
    qint64 shownBytes = 0;
    QTimer watchdog;
    QElapsedTimer clock;
    bool running = false;
    bool stopRequested = false;
    bool timedOut = false;
    Outcome result = Outcome::NotStarted;
    QString explanation;
    int extents[3] = {0, 0, 0};
    qint64 runTime = 0;
};
