#include "gridtest_helper.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/plainsite.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/statedocument.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <memory>
#include <typeinfo>
#include <vector>

using namespace GridTest;

namespace {

// Bitwise equality, which tells apart what a fuzzy compare would not.
bool same(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool same(const Vector3d &a, const Vector3d &b)
{
    return same(a.x, b.x) && same(a.y, b.y) && same(a.z, b.z);
}

// A box of fluid with a block of walls, every fluid site at its own
// equilibrium; with lean set the plain fluid is kept as handles.
void build(Grid &grid, int q, int nz, bool periodic, bool single, bool lean)
{
    grid.getParameters()->setSinglePopulations(single);
    grid.setLeanSites(lean);
    prepare(grid, q, 16, 12, nz, 0.7, periodic);
    grid.fillRegion("w", 5, 7, 4, 6, 0, nz - 1);
    grid.forEachCell([&](BaseCell *c, int x, int y, int z) {
        if (c->isFluid())
            setEquilibrium(c, Vector3d(0.03 * std::sin(0.5 * y), 0.02 * std::cos(0.4 * x), nz > 1 ? 0.01 * z : 0.0),
                           1.0 + 0.02 * std::sin(0.3 * x + 0.7 * y + 0.2 * z));
    });
}

// Every site of the two grids answers every call alike, and the documents
// they write are the same bytes; an empty string, or the first difference.
QString difference(Grid &lean, Grid &objects)
{
    QString found;
    lean.forEachCell([&](BaseCell *a, int x, int y, int z) {
        BaseCell *b = objects.getCell(x, y, z);
        if (!found.isEmpty())
            return;
        const int q = b->modelQ();
        bool ok = a->isFluid() == b->isFluid() && a->getKind() == b->getKind() && a->modelQ() == q &&
                  PlainSite::isPlainFluid(a) == PlainSite::isPlainFluid(b);
        for (int i = 0; ok && i < q; ++i)
            ok = same(a->getF(i, 0), b->getF(i, 0)) && same(a->getNextF(i, 0), b->getNextF(i, 0));
        ok = ok && same(a->getP(0), b->getP(0)) && same(a->getP(-1), b->getP(-1)) &&
             same(a->getVelocity(0), b->getVelocity(0)) && same(a->getLatticeVelocity(0), b->getLatticeVelocity(0)) &&
             same(a->getForce(0), b->getForce(0)) && same(a->getDeltaP(), b->getDeltaP());
        if (ok && PlainSite::isPlainFluid(a)) {
            double tauA = 0.0, tauB = 0.0;
            ok = same(PlainSite::initialDensityOf(a), PlainSite::initialDensityOf(b)) &&
                 same(PlainSite::forceShiftOf(a, tauA), PlainSite::forceShiftOf(b, tauB)) && same(tauA, tauB) &&
                 same(PlainSite::nextDensityOf(a), PlainSite::nextDensityOf(b));
        }
        if (!ok)
            found = QStringLiteral("site (%1, %2, %3) answers otherwise").arg(x).arg(y).arg(z);
    });
    if (found.isEmpty() && StateDocument(lean).text(2) != StateDocument(objects).text(2))
        found = QStringLiteral("the documents differ");
    return found;
}

int handles(const Grid &grid)
{
    int n = 0;
    grid.forEachCell([&](BaseCell *c, int, int, int) { n += typeid(*c) == typeid(PlainSite); });
    return n;
}

} // namespace

class TestPlainSites : public QObject
{
    Q_OBJECT

private slots:
    void handlesAnswerAsCells_data()
    {
        QTest::addColumn<int>("q");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("periodic");
        QTest::addColumn<bool>("single");
        for (bool single : {false, true})
            for (bool periodic : {true, false}) {
                const QByteArray name = QByteArray(periodic ? " periodic" : " closed") + (single ? " single" : "");
                QTest::newRow(("D2Q9" + name).constData()) << 9 << 1 << periodic << single;
                QTest::newRow(("D3Q19" + name).constData()) << 19 << 4 << periodic << single;
            }
    }

    // Built, edited, stepped on the kernels and on the per-site path, serial
    // and parallel, and under gravity (whose shifts the handles keep in the
    // fields).
    void handlesAnswerAsCells()
    {
        QFETCH(int, q);
        QFETCH(int, length);
        QFETCH(bool, periodic);
        QFETCH(bool, single);
        Grid lean, objects;
        build(lean, q, length, periodic, single, true);
        build(objects, q, length, periodic, single, false);
        QVERIFY(handles(lean) > 100);
        QCOMPARE(handles(objects), 0);
        QCOMPARE(difference(lean, objects), QString());
        for (bool fast : {true, false})
            for (bool multicore : {false, true}) {
                for (Grid *g : {&lean, &objects}) {
                    g->setFastPath(fast);
                    g->getParameters()->setMulticore(multicore);
                    QCOMPARE(g->step(2), 2);
                }
                QCOMPARE(difference(lean, objects), QString());
                QVERIFY(same(lean.getStatistics().deltaP, objects.getStatistics().deltaP));
                QVERIFY(same(lean.getStatistics().totalP, objects.getStatistics().totalP));
            }
        for (Grid *g : {&lean, &objects}) {
            g->getParameters()->setGravity(2e-4);
            g->setFastPath(true);
            QCOMPARE(g->step(4), 4);
        }
        const int kept = handles(lean);
        QVERIFY(kept > 100);
        QCOMPARE(difference(lean, objects), QString());
        // Reading every site and writing the document gave no handle a cell.
        QCOMPARE(handles(lean), kept);
    }

    // Edits that leave a site's state beyond its populations: a reset to
    // another density, a pinned density (which takes a cell object), a
    // site replaced and refilled, the densities drawn at random, a document
    // read back; then both grids step on alike.
    void editsOfHandles()
    {
        Grid lean, objects;
        build(lean, 19, 3, true, false, true);
        build(objects, 19, 3, true, false, false);
        for (Grid *g : {&lean, &objects}) {
            g->resetBox(1, 3, 1, 2, 0, 2, 1.05, -1.0);
            static_cast<SCCell *>(g->materialise(10, 9, 1))->setFixedDensity(1.02);
            g->fillRegion("w", 12, 12, 2, 2, 0, 0);
            g->fillRegion("x", 12, 12, 2, 2, 0, 0);
            QCOMPARE(g->step(2), 2);
        }
        QVERIFY(typeid(*lean.getCell(10, 9, 1)) == typeid(SCCell));
        QCOMPARE(difference(lean, objects), QString());

        for (Grid *g : {&lean, &objects}) {
            g->getParameters()->setMinP0(0.9);
            g->getParameters()->setMaxP0(1.1);
            g->randomiseDensities();
        }
        QCOMPARE(difference(lean, objects), QString());

        const QString path = QDir::temp().filePath(QStringLiteral("ondix-plainsites-%1.xml").arg(QCoreApplication::applicationPid()));
        QString error;
        QVERIFY2(StateDocument(objects).save(path, {}, &error), qPrintable(error));
        QVERIFY2(StateDocument(lean).load(path, {}, &error), qPrintable(error));
        QVERIFY2(StateDocument(objects).load(path, {}, &error), qPrintable(error));
        QFile::remove(path);
        QCOMPARE(difference(lean, objects), QString());
        for (Grid *g : {&lean, &objects})
            QCOMPARE(g->step(3), 3);
        QVERIFY(handles(lean) > 100);
        QCOMPARE(difference(lean, objects), QString());

        // Handles become cells again, and a replaced handle leaves nothing behind.
        lean.setLeanSites(false);
        QCOMPARE(handles(lean), 0);
        QCOMPARE(difference(lean, objects), QString());
    }

    // Once as many grids hold handles as their registry takes, another grid
    // keeps its cell objects and steps as the others; a grid that goes
    // frees its place.
    void gridsBeyondTheRegistryKeepObjects()
    {
        std::vector<std::unique_ptr<Grid>> grids;
        do
            grids.push_back(std::make_unique<Grid>());
        while (handles(*grids.back()) > 0 && grids.size() < 1000);
        QVERIFY(grids.size() > 2 && grids.size() < 1000);
        Grid &lean = *grids.front(), &full = *grids.back();
        for (Grid *g : {&lean, &full}) {
            build(*g, 9, 1, false, false, true);
            QCOMPARE(g->step(3), 3);
        }
        QCOMPARE(handles(full), 0);
        QVERIFY(handles(lean) > 100);
        QCOMPARE(difference(lean, full), QString());
        grids.erase(grids.begin() + 1);
        full.setLeanSites(true);
        QVERIFY(handles(full) > 100);
        QCOMPARE(difference(lean, full), QString());
    }
};

QTEST_GUILESS_MAIN(TestPlainSites)
#include "tst_plainsites.moc"
