#include "model/latticeboltzmann/boundary/equilibriumboundary.h"
#include "model/latticeboltzmann/boundary/extrapolationboundary.h"
#include "model/latticeboltzmann/boundary/fixedboundary.h"
#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/pointboundary.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/boundary/zouheboundary.h"
#include "model/latticeboltzmann/deposition/depositionwall.h"
#include "model/latticeboltzmann/dragwallcell.h"
#include "model/latticeboltzmann/forces/forcelist.h"
#include "model/latticeboltzmann/forces/multicomponent.h"
#include "model/latticeboltzmann/forces/passivescalarforce.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/interpolationcell.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/meltingsolidification/freesurfacesettings.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/moving/movingwall.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/partialslipboundary.h"
#include "model/latticeboltzmann/reflectwithfactorcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/scalartracersettings.h"
#include "model/latticeboltzmann/unitscales.h"
#include "model/latticeboltzmann/wallcell.h"
#include "persistence/compression.h"
#include "persistence/documentbytes.h"
#include "persistence/statedocument.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace {

// Everything that decides how the run goes on: the populations of every
// site, what the boundary sites hold, and the run statistics.
struct Snapshot
{
    std::vector<double> values;
    int iterations = 0;
    int fluidCells = 0;
    double deltaP = 0.0, totalP = 0.0;

    bool sameAs(const Snapshot &o) const
    {
        return values.size() == o.values.size() &&
               std::memcmp(values.data(), o.values.data(), values.size() * sizeof(double)) == 0 &&
               iterations == o.iterations && fluidCells == o.fluidCells &&
               std::memcmp(&deltaP, &o.deltaP, sizeof deltaP) == 0 &&
               std::memcmp(&totalP, &o.totalP, sizeof totalP) == 0;
    }
};

Snapshot snapshot(Grid &g)
{
    Snapshot s;
    const int q = g.getParameters()->getModel();
    g.forEachCell([&](BaseCell *c, int, int, int) {
        for (int i = 0; i < q; ++i) {
            s.values.push_back(c->getF(i, 0));
            s.values.push_back(c->getNextF(i, 0));
        }
        s.values.push_back(c->getP(-1));
        const Vector3d u = c->getVelocity(0);
        s.values.insert(s.values.end(), {u.x, u.y, u.z});
    });
    const SimulationStats &st = g.getStatistics();
    s.iterations = st.iterations;
    s.fluidCells = st.fluidCells;
    s.deltaP = st.deltaP;
    s.totalP = st.totalP;
    return s;
}

void setUp(Grid &g, int nx, int ny, int nz, int q, bool periodic)
{
    SimulationParameters *p = g.getParameters();
    p->setModel(q);
    // Reals with more digits than six, as a run really has.
    p->setEpsilon(0, 0.7312345678901234);
    p->setMinP0Value(0.9712345678901234);
    p->setMaxP0Value(1.03);
    p->setPeriodicBoundaries(periodic);
    p->setSlipWallCoefficient(0.4);
    p->setReflectWithFactor(0.5);
    g.resize(nx, ny, nz);
}

void channelWalls(Grid &g, const std::function<BaseCell *()> &wall)
{
    for (int x = 0; x < g.getWidth(); ++x)
        for (int z = 0; z < g.getLength(); ++z) {
            g.setCell(x, 0, z, wall());
            g.setCell(x, g.getHeight() - 1, z, wall());
        }
}

BaseCell *movingWall(Grid &g, double speed, int period)
{
    auto *cell = new MovingCell(1.0, 0, &g);
    cell->setBody(new MovingWall(Vector3d(speed, 0.0, 0.0), period), true);
    return cell;
}

const std::function<void(Grid &)> families[] = {
    // Fluid, plain walls and null cells, D2Q9.
    [](Grid &g) {
        setUp(g, 30, 14, 1, 9, true);
        channelWalls(g, [] { return new WallCell; });
        for (int y = 4; y < 9; ++y)
            for (int x = 10; x < 15; ++x)
                g.setCell(x, y, 0,
                          (x > 10 && x < 14 && y > 4 && y < 8) ? static_cast<BaseCell *>(new NullCell) : new WallCell);
    },
    // Fluid and walls in 3D, D3Q19, not periodic.
    [](Grid &g) {
        setUp(g, 9, 7, 5, 19, false);
        channelWalls(g, [] { return new WallCell; });
        g.setCell(4, 3, 2, new WallCell);
    },
    // Every inlet and outlet strategy in a channel.
    [](Grid &g) {
        setUp(g, 34, 14, 1, 9, false);
        g.getParameters()->setSourceVelocityValue(0, 0.03);
        g.getParameters()->setSourceVelocityValue(1, 0.02);
        channelWalls(g, [] { return new WallCell; });
        for (int y = 1; y < 13; ++y) {
            BaseCell *inlet = nullptr;
            if (y < 4)
                inlet = new SourceCell(new EquilibriumBoundary);
            else if (y < 7)
                inlet = SourceCell::fixedFlux(0.02, 1.0);
            else if (y < 10)
                inlet = new SourceCell(new ZouHeBoundary);
            else
                inlet = SourceCell::point(1.02);
            g.setCell(0, y, 0, inlet);
            BaseCell *outlet = nullptr;
            if (y < 5)
                outlet = new OpenCell(new EquilibriumBoundary);
            else if (y < 9)
                outlet = OpenCell::extrapolation();
            else
                outlet = new OpenCell(new ZouHeBoundary);
            static_cast<OpenCell *>(outlet)->strategy()->setBoundaryP(1.0);
            g.setCell(33, y, 0, outlet);
        }
    },
    // A steady moving lid over an oscillating floor.
    [](Grid &g) {
        setUp(g, 20, 12, 1, 9, true);
        for (int x = 0; x < 20; ++x) {
            g.setCell(x, 11, 0, movingWall(g, 0.05, 0));
            g.setCell(x, 0, 0, movingWall(g, 0.03, 17));
        }
    },
    // Partial slip, drag, reflecting, interpolation and deposition walls.
    [](Grid &g) {
        setUp(g, 28, 16, 1, 9, true);
        channelWalls(g, [] { return new PartialSlipBoundary; });
        for (int y = 5; y < 9; ++y)
            for (int x = 6; x < 9; ++x)
                g.setCell(x, y, 0, new DragWallCell);
        for (int y = 4; y < 7; ++y)
            g.setCell(16, y, 0, new ReflectWithFactorCell);
        g.setCell(20, 10, 0, new InterpolationCell(1.05, 0.02, 13));
        for (int x = 22; x < 26; ++x)
            g.setCell(x, 1, 0, new DepositionWall);
    },
    // One row of a 3D grid, whose text is formatted in pieces that split
    // the row.
    [](Grid &g) {
        setUp(g, 37, 1, 3, 19, true);
        g.setCell(5, 0, 1, new WallCell);
    },
};

const char *const familyNames[] = {"fluid, walls, null", "3D fluid",      "inlets and outlets",
                                   "moving walls",       "special walls", "one row"};

// A document of the given text, written beside the others.
QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

} // namespace

class TestStateDocument : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    // A small running grid whose document the bad-document tests corrupt.
    QByteArray goodDocument()
    {
        Grid g;
        families[0](g);
        g.step(5);
        return StateDocument(g).text(2);
    }

    // Loads the text into a running grid and checks that the load is refused
    // with a message and that the grid runs on as if nothing had happened.
    void refuse(const QByteArray &bytes, const QString &expected, qint64 memoryLimit = 0)
    {
        Grid g;
        g.getParameters()->random().setSeed(11);
        families[3](g);
        g.step(7);
        const Snapshot before = snapshot(g);
        StateDocument doc(g);
        StateDocument::Options options;
        options.memoryLimit = memoryLimit;
        QString error;
        QVERIFY(!doc.load(writeFile(dir.filePath("bad.lb2"), bytes), options, &error));
        QVERIFY2(error.contains(expected), qPrintable(error));
        QVERIFY(snapshot(g).sameAs(before));
        QCOMPARE(g.getParameters()->getModel(), 9);
        g.step(3);
        Grid h;
        h.getParameters()->random().setSeed(11);
        families[3](h);
        h.step(10);
        QVERIFY(snapshot(g).sameAs(snapshot(h)));
    }

private slots:
    // Save, load into a new grid and continue: bitwise the same populations
    // and statistics as the run that never stopped, for every cell family,
    // in both versions and compressed. With single-precision populations
    // the document holds the populations' values in full and reloads in
    // single precision; loaded over a running grid of the other precision,
    // a document brings its own and the grid converts.
    void continueExactly_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("compress");
        QTest::addColumn<bool>("single");
        QTest::addColumn<bool>("overOther");
        for (int f = 0; f < 6; ++f) {
            QTest::addRow("%s, v2", familyNames[f]) << f << 2 << false << false << false;
            QTest::addRow("%s, v3", familyNames[f]) << f << 3 << false << false << false;
        }
        QTest::addRow("inlets, compressed") << 2 << 2 << true << false << false;
        for (int f : {0, 1, 2}) {
            QTest::addRow("%s, single", familyNames[f]) << f << 2 << false << true << false;
            QTest::addRow("%s, single over double", familyNames[f]) << f << 3 << false << true << true;
            QTest::addRow("%s, double over single", familyNames[f]) << f << 2 << false << false << true;
        }
    }
    void continueExactly()
    {
        QFETCH(int, family);
        QFETCH(int, version);
        QFETCH(bool, compress);
        QFETCH(bool, single);
        QFETCH(bool, overOther);
        const QString path = dir.filePath(QStringLiteral("run%1.lb%2").arg(family).arg(version));
        StateDocument::Options options;
        options.version = version;
        options.compress = compress;
        Snapshot uninterrupted;
        QMap<int, Vector3d> drag;
        {
            Grid g;
            families[family](g);
            g.getParameters()->setSinglePopulations(single);
            g.step(23);
            QCOMPARE(g.getPopulations().single, single);
            g.computeDrag();
            drag = g.dragTable();
            QString error;
            QVERIFY2(StateDocument(g).save(path, options, &error), qPrintable(error));
            g.step(31);
            uninterrupted = snapshot(g);
        }
        Grid g;
        if (overOther) {
            families[family](g);
            g.getParameters()->setSinglePopulations(!single);
            g.step(4);
            QCOMPARE(g.getPopulations().single, !single);
        }
        StateDocument doc(g);
        QString error;
        QVERIFY2(doc.load(path, options, &error), qPrintable(error));
        QCOMPARE(g.getStatistics().iterations, 23);
        QCOMPARE(g.getParameters()->getSinglePopulations(), single);
        // Drag walls kept what the fluid sent them.
        g.computeDrag();
        QCOMPARE(g.dragTable().keys(), drag.keys());
        for (int k : drag.keys()) {
            QCOMPARE(g.dragTable()[k].x, drag[k].x);
            QCOMPARE(g.dragTable()[k].y, drag[k].y);
        }
        g.step(31);
        QCOMPARE(g.getPopulations().single, single);
        QVERIFY(snapshot(g).sameAs(uninterrupted));
        QVERIFY(!QFile::exists(path + ".tmp"));
    }

    // Every kind of body force survives a save and a load: loaded into a
    // fresh grid or over a grid that has other forces, the run goes on
    // bitwise as the one that never stopped. A document without forces
    // leaves none of the previous run's.
    void forcesSurviveLoad()
    {
        const auto forceNames = [](const Grid &g) {
            QStringList names;
            for (Force *f : g.getParameters()->getForces())
                names << ForceList::typeName(f);
            return names;
        };
        const QString path = dir.filePath("forces.lb2");
        const QStringList all = {"gravity", "multiphase", "multicomponent", "passiveScalarForce"};
        Snapshot uninterrupted;
        {
            Grid g;
            families[0](g);
            SimulationParameters *p = g.getParameters();
            ScalarSource source;
            source.minx = 2;
            source.maxx = 4;
            source.miny = 3;
            source.maxy = 9;
            QVERIFY(g.getScalarTracers()->addSource(source, 1));
            p->setGravity(1.25e-5);
            p->setMultiphase(-0.35, 1.0, 1.0, 0.07);
            p->setMulticomponentValues(1, 0.05, 0.013, 0.0, 1);
            p->addForce(new MultiComponent);
            p->addForce(new PassiveScalarForce(1.5e-3, -2.5e-3, 1, 25, 2, 11, 0));
            QCOMPARE(forceNames(g), all);
            g.step(17);
            QString error;
            QVERIFY2(StateDocument(g).save(path, {}, &error), qPrintable(error));
            g.step(29);
            uninterrupted = snapshot(g);
        }
        for (bool withOtherForces : {false, true}) {
            Grid g;
            if (withOtherForces) {
                families[3](g);
                g.getParameters()->setGravity(5e-3);
                g.getParameters()->addForce(new PassiveScalarForce(0.1, 0.1, 0, 5, 0, 5, 3));
                g.step(3);
            }
            QString error;
            QVERIFY2(StateDocument(g).load(path, {}, &error), qPrintable(error));
            QCOMPARE(forceNames(g), all);
            QCOMPARE(g.getParameters()->getGravity(), 1.25e-5);
            auto *colour = static_cast<PassiveScalarForce *>(g.getParameters()->getForces().last());
            QCOMPARE(colour->strengthY, -2.5e-3);
            QCOMPARE(colour->maxx, 25);
            g.step(29);
            QVERIFY(snapshot(g).sameAs(uninterrupted));
        }
        const QString plain = dir.filePath("noforces.lb2");
        {
            Grid g;
            families[0](g);
            QVERIFY(StateDocument(g).save(plain, {}));
        }
        Grid g;
        families[3](g);
        g.getParameters()->setGravity(5e-3);
        QString error;
        QVERIFY2(StateDocument(g).load(plain, {}, &error), qPrintable(error));
        QVERIFY(g.getParameters()->getForces().isEmpty());
        QCOMPARE(g.getParameters()->getGravity(), 0.0);
    }

    // The cells of a plain document are read by a fast scanner; text it does
    // not read exactly (a comment, a character reference, spaces around a
    // number, cells in another order) goes to the general reader. Both ways
    // must give the same grid.
    void scannerAgreesWithGeneralReader()
    {
        for (int family : {2, 3, 4}) {
            Grid g;
            families[family](g);
            g.step(9);
            const QByteArray text = StateDocument(g).text(2);
            const int first = text.indexOf("<lattice");
            const int last = text.lastIndexOf("<lattice");
            QByteArray reordered = text;
            const int lineEnd = reordered.indexOf('\n', last);
            const QByteArray lastLine = reordered.mid(last, lineEnd - last);
            reordered.remove(last, lineEnd - last);
            reordered.insert(first, lastLine + "\n");
            const int value = text.indexOf("f1=\"", first) + 4;
            const QByteArray variants[] = {
                text,
                QByteArray(text).insert(first, "<!-- general -->"),
                QByteArray(text).insert(value, ' '),
                QByteArray(text).replace(value, 1, "&#" + QByteArray::number(int(text[value])) + ";"),
                reordered,
            };
            QByteArray expected;
            for (const QByteArray &variant : variants) {
                Grid h;
                StateDocument doc(h);
                QString error;
                QVERIFY2(doc.load(writeFile(dir.filePath("scan.lb2"), variant), {}, &error), qPrintable(error));
                h.step(4);
                const QByteArray after = doc.text(2);
                if (expected.isEmpty())
                    expected = after;
                QCOMPARE(after, expected);
            }
        }
    }

    // A text too long for the 4-byte length gets the marker FF FF FF FF and
    // an 8-byte length (here for any length, by lowering the threshold),
    // and loads back like the short form; the header is checked either way.
    void wideCompressedForm()
    {
        Grid g;
        families[2](g);
        g.step(6);
        StateDocument doc(g);
        const QByteArray text = doc.text(2);
        const QList<QByteArray> parts{text.left(1000), text.mid(1000)};
        const QByteArray wide = Compression::compress(parts, -1, 0);
        QCOMPARE(wide.left(4), QByteArray("\xff\xff\xff\xff"));
        QByteArray length;
        for (int k = 7; k >= 0; --k)
            length.append(char(quint64(text.size()) >> (8 * k)));
        QCOMPARE(wide.mid(4, 8), length);
        // The stream after the header is the short form's.
        QCOMPARE(wide.mid(12), Compression::compress(parts).mid(4));
        DocumentBytes out;
        QString error;
        QVERIFY2(Compression::inflate(wide.constData(), wide.size(), 1 << 30, &out, &error), qPrintable(error));
        QCOMPARE(QByteArray(out.data(), int(out.size())), text);
        QVERIFY(!Compression::inflate(wide.constData(), wide.size(), text.size() - 1, &out, &error));
        QVERIFY2(error.contains("declares"), qPrintable(error));
        QVERIFY(!Compression::inflate(wide.constData(), 11, 1 << 30, &out, &error));
        QVERIFY2(error.contains("truncated"), qPrintable(error));

        Grid h;
        StateDocument loaded(h);
        QVERIFY2(loaded.load(writeFile(dir.filePath("wide.lb2"), wide), {}, &error), qPrintable(error));
        QCOMPARE(loaded.text(2), QByteArray(text).replace("processNeighbors=\"0\"", "processNeighbors=\"1\""));
        QByteArray lying = wide;
        lying[11] = char(lying[11] + 1);
        refuse(lying, "not the declared");
    }

    // The compressed bytes of a text do not depend on the parts it comes in,
    // whether it is compressed whole or written as it comes; a writer given
    // more or less text than it was told refuses to finish.
    void compressedBytesDoNotDependOnTheParts()
    {
        // Three pieces' worth of text that deflates unevenly.
        QByteArray text;
        for (int k = 0; text.size() < (qint64(19) << 20); ++k)
            text += "<lattice x=\"" + QByteArray::number(k % 1000) + "\" f0=\"" + QByteArray::number(k * 0.37, 'g', 17) +
                    "\"/>\n";
        const QByteArray whole = Compression::compress(text);
        QCOMPARE(Compression::compress({text.left(5), text.mid(5, 9000001), text.mid(9000006)}), whole);
        QByteArray streamed;
        {
            QBuffer buffer(&streamed);
            buffer.open(QIODevice::WriteOnly);
            Compression::Writer writer(&buffer, text.size());
            for (int at = 0; at < text.size(); at += 1234567)
                QVERIFY(writer.write(text.mid(at, 1234567)));
            QVERIFY(writer.finish());
        }
        QCOMPARE(streamed, whole);
        QByteArray back;
        QString error;
        QVERIFY2(Compression::inflate(streamed, qint64(1) << 30, &back, &error), qPrintable(error));
        QVERIFY(back == text);

        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        Compression::Writer shortOne(&buffer, 10);
        QVERIFY(shortOne.write("12345"));
        QVERIFY(!shortOne.finish());
        Compression::Writer longOne(&buffer, 4);
        QVERIFY(!longOne.write("12345"));
    }

    // A compressed file is the 4-byte length of the text and a zlib stream
    // (the layout qCompress writes), loaded whatever the caller says.
    void compressedLayout()
    {
        Grid g;
        families[2](g);
        g.step(4);
        StateDocument doc(g);
        const QString path = dir.filePath("zipped.lb2");
        StateDocument::Options options;
        options.compress = true;
        QVERIFY(doc.save(path, options));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const QByteArray text = doc.text(2);
        QCOMPARE(qUncompress(bytes), text);
        QVERIFY(bytes.size() < text.size());
        options.compress = false;
        QString error;
        QVERIFY2(doc.load(path, options, &error), qPrintable(error));
        // A text that opens with a UTF-8 byte-order mark is text.
        Grid h;
        StateDocument marked(h);
        QVERIFY2(marked.load(writeFile(dir.filePath("bom.lb2"), "\xEF\xBB\xBF\n" + text), options, &error),
                 qPrintable(error));
        QCOMPARE(marked.text(2), doc.text(2));
        // The same document again, but for the rebuild request a load makes.
        QCOMPARE(doc.text(2), QByteArray(text).replace("processNeighbors=\"0\"", "processNeighbors=\"1\""));
    }

    // A document in the older form: reals with six digits, cells without
    // positions, no optional config groups, no panels.
    void olderDocumentLoads()
    {
        QByteArray text = "<tavrine>\n <particleManager/>\n <passivescalarsingleton/>\n"
                          " <grid width=\"3\" height=\"2\" length=\"1\" model=\"9\">\n";
        for (int i = 0; i < 6; ++i) {
            if (i == 4) {
                text += "  <lattice type=\"wall\"/>\n";
                continue;
            }
            text += "  <lattice type=\"singleComponent\" p0=\"1\" lastDeltaP=\"0\"";
            for (int k = 0; k < 9; ++k)
                text += QStringLiteral(" f%1=\"%2\"").arg(k).arg(Lattice::weight(9, k) * 1.1, 0, 'g', 6).toLatin1();
            text += "/>\n";
        }
        text +=
            " </grid>\n <simulation iterations=\"40\" deltaP=\"0.001\" deltasP=\"999\"/>\n"
            " <config model=\"9\" epsilon0=\"0.9\" epsilon1=\"1\" epsilon2=\"1\" minP0=\"1\" maxP0=\"1\""
            " sourceVelocity0=\"0.01\" sourceVelocity1=\"0.02\" sourceVelocity2=\"0.03\" periodicBoundaries=\"1\""
            " gravity=\"0\"><forces/></config>\n <particles/>\n <parameters dx=\"2e-06\" dt=\"1e-07\" dm=\"1e-17\"/>\n"
            "</tavrine>\n";
        Grid g;
        g.getParameters()->setSourcePressureValue(1, 1.5);
        StateDocument doc(g);
        QString error;
        QVERIFY2(doc.load(writeFile(dir.filePath("old.lb2"), text), {}, &error), qPrintable(error));
        QCOMPARE(g.getWidth(), 3);
        QCOMPARE(g.getStatistics().iterations, 40);
        QCOMPARE(g.getStatistics().fluidCells, 5);
        QVERIFY(dynamic_cast<WallCell *>(g.getCell(1, 1, 0)));
        QVERIFY(qAbs(g.getCell(2, 1, 0)->getP(-1) - 1.1) < 1e-5);
        SimulationParameters *p = g.getParameters();
        QCOMPARE(p->getEpsilon(0), 0.9);
        QCOMPARE(p->sourceVelocity(2), 0.03);
        QCOMPARE(p->getSourcePressure(1), 1.5);
        QCOMPARE(p->getVelocityOrder(), 2);
        QCOMPARE(p->getEffectiveTau0(), 0.9);
        QCOMPARE(g.getScales()->getDx(), 2e-6);
        g.step(2);
        QCOMPARE(g.getStatistics().iterations, 42);
    }

    // The panels read their own elements by name, in any order, with
    // unknown elements between them skipped whole.
    void panelsByName()
    {
        Grid g;
        families[0](g);
        StateDocument doc(g);
        QString info, colors;
        QList<StateDocument::Panel> panels;
        panels.append({"info", [](QXmlStreamWriter &w) { w.writeAttribute("multicore", "0"); },
                       [&info](QXmlStreamReader &r, QString *) {
                           info = r.attributes().value("multicore").toString();
                           r.skipCurrentElement();
                           return true;
                       }});
        panels.append({"colors",
                       [](QXmlStreamWriter &w) {
                           w.writeAttribute("map", "3");
                           w.writeEmptyElement("stop");
                       },
                       [&colors](QXmlStreamReader &r, QString *) {
                           colors = r.attributes().value("map").toString();
                           return true;
                       }});
        doc.setPanels(panels);
        QByteArray text = doc.text(2);
        QVERIFY(text.indexOf("<view/>") < text.indexOf("<info ") && text.indexOf("<info ") < text.indexOf("<colors "));
        text.replace("<view/>", "<unknown><info multicore=\"7\"/></unknown>");
        text.replace("<scheduler/>", "");
        QString error;
        QVERIFY2(doc.load(writeFile(dir.filePath("panels.lb2"), text), {}, &error), qPrintable(error));
        QCOMPARE(info, QStringLiteral("0"));
        QCOMPARE(colors, QStringLiteral("3"));
    }

    // The free-surface settings follow every panel element; a document that
    // has them in the earlier place, between the immersed bodies and the
    // panels, loads them and the panels alike.
    void freeSurfaceAfterPanels()
    {
        Grid g;
        families[0](g);
        g.getMeltingController()->setBeam(0.73, 0.21, 4, 0.015, 9, 0.6);
        StateDocument doc(g);
        QString view, extra;
        QList<StateDocument::Panel> panels;
        for (QString *seen : {&view, &extra})
            panels.append({seen == &view ? "view" : "extra", [](QXmlStreamWriter &w) { w.writeAttribute("a", "5"); },
                           [seen](QXmlStreamReader &r, QString *) {
                               *seen = r.attributes().value("a").toString();
                               r.skipCurrentElement();
                               return true;
                           }});
        doc.setPanels(panels);
        const QByteArray text = doc.text(2);
        const int surface = text.indexOf("<freeSurface ");
        QVERIFY(surface > text.indexOf("<interpolation") && surface > text.indexOf("<extra "));
        QVERIFY(text.indexOf("<immersedBoundary") < text.indexOf("<view "));
        const int end = text.indexOf("/>", surface) + 2;
        QByteArray earlier = text;
        const QByteArray element = earlier.mid(surface, end - surface);
        earlier.remove(surface, end - surface);
        earlier.insert(earlier.indexOf("<view "), element + "\n    ");
        for (const QByteArray &variant : {text, earlier}) {
            Grid h;
            StateDocument loaded(h);
            view.clear();
            extra.clear();
            loaded.setPanels(panels);
            QString error;
            QVERIFY2(loaded.load(writeFile(dir.filePath("surface.lb2"), variant), {}, &error), qPrintable(error));
            QCOMPARE(h.getMeltingController()->getPower(), 0.73);
            QCOMPARE(h.getMeltingController()->getTimesteps(), 9);
            QCOMPARE(view, QStringLiteral("5"));
            QCOMPARE(extra, QStringLiteral("5"));
        }
    }

    // Each kind of bad document is refused with a message, and the running
    // grid goes on exactly as before.
    void badDocuments()
    {
        const QByteArray good = goodDocument();
        refuse(good.left(good.size() / 2), "Premature end");
        refuse(good.left(good.indexOf("</grid>")), "");
        QByteArray text = good;
        refuse(text.replace("width=\"30\"", "width=\"31\""), "cells for");
        text = good;
        refuse(text.replace("height=\"14\"", "height=\"13\""), "");
        text = good;
        refuse(text.replace("height=\"14\"", "height=\"1400000\""), "MB of memory", qint64(1) << 30);
        // Sides whose product wraps a 64-bit count (to a negative number,
        // to exactly 0) or exceeds what a grid indexes.
        const char *const hostileBoxes[] = {"width=\"1610612736\" height=\"1073741824\" length=\"8\"",
                                            "width=\"1073741824\" height=\"1073741824\" length=\"16\"",
                                            "width=\"65536\" height=\"65536\" length=\"1\""};
        for (const char *box : hostileBoxes) {
            text = good;
            refuse(text.replace("width=\"30\" height=\"14\" length=\"1\"", box), "sites a grid can hold");
        }
        // Coloured scalars wrap every site with two distributions each: 64
        // of them on this small grid take more than a 2 MB limit allows,
        // wherever their settings stand in the document.
        const int settings = good.indexOf("<passivescalarsingleton");
        const int settingsEnd = good.indexOf("/>", settings) + 2;
        QByteArray colours = good.mid(settings, settingsEnd - 2 - settings) + ">";
        for (int k = 0; k < 64; ++k)
            colours += QStringLiteral("<color id=\"%1\" minx=\"%1\" maxx=\"%1\" miny=\"1\" maxy=\"1\" minz=\"0\" "
                                      "maxz=\"0\" color1X=\"9\" color1Y=\"9\" color1Z=\"9\"/>")
                           .arg(k % 30)
                           .toLatin1();
        colours += "</passivescalarsingleton>";
        {
            Grid h;
            StateDocument::Options small;
            small.memoryLimit = qint64(2) << 20;
            QString error;
            QVERIFY2(StateDocument(h).load(writeFile(dir.filePath("small.lb2"), good), small, &error),
                     qPrintable(error));
        }
        text = good;
        refuse(text.replace(settings, settingsEnd - settings, colours), "MB of memory", qint64(2) << 20);
        text = good;
        text.remove(settings, settingsEnd - settings);
        refuse(text.replace("</tavrine>", colours + "</tavrine>"), "coloured scalars", qint64(2) << 20);
        text = good;
        refuse(text.replace("width=\"30\"", "width=\"-3\""), "width");
        text = good;
        refuse(text.replace(" y=\"3\" ", " y=\"99\" "), "\"y\"");
        text = good;
        const int f = text.indexOf(" f4=\"") + 5;
        refuse(text.replace(f, 3, "nan"), "f4");
        text = good;
        refuse(text.replace("epsilon0=\"", "epsilon0=\"x"), "epsilon0");
        text = good;
        refuse(text.replace("<config model=\"9\"", "<config model=\"19\""), "model");
        refuse("not a document at all, and not compressed either", "");
        text = good;
        const int second = text.indexOf("<lattice", text.indexOf("<lattice") + 1);
        const int end = text.indexOf("/>", second) + 2;
        const QByteArray first = text.mid(text.indexOf("<lattice"), second - text.indexOf("<lattice"));
        refuse(text.replace(second, end - second, first.trimmed()), "two cells");
    }

    // Cells of a kind this program does not know, or of none, become plain
    // fluid at rest; the load goes on and reports their number once, in
    // both versions and whichever reader reads the cells.
    void unknownCellKindsBecomeFluid_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("scan");
        QTest::newRow("v2, scanner") << 2 << true;
        QTest::newRow("v2, general reader") << 2 << false;
        QTest::newRow("v3") << 3 << true;
    }
    void unknownCellKindsBecomeFluid()
    {
        QFETCH(int, version);
        QFETCH(bool, scan);
        Grid g;
        families[0](g);
        g.step(3);
        const QString path = dir.filePath(QStringLiteral("kinds.lb%1").arg(version));
        StateDocument::Options options;
        options.version = version;
        options.scanCells = scan;
        QVERIFY(StateDocument(g).save(path, options));
        // Two walls of the lowest row (chunk 0 in version 3) become a kind
        // from elsewhere and a cell without a kind, one of them with content.
        const QString file = version == 3 ? StateDocument::chunkPath(path, 0) : path;
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray text = f.readAll();
        f.close();
        const QByteArray first = "<lattice x=\"3\" y=\"0\" z=\"0\" type=\"wall\"/>";
        const QByteArray second = "<lattice x=\"4\" y=\"0\" z=\"0\" type=\"wall\"/>";
        QVERIFY(text.contains(first) && text.contains(second));
        text.replace(first, "<lattice x=\"3\" y=\"0\" z=\"0\" type=\"warp\" speed=\"9\"><drive/></lattice>");
        text.replace(second, "<lattice x=\"4\" y=\"0\" z=\"0\"/>");
        writeFile(file, text);

        static int loadErrors;
        loadErrors = 0;
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &message) {
                if (message.startsWith(QLatin1String("load error")))
                    ++loadErrors;
            });
        Grid h;
        StateDocument doc(h);
        QString error;
        const bool loaded = doc.load(path, options, &error);
        qInstallMessageHandler(previous);
        QVERIFY2(loaded, qPrintable(error));
        QCOMPARE(loadErrors, 1);
        QCOMPARE(doc.warnings().size(), 1);
        QVERIFY2(doc.warnings().first().startsWith("2 cells"), qPrintable(doc.warnings().first()));
        for (int x : {3, 4}) {
            BaseCell *cell = h.getCell(x, 0, 0);
            QCOMPARE(typeid(*cell), typeid(SCCell));
            QCOMPARE(cell->getP(-1), 1.0);
        }
        QVERIFY(dynamic_cast<WallCell *>(h.getCell(5, 0, 0)));
        QCOMPARE(h.getStatistics().iterations, 3);
        // Broken structure inside such a cell is still refused.
        text.replace("<drive/>", "<drive>");
        writeFile(file, text);
        QVERIFY(!StateDocument(h).load(path, options, &error));
    }

    // Compressed streams: a declared size beyond the limit, a stream longer
    // than it declares (an inflation bomb), a corrupt and a truncated one.
    void badCompressedDocuments()
    {
        const QByteArray good = goodDocument();
        QByteArray huge = Compression::compress(good);
        huge[0] = char(0x7f);
        refuse(huge, "declares", qint64(64) << 20);
        // 64 MB of one character in a stream that declares 2000 bytes.
        QByteArray bomb = qCompress(QByteArray(64 << 20, ' '));
        bomb[0] = bomb[1] = 0;
        bomb[2] = char(2000 >> 8);
        bomb[3] = char(2000 & 0xff);
        refuse(bomb, "beyond its declared");
        QByteArray corrupt = Compression::compress(good);
        for (int i = 100; i < 200; ++i)
            corrupt[i] = char(i);
        refuse(corrupt, "corrupt");
        refuse(Compression::compress(good).left(2000), "truncated");
        QString error;
        QByteArray out;
        QVERIFY(Compression::inflate(Compression::compress(good), 1 << 30, &out, &error));
        QCOMPARE(out, good);

        // Inflated as it is read, in pieces of any size: the same text, and
        // the same refusals (a slab's rows are read so).
        const auto streamed = [](QByteArray bytes, QByteArray *text, QString *why) {
            QBuffer device(&bytes);
            device.open(QIODevice::ReadOnly);
            Compression::Reader reader(&device);
            text->clear();
            QByteArray piece(777, Qt::Uninitialized);
            for (qint64 got; (got = reader.read(piece.data(), piece.size())) != 0;) {
                if (got < 0) {
                    *why = reader.errorString();
                    return false;
                }
                text->append(piece.constData(), int(got));
            }
            return true;
        };
        QVERIFY(streamed(Compression::compress(good), &out, &error));
        QCOMPARE(out, good);
        QVERIFY(streamed(Compression::compress(QList<QByteArray>{good}, -1, 0), &out, &error));
        QCOMPARE(out, good);
        QByteArray lying = Compression::compress(good);
        lying[3] = char(lying[3] + 1);
        for (const auto &bad : {std::make_pair(bomb, "beyond its declared"), std::make_pair(corrupt, "corrupt"),
                                std::make_pair(Compression::compress(good).left(2000), "truncated"),
                                std::make_pair(lying, "not the declared")}) {
            QVERIFY(!streamed(bad.first, &out, &error));
            QVERIFY2(error.contains(bad.second), qPrintable(error));
        }
    }

    // A save that fails part way (here: the file size limit is reached)
    // reports it and leaves the previous document as it was.
    void failedSaveKeepsPreviousFile()
    {
        Grid g;
        families[0](g);
        StateDocument doc(g);
        const QString path = dir.filePath("keep.lb2");
        QVERIFY(doc.save(path, {}));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray previous = f.readAll();
        f.close();
        g.resize(200, 200, 1);
        rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = rlim_t(previous.size() * 2);
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        QString error;
        const bool saved = doc.save(path, {}, &error);
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!saved);
        QVERIFY(!error.isEmpty());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), previous);
        QCOMPARE(QDir(dir.path()).entryList(QStringList() << "keep.lb2*", QDir::Files).size(), 1);
    }

    // A disk that fills up while the document's last buffered bytes are
    // written (here: a file size limit just below the largest new file,
    // whose bytes all wait in the write buffer until the end) makes the
    // save fail with a message, and every file of the previous document
    // stays as it was: for version 3 no chunk is replaced unless all are.
    void fullDiskKeepsPreviousDocument_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("compress");
        QTest::newRow("v2") << 2 << false;
        QTest::newRow("v2, compressed") << 2 << true;
        QTest::newRow("v3") << 3 << false;
    }
    void fullDiskKeepsPreviousDocument()
    {
        QFETCH(int, version);
        QFETCH(bool, compress);
        StateDocument::Options options;
        options.version = version;
        options.compress = compress;
        const auto files = [version](const QString &path) {
            QStringList list{path};
            if (version == 3)
                for (int k = 0; k < StateDocument::Chunks; ++k)
                    list << StateDocument::chunkPath(path, k);
            return list;
        };
        const auto contents = [&](const QString &path) {
            QList<QByteArray> all;
            for (const QString &name : files(path)) {
                QFile f(name);
                all << (f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing"));
            }
            return all;
        };
        Grid g;
        g.getParameters()->setMulticore(false);
        g.resize(12, 10, 1);
        g.fillRegion("w", 0, 11, 0, 9, 0, 0);
        const QString path = dir.filePath(QStringLiteral("full%1%2.lb%3").arg(version).arg(compress).arg(version));
        QVERIFY(StateDocument(g).save(path, options));
        const QList<QByteArray> previous = contents(path);
        // The last row (version 3: the last chunk) becomes fluid.
        g.fillRegion("x", 0, 11, 9, 9, 0, 0);
        g.step(2);
        QTemporaryDir aside;
        const QString dry = aside.filePath(QFileInfo(path).fileName());
        QVERIFY(StateDocument(g).save(dry, options));
        QList<qint64> sizes;
        for (const QByteArray &bytes : contents(dry))
            sizes << bytes.size();
        std::sort(sizes.begin(), sizes.end());
        const qint64 limit = sizes.last() - 1;
        QVERIFY(sizes.size() == 1 || sizes[sizes.size() - 2] <= limit);
        QVERIFY(sizes.last() < 16384);

        rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = rlim_t(limit);
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        QString error;
        const bool saved = StateDocument(g).save(path, options, &error);
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!saved);
        QVERIFY(!error.isEmpty());
        QCOMPARE(contents(path), previous);
        QCOMPARE(QDir(dir.path()).entryList({QFileInfo(path).fileName() + "*"}, QDir::Files).size(),
                 files(path).size());
        Grid h;
        QVERIFY(StateDocument(h).load(path, options, &error));
        QVERIFY(dynamic_cast<WallCell *>(h.getCell(0, 9, 0)));
    }

    // A document emptied while it loads gives a message or loads whole; it
    // never stops the program with a signal, as reading a mapping of a file
    // cut short would. The reader also notices a file that ends before its
    // announced size or grows on while it is read.
    void documentCutWhileLoading()
    {
        const QString path = dir.filePath("cut.lb2");
        QByteArray text;
        {
            Grid g;
            g.getParameters()->setMulticore(false);
            g.resize(180, 100, 1);
            g.step(1);
            text = StateDocument(g).text(2);
        }
        for (int delayMs : {0, 2, 5, 10, 20, 40}) {
            writeFile(path, text);
            Grid g;
            StateDocument doc(g);
            QString error;
            std::thread cutter([&path, delayMs] {
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
                QFile::resize(path, 0);
            });
            const bool loaded = doc.load(path, {}, &error);
            cutter.join();
            QVERIFY2(loaded ? g.getWidth() == 180 : !error.isEmpty(), qPrintable(error));
        }

        // Files whose size says one thing and whose reads another: the
        // process status (size 0, bytes to read) and, where the system has
        // one, a settings file (one page, fewer bytes).
        for (const QString &changing :
             {QStringLiteral("/proc/self/status"), QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled")}) {
            QFile file(changing);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            DocumentBytes bytes;
            QString error;
            QVERIFY(!bytes.readFile(file, &error));
            QVERIFY2(error.contains("changed while it was read"), qPrintable(error));
        }
        writeFile(path, text);
        QFile whole(path);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        DocumentBytes bytes;
        QString error;
        QVERIFY(bytes.readFile(whole, &error));
        QCOMPARE(QByteArray(bytes.data(), int(bytes.size())), text);
    }

    // Version-3 chunks split the rows as the format fixes them.
    void chunkRows()
    {
        QCOMPARE(StateDocument::chunkRows(25, 0), std::make_pair(0, 2));
        QCOMPARE(StateDocument::chunkRows(25, 8), std::make_pair(16, 2));
        QCOMPARE(StateDocument::chunkRows(25, 9), std::make_pair(18, 7));
        QCOMPARE(StateDocument::chunkRows(5, 3).second, 0);
        QCOMPARE(StateDocument::chunkRows(5, 9), std::make_pair(0, 5));
    }
};

QTEST_GUILESS_MAIN(TestStateDocument)
#include "tst_statedocument.moc"
