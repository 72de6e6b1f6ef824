#include "geometryscriptjob.h"

#include "geometryscriptchild.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextCodec>

#include <csignal>

namespace {

// Printed text beyond this is left out: a print loop must not fill the
// window's memory instead of its own.
constexpr qint64 MaxShownBytes = 256 * 1024;

QString &defaultProgramPath()
{
    static QString path;
    return path;
}

} // namespace

GeometryScriptJob::GeometryScriptJob(QObject *parent) : QObject(parent)
{
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [this] {
        if (!running || !process)
            return;
        timedOut = true;
        process->kill();
    });
}

GeometryScriptJob::~GeometryScriptJob()
{
    if (process && running) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished(5000);
    }
}

void GeometryScriptJob::setDefaultProgram(const QString &path)
{
    defaultProgramPath() = path;
}

QString GeometryScriptJob::defaultProgram()
{
    if (!defaultProgramPath().isEmpty())
        return defaultProgramPath();
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ondix");
}

QString GeometryScriptJob::layerFile(int z) const
{
    return folder ? GeometryScriptChild::layerFile(folder->path(), z) : QString();
}

void GeometryScriptJob::start(const QString &script)
{
    if (running)
        return;
    if (process) {
        process->disconnect(this);
        process->deleteLater();
        process = nullptr;
    }
    running = true;
    stopRequested = false;
    timedOut = false;
    shownBytes = 0;
    pendingLine.clear();
    decoder.reset(QTextCodec::codecForName("UTF-8")->makeDecoder());
    extents[0] = extents[1] = extents[2] = 0;
    runTime = 0;
    clock.start();

    folder = std::make_unique<QTemporaryDir>();
    if (!folder->isValid()) {
        end(Outcome::NotStarted, tr("Could not make a work folder for the script: %1").arg(folder->errorString()));
        return;
    }
    QFile file(GeometryScriptChild::scriptFile(folder->path()));
    if (!file.open(QIODevice::WriteOnly) || file.write(script.toUtf8()) < 0 || !file.flush()) {
        end(Outcome::NotStarted, tr("Could not write the script for its process: %1").arg(file.errorString()));
        return;
    }
    file.close();

    process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setProgram(program.isEmpty() ? defaultProgram() : program);
    process->setArguments({QString::fromLatin1(GeometryScriptChild::option()), folder->path(),
                           QString::number(memoryLimit), QString::number(timeLimit)});
    connect(process, &QProcess::readyReadStandardOutput, this, &GeometryScriptJob::readOutput);
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &GeometryScriptJob::onFinished);
    connect(process, &QProcess::errorOccurred, this, &GeometryScriptJob::onError);
    watchdog.start(timeLimit);
    process->start(QIODevice::ReadOnly);
}

void GeometryScriptJob::stop()
{
    if (!running || !process)
        return;
    stopRequested = true;
    process->kill();
}

void GeometryScriptJob::readOutput()
{
    if (!process)
        return;
    pendingLine += decoder->toUnicode(process->readAllStandardOutput());
    const int lastBreak = pendingLine.lastIndexOf(QLatin1Char('\n'));
    if (lastBreak < 0 && pendingLine.size() < MaxShownBytes)
        return;
    const int cut = lastBreak < 0 ? pendingLine.size() : lastBreak;
    const QString lines = pendingLine.left(cut);
    pendingLine.remove(0, lastBreak < 0 ? cut : cut + 1);
    if (shownBytes >= MaxShownBytes)
        return;
    shownBytes += lines.size();
    emit output(lines);
    if (shownBytes >= MaxShownBytes)
        emit output(tr("(The script printed more; the rest is left out.)"));
}

void GeometryScriptJob::flushOutput()
{
    if (!pendingLine.isEmpty() && shownBytes < MaxShownBytes)
        emit output(pendingLine);
    pendingLine.clear();
}

void GeometryScriptJob::onError(QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart || !running)
        return;
    watchdog.stop();
    end(Outcome::NotStarted,
        tr("Could not start %1 to run the script: %2").arg(process->program(), process->errorString()));
}

void GeometryScriptJob::onFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!running)
        return;
    watchdog.stop();
    runTime = clock.elapsed();
    readOutput();
    flushOutput();
    const QString seconds = QString::number(timeLimit / 1000.0);
    if (stopRequested)
        end(Outcome::StoppedByUser, tr("Stopped by the user."));
    else if (timedOut || (status == QProcess::CrashExit && exitCode == SIGXCPU))
        end(Outcome::TimeLimit, tr("Stopped: the script reached its time limit of %1 s.").arg(seconds));
    else
        readStatus(exitCode, status);
}

void GeometryScriptJob::readStatus(int exitCode, QProcess::ExitStatus status)
{
    QFile file(GeometryScriptChild::statusFile(folder->path()));
    QStringList lines;
    if (file.open(QIODevice::ReadOnly))
        lines = QString::fromUtf8(file.read(1 << 20)).split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    GeometryScriptChild::Status said;
    if (lines.isEmpty() || !GeometryScriptChild::statusOfWord(lines.first(), &said)) {
        end(Outcome::Crashed,
            status == QProcess::CrashExit
                ? tr("Stopped: the script's process crashed (signal %1).").arg(exitCode)
                : tr("Stopped: the script's process ended with code %1 and said nothing.").arg(exitCode));
        return;
    }
    switch (said) {
    case GeometryScriptChild::Status::Finished: {
        bool ok = lines.size() == 4;
        for (int k = 0; ok && k < 3; ++k)
            extents[k] = lines[k + 1].toInt(&ok);
        if (ok)
            end(Outcome::Finished, QString());
        else
            end(Outcome::Crashed, tr("The script's process ended with an unreadable status."));
        break;
    }
    case GeometryScriptChild::Status::ScriptError:
        end(Outcome::ScriptError, tr("Uncaught exception at line %1: %2").arg(lines.value(1), lines.value(2)) +
                                      QLatin1Char('\n') + lines.mid(3).join(QLatin1Char('\n')));
        break;
    case GeometryScriptChild::Status::BadResult:
        end(Outcome::BadResult, lines.mid(1).join(QLatin1Char('\n')));
        break;
    case GeometryScriptChild::Status::MemoryLimit:
        end(Outcome::MemoryLimit,
            tr("Stopped: the script reached its memory limit of %1 MB.").arg(memoryLimit / (1 << 20)));
        break;
    case GeometryScriptChild::Status::Crashed:
        end(Outcome::Crashed, tr("Stopped: the script's process crashed (signal %1).").arg(lines.value(1)));
        break;
    }
}

void GeometryScriptJob::end(Outcome outcome, const QString &message)
{
    running = false;
    result = outcome;
    explanation = message;
    if (runTime == 0)
        runTime = clock.elapsed();
    emit finished();
}
