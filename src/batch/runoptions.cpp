#include "runoptions.h"

#include <QFileInfo>

#include <algorithm>

RunOptions::RunOptions()
{
    parser.setApplicationDescription(QStringLiteral(
        "Runs an Ondix simulation without a window: a state document (.lb2, .lb3) or a geometry (.png, .txt, .lb),\n"
        "for a number of iterations or until the document's iteration limit or convergence threshold, writing the\n"
        "outputs its Results settings ask for and the final state document.\n"
        "Started by mpirun on several processes, it runs one document with its domain cut into slabs of rows.\n"
        "SIGINT or SIGTERM ends a run at the next whole iteration and saves the state reached.\n"
        "Exit codes: 0 done, 1 the run failed, 2 bad options, 3 the time limit was reached,\n"
        "128 + N stopped by signal N (130 SIGINT, 143 SIGTERM)."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("input"), QStringLiteral("The state document or geometry to run."));
    parser.addOptions({iterations, output, final, compress, vtk, vtkBinary, burst, serial, single, watch, jobsOption, timeLimit});
}

bool RunOptions::helpRequested() const
{
    return parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"));
}

bool RunOptions::parse(const QStringList &arguments, QString *message)
{
    if (!parser.parse(arguments)) {
        *message = parser.errorText() + QStringLiteral(" See --help.");
        return false;
    }
    if (helpRequested())
        return true;
    QString bad;
    auto number = [&](const QCommandLineOption &o, int fallback) {
        if (!parser.isSet(o))
            return fallback;
        bool ok = false;
        const int v = parser.value(o).toInt(&ok);
        if ((!ok || v < 0) && bad.isEmpty())
            bad = QStringLiteral("--%1 needs a whole number, not \"%2\"").arg(o.names().constLast(), parser.value(o));
        return v;
    };
    parsed = BatchRun::Settings();
    parsed.iterations = number(iterations, 0);
    parsed.vtkEvery = number(vtk, 0);
    parsed.burst = std::max(1, number(burst, 1));
    parsed.serial = parser.isSet(serial);
    parsed.single = parser.isSet(single);
    parsed.compressFinal = parser.isSet(compress);
    parsed.vtkBinary = parser.isSet(vtkBinary);
    jobCount = number(jobsOption, 1);
    if (bad.isEmpty() && parser.isSet(timeLimit)) {
        bool ok = false;
        parsed.timeLimit = parser.value(timeLimit).toDouble(&ok);
        if (!ok || !(parsed.timeLimit > 0.0) || parsed.timeLimit > 1e9)
            bad = QStringLiteral("--time-limit needs a positive number of seconds, not \"%1\"")
                      .arg(parser.value(timeLimit));
    }
    if (bad.isEmpty() && jobCount < 1)
        bad = QStringLiteral("--jobs needs at least 1 job, not %1").arg(jobCount);
    if (!bad.isEmpty()) {
        *message = bad;
        return false;
    }
    return true;
}

BatchRun::Settings RunOptions::settings(const QString &input) const
{
    BatchRun::Settings s = parsed;
    if (input.isEmpty())
        return s;
    const QFileInfo info(input);
    s.outputDirectory =
        parser.isSet(output) ? parser.value(output) : info.absolutePath() + "/" + info.completeBaseName() + "-results";
    s.finalDocument = parser.value(final);
    return s;
}
