#include "batch_helper.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/statedocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

// ondix-run as a user meets it: started as a program, stopped by signals.
class TestRunner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void signalsEndARunWithItsState_data();
    void signalsEndARunWithItsState();
    void timeLimitEndsARun();
    void aPipeIsRefusedAtOnce();
    void aStoppedServerPutsItsDocumentBack();
    void severalJobsGiveTheResultsOfOne();
    void singleKeepsThePopulationsInSinglePrecision();
    void badOptionsEndWithTwo_data();
    void badOptionsEndWithTwo();
    void aBadInputIsNamedOnce_data();
    void aBadInputIsNamedOnce();

private:
    QString program;
};

namespace {

// A run with nothing but an iteration limit far out of reach.
QByteArray endlessDocument()
{
    return channelDocument({{"maxIterations", "100000000"}});
}

// Waits until the program's output holds the text; the output read so far
// is appended to seen.
bool waitForOutput(QProcess &process, const QByteArray &text, QByteArray &seen, int timeoutMs = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (!seen.contains(text) && clock.elapsed() < timeoutMs) {
        process.waitForReadyRead(100);
        seen += process.readAllStandardOutput();
        if (process.state() == QProcess::NotRunning)
            return seen.contains(text);
    }
    return seen.contains(text);
}

void endIfRunning(QProcess &process)
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
}

} // namespace

void TestRunner::initTestCase()
{
    program = QCoreApplication::applicationDirPath() + "/ondix-run";
    QVERIFY2(QFile::exists(program), "ondix-run must be built beside the tests");
}

void TestRunner::signalsEndARunWithItsState_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

void TestRunner::signalsEndARunWithItsState()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString input = dir.path() + "/long.lb2";
    QVERIFY(writeFile(input, endlessDocument()));
    QProcess process;
    process.start(program, {input});
    QByteArray seen;
    QVERIFY2(waitForOutput(process, "iteration", seen), seen.constData());
    ::kill(pid_t(process.processId()), signal);
    const bool ended = process.waitForFinished(10000);
    endIfRunning(process);
    QVERIFY2(ended, "still running 10 s after the signal");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 128 + signal);
    seen += process.readAllStandardOutput();
    QVERIFY2(seen.contains("Stopped at iteration"), seen.constData());
    // The state reached was saved, and resumes where the run stopped.
    QVERIFY(documentIterations(dir.path() + "/long-results/long-final.lb2") > 0);
}

void TestRunner::timeLimitEndsARun()
{
    QTemporaryDir dir;
    const QString input = dir.path() + "/long.lb2";
    QVERIFY(writeFile(input, endlessDocument()));
    QProcess process;
    process.start(program, {"--time-limit", "0.5", input});
    const bool ended = process.waitForFinished(20000);
    endIfRunning(process);
    QVERIFY(ended);
    QCOMPARE(process.exitCode(), 3);
    QVERIFY(process.readAllStandardOutput().contains("time limit of 0.5 s"));
    QVERIFY(documentIterations(dir.path() + "/long-results/long-final.lb2") > 0);

    // A limit that is not a positive number is a bad option.
    process.start(program, {"--time-limit", "-1", input});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 2);
}

void TestRunner::aPipeIsRefusedAtOnce()
{
    QTemporaryDir dir;
    const QString pipe = dir.path() + "/fifo.lb2";
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QProcess process;
    process.start(program, {"-n", "1", pipe});
    const bool ended = process.waitForFinished(10000);
    endIfRunning(process);
    QVERIFY2(ended, "blocked on the pipe");
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardError().contains("not a regular file"));
}

void TestRunner::aStoppedServerPutsItsDocumentBack()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.path() + "/long.lb2", endlessDocument()));
    QProcess process;
    process.start(program, {"--watch", dir.path()});
    QByteArray seen;
    QVERIFY2(waitForOutput(process, "Running long.lb2", seen), seen.constData());
    QTest::qWait(300);
    ::kill(pid_t(process.processId()), SIGTERM);
    const bool ended = process.waitForFinished(10000);
    endIfRunning(process);
    QVERIFY2(ended, "still running 10 s after SIGTERM");
    QCOMPARE(process.exitCode(), 0);
    seen += process.readAllStandardOutput();
    QVERIFY2(seen.contains("it is back in the folder"), seen.constData());
    // The document waits for the next server; the state reached is kept.
    QCOMPARE(readFile(dir.path() + "/long.lb2"), endlessDocument());
    QVERIFY(documentIterations(dir.path() + "/long-results/long-final.lb2") > 0);
    QVERIFY(readFile(dir.path() + "/long-results/stopped.txt").contains("asked to stop"));
}

// A folder of two documents served two at once ends with the same final
// documents, byte for byte, as served one after the other.
void TestRunner::severalJobsGiveTheResultsOfOne()
{
    QMap<QString, QByteArray> finals[2];
    for (int jobs = 1; jobs <= 2; ++jobs) {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.path() + "/a.lb2", limitedDocument(200)));
        QVERIFY(writeFile(dir.path() + "/b.lb2", channelDocument({{"maxIterations", "300"}, {"vp", "1"}, {"interval", "100"}})));
        QProcess process;
        process.start(program, {"--watch", dir.path(), "--jobs", QString::number(jobs)});
        QByteArray seen;
        const bool done = waitForOutput(process, "Done a.lb2", seen) && waitForOutput(process, "Done b.lb2", seen);
        ::kill(pid_t(process.processId()), SIGTERM);
        const bool ended = process.waitForFinished(10000);
        endIfRunning(process);
        QVERIFY2(done && ended, seen.constData());
        QCOMPARE(process.exitCode(), 0);
        // Progress lines name their job.
        QVERIFY2(seen.contains("a.lb2: iteration 200 of 200") && seen.contains("b.lb2: iteration 300 of 300"),
                 seen.constData());
        for (const char *name : {"a", "b"})
            finals[jobs - 1][name] =
                readFile(QStringLiteral("%1/%2-results/%2-final.lb2").arg(dir.path(), QLatin1String(name)));
    }
    for (const char *name : {"a", "b"}) {
        QVERIFY(!finals[0][name].isEmpty());
        QVERIFY2(finals[0][name] == finals[1][name], name);
    }
}

// --single runs the document with single-precision populations: its final
// document says so and holds what the same run gives in this process, which
// differs from the run in double.
void TestRunner::singleKeepsThePopulationsInSinglePrecision()
{
    QTemporaryDir dir;
    const QString input = dir.path() + "/a.lb2";
    QVERIFY(writeFile(input, limitedDocument(1000)));
    const QString finals[2] = {dir.path() + "/double.lb2", dir.path() + "/single.lb2"};
    for (int single = 0; single < 2; ++single) {
        QStringList arguments = {"-n", "40", "-f", finals[single], input};
        if (single)
            arguments.prepend("--single");
        QProcess process;
        process.start(program, arguments);
        QVERIFY(process.waitForFinished(30000));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
    }
    QVERIFY(readFile(finals[1]).contains("singlePopulations=\"1\""));
    QVERIFY(!readFile(finals[0]).contains("singlePopulations"));
    auto values = [](Grid &g) {
        std::vector<double> out;
        const int q = g.getParameters()->getModel();
        g.forEachCell([&](BaseCell *c, int, int, int) {
            for (int i = 0; i < q; ++i)
                out.push_back(c->getF(i, 0));
        });
        return out;
    };
    Grid here, fromDouble, fromSingle;
    StateDocument::Options options;
    QString error;
    QVERIFY2(StateDocument(here).load(input, options, &error), qPrintable(error));
    here.getParameters()->setSinglePopulations(true);
    here.step(40);
    QVERIFY2(StateDocument(fromDouble).load(finals[0], options, &error), qPrintable(error));
    QVERIFY2(StateDocument(fromSingle).load(finals[1], options, &error), qPrintable(error));
    QVERIFY(fromSingle.getParameters()->getSinglePopulations());
    QVERIFY(!fromDouble.getParameters()->getSinglePopulations());
    QCOMPARE(fromSingle.getStatistics().iterations, 40);
    const std::vector<double> expected = values(here), single = values(fromSingle), twice = values(fromDouble);
    QVERIFY(single == expected);
    QVERIFY(single != twice);
}

void TestRunner::badOptionsEndWithTwo_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown option") << QStringList({"--bogus", "x.lb2"});
    QTest::newRow("missing value") << QStringList({"x.lb2", "-n"});
    QTest::newRow("not a number") << QStringList({"-n", "many", "x.lb2"});
    QTest::newRow("no input") << QStringList();
    QTest::newRow("no jobs") << QStringList({"--watch", ".", "--jobs", "0"});
}

void TestRunner::badOptionsEndWithTwo()
{
    QFETCH(QStringList, arguments);
    QProcess process;
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 2);
    const QByteArray message = process.readAllStandardError();
    QVERIFY2(message.startsWith("ondix-run: "), message.constData());
}

void TestRunner::aBadInputIsNamedOnce_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("garbage document") << "run/garbage.lb2" << QByteArray("not a document\n");
    QTest::newRow("cut-off document") << "run/cut.lb2" << limitedDocument(20).left(3000);
    QTest::newRow("not an image") << "run/fake.png" << QByteArray("not an image\n");
}

void TestRunner::aBadInputIsNamedOnce()
{
    QFETCH(QString, input);
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("run"));
    QVERIFY(writeFile(dir.path() + "/" + input, content));
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(program, {"-n", "1", input});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 1);
    const QByteArray message = process.readAllStandardError();
    QVERIFY2(message.startsWith("ondix-run: "), message.constData());
    QVERIFY2(message.count(QFileInfo(input).fileName().toUtf8()) == 1, message.constData());
}

QTEST_GUILESS_MAIN(TestRunner)
#include "tst_runner.moc"
