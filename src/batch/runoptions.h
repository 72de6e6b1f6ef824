#pragma once

#include "batchrun.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

// The command line of ondix-run, on one process and under mpirun alike: its
// options, their checks, and the run settings they give.
class RunOptions
{
public:
    RunOptions();
    // Parses the program's arguments. False with a message for options that
    // do not parse or hold impossible values (the program then ends with
    // exit code 2).
    bool parse(const QStringList &arguments, QString *message);
    bool helpRequested() const;
    QString helpText() const { return parser.helpText(); }

    // The settings for running input (its outputs go beside it unless -o
    // names a folder; no folder for an empty input, as when serving a
    // folder); the stop flag is left for the caller to set.
    BatchRun::Settings settings(const QString &input) const;
    // The folder of --watch; empty without it.
    QString watchFolder() const { return parser.value(watch); }
    int jobs() const { return jobCount; }
    QStringList inputs() const { return parser.positionalArguments(); }

private:
    QCommandLineParser parser;
    const QCommandLineOption iterations{{"n", "iterations"},
                                        "Iterations to run (default: until the document ends the run).", "N"};
    const QCommandLineOption output{{"o", "output"},
                                    "Folder of the outputs (default: <input>-results beside the input).", "DIR"};
    const QCommandLineOption final{{"f", "final"}, "The final state document (default: <output>/<input>-final.lb2).",
                                   "FILE"};
    const QCommandLineOption compress{"compress", "Write the final document compressed."};
    const QCommandLineOption vtk{"vtk-every", "Write a VTK file every N iterations, listed in run.pvd.", "N"};
    const QCommandLineOption vtkBinary{"vtk-binary", "Write the VTK files as compressed binary instead of ASCII."};
    const QCommandLineOption burst{"burst", "Iterations per step call (default 1).", "N"};
    const QCommandLineOption serial{"serial", "Run the rows of each phase one after the other."};
    const QCommandLineOption single{
        "single", "Keep the plain fluid's populations in single precision (half their memory; the arithmetic stays "
                  "double). The final document reloads in single precision."};
    const QCommandLineOption watch{"watch", "Serve a folder: run every state document dropped into it.", "DIR"};
    const QCommandLineOption jobsOption{
        "jobs", "With --watch, run up to N documents at once, each in its own grid (default 1).", "N"};
    const QCommandLineOption timeLimit{
        "time-limit",
        "End a run after SECONDS of stepping (each document's run with --watch), saving the state reached; "
        "exit code 3.",
        "SECONDS"};
    BatchRun::Settings parsed;
    int jobCount = 1;
};
