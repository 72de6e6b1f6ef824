// The example geometries shipped in examples/ load and run.

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/boundary/fixedboundary.h"
#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"
#include "persistence/geometryfiles.h"

#include <QtTest>

#include <cmath>

namespace {

QString example(const QString &name)
{
    const QString root = qEnvironmentVariable("ONDIX_SOURCE_DIR");
    if (!root.isEmpty())
        return root + "/examples/" + name;
    return QFINDTESTDATA("../../examples/" + name);
}

struct Census
{
    int inlets = 0, outlets = 0, walls = 0, fluid = 0;
};

Census count(const Grid &g)
{
    Census c;
    for (int y = 0; y < g.getHeight(); ++y)
        for (int x = 0; x < g.getWidth(); ++x)
            for (int z = 0; z < g.getLength(); ++z) {
                BaseCell *cell = g.getCell(x, y, z);
                c.inlets += dynamic_cast<SourceCell *>(cell) != nullptr;
                c.outlets += dynamic_cast<OpenCell *>(cell) != nullptr;
                c.walls += dynamic_cast<WallCell *>(cell) != nullptr;
                c.fluid += cell->isFluid();
            }
    return c;
}

// The mean x velocity over the fluid of the cross-section at x.
double meanSpeed(const Grid &g, int x)
{
    double sum = 0.0;
    int n = 0;
    for (int y = 0; y < g.getHeight(); ++y)
        for (int z = 0; z < g.getLength(); ++z) {
            BaseCell *c = g.getCell(x, y, z);
            if (c->isFluid()) {
                sum += c->getVelocity(0).x;
                ++n;
            }
        }
    return n ? sum / n : 0.0;
}

} // namespace

class TestGeometryExamples : public QObject
{
    Q_OBJECT

private slots:
    void channelWithObstacle()
    {
        Grid g;
        g.getParameters()->setModel(9);
        QString error;
        QVERIFY2(GeometryFiles::load(g, example("channel-obstacle.png"), false, &error), qPrintable(error));
        QCOMPARE(g.getWidth(), 240);
        QCOMPARE(g.getHeight(), 80);
        QCOMPARE(g.getLength(), 1);
        const Census c = count(g);
        QCOMPARE(c.inlets, 78);
        QCOMPARE(c.outlets, 78);
        QVERIFY(c.walls > 2 * 240 + 150 && c.walls < 2 * 240 + 250); // the rows and a disc of radius 8
        QVERIFY(dynamic_cast<WallCell *>(g.getCell(60, 41, 0)));
        QVERIFY(dynamic_cast<FixedBoundary *>(static_cast<SourceCell *>(g.getCell(0, 40, 0))->strategy()));
        g.getParameters()->setPeriodicBoundaries(false);
        QCOMPARE(g.step(200), 200);
        QVERIFY(meanSpeed(g, 20) > 0.0);
        QVERIFY(std::isfinite(meanSpeed(g, 200)));
    }

    void poiseuilleChannel()
    {
        Grid a, b;
        a.getParameters()->setModel(9);
        b.getParameters()->setModel(9);
        QString error;
        QVERIFY2(GeometryFiles::load(a, example("poiseuille-channel.png"), false, &error), qPrintable(error));
        QVERIFY2(GeometryFiles::load(b, example("poiseuille-channel.txt"), false, &error), qPrintable(error));
        QCOMPARE(a.getWidth(), 200);
        QCOMPARE(a.getHeight(), 41);
        QCOMPARE(b.getWidth(), 200);
        QCOMPARE(b.getHeight(), 41);
        const Census c = count(a);
        QCOMPARE(c.inlets, 39);
        QCOMPARE(c.outlets, 39);
        QCOMPARE(c.walls, 400);
        QCOMPARE(c.fluid, 198 * 39);
        for (int y = 0; y < 41; ++y)
            for (int x = 0; x < 200; ++x)
                QCOMPARE(typeid(*a.getCell(x, y, 0)), typeid(*b.getCell(x, y, 0)));
    }

    void duct()
    {
        Grid g;
        g.getParameters()->setModel(9);
        QString error;
        QVERIFY2(GeometryFiles::load(g, example("duct-3d.png"), false, &error), qPrintable(error));
        QCOMPARE(g.getWidth(), 80);
        QCOMPARE(g.getHeight(), 16);
        QCOMPARE(g.getLength(), 16);
        QCOMPARE(g.getParameters()->getModel(), 19);
        const Census c = count(g);
        QCOMPARE(c.inlets, 14 * 14);
        QCOMPARE(c.outlets, 14 * 14);
        QCOMPARE(c.fluid, 78 * 14 * 14);
        g.getParameters()->setPeriodicBoundaries(false);
        QCOMPARE(g.step(60), 60);
        // The inflow has entered the duct.
        QVERIFY(meanSpeed(g, 5) > 0.002);
    }
};

QTEST_GUILESS_MAIN(TestGeometryExamples)
#include "tst_geometryexamples.moc"
