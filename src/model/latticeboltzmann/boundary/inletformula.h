#pragma once

#include <QString>

// Evaluates an inlet formula of the parameters with Qt Script. The formula
// may call it() for the iteration count; its result, converted to text and
// then to a number, scales the inlet speed.
class InletFormula
{
public:
    // The formula's value at the given iteration; 0 when the result is not a
    // finite number (a syntax error, a string, undefined, NaN, Infinity).
    // Every evaluation runs in a fresh script engine. The value of the last
    // iteration is remembered per formula, so the many inlet cells of one
    // group share one evaluation per iteration.
    static double evaluate(const QString &formula, int iteration);

    // The same without the remembered values.
    static double evaluateFresh(const QString &formula, int iteration);
};
