#include "batch/batchrun.h"
#include "batch/simulationserver.h"
#include "batch_helper.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/geometryfiles.h"
#include "persistence/statedocument.h"

#include <QDir>
#include <QMutex>
#include <QWaitCondition>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamWriter>
#include <QtTest>

namespace {

QVector<double> populations(Grid &grid)
{
    QVector<double> all;
    const int q = grid.getParameters()->getModel();
    for (int y = 0; y < grid.getHeight(); ++y)
        for (int x = 0; x < grid.getWidth(); ++x)
            for (int i = 0; i < q; ++i)
                all.append(grid.getCell(x, y, 0)->getF(i, 0));
    return all;
}

// A channel a few iterations in, saved with Results settings that ask for
// tables every 10 iterations and a limit of maxIterations.
QString prepareDocument(const QString &dir, const QString &name, int maxIterations)
{
    Grid grid;
    QString error;
    buildChannel(grid);
    grid.step(7);
    StateDocument document(grid);
    StateDocument::Panel results;
    results.name = QStringLiteral("results");
    results.write = [maxIterations](QXmlStreamWriter &w) {
        w.writeAttribute("maxIterations", QString::number(maxIterations));
        w.writeAttribute("interval", "10");
        w.writeAttribute("vp", "1");
        w.writeAttribute("simulation", "1");
        w.writeAttribute("images", "0");
    };
    results.read = [](QXmlStreamReader &r, QString *) {
        r.skipCurrentElement();
        return true;
    };
    document.setPanels({results});
    const QString path = dir + "/" + name;
    return document.save(path, StateDocument::Options(), &error) ? path : QString();
}

} // namespace

class TestBatchRun : public QObject
{
    Q_OBJECT

private slots:
    void runEqualsSteppingAndWritesOutputs();
    void refusesWhatItCannotRun();
    void serverRunsReadyDocumentsAndSetsBadOnesAside();
    void serverRunsJobsAtOnce();
    void binaryVtkSeries();
    void geometryRunWarnsOfNothing();
    void throughputAndTimeLeftAreReal();
};

void TestBatchRun::runEqualsSteppingAndWritesOutputs()
{
    QTemporaryDir dir;
    const QString doc = prepareDocument(dir.path(), "channel.lb2", 57);
    QVERIFY(!doc.isEmpty());

    QVector<double> direct;
    {
        Grid grid;
        QVERIFY(StateDocument(grid).load(doc, StateDocument::Options()));
        grid.getParameters()->setMaxIterations(57);
        while (grid.step(1) > 0) {
        }
        QCOMPARE(grid.getStatistics().iterations, 57);
        direct = populations(grid);
    }
    {
        Grid grid;
        BatchRun run(grid);
        QString error;
        QVERIFY2(run.load(doc, &error), qPrintable(error));
        QVERIFY(run.cellTablesEnabled() && run.timeSeriesEnabled());
        BatchRun::Settings settings;
        settings.outputDirectory = dir.path() + "/out";
        settings.vtkEvery = 25;
        settings.burst = 4;
        int reports = 0;
        QVERIFY2(run.run(
                     settings, [&](const BatchRun::Progress &p) { reports += p.target == 57; }, &error) ==
                     BatchRun::Outcome::Finished,
                 qPrintable(error));
        QVERIFY(reports > 0);
        QCOMPARE(grid.getStatistics().iterations, 57);
        QVERIFY(populations(grid) == direct);
    }
    QDir out(dir.path() + "/out");
    QCOMPARE(out.entryList({"vp_*.csv"}),
             QStringList({"vp_000010.csv", "vp_000020.csv", "vp_000030.csv", "vp_000040.csv", "vp_000050.csv"}));
    QFile series(out.filePath("simulation.csv"));
    QVERIFY(series.open(QIODevice::ReadOnly));
    QCOMPARE(series.readAll().count('\n'), 6); // header and five lines
    QFile pvd(out.filePath("run.pvd"));
    QVERIFY(pvd.open(QIODevice::ReadOnly));
    const QByteArray collection = pvd.readAll();
    QVERIFY(collection.contains("file=\"vtk_000025.vtu\"") && collection.contains("file=\"vtk_000050.vtu\""));
    QVERIFY(out.exists("vtk_000050.vtu"));

    // The final document resumes the run where it ended, with its Results settings.
    Grid grid;
    BatchRun resumed(grid);
    QString error;
    QVERIFY2(resumed.load(out.filePath("channel-final.lb2"), &error), qPrintable(error));
    QCOMPARE(grid.getStatistics().iterations, 57);
    QVERIFY(populations(grid) == direct);
    QVERIFY(resumed.cellTablesEnabled() && resumed.outputInterval() == 10);
}

void TestBatchRun::refusesWhatItCannotRun()
{
    QTemporaryDir dir;
    Grid grid;
    BatchRun run(grid);
    QString error;
    QFile junk(dir.path() + "/junk.lb2");
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("<grid><lattice");
    junk.close();
    QVERIFY(!run.load(junk.fileName(), &error));
    QVERIFY(!error.isEmpty());

    const QString doc = prepareDocument(dir.path(), "open.lb2", 0);
    QVERIFY(run.load(doc, &error));
    BatchRun::Settings settings;
    settings.outputDirectory = dir.path() + "/out";
    QVERIFY(run.run(settings, nullptr, &error) == BatchRun::Outcome::Failed);
    QVERIFY(error.contains("Nothing ends this run"));
    QCOMPARE(grid.getStatistics().iterations, 7);
}

void TestBatchRun::serverRunsReadyDocumentsAndSetsBadOnesAside()
{
    QTemporaryDir dir;
    QVERIFY(!prepareDocument(dir.path(), "good.lb2", 20).isEmpty());
    QFile bad(dir.path() + "/bad.lb2");
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not a document");
    bad.close();
    SimulationServer server(dir.path(), BatchRun::Settings());
    server.setSettleTime(200);
    QStringList log;
    auto record = [&](const QString &line) { log << line; };
    // The first look only notes the files: they may still be being written.
    QCOMPARE(server.poll(record), 0);
    QTest::qSleep(250);
    QCOMPARE(server.poll(record), 2);
    QDir results(dir.path() + "/good-results");
    QVERIFY(results.exists("good.lb2") && results.exists("good-final.lb2") && results.exists("vp_000010.csv"));
    QVERIFY(!QFile::exists(dir.path() + "/good.lb2"));
    QVERIFY(QFile::exists(dir.path() + "/bad-results/bad.lb2"));
    QVERIFY(QFile::exists(dir.path() + "/bad-results/error.txt"));
    QVERIFY(!QFile::exists(dir.path() + "/bad.lb2"));
    QCOMPARE(log.size(), 3);
}

// With two jobs allowed, the second document starts while the first runs:
// each job waits in its progress report until both have started, which
// could never happen if they ran one after the other.
void TestBatchRun::serverRunsJobsAtOnce()
{
    QTemporaryDir dir;
    QVERIFY(!prepareDocument(dir.path(), "one.lb2", 60).isEmpty());
    QVERIFY(!prepareDocument(dir.path(), "two.lb2", 60).isEmpty());
    SimulationServer server(dir.path(), BatchRun::Settings());
    server.setSettleTime(0);
    server.setJobs(2);
    QMutex lock;
    QWaitCondition bothStarted;
    int started = 0;
    bool overlapped = true;
    SimulationServer::Observer observer;
    observer.started = [&](const QString &, const QString &) {
        QMutexLocker locker(&lock);
        ++started;
        bothStarted.wakeAll();
    };
    observer.progress = [&](const QString &, const BatchRun::Progress &) {
        QMutexLocker locker(&lock);
        while (started < 2)
            if (!bothStarted.wait(&lock, 10000)) {
                overlapped = false;
                return;
            }
    };
    server.setObserver(observer);
    QStringList log;
    QCOMPARE(server.poll([&](const QString &line) { log << line; }), 2);
    QVERIFY(overlapped);
    QCOMPARE(server.runningJobs(), 0);
    for (const char *name : {"one", "two"})
        QCOMPARE(documentIterations(QStringLiteral("%1/%2-results/%2-final.lb2").arg(dir.path(), QLatin1String(name))),
                 60);
    QCOMPARE(log.filter("Done").size(), 2);
}

void TestBatchRun::binaryVtkSeries()
{
    QTemporaryDir dir;
    const QString doc = prepareDocument(dir.path(), "channel.lb2", 20);
    QVERIFY(!doc.isEmpty());
    Grid grid;
    BatchRun run(grid);
    QString error;
    QVERIFY2(run.load(doc, &error), qPrintable(error));
    BatchRun::Settings settings;
    settings.outputDirectory = dir.path() + "/out";
    settings.vtkEvery = 10;
    settings.vtkBinary = true;
    QVERIFY2(run.run(settings, nullptr, &error) == BatchRun::Outcome::Finished, qPrintable(error));
    QFile pvd(settings.outputDirectory + "/run.pvd");
    QVERIFY(pvd.open(QIODevice::ReadOnly));
    const QByteArray collection = pvd.readAll();
    QVERIFY(collection.contains("file=\"vtk_000010.vtu\"") && collection.contains("file=\"vtk_000020.vtu\""));
    QFile vtu(settings.outputDirectory + "/vtk_000020.vtu");
    QVERIFY(vtu.open(QIODevice::ReadOnly));
    const QByteArray head = vtu.read(1024);
    QVERIFY(head.contains("compressor=\"vtkZLibDataCompressor\"") && head.contains("format=\"appended\""));
}

namespace {

QStringList messages;

void collect(QtMsgType, const QMessageLogContext &, const QString &message)
{
    messages << message;
}

} // namespace

void TestBatchRun::geometryRunWarnsOfNothing()
{
    // A run from a geometry has none of the window's elements to keep; its
    // final document has them empty, and nothing complains on the way.
    QTemporaryDir dir;
    // A 12 x 6 channel as text geometry: inlets, outlets, walls.
    QByteArray geometry = "12 6 1\n4\n";
    for (int y = 1; y <= 4; ++y)
        geometry += "0 " + QByteArray::number(y) + " 0\n";
    geometry += "4\n";
    for (int y = 1; y <= 4; ++y)
        geometry += "11 " + QByteArray::number(y) + " 0\n";
    geometry += "24\n";
    for (int x = 0; x < 12; ++x)
        geometry += QByteArray::number(x) + " 0 0\n" + QByteArray::number(x) + " 5 0\n";
    QVERIFY(writeFile(dir.path() + "/channel.txt", geometry));
    Grid grid;
    BatchRun run(grid);
    QString error;
    QVERIFY2(run.load(dir.path() + "/channel.txt", &error), qPrintable(error));
    QCOMPARE(grid.getWidth(), 12);
    BatchRun::Settings settings;
    settings.iterations = 2;
    settings.outputDirectory = dir.path();
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    const BatchRun::Outcome outcome = run.run(settings, nullptr, &error);
    qInstallMessageHandler(previous);
    QVERIFY2(outcome == BatchRun::Outcome::Finished, qPrintable(error));
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
    QCOMPARE(documentIterations(run.finalDocumentPath()), 2);
}

void TestBatchRun::throughputAndTimeLeftAreReal()
{
    QTemporaryDir dir;
    const int iterations = 600;
    QVERIFY(writeFile(
        dir.path() + "/run.lb2",
        channelDocument({{"maxIterations", QString::number(iterations)}, {"interval", "50"}, {"simulation", "1"}})));
    Grid grid;
    BatchRun run(grid);
    QString error;
    QVERIFY2(run.load(dir.path() + "/run.lb2", &error), qPrintable(error));
    BatchRun::Settings settings;
    settings.outputDirectory = dir.path() + "/out";
    settings.progressInterval = 0;
    QList<BatchRun::Progress> reports;
    QElapsedTimer clock;
    clock.start();
    const BatchRun::Outcome outcome = run.run(
        settings, [&](const BatchRun::Progress &p) { reports << p; }, &error);
    const double seconds = clock.nsecsElapsed() / 1e9;
    QVERIFY2(outcome == BatchRun::Outcome::Finished, qPrintable(error));

    // Time is left as long as iterations are, and none at the end.
    QCOMPARE(reports.size(), iterations);
    for (const BatchRun::Progress &p : reports)
        QVERIFY2(p.iteration == iterations ? p.remainingSeconds == 0 : p.remainingSeconds >= 1,
                 qPrintable(QStringLiteral("%1 s left at iteration %2").arg(p.remainingSeconds).arg(p.iteration)));

    // The table's throughput is measured: the run's own clock started after
    // this one and stopped before it, so its figure is no lower than the one
    // seen from outside.
    const QList<QByteArray> rows = readFile(settings.outputDirectory + "/simulation.csv").trimmed().split('\n');
    QCOMPARE(rows.size(), 1 + iterations / 50);
    QVERIFY(rows.first().startsWith("iterations,performance,"));
    for (const QByteArray &row : rows.mid(1))
        QVERIFY2(row.split(',').at(1).toDouble() > 0.0, row.constData());
    const double sites = 20 * 10;
    const double seen = sites * iterations / seconds / 1e6;
    QVERIFY2(rows.last().split(',').at(1).toDouble() >= seen,
             qPrintable(QStringLiteral("%1 against %2 MLUPS").arg(QString(rows.last())).arg(seen)));
}

QTEST_APPLESS_MAIN(TestBatchRun)
#include "tst_batchrun.moc"
