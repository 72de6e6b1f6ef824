#pragma once

#include <QString>

// Evaluates an inlet formula of the parameters with Qt Script. The formula
// may call it() for the iteration count; its result, converted to text and
// then to a number, scales the inlet speed.
//
// The script engine reaches nothing but its own values (no files, no
// processes, no program objects), and a formula that runs longer than the
// time limit is stopped: it then counts as 0 and a message is logged and
// kept for the window to show. Every evaluation runs on one script thread
// of its own whatever thread asks, so the engine's periodic event
// processing, which lets the watchdog stop it, never delivers the events of
// the window or of a phase worker in the middle of a step.
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

    // The message about the last stopped formula, emptied by the call.
    static QString takeMessage();
};
