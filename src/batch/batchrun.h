#pragma once

#include "runoutputs.h"

#include <QString>
#include <QXmlStreamAttributes>

#include <atomic>
#include <functional>

class Grid;

// Runs a simulation without a window: loads a state document or a geometry,
// steps it for a number of iterations or until the document's own limits
// (Max It., Stop When), writes the outputs its "results" settings ask for
// (per-cell tables and the time-series table every interval; view images
// need a window and are left out) plus, on request, VTK files indexed by a
// ParaView collection, and saves the final state. The stepping is the
// grid's own, so the populations are bitwise those of the same run in the
// window.
class BatchRun
{
public:
    // A duration as hh:mm:ss for progress lines; --:--:-- when unknown (< 0).
    static QString clockText(int seconds);

    struct Settings
    {
        // Iterations to run; 0 runs until the document's limits.
        int iterations = 0;
        // Iterations per step call; the stop test is evaluated once per call.
        int burst = 1;
        // Folder of the outputs and the final document; made when missing.
        QString outputDirectory;
        // The final state document; empty: outputDirectory/<input stem>-final.lb2.
        QString finalDocument;
        bool compressFinal = false;
        // A VTK file every n iterations (0: none), listed in run.pvd.
        int vtkEvery = 0;
        // The VTK files in compressed binary rather than ASCII.
        bool vtkBinary = false;
        // Forces the rows of each phase to run one after the other.
        bool serial = false;
        // Keeps the plain fluid's populations in single precision, whatever
        // the document says (without it, the document's setting holds).
        bool single = false;
        // Set from outside (a signal) to end the run before its end; checked
        // between step calls, so the state saved is a whole iteration's.
        const std::atomic<bool> *stop = nullptr;
        // Seconds of running after which the run ends (0: no limit).
        double timeLimit = 0.0;
        // Milliseconds between progress reports (and the last iteration's).
        int progressInterval = 200;
    };

    enum class Outcome {
        Finished, // reached its iterations or the document's limits
        Stopped,  // the stop flag was set
        TimeLimit,
        Failed
    };

    struct Progress
    {
        int iteration;
        int target; // 0 when the end is the convergence test
        double mlups;
        int remainingSeconds; // rounded up; 0 only at the end, -1 when unknown
    };

    explicit BatchRun(Grid &grid);

    // The final document of a run of input: the settings' own, or
    // <input stem>-final.lb2 in the output folder.
    static QString finalPathFor(const Settings &settings, const QString &input);
    // Prints how a run of ondix-run ended (errors on stderr) and returns
    // its exit code: 0 done, 1 failed, 3 out of time, 128 + N stopped by
    // signal N. lineEnd ends a progress bar left on the line.
    static int reportEnd(Outcome outcome, int iteration, int iterationsRun, const Settings &settings,
                         const QString &finalPath, const QString &error, const char *lineEnd);

    // A state document (.lb2, .lb3, any XML) or a geometry (.png, .txt, .lb).
    bool load(const QString &input, QString *error);
    // Steps the grid and saves the state reached as the final document, also
    // when the run is stopped or out of time (not when it is stopped before
    // its first iteration: the input is the state then).
    Outcome run(const Settings &settings, const std::function<void(const Progress &)> &progress, QString *error);
    // The iterations run by the last run.
    int iterationsRun() const { return ran; }

    bool cellTablesEnabled() const { return outputs.cellTablesEnabled(); }
    bool timeSeriesEnabled() const { return outputs.timeSeriesEnabled(); }
    int outputInterval() const { return outputs.outputInterval(); }
    QString finalDocumentPath() const { return finalPath; }
    // Set by load: warnings that did not stop it (view images skipped, ...).
    QStringList warnings() const { return notes; }

private:
    Grid &grid;
    QString inputPath;
    RunOutputs outputs;
    QString finalPath;
    int ran = 0;
    QStringList notes;
};
