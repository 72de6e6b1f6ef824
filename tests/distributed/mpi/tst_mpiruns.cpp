#include "distributed/distributed_helper.h"

#include "model/latticeboltzmann/grid.h"
#include "persistence/statedocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// ondix-run started by mpirun on several processes against the same run on
// one process: the final document, and with it every population, and the
// outputs byte for byte where the one process puts them.
class TestMpiRuns : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void severalProcessesWriteWhatOneWrites_data();
    void severalProcessesWriteWhatOneWrites();
    void unusableInputIsRefusedBeforeAnythingRuns_data();
    void unusableInputIsRefusedBeforeAnythingRuns();

private:
    // Runs ondix-run on `processes` processes (1: without mpirun); its exit
    // code, its output in `output`.
    int run(int processes, const QStringList &arguments, QByteArray *output = nullptr);
    QString program;
};

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The run table without its throughput column, which is measured.
QByteArray withoutThroughput(const QByteArray &table)
{
    QList<QByteArray> lines = table.split('\n');
    for (QByteArray &line : lines) {
        QList<QByteArray> fields = line.split(',');
        if (fields.size() > 1)
            fields.removeAt(1);
        line = fields.join(',');
    }
    return lines.join('\n');
}

} // namespace

void TestMpiRuns::initTestCase()
{
    program = QCoreApplication::applicationDirPath() + "/ondix-run";
    QVERIFY2(QFile::exists(program), "ondix-run must be built beside the tests");
}

int TestMpiRuns::run(int processes, const QStringList &arguments, QByteArray *output)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // CI runs as root; Open MPI refuses that unless told.
    environment.insert("OMPI_ALLOW_RUN_AS_ROOT", "1");
    environment.insert("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1");
    // Open MPI's plugins leave allocations behind at exit that the leak
    // checker cannot attribute (their modules are unloaded by then); the
    // slabs' own code is leak-checked in one process by tst_slabs.
    if (environment.contains("ASAN_OPTIONS"))
        environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (processes == 1)
        process.start(program, arguments);
    else
        process.start(QStringLiteral(ONDIX_MPIEXEC),
                      QStringList{"--oversubscribe", "-np", QString::number(processes), program} + arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void TestMpiRuns::severalProcessesWriteWhatOneWrites_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("processes");
    for (SlabCases::Case c : SlabCases::all())
        for (int processes : {2, 3})
            QTest::addRow("%s/%d", SlabCases::name(c), processes) << int(c) << processes;
}

void TestMpiRuns::severalProcessesWriteWhatOneWrites()
{
    QFETCH(int, kind);
    QFETCH(int, processes);
    QTemporaryDir dir;
    const QString input = dir.filePath("case.lb2");
    // Tables every 10 iterations; a burst of 4 with the stop test once per
    // call, as one process makes them.
    QVERIFY(writeAll(input, SlabCases::document(SlabCases::Case(kind),
                                                {{"interval", "10"}, {"vp", "1"}, {"simulation", "1"}})));
    const QStringList common{"-n", "30", "--burst", "4", input};
    QByteArray output;
    QCOMPARE(run(1, QStringList{"-o", dir.filePath("one")} + common, &output), 0);
    QCOMPARE(run(processes, QStringList{"-o", dir.filePath("several")} + common, &output), 0);
    QVERIFY2(output.contains("on " + QByteArray::number(processes) + " processes"), output.constData());

    const QByteArray expected = readAll(dir.filePath("one/case-final.lb2"));
    QVERIFY(expected.contains("iterations=\"30\""));
    QVERIFY2(readAll(dir.filePath("several/case-final.lb2")) == expected, output.constData());
    // Known fault: the velocity a multicomponent cell reports adds the
    // force of its last collision, which the cell keeps beside its
    // populations but neither writes into its document element nor takes
    // back, so where forces act on a mixture the tables' velocities come out
    // of the populations alone (densities and populations are bitwise
    // equal). Plain fluid cells carry their force shift across.
    for (const char *row : {"mixture/2", "mixture/3"})
        QEXPECT_FAIL(row, "the force a cell adds to its reported velocity stays with the process that stepped it",
                     Continue);
    QByteArray tables, expectedTables;
    for (const char *table : {"vp_000010.csv", "vp_000020.csv", "vp_000030.csv"}) {
        tables += readAll(dir.filePath(QStringLiteral("several/") + table));
        expectedTables += readAll(dir.filePath(QStringLiteral("one/") + table));
    }
    QVERIFY(tables == expectedTables);
    QCOMPARE(withoutThroughput(readAll(dir.filePath("several/simulation.csv"))),
             withoutThroughput(readAll(dir.filePath("one/simulation.csv"))));
    // The final document resumes on one process, where the window loads it.
    Grid resumed;
    QString error;
    QVERIFY2(StateDocument(resumed).load(dir.filePath("several/case-final.lb2"), StateDocument::Options(), &error),
             qPrintable(error));
    QCOMPARE(resumed.getStatistics().iterations, 30);
}

void TestMpiRuns::unusableInputIsRefusedBeforeAnythingRuns_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QByteArray>("message");
    Grid grid;
    SlabCases::build(grid, SlabCases::Channel);
    grid.fillRegion("m", 20, 22, 5, 7, 0, 0);
    QTest::newRow("particles") << StateDocument(grid).text(2) << QByteArray("moving particles");
    QTest::newRow("cut short") << SlabCases::document(SlabCases::Duct).left(5000) << QByteArray("case.lb2: line");
}

// Said once, by the first process, with exit code 1 and no output folder.
void TestMpiRuns::unusableInputIsRefusedBeforeAnythingRuns()
{
    QFETCH(QByteArray, document);
    QFETCH(QByteArray, message);
    QTemporaryDir dir;
    const QString input = dir.filePath("case.lb2");
    QVERIFY(writeAll(input, document));
    QByteArray output;
    QCOMPARE(run(2, {"-n", "5", "-o", dir.filePath("out"), input}, &output), 1);
    QVERIFY2(output.count(message) == 1, output.constData());
    QVERIFY(!QDir(dir.filePath("out")).exists());
}

QTEST_GUILESS_MAIN(TestMpiRuns)
#include "tst_mpiruns.moc"
