#include "inletformula.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QScriptEngine>
#include <QScriptValue>

#include <cmath>

namespace {

struct Remembered
{
    int iteration;
    double value;
};

// Inlet cells evaluate their formula in the parallel phase; evaluations are
// serialised, and the cache holds one value per formula text.
QMutex formulaMutex;
QHash<QString, Remembered> remembered;
constexpr int MaxRemembered = 16;

} // namespace

double InletFormula::evaluateFresh(const QString &formula, int iteration)
{
    const QString program = QStringLiteral("function it() { return %1; } ").arg(iteration) + formula;
    QScriptEngine engine;
    const QScriptValue result = engine.evaluate(program, QString(), 1);
    bool ok = false;
    const double v = result.toString().toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

double InletFormula::evaluate(const QString &formula, int iteration)
{
    QMutexLocker lock(&formulaMutex);
    const auto found = remembered.constFind(formula);
    if (found != remembered.constEnd() && found->iteration == iteration)
        return found->value;
    const double v = evaluateFresh(formula, iteration);
    if (remembered.size() >= MaxRemembered && !remembered.contains(formula))
        remembered.clear();
    remembered.insert(formula, Remembered{iteration, v});
    return v;
}
