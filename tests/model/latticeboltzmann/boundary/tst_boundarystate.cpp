// Inlets and outlets in the state document: each cell writes its "type" and
// a "boundary" child with the strategy; reading goes cell element by cell
// element, advancing to the next start element before each cell.

#include "model/latticeboltzmann/boundary/equilibriumboundary.h"
#include "model/latticeboltzmann/boundary/extrapolationboundary.h"
#include "model/latticeboltzmann/boundary/fixedboundary.h"
#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/pointboundary.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/boundary/zouheboundary.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

#include <cmath>
#include <memory>
#include <vector>

namespace {

bool advance(QXmlStreamReader &reader)
{
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement())
            return true;
    }
    return false;
}

// Writes the cells as "lattice" elements under a root, the way the state
// document does.
QByteArray writeCells(const std::vector<BaseCell *> &cells)
{
    QByteArray bytes;
    QXmlStreamWriter w(&bytes);
    w.setAutoFormatting(true);
    w.writeStartElement("tavrine");
    for (BaseCell *c : cells) {
        w.writeStartElement("lattice");
        c->passivate(w);
        w.writeEndElement();
    }
    w.writeEndElement();
    return bytes;
}

// Reads cell elements back: advance, create by "type", activate.
std::vector<std::unique_ptr<BaseCell>> readCells(const QByteArray &bytes, Grid *grid)
{
    std::vector<std::unique_ptr<BaseCell>> cells;
    QXmlStreamReader r(bytes);
    advance(r); // root
    while (advance(r)) {
        const QString type = r.attributes().value("type").toString();
        BaseCell *c = nullptr;
        if (type == "source")
            c = new SourceCell;
        else if (type == "open")
            c = new OpenCell;
        else if (type == "singleComponent")
            c = new SCCell(1.0, grid->getParameters()->getModel());
        if (!c)
            break;
        c->activate(r, grid);
        cells.emplace_back(c);
    }
    return cells;
}

} // namespace

class TestBoundaryState : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip()
    {
        Grid g;
        auto *zouhe = new ZouHeBoundary;
        zouhe->setBoundaryU(0.031);
        auto *equilibrium = new EquilibriumBoundary;
        equilibrium->setBoundaryP(1.0625);
        auto *fixed = new FixedBoundary;
        fixed->setBoundaryU(0.045);
        fixed->setBoundaryP(0.97);
        fixed->setMultiComponentIndex(1);
        auto *openZouhe = new ZouHeBoundary;
        openZouhe->setBoundaryP(0.995);
        std::vector<BaseCell *> cells = {new SourceCell(zouhe),
                                         new SourceCell(equilibrium),
                                         new SCCell(1.01, 9),
                                         new SourceCell(fixed),
                                         new SourceCell(new PointBoundary(1.125)),
                                         new OpenCell(new ExtrapolationBoundary),
                                         new OpenCell(openZouhe),
                                         new SCCell(1.02, 9)};
        static_cast<SourceCell *>(cells[1])->setIndex(2);
        const QByteArray bytes = writeCells(cells);
        QVERIFY(bytes.contains("<lattice type=\"source\" index=\"2\">"));
        QVERIFY(bytes.contains(
            "<boundary type=\"fixed\" velocity=\"0.045\" pressure=\"0.97\" multiComponentIndex=\"1\"/>"));
        QVERIFY(bytes.contains("<boundary type=\"extrapolation\"/>"));

        const auto back = readCells(bytes, &g);
        QCOMPARE(int(back.size()), int(cells.size()));
        auto source = [&](int i) { return dynamic_cast<SourceCell *>(back[i].get()); };
        auto open = [&](int i) { return dynamic_cast<OpenCell *>(back[i].get()); };
        QVERIFY(dynamic_cast<ZouHeBoundary *>(source(0)->strategy()));
        QCOMPARE(source(0)->strategy()->getBoundaryU(), 0.031);
        QCOMPARE(source(0)->strategy()->getBoundaryP(), -1.0);
        QCOMPARE(source(1)->index(), 2);
        QCOMPARE(source(1)->strategy()->getBoundaryP(), 1.0625);
        QVERIFY(std::abs(back[2]->getP(0) - 1.01) < 1e-5); // six digits per population
        auto *fixedBack = dynamic_cast<FixedBoundary *>(source(3)->strategy());
        QVERIFY(fixedBack);
        QCOMPARE(fixedBack->getBoundaryU(), 0.045);
        QCOMPARE(fixedBack->getBoundaryP(), 0.97);
        QCOMPARE(fixedBack->getMultiComponentIndex(), 1);
        QCOMPARE(source(3)->index(), 0);
        QVERIFY(dynamic_cast<PointBoundary *>(source(4)->strategy()));
        QCOMPARE(source(4)->strategy()->getBoundaryP(), 1.125);
        QVERIFY(dynamic_cast<ExtrapolationBoundary *>(open(5)->strategy()));
        QVERIFY(dynamic_cast<ZouHeBoundary *>(open(6)->strategy()));
        QCOMPARE(open(6)->strategy()->getBoundaryP(), 0.995);
        QVERIFY(std::abs(back[7]->getP(0) - 1.02) < 1e-5);
        for (BaseCell *c : cells)
            delete c;
    }

    void unacceptedTypes_data()
    {
        QTest::addColumn<QByteArray>("cell");
        QTest::addColumn<QString>("warning");
        QTest::newRow("inlet, unknown")
            << QByteArray("<lattice type=\"source\" index=\"1\"><boundary type=\"bogus\"/></lattice>") << "inlet error";
        QTest::newRow("inlet, outlet-only type")
            << QByteArray("<lattice type=\"source\" index=\"0\"><boundary type=\"extrapolation\"/></lattice>")
            << "inlet error";
        QTest::newRow("inlet, no boundary") << QByteArray("<lattice type=\"source\" index=\"0\"/>") << "inlet error";
        QTest::newRow("outlet, inlet-only type")
            << QByteArray("<lattice type=\"open\"><boundary type=\"fixed\"/></lattice>") << "outlet error";
        QTest::newRow("outlet, no type") << QByteArray("<lattice type=\"open\"><boundary/></lattice>")
                                         << "outlet error";
    }

    // A strategy that cannot be read leaves the cell without one, logs a
    // warning, and the next cell is still read.
    void unacceptedTypes()
    {
        QFETCH(QByteArray, cell);
        QFETCH(QString, warning);
        Grid g;
        const QByteArray document =
            "<tavrine>" + cell + "<lattice type=\"singleComponent\" p0=\"1.5\" f0=\"1.5\"/></tavrine>";
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        const auto back = readCells(document, &g);
        QCOMPARE(int(back.size()), 2);
        if (auto *s = dynamic_cast<SourceCell *>(back[0].get()))
            QVERIFY(!s->strategy());
        else
            QVERIFY(!static_cast<OpenCell *>(back[0].get())->strategy());
        QCOMPARE(back[1]->getP(0), 1.5);
        // Without a strategy the cell's work does nothing.
        back[0]->preUpdate(nullptr, nullptr, &g, Vector3i(0, 0, 0));
        back[0]->update(nullptr, nullptr, &g, Vector3i(0, 0, 0));
        back[0]->setNextF(1, 1.0, 0);
    }

    void rejectedValues_data()
    {
        QTest::addColumn<QByteArray>("cell");
        QTest::addColumn<QString>("attribute");
        QTest::newRow("inlet group out of range")
            << QByteArray("<lattice type=\"source\" index=\"7\"><boundary type=\"point\" pressure=\"1\"/></lattice>")
            << "index";
        QTest::newRow("NaN speed") << QByteArray("<lattice type=\"source\"><boundary type=\"fixed\" velocity=\"nan\"/>"
                                                 "</lattice>")
                                   << "velocity";
        QTest::newRow("infinite density")
            << QByteArray("<lattice type=\"source\"><boundary type=\"zouhe\" pressure=\"inf\"/></lattice>")
            << "pressure";
        QTest::newRow("negative density")
            << QByteArray("<lattice type=\"open\"><boundary type=\"equilibrium\" pressure=\"-5\"/></lattice>")
            << "pressure";
        QTest::newRow("component out of range") << QByteArray("<lattice type=\"source\"><boundary type=\"fixed\" "
                                                              "multiComponentIndex=\"3\"/></lattice>")
                                                << "multiComponentIndex";
        QTest::newRow("word for a number")
            << QByteArray("<lattice type=\"open\"><boundary type=\"zouhe\" velocity=\"fast\"/></lattice>")
            << "velocity";
    }

    // A value that does not parse or lies outside its range keeps the inlet
    // or outlet with the strategy and group it had, with a warning naming
    // the attribute; the next cell is still read.
    void rejectedValues()
    {
        QFETCH(QByteArray, cell);
        QFETCH(QString, attribute);
        Grid g;
        QXmlStreamReader r("<tavrine>" + cell + "<lattice type=\"wall\"/></tavrine>");
        advance(r);
        advance(r);
        const bool inlet = r.attributes().value("type") == QLatin1String("source");
        auto *kept = new EquilibriumBoundary;
        kept->setBoundaryU(0.0125);
        std::unique_ptr<BaseCell> c;
        if (inlet) {
            auto *s = new SourceCell(kept);
            s->setIndex(1);
            c.reset(s);
        } else {
            c.reset(new OpenCell(kept));
        }
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(".*\"" + attribute + "\".*"));
        c->activate(r, &g);
        if (auto *s = dynamic_cast<SourceCell *>(c.get())) {
            QCOMPARE(s->strategy(), kept);
            QCOMPARE(s->index(), 1);
        } else {
            QCOMPARE(static_cast<OpenCell *>(c.get())->strategy(), kept);
        }
        QCOMPARE(kept->getBoundaryU(), 0.0125);
        advance(r);
        QCOMPARE(r.attributes().value("type").toString(), QString("wall"));
    }

    void kinds()
    {
        SourceCell inlet;
        QCOMPARE(inlet.getKind(), 3);
        inlet.setIndex(2);
        QCOMPARE(inlet.getKind(), 8);
        OpenCell outlet;
        QCOMPARE(outlet.getKind(), 2);
        QVERIFY(!inlet.isFluid() && !outlet.isFluid());
    }
};

QTEST_GUILESS_MAIN(TestBoundaryState)
#include "tst_boundarystate.moc"
