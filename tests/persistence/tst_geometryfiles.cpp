#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/cellcodes.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/reflectwithfactorcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"
#include "persistence/geometryfiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>

#include <vector>

#include <sys/stat.h>

namespace {

// One letter per cell kind: x fluid, w wall, r reflecting wall, v moving
// cell, s inlet, o outlet, - null.
QChar kindOf(BaseCell *c)
{
    if (dynamic_cast<ReflectWithFactorCell *>(c))
        return 'r';
    if (dynamic_cast<MovingCell *>(c))
        return 'v';
    if (dynamic_cast<WallCell *>(c))
        return 'w';
    if (dynamic_cast<SourceCell *>(c))
        return 's';
    if (dynamic_cast<OpenCell *>(c))
        return 'o';
    if (dynamic_cast<NullCell *>(c))
        return '-';
    return c && c->isFluid() ? 'x' : '?';
}

// The kinds of layer z, top row first, like the image.
QStringList kinds(const Grid &g, int z = 0)
{
    QStringList rows;
    for (int y = g.getHeight() - 1; y >= 0; --y) {
        QString row;
        for (int x = 0; x < g.getWidth(); ++x)
            row += kindOf(g.getCell(x, y, z));
        rows << row;
    }
    return rows;
}

QRgb colourOf(QChar kind)
{
    switch (kind.toLatin1()) {
    case 'w':
        return qRgb(128, 128, 128);
    case 's':
        return qRgb(255, 0, 0);
    case 'o':
        return qRgb(0, 0, 0);
    case '-':
        return qRgb(0, 255, 0);
    default:
        return qRgb(255, 255, 255);
    }
}

// Writes rows of kind letters (top row first) as a PNG.
void writeImage(const QString &path, const QStringList &rows)
{
    QImage image(rows[0].size(), rows.size(), QImage::Format_RGB32);
    for (int row = 0; row < rows.size(); ++row)
        for (int x = 0; x < rows[row].size(); ++x)
            image.setPixel(x, row, colourOf(rows[row][x]));
    QVERIFY(image.save(path, "PNG"));
}

void writeText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A PNG that holds only its header (and the start of a pixel stream): enough for the
// reader to learn the size, and proof that a refusal came before decoding.
QByteArray headerOnlyPng(quint32 width, quint32 height)
{
    auto crc32 = [](const QByteArray &bytes) {
        quint32 c = 0xffffffffu;
        for (char b : bytes) {
            c ^= quint8(b);
            for (int k = 0; k < 8; ++k)
                c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1u)));
        }
        return c ^ 0xffffffffu;
    };
    auto be32 = [](quint32 v) {
        QByteArray b(4, 0);
        for (int k = 0; k < 4; ++k)
            b[k] = char(v >> (24 - 8 * k));
        return b;
    };
    auto chunk = [&](const QByteArray &type, const QByteArray &data) {
        return be32(quint32(data.size())) + type + data + be32(crc32(type + data));
    };
    const QByteArray ihdr = be32(width) + be32(height) + QByteArray("\x08\x02\0\0\0", 5);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", QByteArray("\x78\x9c", 2)) +
           chunk("IEND", QByteArray());
}

// A file of the given size that takes no room on disk.
bool sparseFile(const QString &path, qint64 size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.resize(size);
}

const QStringList channelRows = {"wwwwwwww", "sxxxxxxo", "sxxwwxxo", "sxxxxxxo", "wwwwwwww"};

// The same channel as text geometry: 8 x 5, three inlets, three outlets and
// the walls listed row by row.
QByteArray channelText()
{
    QByteArray t = "8 5 1\n3  0 1 0  0 2 0  0 3 0\n3  7 1 0  7 2 0  7 3 0\n";
    QList<QByteArray> walls;
    for (int x = 0; x < 8; ++x) {
        walls << QByteArray::number(x) + " 0 0" << QByteArray::number(x) + " 4 0";
    }
    walls << "3 2 0"
          << "4 2 0";
    t += QByteArray::number(walls.size()) + "\n" + walls.join('\n') + "\n";
    return t;
}

} // namespace

class TestGeometryFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    // Bottom-left pixel red, the rest white.
    void singleImage()
    {
        writeImage(path("small.png"), {"xxxx", "xxxx", "sxxx"});
        Grid g;
        g.getParameters()->setModel(9);
        QString error;
        QVERIFY2(GeometryFiles::loadImageGeometry(g, path("small.png"), "", &error), qPrintable(error));
        QCOMPARE(g.getWidth(), 4);
        QCOMPARE(g.getHeight(), 3);
        QCOMPARE(g.getLength(), 1);
        QCOMPARE(kinds(g), QStringList({"xxxx", "xxxx", "sxxx"}));
        QVERIFY(dynamic_cast<SourceCell *>(g.getCell(0, 0, 0)));
        QCOMPARE(g.getParameters()->getModel(), 9);
        QCOMPARE(g.getStatistics().fluidCells, 11);
    }

    // Two layers: length 2, D2Q9 becomes D3Q19; row 0 is the top.
    void layers()
    {
        writeImage(path("pipe.png"), {"wwwww", "sxxxo", "wwwww"});
        writeImage(path("pipe_2.png"), {"w---w", "sxxxo", "wwwxw"});
        Grid g;
        g.getParameters()->setModel(9);
        QString error;
        QVERIFY2(GeometryFiles::load(g, path("pipe.png"), false, &error), qPrintable(error));
        QCOMPARE(g.getLength(), 2);
        QCOMPARE(g.getParameters()->getModel(), 19);
        QCOMPARE(kinds(g, 0), QStringList({"wwwww", "sxxxo", "wwwww"}));
        QCOMPARE(kinds(g, 1), QStringList({"w---w", "sxxxo", "wwwxw"}));
        QVERIFY(dynamic_cast<NullCell *>(g.getCell(1, 2, 1)));
        QVERIFY(g.getCell(3, 0, 1)->isFluid());
        // Cells built for the new model.
        QCOMPARE(g.getCell(2, 1, 0)->modelQ(), 19);
        QCOMPARE(g.step(2), 2);
    }

    void saveAndLoadScaled()
    {
        Grid g;
        g.getParameters()->setModel(9);
        g.resize(10, 5, 1);
        g.fillRegion("w", 0, 9, 0, 0, 0, 0);
        g.fillRegion("s", 0, 0, 1, 4, 0, 0);
        g.fillRegion("o", 9, 9, 1, 4, 0, 0);
        g.fillRegion("-", 4, 5, 2, 3, 0, 0);
        g.fillRegion(".", 2, 2, 4, 4, 0, 0);
        g.fillRegion("v", 6, 7, 4, 4, 0, 0);
        g.fillRegion("r", 7, 7, 1, 1, 0, 0);
        // A drag wall has no colour of its own in saved images: it comes back as a wall.
        g.fillRegion("d", 1, 1, 1, 1, 0, 0);
        QStringList before = kinds(g);
        QString error;
        QVERIFY2(GeometryFiles::saveGeometryImage(g, path("saved.png"), 1, &error), qPrintable(error));
        QVERIFY2(GeometryFiles::saveGeometryImage(g, path("saved2.png"), 2, &error), qPrintable(error));
        QImage image(path("saved2.png"));
        QCOMPARE(image.size(), QSize(20, 10));
        QCOMPARE(image.pixel(0, 0), qRgb(255, 0, 0)); // (0, 4) is an inlet, drawn at the top
        QCOMPARE(image.pixel(19, 9), qRgb(128, 128, 128));
        QCOMPARE(image.pixel(9, 4), qRgb(0, 255, 0));
        QCOMPARE(image.pixel(12, 0), qRgb(0, 0, 255));
        QCOMPARE(image.pixel(14, 6), qRgb(224, 224, 224));
        QCOMPARE(image.pixel(2, 6), qRgb(128, 128, 128));

        Grid h;
        h.getParameters()->setModel(9);
        QVERIFY2(GeometryFiles::loadImageGeometry(h, path("saved.png"), "", &error), qPrintable(error));
        QCOMPARE(kinds(h), before);
        QVERIFY2(GeometryFiles::loadImageGeometry(h, path("saved2.png"), "", &error), qPrintable(error));
        QCOMPARE(h.getWidth(), 20);
        QCOMPARE(h.getHeight(), 10);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x)
                QCOMPARE(kindOf(h.getCell(x, y, 0)), kindOf(g.getCell(x / 2, y / 2, 0)));
    }

    void saveLayers()
    {
        Grid g;
        g.getParameters()->setModel(19);
        g.resize(4, 3, 3);
        g.fillRegion("w", 0, 3, 0, 2, 2, 2);
        g.fillRegion("s", 0, 0, 1, 1, 1, 1);
        QString error;
        QVERIFY2(GeometryFiles::saveGeometryImage(g, path("duct.png"), 1, &error), qPrintable(error));
        QVERIFY(QFile::exists(path("duct_2.png")));
        QVERIFY(QFile::exists(path("duct_3.png")));
        QVERIFY(!QFile::exists(path("duct_4.png")));
        Grid h;
        QVERIFY2(GeometryFiles::loadImageGeometry(h, path("duct.png"), "", &error), qPrintable(error));
        QCOMPARE(h.getLength(), 3);
        for (int z = 0; z < 3; ++z)
            QCOMPARE(kinds(h, z), kinds(g, z));
    }

    void textGeometry()
    {
        writeText(path("two.txt"), "3 2 1 1 0 0 0 1 2 1 0 0");
        Grid g;
        g.getParameters()->setModel(9);
        QString error;
        QVERIFY2(GeometryFiles::load(g, path("two.txt"), false, &error), qPrintable(error));
        QCOMPARE(kinds(g), QStringList({"xxo", "sxx"}));
        QCOMPARE(g.getStatistics().fluidCells, 4);

        // Positions outside the box are skipped; any whitespace separates.
        writeText(path("outside.lb"), "3\t2\n1\n\n2 0 0 0 3 0 0\n1 -1 1 0\n1 2 1 0 \n");
        QVERIFY2(GeometryFiles::load(g, path("outside.lb"), false, &error), qPrintable(error));
        QCOMPARE(kinds(g), QStringList({"xxw", "sxx"}));
    }

    void textAndImageAgree()
    {
        writeImage(path("channel.png"), channelRows);
        writeText(path("channel.txt"), channelText());
        Grid a, b;
        a.getParameters()->setModel(9);
        b.getParameters()->setModel(9);
        QString error;
        QVERIFY2(GeometryFiles::load(a, path("channel.png"), false, &error), qPrintable(error));
        QVERIFY2(GeometryFiles::load(b, path("channel.txt"), false, &error), qPrintable(error));
        QCOMPARE(kinds(a), channelRows);
        QCOMPARE(kinds(b), channelRows);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 8; ++x) {
                BaseCell *p = a.getCell(x, y, 0), *q = b.getCell(x, y, 0);
                QCOMPARE(typeid(*p), typeid(*q));
                if (auto *s = dynamic_cast<SourceCell *>(p)) {
                    auto *t = static_cast<SourceCell *>(q);
                    QCOMPARE(typeid(*s->strategy()), typeid(*t->strategy()));
                    QCOMPARE(s->index(), t->index());
                    QCOMPARE(s->strategy()->getBoundaryU(), t->strategy()->getBoundaryU());
                }
            }
    }

    void freeSurfaceColours()
    {
        QImage image(2, 1, QImage::Format_RGB32);
        image.setPixel(0, 0, qRgb(255, 128, 0));
        image.setPixel(1, 0, qRgb(128, 128, 128));
        QVERIFY(image.save(path("melt.png"), "PNG"));
        Grid g;
        QString error;
        QVERIFY2(GeometryFiles::load(g, path("melt.png"), true, &error), qPrintable(error));
        QCOMPARE(g.getWidth(), 2);
    }

    void rejected_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content"); // written as is unless empty
        QTest::addColumn<bool>("korner");
        QTest::addColumn<QString>("message"); // a part of the error text
        QTest::newRow("missing") << "absent.txt" << QByteArray() << false << "does not exist";
        QTest::newRow("missing image") << "absent.png" << QByteArray() << false << "does not exist";
        QTest::newRow("not a png") << "fake.png" << QByteArray("GIF89a and more") << false << "not a PNG";
        QTest::newRow("broken png") << "broken.png" << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << false
                                    << "Cannot decode";
        QTest::newRow("unknown extension") << "geometry.bmp" << QByteArray("BM") << false << "not a geometry file";
        QTest::newRow("empty text") << "empty.txt" << QByteArray(" \n") << false << "ends before";
        QTest::newRow("size only") << "size.txt" << QByteArray("3 2 1") << false << "ends before the number of inlets";
        QTest::newRow("ends in the inlets") << "short.txt" << QByteArray("3 2 1 2 0 0 0 1") << false << "ends early";
        QTest::newRow("ends before walls")
            << "short2.txt" << QByteArray("3 2 1 0 0") << false << "ends before the number of walls";
        QTest::newRow("negative size") << "neg.txt" << QByteArray("-3 2 1 0 0 0") << false << "not possible";
        QTest::newRow("zero size") << "zero.txt" << QByteArray("3 0 1 0 0 0") << false << "not possible";
        QTest::newRow("absurd size") << "huge.txt" << QByteArray("100000 100000 100000 0 0 0") << false
                                     << "not possible";
        QTest::newRow("overflowing size")
            << "overflow.txt" << QByteArray("99999999999999999999 1 1 0 0 0") << false << "not a whole number";
        // 2^64 + 1, which a wrapping parser would read as 1.
        QTest::newRow("wrapping size") << "wrap.txt" << QByteArray("18446744073709551617 1 1 0 0 0") << false
                                       << "not a whole number";
        QTest::newRow("negative count") << "negcount.txt" << QByteArray("3 2 1 -1 0 0") << false << "negative";
        QTest::newRow("huge count") << "hugecount.txt" << QByteArray("3 2 1 0 2000000000 1 1 1") << false
                                    << "ends early";
        QTest::newRow("not a number") << "word.txt" << QByteArray("3 2 1 1 0 zero 0 0 0") << false
                                      << "\"zero\" (number 6) is not a whole number";
        QTest::newRow("state document") << "state.lb" << QByteArray("<tavrine><grid width=\"3\"/></tavrine>") << false
                                        << "not a whole number";
    }

    // A file that cannot be read leaves the grid exactly as it was.
    void rejected()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(bool, korner);
        QFETCH(QString, message);
        if (!content.isEmpty())
            writeText(path(file), content);
        Grid g;
        g.getParameters()->setModel(9);
        g.resize(5, 4, 1);
        g.fillRegion("w", 1, 1, 1, 1, 0, 0);
        g.step(1);
        std::vector<BaseCell *> cells;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                cells.push_back(g.getCell(x, y, 0));
        QString error;
        QVERIFY(!GeometryFiles::load(g, path(file), korner, &error));
        QVERIFY2(error.contains(message), qPrintable(error));
        QCOMPARE(g.getWidth(), 5);
        QCOMPARE(g.getHeight(), 4);
        QCOMPARE(g.getLength(), 1);
        QCOMPARE(g.getParameters()->getModel(), 9);
        QCOMPARE(g.getStatistics().iterations, 1);
        int i = 0;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                QCOMPARE(g.getCell(x, y, 0), cells[i++]);
    }

    void rejectedImages()
    {
        // A layer of another size, and a colour outside the free-surface table.
        writeImage(path("odd.png"), {"xxx", "xxx"});
        writeImage(path("odd_2.png"), {"xx", "xx"});
        writeImage(path("plain.png"), {"xwx"});
        const struct
        {
            const char *file;
            const char *mode;
            const char *message;
        } cases[] = {{"odd.png", "", "odd_2.png is 2 x 2 pixels"},
                     {"plain.png", "korner", "does not list"},
                     {"plain.png", "other", "Unknown colour table"}};
        for (const auto &c : cases) {
            Grid g;
            g.getParameters()->setModel(9);
            g.resize(5, 4, 1);
            BaseCell *corner = g.getCell(4, 3, 0);
            QString error;
            QVERIFY(!GeometryFiles::loadImageGeometry(g, path(c.file), c.mode, &error));
            QVERIFY2(error.contains(c.message), qPrintable(error));
            QCOMPARE(g.getWidth(), 5);
            QCOMPARE(g.getLength(), 1);
            QCOMPARE(g.getParameters()->getModel(), 9);
            QCOMPARE(g.getCell(4, 3, 0), corner);
        }
    }

    // Layers 1, 2 and 4: the geometry is the unbroken run of two layers; a
    // file beyond the gap belongs to none.
    void layerGap()
    {
        writeImage(path("gap.png"), {"xx"});
        writeImage(path("gap_2.png"), {"xw"});
        writeImage(path("gap_4.png"), {"ww"});
        Grid g;
        g.getParameters()->setModel(9);
        g.resize(3, 3, 1);
        QString error;
        QVERIFY2(GeometryFiles::load(g, path("gap.png"), false, &error), qPrintable(error));
        QCOMPARE(g.getWidth(), 2);
        QCOMPARE(g.getLength(), 2);
        QCOMPARE(g.getParameters()->getModel(), 19);
        QVERIFY(dynamic_cast<WallCell *>(g.getCell(1, 0, 1)));
    }

    // Saving a 2D grid over a name that held three layers leaves no stale
    // layer behind: it loads back as 2D and keeps D2Q9.
    void saveOverOlderLayers()
    {
        Grid g;
        g.getParameters()->setModel(19);
        g.resize(4, 3, 3);
        QString error;
        QVERIFY2(GeometryFiles::saveGeometryImage(g, path("over.png"), 1, &error), qPrintable(error));
        QVERIFY(QFile::exists(path("over_3.png")));
        // Files of the user's that no load of over.png reads: a layer beyond
        // a gap, other spellings of a number, other names.
        const QStringList unrelated = {"over_x.png", "over_7.png", "over_04.png", "over_3.png.bak", "over_3.PNG"};
        for (const QString &name : unrelated)
            writeText(path(name), "unrelated");
        Grid flat;
        flat.getParameters()->setModel(9);
        flat.resize(4, 3, 1);
        flat.fillRegion("w", 0, 3, 0, 0, 0, 0);
        QVERIFY2(GeometryFiles::saveGeometryImage(flat, path("over.png"), 1, &error), qPrintable(error));
        QVERIFY(!QFile::exists(path("over_2.png")));
        QVERIFY(!QFile::exists(path("over_3.png")));
        for (const QString &name : unrelated)
            QCOMPARE(readAll(path(name)), QByteArray("unrelated"));
        // A single layer saved where only a later-numbered file exists.
        writeText(path("flow_7.png"), "unrelated");
        QVERIFY2(GeometryFiles::saveGeometryImage(flat, path("flow.png"), 1, &error), qPrintable(error));
        QCOMPARE(readAll(path("flow_7.png")), QByteArray("unrelated"));
        Grid back;
        back.getParameters()->setModel(9);
        QVERIFY2(GeometryFiles::load(back, path("over.png"), false, &error), qPrintable(error));
        QCOMPARE(back.getLength(), 1);
        QCOMPARE(back.getParameters()->getModel(), 9);
        QCOMPARE(kinds(back), kinds(flat));
    }

    // A disk that fills up while the layers are written (a file size limit
    // below the largest layer, whose bytes wait in the write buffer until
    // the end) fails the save and leaves every old layer as it was.
    void fullDiskKeepsOldLayers()
    {
        Grid g;
        g.getParameters()->setModel(19);
        g.resize(30, 20, 3);
        QString error;
        QVERIFY(GeometryFiles::saveGeometryImage(g, path("full.png"), 1, &error));
        const QStringList names = {"full.png", "full_2.png", "full_3.png"};
        QList<QByteArray> old;
        for (const QString &name : names)
            old << readAll(path(name));
        // Layer 2 becomes a scatter of walls, which compresses worst.
        std::srand(5);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 30; ++x)
                if (std::rand() % 2)
                    g.fillRegion("w", x, x, y, y, 1, 1);
        QTemporaryDir aside;
        QVERIFY(GeometryFiles::saveGeometryImage(g, aside.filePath("full.png"), 1, &error));
        const qint64 largest = QFileInfo(aside.filePath("full_2.png")).size();
        QVERIFY(largest > QFileInfo(aside.filePath("full.png")).size());
        rlimit previous;
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit small = previous;
        small.rlim_cur = rlim_t(largest - 1);
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        const bool saved = GeometryFiles::saveGeometryImage(g, path("full.png"), 1, &error);
        setrlimit(RLIMIT_FSIZE, &previous);
        QVERIFY(!saved);
        QVERIFY(!error.isEmpty());
        for (int k = 0; k < names.size(); ++k)
            QCOMPARE(readAll(path(names[k])), old[k]);
        QCOMPARE(QDir(dir.path()).entryList({"full*"}, QDir::Files), names);
    }

    // Extensions in any letter case reach their loader.
    void extensionCase()
    {
        writeImage(path("UPPER.PNG"), {"sxw"});
        writeText(path("UPPER.TXT"), "3 1 1 1 0 0 0 0 1 2 0 0");
        writeText(path("upper.Lb"), "3 1 1 1 0 0 0 0 1 2 0 0");
        for (const char *name : {"UPPER.PNG", "UPPER.TXT", "upper.Lb"}) {
            Grid g;
            g.getParameters()->setModel(9);
            QString error;
            QVERIFY2(GeometryFiles::load(g, path(name), false, &error), qPrintable(error));
            QCOMPARE(kinds(g), QStringList({"sxw"}));
        }
    }

    // Special and oversized files are refused without hanging, reading in
    // part or touching the grid; the conversions write nothing.
    void specialFiles()
    {
        QVERIFY(::mkfifo(QFile::encodeName(path("fifo.png")).constData(), 0600) == 0);
        QVERIFY(::mkfifo(QFile::encodeName(path("fifo.txt")).constData(), 0600) == 0);
        QVERIFY(::mkfifo(QFile::encodeName(path("layered_2.png")).constData(), 0600) == 0);
        writeImage(path("layered.png"), {"xx"});
        QVERIFY(sparseFile(path("big.txt"), GeometryFiles::MaxFileBytes + 1));
        QVERIFY(sparseFile(path("big.lb"), GeometryFiles::MaxFileBytes + 1));
        QVERIFY(sparseFile(path("big.png"), GeometryFiles::MaxFileBytes + 1));
        writeText(path("big.lb2"), "precious");
        const struct
        {
            const char *file;
            const char *message;
        } cases[] = {{"fifo.png", "not a regular file"},    {"fifo.txt", "not a regular file"},
                     {"layered.png", "not a regular file"}, {"big.txt", "more than the"},
                     {"big.lb", "more than the"},           {"big.png", "more than the"}};
        for (const auto &c : cases) {
            Grid g;
            g.getParameters()->setModel(9);
            g.resize(3, 2, 1);
            BaseCell *corner = g.getCell(2, 1, 0);
            QString error;
            QVERIFY(!GeometryFiles::load(g, path(c.file), false, &error));
            QVERIFY2(error.contains(c.message), qPrintable(c.file + (": " + error)));
            QCOMPARE(g.getCell(2, 1, 0), corner);
            QCOMPARE(g.getLength(), 1);
        }
        QString error;
        QVERIFY(!GeometryFiles::convertLbToLb2(path("big.lb"), &error));
        QVERIFY2(error.contains("more than the"), qPrintable(error));
        QCOMPARE(readAll(path("big.lb2")), QByteArray("precious"));
        QVERIFY(!GeometryFiles::convertLb2ToLb(path("fifo.txt"), &error));
        QVERIFY(error.contains("not a regular file"));
    }

    // The size comes from the PNG header: a huge image is refused before
    // any pixel is decoded, a domain the machine cannot hold before any
    // memory is taken, and the grid stays as it was.
    void sizeBeforeDecoding()
    {
        writeText(path("huge.png"), headerOnlyPng(20000, 20000));
        writeText(path("wide.png"), headerOnlyPng(8192, 8192));
        writeText(path("wide.txt"), "8000 8000 1");
        Grid g;
        g.getParameters()->setModel(9);
        g.resize(3, 2, 1);
        BaseCell *corner = g.getCell(2, 1, 0);
        QString error;
        QVERIFY(!GeometryFiles::load(g, path("huge.png"), false, &error));
        QVERIFY2(error.contains("more than the"), qPrintable(error));
        const double available = GeometryFiles::availableBytes();
        QVERIFY(available > 0.0);
        if (GeometryFiles::estimatedBytes(8000LL * 8000, 9) < 0.8 * available)
            QSKIP("this machine could hold an 8000 x 8000 domain");
        for (const char *file : {"wide.png", "wide.txt"}) {
            QVERIFY(!GeometryFiles::load(g, path(file), false, &error));
            QVERIFY2(error.contains("MB of memory"), qPrintable(error));
        }
        QCOMPARE(g.getCell(2, 1, 0), corner);
        QCOMPARE(g.getWidth(), 3);
    }

    void saveFailures()
    {
        Grid g;
        g.resize(3, 3, 1);
        QString error;
        QVERIFY(!GeometryFiles::saveGeometryImage(g, path("bad.png"), 0, &error));
        QVERIFY(error.contains("scale"));
        QVERIFY(!GeometryFiles::saveGeometryImage(g, path("no/such/dir/g.png"), 1, &error));
        QVERIFY(error.contains("Cannot write"));
    }

    void conversions()
    {
        QCOMPARE(GeometryFiles::lb2PathFor("/a.lb/run.lb"), QString("/a.lb/run.lb2"));
        QCOMPARE(GeometryFiles::lbPathFor("/a.lb2/run.lb2"), QString("/a.lb2/run.lb"));
        QCOMPARE(GeometryFiles::lb2PathFor("run.xml"), QString("run.xml.lb2"));

        QByteArray text;
        for (int i = 0; i < 2000; ++i)
            text += "<lattice x=\"" + QByteArray::number(i) + "\" type=\"wall\"/>\n";
        writeText(path("state.lb"), text);
        QString error;
        QVERIFY2(GeometryFiles::convertLbToLb2(path("state.lb"), &error), qPrintable(error));
        const QByteArray packed = readAll(path("state.lb2"));
        QCOMPARE(packed, qCompress(text, -1));
        QVERIFY(packed.size() < text.size() / 4);
        QVERIFY(QFile::remove(path("state.lb")));
        QVERIFY2(GeometryFiles::convertLb2ToLb(path("state.lb2"), &error), qPrintable(error));
        QCOMPARE(readAll(path("state.lb")), text);

        // An empty file survives both ways.
        writeText(path("empty.lb"), QByteArray());
        QVERIFY2(GeometryFiles::convertLbToLb2(path("empty.lb"), &error), qPrintable(error));
        QVERIFY(QFile::remove(path("empty.lb")));
        QVERIFY2(GeometryFiles::convertLb2ToLb(path("empty.lb2"), &error), qPrintable(error));
        QVERIFY(QFile::exists(path("empty.lb")));
        QCOMPARE(readAll(path("empty.lb")), QByteArray());

        QVERIFY(!GeometryFiles::convertLbToLb2(path("absent.lb"), &error));
        QVERIFY(error.contains("does not exist"));
    }

    void corruptLb2_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("inflated"); // reaches zlib, which logs a warning
        QByteArray good = qCompress(QByteArray(5000, 'a'), -1);
        QTest::newRow("too short") << QByteArray("ab") << false;
        QTest::newRow("plain text") << QByteArray("<tavrine>not compressed</tavrine>") << false;
        QTest::newRow("truncated") << good.left(good.size() / 2) << true;
        QByteArray flipped = good;
        flipped[8] = char(flipped[8] ^ 0x55);
        flipped[9] = char(flipped[9] ^ 0x55);
        QTest::newRow("damaged stream") << flipped << true;
        QByteArray huge = good;
        huge[0] = char(0x7f); // claims about 2 GB
        QTest::newRow("absurd length") << huge << false;
        QByteArray wrongLength = good;
        wrongLength[3] = char(wrongLength[3] + 1);
        QTest::newRow("wrong length") << wrongLength << false;
        QTest::newRow("zero length, data") << QByteArray("\0\0\0\0xyz", 7) << false;
        // The 8-byte length of a long text, claiming more than a file may
        // hold, and a short one over a cut stream.
        QTest::newRow("wide, too long") << QByteArray("\xff\xff\xff\xff\0\0\0\x01\0\0\0\0", 12) + good.mid(4) << false;
        QTest::newRow("wide, truncated") << QByteArray("\xff\xff\xff\xff\0\0\0\0", 8) + good.left(4) +
                                                good.mid(4, good.size() / 3)
                                         << false;
    }

    // Damaged input is reported and the existing ".lb" file is kept.
    void corruptLb2()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, inflated);
        writeText(path("old.lb"), "precious");
        writeText(path("old.lb2"), bytes);
        QString error;
        if (inflated)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("qUncompress.*"));
        QVERIFY(!GeometryFiles::convertLb2ToLb(path("old.lb2"), &error));
        QVERIFY2(error.contains("damaged"), qPrintable(error));
        QCOMPARE(readAll(path("old.lb")), QByteArray("precious"));
        QCOMPARE(QDir(dir.path()).entryList({"old.lb*"}, QDir::Files).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestGeometryFiles)
#include "tst_geometryfiles.moc"
