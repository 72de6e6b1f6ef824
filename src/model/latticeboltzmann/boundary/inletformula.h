#pragma once

#include <QString>
#include <QStringList>

// Evaluates an inlet formula of the parameters with Qt Script. The formula
// may call it() for the iteration count; its result, converted to text and
// then to a number, scales the inlet speed.
//
// The script engine reaches nothing but its own values (no files, no
// processes, no program objects), and a formula that runs longer than the
// time limit is stopped: it then counts as 0 and a message is logged and
// kept for the window to show.
//
// When an evaluator program is set, formulas are evaluated in one process
// of that program, kept between evaluations, under a memory limit; a
// formula that passes the time limit, even inside a built-in call such as
// joining a huge array, is ended by killing that process, and one that
// takes too much memory or crashes the script library ends only that
// process. The next formula starts a new one. Without an evaluator program
// formulas run in this process on one script thread of its own, where the
// time limit is checked between statements only and memory is not limited.
// Either way the caller waits for the value without running an event loop,
// so the window's and the phase workers' events are never delivered in the
// middle of a step.
class InletFormula
{
public:
    // The formula's value at the given iteration; 0 when the result is not a
    // finite number (a syntax error, a string, undefined, NaN, Infinity) or
    // when the formula was stopped. Every evaluation runs in a fresh script
    // engine. The value of the last iteration is remembered per formula, so
    // the many inlet cells of one group share one evaluation per iteration;
    // a formula that was stopped once is not run again.
    static double evaluate(const QString &formula, int iteration);

    // The same without the remembered values.
    static double evaluateFresh(const QString &formula, int iteration);

    // Longest time one evaluation may take, in milliseconds (1000 at start).
    // Changing it forgets which formulas were stopped.
    static void setTimeLimit(int milliseconds);
    static int timeLimit();

    // Most memory the evaluating process may take beyond what it has at its
    // start, in bytes (256 MiB at start); applies to processes started after
    // the call.
    static void setMemoryLimit(qint64 bytes);
    static qint64 memoryLimit();

    // The program that evaluates formulas when started with
    // evaluatorOption(): its main calls serveEvaluations when
    // isEvaluatorCall says so. Empty (the start) evaluates in this process.
    // Setting it forgets an earlier failure to start it.
    static void setEvaluatorProgram(const QString &path);
    static QString evaluatorProgram();
    static const char *evaluatorOption();
    static bool isEvaluatorCall(int argc, char **argv);
    // The evaluating process: answers the requests on its standard input
    // until that closes; returns the exit code. Makes its own application
    // object: call it before any other is made.
    static int serveEvaluations(int argc, char **argv);

    // The messages about stopped formulas and about the evaluator, emptied
    // by the call.
    static QString takeMessage();
    // The same for the given formulas only (and the evaluator); messages
    // about other formulas stay for the simulation that uses them.
    static QString takeMessage(const QStringList &formulas);
};
