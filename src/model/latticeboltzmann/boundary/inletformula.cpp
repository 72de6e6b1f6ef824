#include "inletformula.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
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

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

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
// The last message about each formula, and the last one about the evaluator
// itself (under the empty key): two simulations in one process (the
// window's and a served job) each take only what concerns their formulas.
QHash<QString, QString> messages;

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

// A formula's result as a number: 0 unless its text is a finite number.
double numberOf(const QScriptValue &result)
{
    bool ok = false;
    const double v = result.toString().toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

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
    outcome.value = numberOf(result);
    return outcome;
}

// ---- The evaluating process ----

constexpr qint64 DefaultMemoryBytes = qint64(256) << 20;
QAtomicInteger<qint64> memoryBytes(DefaultMemoryBytes);
// How long a new evaluating process may take to say it is ready.
constexpr int StartMs = 10000;
const char Hello[] = "ondix inlet formula evaluator 1";

// The process's address space in bytes.
long long addressSpace()
{
    FILE *file = std::fopen("/proc/self/statm", "r");
    long long pages = 0;
    if (file) {
        if (std::fscanf(file, "%lld", &pages) != 1)
            pages = 0;
        std::fclose(file);
    }
    return pages * ::sysconf(_SC_PAGESIZE);
}

// Reads whole lines and blocks of bytes from a descriptor, waiting at most
// until a deadline.
class LineReader
{
public:
    enum class Read { Done, TimedOut, Closed };

    explicit LineReader(int fd) : fd(fd) {}

    Read line(QByteArray *text, QDeadlineTimer deadline)
    {
        for (;;) {
            const int end = buffer.indexOf('\n');
            if (end >= 0) {
                *text = buffer.left(end);
                buffer.remove(0, end + 1);
                return Read::Done;
            }
            const Read more = fill(deadline);
            if (more != Read::Done)
                return more;
        }
    }

    Read bytes(int count, QByteArray *text, QDeadlineTimer deadline)
    {
        while (buffer.size() < count) {
            const Read more = fill(deadline);
            if (more != Read::Done)
                return more;
        }
        *text = buffer.left(count);
        buffer.remove(0, count);
        return Read::Done;
    }

    void clear() { buffer.clear(); }

private:
    Read fill(QDeadlineTimer deadline)
    {
        pollfd p{fd, POLLIN, 0};
        for (;;) {
            const qint64 left = deadline.isForever() ? -1 : deadline.remainingTime();
            const int ready = ::poll(&p, 1, left < 0 ? -1 : int(qMin<qint64>(left, INT_MAX)));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready == 0)
                return Read::TimedOut;
            if (ready < 0)
                return Read::Closed;
            break;
        }
        char chunk[4096];
        ssize_t n;
        do
            n = ::read(fd, chunk, sizeof chunk);
        while (n < 0 && errno == EINTR);
        if (n <= 0)
            return Read::Closed;
        buffer.append(chunk, int(n));
        return Read::Done;
    }

    int fd;
    QByteArray buffer;
};

// The evaluating process seen from the simulation: one at a time, started
// when a formula needs it, killed when a formula passes the time limit.
class Evaluator
{
public:
    enum class Answer { Value, TimedOut, Died, Unavailable };

    ~Evaluator() { end(); }

    void setProgram(const QString &path)
    {
        end();
        program = path;
        failed = false;
    }
    QString getProgram() const { return program; }

    // The value of a program; why not in detail otherwise.
    Answer ask(const QString &text, int limit, double *value, QString *detail)
    {
        if (fd < 0 && (program.isEmpty() || failed || !start(detail))) {
            failed = !program.isEmpty();
            return Answer::Unavailable;
        }
        const QByteArray body = text.toUtf8();
        const QByteArray request = QByteArray::number(limit) + ' ' + QByteArray::number(body.size()) + '\n' + body;
        QDeadlineTimer deadline(limit);
        if (!send(request, deadline))
            return deadline.hasExpired() ? timedOut() : died(detail);
        QByteArray answer;
        switch (reader.line(&answer, deadline)) {
        case LineReader::Read::TimedOut:
            return timedOut();
        case LineReader::Read::Closed:
            return died(detail);
        case LineReader::Read::Done:
            break;
        }
        bool ok = false;
        *value = answer.toDouble(&ok);
        if (!ok || !std::isfinite(*value))
            *value = 0.0;
        return Answer::Value;
    }

private:
    bool start(QString *why)
    {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
            *why = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        const QByteArray path = QFile::encodeName(program);
        const QByteArray option = InletFormula::evaluatorOption();
        const QByteArray memory = QByteArray::number(memoryBytes.loadRelaxed());
        char *arguments[] = {const_cast<char *>(path.constData()), const_cast<char *>(option.constData()),
                             const_cast<char *>(memory.constData()), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], 0);
        posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
        pid_t child = -1;
        const int error = ::posix_spawn(&child, path.constData(), &actions, nullptr, arguments, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        if (error != 0) {
            ::close(ends[0]);
            *why = QStringLiteral("%1: %2").arg(program, QString::fromLocal8Bit(std::strerror(error)));
            return false;
        }
        pid = child;
        fd = ends[0];
        reader = LineReader(fd);
        QByteArray hello;
        if (reader.line(&hello, QDeadlineTimer(StartMs)) != LineReader::Read::Done || hello != Hello) {
            end();
            *why = QStringLiteral("%1 did not start as a formula evaluator").arg(program);
            return false;
        }
        return true;
    }

    bool send(const QByteArray &request, QDeadlineTimer deadline)
    {
        const char *data = request.constData();
        qint64 left = request.size();
        while (left > 0) {
            pollfd p{fd, POLLOUT, 0};
            const qint64 wait = deadline.remainingTime();
            const int ready = ::poll(&p, 1, int(qMin<qint64>(qMax<qint64>(wait, 0), INT_MAX)));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return false;
            // No SIGPIPE when the process has just died.
            const ssize_t n = ::send(fd, data, size_t(left), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n < 0)
                return false;
            data += n;
            left -= n;
        }
        return true;
    }

    Answer timedOut()
    {
        end();
        return Answer::TimedOut;
    }

    Answer died(QString *detail)
    {
        const int status = end();
        *detail = WIFSIGNALED(status) ? QStringLiteral("signal %1").arg(WTERMSIG(status))
                                      : QStringLiteral("exit code %1").arg(WEXITSTATUS(status));
        return Answer::Died;
    }

    // Kills the process and waits for it; its wait status.
    int end()
    {
        int status = 0;
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
        if (fd >= 0)
            ::close(fd);
        pid = -1;
        fd = -1;
        reader.clear();
        return status;
    }

    QString program;
    bool failed = false;
    pid_t pid = -1;
    int fd = -1;
    LineReader reader{-1};
};

QMutex evaluatorMutex;
Q_GLOBAL_STATIC(Evaluator, evaluator)

void keepMessage(const QString &formula, const QString &message)
{
    qWarning("%s", qPrintable(message));
    QMutexLocker lock(&messageMutex);
    messages.insert(formula, message);
}

Outcome evaluateInProcess(const QString &program, int limit)
{
    Outcome outcome;
    // A semaphore rather than a future: waiting on a future may run the
    // queued task on the waiting thread itself.
    QSemaphore done;
    scriptThread()->start([&] {
        outcome = evaluateHere(program, limit);
        done.release();
    });
    done.acquire();
    return outcome;
}

Outcome evaluateGuarded(const QString &formula, int iteration)
{
    const QString program = QStringLiteral("function it() { return %1; } ").arg(iteration) + formula;
    const int limit = limitMs.loadRelaxed();
    const QString shown = formula.left(200);
    Outcome outcome;
    {
        QMutexLocker lock(&evaluatorMutex);
        QString detail;
        switch (evaluator()->ask(program, limit, &outcome.value, &detail)) {
        case Evaluator::Answer::Value:
            return outcome;
        case Evaluator::Answer::TimedOut:
            outcome.stopped = true;
            break;
        case Evaluator::Answer::Died:
            outcome.stopped = true;
            keepMessage(
                formula, QStringLiteral("The inlet formula \"%1\" ended the process that evaluates it (%2): it took more "
                               "than %3 MB of memory or crashed the script engine. The inlet speed is 0 "
                               "while it stays.")
                    .arg(shown, detail)
                    .arg(memoryBytes.loadRelaxed() >> 20));
            return outcome;
        case Evaluator::Answer::Unavailable:
            if (!detail.isEmpty())
                keepMessage(QString(), QStringLiteral("Inlet formulas are evaluated without a memory limit and stopped only "
                                           "between statements: %1.")
                                .arg(detail));
            break;
        }
    }
    if (!outcome.stopped)
        outcome = evaluateInProcess(program, limit);
    if (outcome.stopped)
        keepMessage(formula, QStringLiteral("The inlet formula \"%1\" was stopped after %2 ms; the inlet speed is 0 while it "
                                   "stays.")
                        .arg(shown)
                        .arg(limit));
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

void InletFormula::setMemoryLimit(qint64 bytes)
{
    memoryBytes.storeRelaxed(qMax<qint64>(qint64(16) << 20, bytes));
}

qint64 InletFormula::memoryLimit()
{
    return memoryBytes.loadRelaxed();
}

void InletFormula::setEvaluatorProgram(const QString &path)
{
    QMutexLocker lock(&evaluatorMutex);
    evaluator()->setProgram(path);
}

QString InletFormula::evaluatorProgram()
{
    QMutexLocker lock(&evaluatorMutex);
    return evaluator()->getProgram();
}

const char *InletFormula::evaluatorOption()
{
    return "--evaluate-inlet-formulas";
}

bool InletFormula::isEvaluatorCall(int argc, char **argv)
{
    return argc > 1 && std::strcmp(argv[1], evaluatorOption()) == 0;
}

int InletFormula::serveEvaluations(int argc, char **argv)
{
    bool ok = false;
    const qint64 memory = argc == 3 ? QByteArray(argv[2]).toLongLong(&ok) : 0;
    if (!ok || memory <= 0) {
        std::fprintf(stderr, "usage: %s %s MEMORY_BYTES\n", argv[0], evaluatorOption());
        return 2;
    }
    // Requests come on the standard input and answers go out on a copy of
    // the standard output; whatever else writes to the standard output ends
    // on the standard error and cannot mix with the answers.
    const int in = ::dup(0);
    const int out = ::dup(1);
    ::dup2(2, 1);
    QCoreApplication application(argc, argv);
    {
        // The reservations of an engine belong to the base the limit counts
        // from.
        QScriptEngine engine;
        const long long base = addressSpace();
        const rlimit space{rlim_t(base + memory), rlim_t(base + memory)};
        ::setrlimit(RLIMIT_AS, &space);
    }
    auto answer = [out](const QByteArray &line) {
        const QByteArray text = line + '\n';
        return ::write(out, text.constData(), size_t(text.size())) == text.size();
    };
    if (!answer(Hello))
        return 1;
    LineReader reader(in);
    for (;;) {
        QByteArray header, program;
        if (reader.line(&header, QDeadlineTimer(QDeadlineTimer::Forever)) != LineReader::Read::Done)
            return 0;
        const QList<QByteArray> fields = header.split(' ');
        const int limit = fields.value(0).toInt();
        const int bytes = fields.value(1).toInt();
        if (fields.size() != 2 || limit <= 0 || bytes < 0 ||
            reader.bytes(bytes, &program, QDeadlineTimer(QDeadlineTimer::Forever)) != LineReader::Read::Done)
            return 1;
        // A second guard behind the simulation's own clock, should it be
        // gone: the processor time this evaluation may add.
        rusage used{};
        ::getrusage(RUSAGE_SELF, &used);
        rlimit cpu{};
        ::getrlimit(RLIMIT_CPU, &cpu);
        cpu.rlim_cur = rlim_t(used.ru_utime.tv_sec + used.ru_stime.tv_sec + limit / 1000 + 2);
        if (cpu.rlim_max != RLIM_INFINITY && cpu.rlim_cur > cpu.rlim_max)
            cpu.rlim_cur = cpu.rlim_max;
        ::setrlimit(RLIMIT_CPU, &cpu);
        double value;
        {
            QScriptEngine engine;
            value = numberOf(engine.evaluate(QString::fromUtf8(program), QString(), 1));
        }
        if (!answer(QByteArray::number(value, 'g', 17)))
            return 1;
    }
}

QString InletFormula::takeMessage()
{
    QMutexLocker lock(&messageMutex);
    const QStringList all = messages.values();
    messages.clear();
    return all.join(QLatin1Char('\n'));
}

QString InletFormula::takeMessage(const QStringList &formulas)
{
    QMutexLocker lock(&messageMutex);
    QStringList keys = formulas;
    keys << QString();
    QStringList taken;
    for (const QString &key : keys)
        if (messages.contains(key))
            taken << messages.take(key);
    taken.removeDuplicates();
    return taken.join(QLatin1Char('\n'));
}
