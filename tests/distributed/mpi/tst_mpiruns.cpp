#include "distributed/distributed_helper.h"
#include "document_helper.h"

#include "model/latticeboltzmann/dragwallcell.h"
#include "model/latticeboltzmann/grid.h"
#include "persistence/compression.h"
#include "persistence/statedocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
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
    void timeSeriesComesFromTheSlabsParts_data();
    void timeSeriesComesFromTheSlabsParts();
    void vtkPiecesHoldWhatOneProcessWrites_data();
    void vtkPiecesHoldWhatOneProcessWrites();
    void documentResumesUnderAnotherNumberOfProcesses_data();
    void documentResumesUnderAnotherNumberOfProcesses();
    void unusableInputIsRefusedBeforeAnythingRuns_data();
    void unusableInputIsRefusedBeforeAnythingRuns();
    void aTableThatCannotBeWrittenEndsEveryProcess();
    void geometryBuiltSlabBySlabRunsAsOneProcess_data();
    void geometryBuiltSlabBySlabRunsAsOneProcess();
    void badGeometryIsRefusedOnEveryProcess_data();
    void badGeometryIsRefusedOnEveryProcess();

private:
    // Runs ondix-run on `processes` processes (1: without mpirun); its exit
    // code, its output in `output`.
    int run(int processes, const QStringList &arguments, QByteArray *output = nullptr);
    // Runs the same arguments on one process with outputs into dir/one and
    // on `processes` into dir/several: both end with exit code 0, the
    // second says on how many processes it ran, and the final document
    // `finalName` (when given) is the same byte for byte in both folders and
    // holds `iterations` iterations. The callers return on a failure
    // (QTest::currentTestFailed).
    void runOnOneAndOnSeveral(const QTemporaryDir &dir, int processes, const QStringList &arguments,
                              const QString &finalName = QString(), int iterations = 0);
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

// The cells of ASCII VTK unstructured grid files of voxels, by the corner
// point each starts from, with their density and velocity as written; false
// when a file is missing or its arrays do not fit together.
bool readVtkCells(const QStringList &paths, QMap<QString, QByteArray> &cells)
{
    for (const QString &path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        QXmlStreamReader reader(&file);
        QMap<QString, QList<QByteArray>> arrays;
        while (!reader.atEnd()) {
            if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("DataArray")) {
                const QString name = reader.attributes().value("Name").toString();
                arrays[name.isEmpty() ? QStringLiteral("points") : name] =
                    reader.readElementText().toLatin1().simplified().split(' ');
            }
        }
        if (reader.hasError())
            return false;
        const QList<QByteArray> points = arrays.value("points"), corners = arrays.value("connectivity"),
                                density = arrays.value("density"), velocity = arrays.value("velocity");
        const int count = density.size();
        if (count == 0 || corners.size() != 8 * count || velocity.size() != 3 * count)
            return false;
        for (int c = 0; c < count; ++c) {
            const int point = corners[8 * c].toInt();
            if (3 * point + 2 >= points.size())
                return false;
            const QString key =
                QStringLiteral("%1,%2,%3")
                    .arg(QString(points[3 * point]), QString(points[3 * point + 1]), QString(points[3 * point + 2]));
            if (cells.contains(key))
                return false;
            cells[key] = density[c] + ' ' + velocity[3 * c] + ' ' + velocity[3 * c + 1] + ' ' + velocity[3 * c + 2];
        }
    }
    return true;
}

// A geometry image of w x h pixels: walls along the top and bottom, an
// outlet on the right, and on the left two inlets parted by a wall; two
// drag-wall cylinders and two thermal-wall blocks, one of each low and one
// high in the domain, so that a slab of the upper rows sees only the second
// of each. The whole domain's grid numbers them 0 and 1.
QImage channelImage(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(qRgb(255, 255, 255));
    for (int x = 0; x < w; ++x) {
        image.setPixel(x, 0, qRgb(128, 128, 128));
        image.setPixel(x, h - 1, qRgb(128, 128, 128));
    }
    for (int y = 1; y < h - 1; ++y) {
        image.setPixel(0, y, y == h / 2 ? qRgb(128, 128, 128) : qRgb(255, 0, 0));
        image.setPixel(w - 1, y, qRgb(0, 0, 0));
    }
    // Image rows run down; the domain's rows up.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int lowY = h - 1 - h / 4, highY = h / 4;
            if ((x - w / 3) * (x - w / 3) + (y - lowY) * (y - lowY) < 9 ||
                (x - w / 2) * (x - w / 2) + (y - highY) * (y - highY) < 9)
                image.setPixel(x, y, qRgb(160, 160, 160));
            if (x >= 2 * w / 3 && x < 2 * w / 3 + 3 && (std::abs(y - lowY) < 2 || std::abs(y - highY) < 2))
                image.setPixel(x, y, qRgb(192, 192, 192));
        }
    return image;
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

void TestMpiRuns::runOnOneAndOnSeveral(const QTemporaryDir &dir, int processes, const QStringList &arguments,
                                       const QString &finalName, int iterations)
{
    QByteArray output;
    QCOMPARE(run(1, QStringList{"-o", dir.filePath("one")} + arguments, &output), 0);
    QCOMPARE(run(processes, QStringList{"-o", dir.filePath("several")} + arguments, &output), 0);
    QVERIFY2(output.contains("on " + QByteArray::number(processes) + " processes"), output.constData());
    if (finalName.isEmpty())
        return;
    const QByteArray expected = readAll(dir.filePath("one/" + finalName));
    QVERIFY(expected.contains("iterations=\"" + QByteArray::number(iterations) + "\""));
    QVERIFY2(readAll(dir.filePath("several/" + finalName)) == expected, output.constData());
}

void TestMpiRuns::severalProcessesWriteWhatOneWrites_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("processes");
    QTest::addColumn<QStringList>("options");
    for (SlabCases::Case c : SlabCases::all())
        for (int processes : {2, 3})
            QTest::addRow("%s/%d", SlabCases::name(c), processes) << int(c) << processes << QStringList();
    // Single-precision populations cross the slab faces as they are stored,
    // down to the smallest differences from rest at the front of the flow.
    QTest::addRow("channel single/2") << int(SlabCases::Channel) << 2 << QStringList{"--single"};
    QTest::addRow("duct single/3") << int(SlabCases::Duct) << 3 << QStringList{"--single"};
}

void TestMpiRuns::severalProcessesWriteWhatOneWrites()
{
    QFETCH(int, kind);
    QFETCH(int, processes);
    QFETCH(QStringList, options);
    QTemporaryDir dir;
    const QString input = dir.filePath("case.lb2");
    // Tables every 10 iterations; a burst of 4 with the stop test once per
    // call, as one process makes them.
    QVERIFY(writeAll(
        input, SlabCases::document(SlabCases::Case(kind), {{"interval", "10"}, {"vp", "1"}, {"simulation", "1"}})));
    runOnOneAndOnSeveral(dir, processes, options + QStringList{"-n", "30", "--burst", "4", input}, "case-final.lb2",
                         30);
    if (QTest::currentTestFailed())
        return;
    // The tables' velocities add the force of each cell's last collision,
    // which a mixture's cells carry between processes as plain fluid does.
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

void TestMpiRuns::timeSeriesComesFromTheSlabsParts_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("processes");
    QTest::newRow("channel/2") << int(SlabCases::Channel) << 2;
    QTest::newRow("channel/3") << int(SlabCases::Channel) << 3;
    QTest::newRow("droplet/2") << int(SlabCases::Droplet) << 2;
    QTest::newRow("duct/3") << int(SlabCases::Duct) << 3;
}

// The time series alone, put together from the slabs' statistics and the
// drag of walls across every slab: its lines are those of one process.
void TestMpiRuns::timeSeriesComesFromTheSlabsParts()
{
    QFETCH(int, kind);
    QFETCH(int, processes);
    Grid grid;
    SlabCases::build(grid, SlabCases::Case(kind));
    const int nx = grid.getWidth(), ny = grid.getHeight();
    // Drag walls in two groups, the halves of a column through every slab.
    for (int y = 1; y < ny - 1; ++y) {
        auto *wall = new DragWallCell;
        wall->setIndex(1 + (y > ny / 2));
        grid.setCell(nx - 3, y, 0, wall, true, false);
    }
    grid.resetAll();
    QTemporaryDir dir;
    const QString input = dir.filePath("case.lb2");
    QVERIFY(writeAll(input, resultsDocument(grid, {{"interval", "5"}, {"simulation", "1"}})));
    runOnOneAndOnSeveral(dir, processes, {"-n", "20", "--burst", "3", input}, "case-final.lb2", 20);
    if (QTest::currentTestFailed())
        return;
    const QByteArray expected = withoutThroughput(readAll(dir.filePath("one/simulation.csv")));
    QCOMPARE(expected.count('\n'), 5);
    QVERIFY(expected.contains("drag2z"));
    QCOMPARE(withoutThroughput(readAll(dir.filePath("several/simulation.csv"))), expected);
}

void TestMpiRuns::vtkPiecesHoldWhatOneProcessWrites_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("processes");
    for (SlabCases::Case c : {SlabCases::Channel, SlabCases::Duct})
        for (int processes : {2, 3})
            QTest::addRow("%s/%d", SlabCases::name(c), processes) << int(c) << processes;
    // The velocities of a forced mixture include the force of the last
    // collision, which only the process that stepped a cell holds.
    QTest::addRow("mixture/2") << int(SlabCases::Mixture) << 2;
}

// Each process writes the piece of its own rows; the pieces together hold
// every cell of the one process's file with the same text, and the series
// lists the heads that name the pieces.
void TestMpiRuns::vtkPiecesHoldWhatOneProcessWrites()
{
    QFETCH(int, kind);
    QFETCH(int, processes);
    QTemporaryDir dir;
    const QString input = dir.filePath("case.lb2");
    QVERIFY(writeAll(input, SlabCases::document(SlabCases::Case(kind))));
    runOnOneAndOnSeveral(dir, processes, {"-n", "6", "--vtk-every", "3", input}, "case-final.lb2", 6);
    if (QTest::currentTestFailed())
        return;
    const QByteArray series = readAll(dir.filePath("several/run.pvd"));
    QVERIFY2(series.contains("file=\"vtk_000003.pvtu\"") && series.contains("file=\"vtk_000006.pvtu\""),
             series.constData());
    for (const char *step : {"000003", "000006"}) {
        const QString head = QStringLiteral("several/vtk_%1.pvtu").arg(step);
        const QByteArray headText = readAll(dir.filePath(head));
        QStringList pieces;
        for (int piece = 0; piece < processes; ++piece) {
            const QString name = QStringLiteral("vtk_%1_%2.vtu").arg(step).arg(piece);
            QVERIFY2(headText.contains(("Source=\"" + name + "\"").toLatin1()), headText.constData());
            pieces << dir.filePath("several/" + name);
        }
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("several/vtk_%1_%2.vtu").arg(step).arg(processes))));
        QMap<QString, QByteArray> expected, cells;
        QVERIFY(readVtkCells({dir.filePath(QStringLiteral("one/vtk_%1.vtu").arg(step))}, expected));
        QVERIFY(readVtkCells(pieces, cells));
        QCOMPARE(cells.size(), expected.size());
        QVERIFY(cells == expected);
    }
}

void TestMpiRuns::documentResumesUnderAnotherNumberOfProcesses_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("then");
    QTest::newRow("channel 2 then 3") << int(SlabCases::Channel) << 2 << 3;
    QTest::newRow("droplet 3 then 1") << int(SlabCases::Droplet) << 3 << 1;
    QTest::newRow("duct 1 then 2") << int(SlabCases::Duct) << 1 << 2;
}

// A run cut in two, its halves on different numbers of processes, ends in
// the document of the uninterrupted run on one; both halves' final
// documents are written compressed, which hold the same text.
void TestMpiRuns::documentResumesUnderAnotherNumberOfProcesses()
{
    QFETCH(int, kind);
    QFETCH(int, first);
    QFETCH(int, then);
    QTemporaryDir dir;
    const QString input = dir.filePath("case.lb2");
    QVERIFY(writeAll(input, SlabCases::document(SlabCases::Case(kind))));
    QByteArray output;
    QCOMPARE(run(1, {"-n", "20", "-o", dir.filePath("whole"), input}, &output), 0);
    // The half-way document is compressed too: the next run inflates it
    // slab by slab as it reads it.
    QCOMPARE(run(first, {"-n", "8", "--compress", "-o", dir.filePath("half"), input}, &output), 0);
    QVERIFY(Compression::looksCompressed(readAll(dir.filePath("half/case-final.lb2"))));
    QCOMPARE(
        run(then,
            {"-n", "12", "--compress", "--final", dir.filePath("resumed.lb2"), dir.filePath("half/case-final.lb2")},
            &output),
        0);
    QByteArray text;
    QString error;
    const QByteArray compressed = readAll(dir.filePath("resumed.lb2"));
    QVERIFY(Compression::looksCompressed(compressed));
    QVERIFY2(Compression::inflate(compressed, qint64(1) << 30, &text, &error), qPrintable(error));
    const QByteArray expected = readAll(dir.filePath("whole/case-final.lb2"));
    QVERIFY(expected.contains("iterations=\"20\""));
    QVERIFY2(text == expected, output.constData());
    // Compressed as it is written, the document is the one process's byte
    // for byte.
    if (then > 1) {
        QCOMPARE(
            run(1, {"-n", "12", "--compress", "--final", dir.filePath("one.lb2"), dir.filePath("half/case-final.lb2")},
                &output),
            0);
        QVERIFY(readAll(dir.filePath("one.lb2")) == compressed);
    }
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
    // A population that is no number, in a row only the second slab reads:
    // the first process tells, the second gets no rows and ends as well.
    QByteArray badNumber = SlabCases::document(SlabCases::Stream);
    const int cell = badNumber.indexOf("y=\"12\"");
    const int value = badNumber.indexOf("f3=\"", cell) + 4;
    badNumber.replace(value, badNumber.indexOf('"', value) - value, "0.1x");
    QTest::newRow("bad number in a late row")
        << badNumber << QByteArray("case.lb2: element \"lattice\": attribute \"f3\"");
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

// The first process cannot write the second per-cell table (a folder holds
// its name): it says so once, every process ends with exit code 1, the
// first table stays whole and no final document is written.
void TestMpiRuns::aTableThatCannotBeWrittenEndsEveryProcess()
{
    QTemporaryDir dir;
    const QString input = dir.filePath("case.lb2");
    QVERIFY(writeAll(input, SlabCases::document(SlabCases::Channel, {{"interval", "5"}, {"vp", "1"}})));
    const QString out = dir.filePath("out");
    QVERIFY(QDir().mkpath(out + "/vp_000010.csv/inside"));
    QByteArray output;
    QCOMPARE(run(3, {"-n", "15", "-o", out, input}, &output), 1);
    QVERIFY2(output.count("vp_000010.csv") == 1, output.constData());
    QCOMPARE(run(1, {"-n", "5", "-o", dir.filePath("one"), input}), 0);
    QCOMPARE(readAll(out + "/vp_000005.csv"), readAll(dir.filePath("one/vp_000005.csv")));
    QVERIFY(!QFile::exists(out + "/vp_000015.csv"));
    QVERIFY(!QFile::exists(out + "/case-final.lb2"));
}

void TestMpiRuns::geometryBuiltSlabBySlabRunsAsOneProcess_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("processes");
    for (const char *kind : {"png", "layers", "txt"})
        for (int processes : {2, 3})
            QTest::addRow("%s/%d", kind, processes) << QString::fromLatin1(kind) << processes;
}

// Each process builds the cells of its own rows of a geometry: the final
// document and the per-cell tables are the one process's byte for byte,
// the inlets', drag walls' and thermal walls' groups among them.
void TestMpiRuns::geometryBuiltSlabBySlabRunsAsOneProcess()
{
    QFETCH(QString, kind);
    QFETCH(int, processes);
    QTemporaryDir dir;
    QString input;
    if (kind == QLatin1String("png")) {
        input = dir.filePath("case.png");
        QVERIFY(channelImage(40, 36).save(input));
    } else if (kind == QLatin1String("layers")) {
        // Three layers of a duct: D3Q19.
        input = dir.filePath("case.png");
        for (int z = 0; z < 3; ++z)
            QVERIFY(channelImage(20, 24).save(z == 0 ? input : dir.filePath(QStringLiteral("case_%1.png").arg(z + 1))));
    } else {
        // Inlets along the left in two runs, an outlet on the right, two
        // walls apart.
        input = dir.filePath("case.txt");
        QByteArray text = "30 27 1\n";
        QByteArray inlets, outlets, walls;
        int inletCount = 0, outletCount = 0, wallCount = 0;
        for (int y = 1; y < 26; ++y) {
            if (y != 13) {
                inlets += "0 " + QByteArray::number(y) + " 0\n";
                ++inletCount;
            }
            outlets += "29 " + QByteArray::number(y) + " 0\n";
            ++outletCount;
        }
        for (int x = 0; x < 30; ++x)
            for (int y : {0, 26, 13}) {
                if (y == 13 && x > 0)
                    continue;
                walls += QByteArray::number(x) + " " + QByteArray::number(y) + " 0\n";
                ++wallCount;
            }
        for (int y = 5; y < 8; ++y)
            for (int x = 10; x < 13; ++x) {
                walls += QByteArray::number(x) + " " + QByteArray::number(y + 12) + " 0\n";
                ++wallCount;
            }
        text += QByteArray::number(inletCount) + "\n" + inlets + QByteArray::number(outletCount) + "\n" + outlets +
                QByteArray::number(wallCount) + "\n" + walls;
        QVERIFY(writeAll(input, text));
    }
    runOnOneAndOnSeveral(dir, processes, {"-n", "12", "--burst", "3", input}, "case-final.lb2", 12);
}

void TestMpiRuns::badGeometryIsRefusedOnEveryProcess_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("layer of another size") << "case.png" << QByteArray("Layer case_2.png is 8 x 8 pixels");
    QTest::newRow("no number") << "case.txt" << QByteArray("\"1O\" (number 5) is not a whole number");
    QTest::newRow("not a png") << "other.png" << QByteArray("other.png is not a PNG image");
}

// Said once, by the first process, with exit code 1 on every process and no
// output folder.
void TestMpiRuns::badGeometryIsRefusedOnEveryProcess()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, message);
    QTemporaryDir dir;
    QVERIFY(channelImage(20, 24).save(dir.filePath("case.png")));
    QVERIFY(channelImage(8, 8).save(dir.filePath("case_2.png")));
    QVERIFY(writeAll(dir.filePath("case.txt"), "10 10 1\n1\n1O 2 0\n0\n0\n"));
    QVERIFY(writeAll(dir.filePath("other.png"), "GIF89a"));
    QByteArray output;
    QCOMPARE(run(3, {"-n", "5", "-o", dir.filePath("out"), dir.filePath(name)}, &output), 1);
    QVERIFY2(output.count(message) == 1, output.constData());
    QVERIFY(!QDir(dir.filePath("out")).exists());
}

QTEST_GUILESS_MAIN(TestMpiRuns)
#include "tst_mpiruns.moc"
