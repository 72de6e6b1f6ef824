#include "inletformula.h"

#include <QAtomicInt>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QScriptEngine>
#include <QScriptValue>
#include <QSemaphore>
#include <QSet>
#include <QThreadPool>
#include <QTimer>
#include <QtGlobal>

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
QSet<QString> stoppedFormulas;
constexpr int MaxRemembered = 16;

QAtomicInt limitMs(1000);
QMutex messageMutex;
QString lastMessage;

// How often a running formula lets the watchdog timer fire.
constexpr int PollMs = 10;

// The one thread every formula runs on.
class ScriptThread : public QThreadPool
{
public:
    ScriptThread()
    {
        setMaxThreadCount(1);
        setExpiryTimeout(-1);
    }
};
Q_GLOBAL_STATIC(ScriptThread, scriptThread)

struct Outcome
{
    double value = 0.0;
    bool stopped = false;
};

// Runs on the script thread, where the engine's event processing sees only
// the watchdog.
Outcome evaluateHere(const QString &program, int limit)
{
    Outcome outcome;
    QScriptEngine engine;
    engine.setProcessEventsInterval(PollMs);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        outcome.stopped = true;
        engine.abortEvaluation();
    });
    watchdog.start(limit);
    const QScriptValue result = engine.evaluate(program, QString(), 1);
    watchdog.stop();
    if (outcome.stopped)
        return outcome;
    bool ok = false;
    const double v = result.toString().toDouble(&ok);
    outcome.value = ok && std::isfinite(v) ? v : 0.0;
    return outcome;
}

Outcome evaluateGuarded(const QString &formula, int iteration)
{
    const QString program = QStringLiteral("function it() { return %1; } ").arg(iteration) + formula;
    const int limit = limitMs.loadRelaxed();
    Outcome outcome;
    // A semaphore rather than a future: waiting on a future may run the
    // queued task on the waiting thread itself.
    QSemaphore done;
    scriptThread()->start([&] {
        outcome = evaluateHere(program, limit);
        done.release();
    });
    done.acquire();
    if (outcome.stopped) {
        const QString message =
            QStringLiteral("The inlet formula \"%1\" was stopped after %2 ms; the inlet speed is 0 while it stays.")
                .arg(formula.left(200))
                .arg(limit);
        qWarning("%s", qPrintable(message));
        QMutexLocker lock(&messageMutex);
        lastMessage = message;
    }
    return outcome;
}

} // namespace

double InletFormula::evaluateFresh(const QString &formula, int iteration)
{
    return evaluateGuarded(formula, iteration).value;
}

double InletFormula::evaluate(const QString &formula, int iteration)
{
    QMutexLocker lock(&formulaMutex);
    if (stoppedFormulas.contains(formula))
        return 0.0;
    const auto found = remembered.constFind(formula);
    if (found != remembered.constEnd() && found->iteration == iteration)
        return found->value;
    const Outcome outcome = evaluateGuarded(formula, iteration);
    if (outcome.stopped) {
        if (stoppedFormulas.size() >= MaxRemembered)
            stoppedFormulas.clear();
        stoppedFormulas.insert(formula);
        remembered.remove(formula);
        return 0.0;
    }
    if (remembered.size() >= MaxRemembered && !remembered.contains(formula))
        remembered.clear();
    remembered.insert(formula, Remembered{iteration, outcome.value});
    return outcome.value;
}

void InletFormula::setTimeLimit(int milliseconds)
{
    limitMs.storeRelaxed(qMax(1, milliseconds));
    QMutexLocker lock(&formulaMutex);
    stoppedFormulas.clear();
}

int InletFormula::timeLimit()
{
    return limitMs.loadRelaxed();
}

QString InletFormula::takeMessage()
{
    QMutexLocker lock(&messageMutex);
    QString message;
    message.swap(lastMessage);
    return message;
}
