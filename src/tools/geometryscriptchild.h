#pragma once

#include <QString>

// The process side of a geometry script run. The program started with
// option() and a work folder evaluates the script the folder holds under a
// memory and a processor-time limit, writes the layer images of its result
// into the folder and leaves there a status file that says how it ended.
// Whatever the script does, the window that started the process keeps its
// own memory and event loop: a built-in call that runs for minutes, an
// allocation without bound or a crash of the script library ends only this
// process. The script's print() lines go to the standard output.
//
//   program --run-geometry-script FOLDER MEMORY_BYTES TIME_MS
class GeometryScriptChild
{
public:
    // How the run ended, the first line of the status file.
    enum class Status { Finished, ScriptError, BadResult, MemoryLimit, Crashed };

    static const char *option();
    // True when the command line asks for a script run.
    static bool isCall(int argc, char **argv);
    // Runs the script of the folder named on the command line; the exit
    // code of the process. Makes its own application object: call it before
    // any other is made.
    static int run(int argc, char **argv);

    // The files of the work folder.
    static QString scriptFile(const QString &folder);
    static QString statusFile(const QString &folder);
    // The image of layer z (0 for the first).
    static QString layerFile(const QString &folder, int z);

    // The word of a status in the status file and back; false for a word
    // that is none.
    static QString statusWord(Status status);
    static bool statusOfWord(const QString &word, Status *status);
};
