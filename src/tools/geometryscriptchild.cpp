#include "geometryscriptchild.h"

#include "persistence/geometryfiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QSaveFile>
#include <QScriptContext>
#include <QScriptEngine>
#include <QScriptValue>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Exit codes of the process; the status file says more.
constexpr int ExitDone = 0;
constexpr int ExitUsage = 2;
constexpr int ExitFailed = 3;

// What a failure signal's handler needs, set before the script starts.
int statusFd = -1;
// The status lines a signal handler writes, made beforehand.
char memoryStatus[32];
char crashedStatus[32];
long long memoryBase = 0;
long long memoryAllowed = 0;
alignas(16) char alternateStack[64 * 1024];

// The address the script library writes to when its allocator fails.
const uintptr_t ScriptLibraryOutOfMemory = 0xbbadbeef;

// The process's address space in bytes, read with calls a signal handler
// may make.
long long addressSpace()
{
    const int fd = ::open("/proc/self/statm", O_RDONLY);
    if (fd < 0)
        return 0;
    char text[64];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    long long pages = 0;
    for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
        pages = pages * 10 + (text[i] - '0');
    return pages * ::sysconf(_SC_PAGESIZE);
}

void writeStatusRaw(const char *text, size_t length)
{
    if (statusFd < 0)
        return;
    if (::ftruncate(statusFd, 0) == 0 && ::lseek(statusFd, 0, SEEK_SET) == 0) {
        while (length > 0) {
            const ssize_t n = ::write(statusFd, text, length);
            if (n <= 0)
                break;
            text += n;
            length -= size_t(n);
        }
    }
}

void writeStatus(GeometryScriptChild::Status status, const QStringList &lines = {})
{
    const QByteArray text =
        (QStringList(GeometryScriptChild::statusWord(status)) + lines).join(QLatin1Char('\n')).toUtf8() + '\n';
    writeStatusRaw(text.constData(), size_t(text.size()));
}

// A crash under the memory limit is taken for the limit when the script
// library says its allocator failed or the process had used more than half
// of what it may take; anything else is reported as a crash.
void onFailureSignal(int signal, siginfo_t *info, void *)
{
    const bool libraryOutOfMemory =
        signal == SIGSEGV && info && reinterpret_cast<uintptr_t>(info->si_addr) == ScriptLibraryOutOfMemory;
    const bool nearLimit = memoryAllowed > 0 && addressSpace() - memoryBase > memoryAllowed / 2;
    if (libraryOutOfMemory || nearLimit) {
        writeStatusRaw(memoryStatus, std::strlen(memoryStatus));
    } else {
        char text[64];
        size_t length = std::strlen(crashedStatus);
        std::memcpy(text, crashedStatus, length);
        char digits[12];
        int count = 0;
        for (unsigned v = unsigned(signal); count == 0 || v > 0; v /= 10)
            digits[count++] = char('0' + v % 10);
        while (count > 0)
            text[length++] = digits[--count];
        text[length++] = '\n';
        writeStatusRaw(text, length);
    }
    ::_exit(ExitFailed);
}

// An allocation failure thrown through frames that cannot pass it on ends
// here.
void onTerminate()
{
    bool memory = false;
    if (std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::bad_alloc &) {
            memory = true;
        } catch (...) {
        }
    }
    if (memory)
        writeStatus(GeometryScriptChild::Status::MemoryLimit);
    else
        writeStatus(GeometryScriptChild::Status::Crashed, {QString::number(SIGABRT)});
    ::_exit(ExitFailed);
}

void copyStatusWord(GeometryScriptChild::Status status, char *to, size_t size)
{
    const QByteArray word = GeometryScriptChild::statusWord(status).toLatin1() + '\n';
    qstrncpy(to, word.constData(), size);
}

void catchFailures()
{
    copyStatusWord(GeometryScriptChild::Status::MemoryLimit, memoryStatus, sizeof memoryStatus);
    copyStatusWord(GeometryScriptChild::Status::Crashed, crashedStatus, sizeof crashedStatus);
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    ::sigaltstack(&stack, nullptr);
    struct sigaction action
    {};
    action.sa_sigaction = onFailureSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGSEGV, SIGBUS, SIGABRT, SIGILL, SIGFPE})
        ::sigaction(signal, &action, nullptr);
    std::set_terminate(onTerminate);
}

// The memory limit counts from what the process already has mapped (the
// libraries and the engine's reservations), so it bounds what the script
// adds. The processor-time limit is a second line behind the window's own
// clock, for a process whose window is gone.
void limitResources(long long memory, int milliseconds)
{
    memoryBase = addressSpace();
    memoryAllowed = memory;
    const rlimit space{rlim_t(memoryBase + memory), rlim_t(memoryBase + memory)};
    ::setrlimit(RLIMIT_AS, &space);
    const rlim_t seconds = rlim_t(milliseconds / 1000 + 2);
    const rlimit cpu{seconds, seconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
}

QScriptValue printLine(QScriptContext *context, QScriptEngine *)
{
    QStringList parts;
    for (int i = 0; i < context->argumentCount(); ++i)
        parts << context->argument(i).toString();
    const QByteArray line = parts.join(QLatin1Char(' ')).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
    return QScriptValue();
}

QRgb colourOf(const QStringRef &word)
{
    if (word == QLatin1String("wall"))
        return qRgb(128, 128, 128);
    if (word == QLatin1String("inlet"))
        return qRgb(255, 0, 0);
    if (word == QLatin1String("outlet"))
        return qRgb(0, 0, 0);
    return qRgb(255, 255, 255);
}

// Writes the layer images of "W|H|L|c0|c1|..." into the folder; the message
// of a malformed result otherwise. The words are read in one pass without
// keeping a list of them.
bool writeImages(const QString &result, const QString &folder, int size[3], QString *message)
{
    int from = 0;
    auto nextField = [&](QStringRef *field) {
        if (from > result.size())
            return false;
        int to = result.indexOf(QLatin1Char('|'), from);
        if (to < 0)
            to = result.size();
        *field = result.midRef(from, to - from);
        from = to + 1;
        return true;
    };
    QStringRef field;
    for (int k = 0; k < 3; ++k) {
        bool ok = nextField(&field);
        size[k] = ok ? field.toInt(&ok) : 0;
        if (!ok || size[k] < 1) {
            *message = QStringLiteral("The script's result must start with the width, height and length as positive "
                                      "integers (W|H|L|...).");
            return false;
        }
    }
    const int w = size[0], h = size[1], l = size[2];
    const long long sites = static_cast<long long>(w) * h * l;
    if (sites > GeometryFiles::MaxSites) {
        *message = QStringLiteral("%1 x %2 x %3 is too large: a domain has at most %4 sites.")
                       .arg(w)
                       .arg(h)
                       .arg(l)
                       .arg(GeometryFiles::MaxSites);
        return false;
    }
    std::vector<QRgb> colours(size_t(sites), qRgb(255, 255, 255));
    long long cells = 0;
    while (nextField(&field)) {
        if (cells < sites)
            colours[size_t(cells)] = colourOf(field);
        ++cells;
    }
    if (cells != sites) {
        *message = QStringLiteral("The script gave %1 cells for %2 x %3 x %4 = %5 sites.")
                       .arg(cells)
                       .arg(w)
                       .arg(h)
                       .arg(l)
                       .arg(sites);
        return false;
    }
    for (int z = 0; z < l; ++z) {
        QImage image(w, h, QImage::Format_RGB32);
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y)
                image.setPixel(x, y, colours[size_t((static_cast<long long>(x) * h + y) * l + z)]);
        const QString name = GeometryScriptChild::layerFile(folder, z);
        QSaveFile file(name);
        if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
            *message = QStringLiteral("Could not write the image of layer %1: %2").arg(z + 1).arg(file.errorString());
            return false;
        }
    }
    return true;
}

int runScript(const QString &folder, long long memory, int milliseconds)
{
    QFile scriptFile(GeometryScriptChild::scriptFile(folder));
    if (!scriptFile.open(QIODevice::ReadOnly))
        return ExitUsage;
    const QString code = QString::fromUtf8(scriptFile.readAll());
    scriptFile.close();

    QScriptEngine engine;
    engine.globalObject().setProperty(QStringLiteral("print"), engine.newFunction(printLine));
    catchFailures();
    limitResources(memory, milliseconds);
    try {
        const QScriptValue value = engine.evaluate(code);
        if (engine.hasUncaughtException()) {
            writeStatus(
                GeometryScriptChild::Status::ScriptError,
                QStringList{QString::number(engine.uncaughtExceptionLineNumber()),
                            engine.uncaughtException().toString().replace(QLatin1Char('\n'), QLatin1Char(' '))} +
                    engine.uncaughtExceptionBacktrace());
            return ExitFailed;
        }
        int size[3] = {0, 0, 0};
        QString message;
        if (!writeImages(value.toString(), folder, size, &message)) {
            writeStatus(GeometryScriptChild::Status::BadResult, {message});
            return ExitFailed;
        }
        writeStatus(GeometryScriptChild::Status::Finished,
                    {QString::number(size[0]), QString::number(size[1]), QString::number(size[2])});
        return ExitDone;
    } catch (const std::bad_alloc &) {
        writeStatus(GeometryScriptChild::Status::MemoryLimit);
        return ExitFailed;
    }
}

} // namespace

const char *GeometryScriptChild::option()
{
    return "--run-geometry-script";
}

bool GeometryScriptChild::isCall(int argc, char **argv)
{
    return argc > 1 && std::strcmp(argv[1], option()) == 0;
}

int GeometryScriptChild::run(int argc, char **argv)
{
    // The run ends with the window that started it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s %s FOLDER MEMORY_BYTES TIME_MS\n", argv[0], option());
        return ExitUsage;
    }
    const QString folder = QString::fromLocal8Bit(argv[2]);
    bool memoryOk = false, timeOk = false;
    const long long memory = QByteArray(argv[3]).toLongLong(&memoryOk);
    const int milliseconds = QByteArray(argv[4]).toInt(&timeOk);
    if (!memoryOk || !timeOk || memory <= 0 || milliseconds <= 0) {
        std::fprintf(stderr, "%s: the memory and time limits must be positive whole numbers\n", option());
        return ExitUsage;
    }
    statusFd =
        ::open(QFile::encodeName(statusFile(folder)).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (statusFd < 0) {
        std::fprintf(stderr, "%s: cannot write in %s\n", option(), argv[2]);
        return ExitUsage;
    }
    // The script engine needs an application object; nothing here shows a
    // window.
    QCoreApplication application(argc, argv);
    return runScript(folder, memory, milliseconds);
}

QString GeometryScriptChild::scriptFile(const QString &folder)
{
    return folder + QStringLiteral("/script.js");
}

QString GeometryScriptChild::statusFile(const QString &folder)
{
    return folder + QStringLiteral("/status");
}

QString GeometryScriptChild::layerFile(const QString &folder, int z)
{
    const QString first = folder + QStringLiteral("/layer.png");
    return z == 0 ? first : GeometryFiles::layerFileName(first, z);
}

namespace {

struct StatusName
{
    GeometryScriptChild::Status status;
    const char *word;
};

const StatusName StatusNames[] = {
    {GeometryScriptChild::Status::Finished, "finished"}, {GeometryScriptChild::Status::ScriptError, "error"},
    {GeometryScriptChild::Status::BadResult, "result"},  {GeometryScriptChild::Status::MemoryLimit, "memory"},
    {GeometryScriptChild::Status::Crashed, "crashed"},
};

} // namespace

QString GeometryScriptChild::statusWord(Status status)
{
    for (const StatusName &name : StatusNames)
        if (name.status == status)
            return QString::fromLatin1(name.word);
    return QString();
}

bool GeometryScriptChild::statusOfWord(const QString &word, Status *status)
{
    for (const StatusName &name : StatusNames)
        if (word == QLatin1String(name.word)) {
            *status = name.status;
            return true;
        }
    return false;
}
