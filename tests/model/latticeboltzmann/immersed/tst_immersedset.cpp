#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/gridtest_helper.h"
#include "model/latticeboltzmann/immersed/circleitem.h"
#include "model/latticeboltzmann/immersed/immersedset.h"
#include "model/latticeboltzmann/immersed/lineitem.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

namespace {

// Every fluid site at the equilibrium of velocity(x, y) and density 1.
void setFlow(Grid &grid, const std::function<Vector3d(int, int)> &velocity)
{
    grid.forEachCell([&](BaseCell *c, int x, int y, int) {
        if (c->isFluid())
            GridTest::setEquilibrium(c, velocity(x, y), 1.0);
    });
}

Vector3d fluidMomentum(const Grid &grid)
{
    const int q = grid.getParameters()->getModel();
    Vector3d sum;
    grid.forEachCell([&](BaseCell *c, int, int, int) {
        if (!c->isFluid())
            return;
        for (int i = 0; i < q; ++i)
            sum += Lattice::direction(q, i) * c->getF(i, 0);
    });
    return sum;
}

CircleItem *circle(double x, double y, double radius, int points, const QString &k, const QString &rigid)
{
    auto *item = new CircleItem;
    item->setParameter("x", QString::number(x, 'g', 17));
    item->setParameter("y", QString::number(y, 'g', 17));
    item->setParameter("radius", QString::number(radius));
    item->setParameter("points", QString::number(points));
    item->setParameter("k", k);
    item->setParameter("rigidBody", rigid);
    QString error;
    if (!item->generatePoints(&error))
        qFatal("%s", qPrintable(error));
    return item;
}

} // namespace

class TestImmersedSet : public QObject
{
    Q_OBJECT

private slots:
    void uniformFlowCarriesItems_data();
    void uniformFlowCarriesItems();
    void restingFluidFeelsNothing();
    void forceReachesFluidWhole_data();
    void forceReachesFluidWhole();
    void rigidItemTurnsWithFluid_data();
    void rigidItemTurnsWithFluid();
    void badItemsAreRefused();
    void imageGivesPointsAndPivot();
};

void TestImmersedSet::uniformFlowCarriesItems_data()
{
    QTest::addColumn<QString>("rigidBody");
    QTest::newRow("free") << "0";
    QTest::newRow("rigid") << "1";
    QTest::newRow("rigid, any non-zero value") << "2";
}

// The kernel weights of the sites around a point add up to one, so in a
// uniform flow every point, free or rigid, moves by exactly u in one step.
void TestImmersedSet::uniformFlowCarriesItems()
{
    QFETCH(QString, rigidBody);
    Grid grid;
    GridTest::prepare(grid, 9, 32, 32, 1, 0.8, true);
    grid.getParameters()->setMulticore(false);
    const Vector3d u(0.031, -0.017, 0.0);
    setFlow(grid, [&](int, int) { return u; });
    ImmersedSet *set = grid.getImmersed();
    QVERIFY(set->addItem(circle(15.3, 14.71, 6.2, 23, "0", rigidBody)) == 1);
    const std::vector<Vector3d> before = set->getItems()[0]->getPoints();
    grid.step(1);
    const std::vector<Vector3d> &after = set->getItems()[0]->getPoints();
    QCOMPARE(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        QVERIFY2(std::abs(after[i].x - before[i].x - u.x) < 1e-14,
                 qPrintable(QString::number(after[i].x - before[i].x)));
        QVERIFY(std::abs(after[i].y - before[i].y - u.y) < 1e-14);
    }
}

// In a fluid at rest no point moves and the fluid is left exactly as a run
// without items leaves it.
void TestImmersedSet::restingFluidFeelsNothing()
{
    std::vector<double> plain, withItem;
    for (int run = 0; run < 2; ++run) {
        Grid grid;
        GridTest::prepare(grid, 9, 24, 20, 1, 0.8, false);
        grid.getParameters()->setMulticore(false);
        for (int x = 0; x < 24; ++x)
            grid.setCell(x, 0, 0, new WallCell);
        if (run == 1)
            grid.getImmersed()->addItem(circle(11.4, 9.6, 4.0, 16, "1", "1"));
        grid.step(5);
        if (run == 1) {
            for (const auto &f : grid.getImmersed()->getForces())
                QCOMPARE(f.force.lengthSquared(), 0.0);
            const auto &points = grid.getImmersed()->getItems()[0]->getPoints();
            QCOMPARE(points[0].x, 11.4 + 4.0);
            QCOMPARE(points[0].y, 9.6);
        }
        (run == 0 ? plain : withItem) = GridTest::snapshot(grid);
    }
    QVERIFY(plain == withItem);
}

void TestImmersedSet::forceReachesFluidWhole_data()
{
    QTest::addColumn<int>("q");
    QTest::addColumn<int>("length");
    QTest::newRow("D2Q9") << 9 << 1;
    QTest::newRow("D3Q15") << 15 << 3;
    QTest::newRow("D3Q19") << 19 << 3;
    QTest::newRow("D3Q27") << 27 << 3;
}

// The fluid gains exactly the sum of the point forces, whatever the points'
// positions between the sites and whatever the lattice's directions; the
// force goes only to the sites of the plane z = 0.
void TestImmersedSet::forceReachesFluidWhole()
{
    QFETCH(int, q);
    QFETCH(int, length);
    Grid grid;
    GridTest::prepare(grid, q, 28, 28, length, 0.8, true);
    grid.getParameters()->setMulticore(false);
    const Vector3d u(0.02, 0.013, 0.0);
    setFlow(grid, [&](int, int) { return u; });
    ImmersedSet *set = grid.getImmersed();
    set->addItem(circle(13.37, 12.81, 5.3, 19, "0.7", "0"));
    auto *line = new LineItem;
    line->setParameter("x1", "3.2");
    line->setParameter("y1", "20.45");
    line->setParameter("x2", "9.9");
    line->setParameter("y2", "24.1");
    line->setParameter("points", "7");
    line->setParameter("rigidBody", "0");
    QVERIFY(line->generatePoints(nullptr));
    set->addItem(line);
    const Vector3d before = fluidMomentum(grid);
    grid.step(1);
    Vector3d applied;
    for (const auto &f : set->getForces())
        applied += f.force;
    QVERIFY(applied.length() > 0.1);
    const Vector3d gained = fluidMomentum(grid) - before;
    const double fraction = gained.dot(applied) / applied.lengthSquared();
    qInfo("force transfer fraction %.15f", fraction);
    QVERIFY(std::abs(gained.x - applied.x) < 1e-12);
    QVERIFY(std::abs(gained.y - applied.y) < 1e-12);
    QVERIFY(std::abs(gained.z) < 1e-12);
    if (length > 1)
        QCOMPARE(grid.getCell(13, 12, 1)->getVelocity(0).y, u.y);
}

void TestImmersedSet::rigidItemTurnsWithFluid_data()
{
    QTest::addColumn<bool>("pivot");
    QTest::newRow("about its centre") << false;
    QTest::newRow("about a pivot") << true;
}

// A rigid item in a fluid that turns as a rigid body at rate W turns by W in
// one step, about its centre of mass or about its pivot.
void TestImmersedSet::rigidItemTurnsWithFluid()
{
    QFETCH(bool, pivot);
    Grid grid;
    GridTest::prepare(grid, 9, 61, 61, 1, 0.8, false);
    grid.getParameters()->setMulticore(false);
    const double rate = 0.002, cx = 30.2, cy = 29.7;
    setFlow(grid, [&](int x, int y) { return Vector3d(-rate * (y - cy), rate * (x - cx), 0.0); });
    CircleItem *item = circle(cx, cy, 12.0, 40, "0", "1");
    if (pivot)
        item->setFixedPoint(Vector3d(cx, cy, 0.0));
    grid.getImmersed()->addItem(item);
    const std::vector<Vector3d> before = item->getPoints();
    grid.step(1);
    const std::vector<Vector3d> &after = item->getPoints();
    double mean = 0.0;
    for (std::size_t i = 0; i < after.size(); ++i) {
        const double a0 = std::atan2(before[i].y - cy, before[i].x - cx);
        const double a1 = std::atan2(after[i].y - cy, after[i].x - cx);
        mean += std::remainder(a1 - a0, 2 * M_PI) / after.size();
        // The radius stays: the item turns and does not drift.
        QVERIFY(std::abs(std::hypot(after[i].x - cx, after[i].y - cy) - 12.0) < 1e-3);
    }
    qInfo("turning rate %.8f for %.8f", mean, rate);
    QVERIFY(std::abs(mean - rate) < 0.01 * rate);
}

// Items without points, with absurd point counts or from unreadable files
// are refused with a message and leave the set as it was.
void TestImmersedSet::badItemsAreRefused()
{
    Grid grid;
    GridTest::prepare(grid, 9, 10, 10, 1, 0.8, false);
    ImmersedSet *set = grid.getImmersed();
    for (const char *count : {"0", "-3", "abc", "1e9"}) {
        CircleItem item;
        item.setParameter("points", count);
        QString error;
        QVERIFY(!item.generatePoints(&error));
        QVERIFY(error.contains("points"));
        QVERIFY(item.getPoints().empty());
    }
    QString error;
    QCOMPARE(set->addItem(new CircleItem, &error), -1);
    QVERIFY(error.contains("no points"));
    auto *file = ImmersedItem::create("File");
    file->setParameter("file", "/nonexistent/outline.png");
    QVERIFY(!file->generatePoints(&error));
    QVERIFY(error.contains("cannot read"));
    delete file;
    QVERIFY(set->isEmpty());
    grid.step(1);
    QVERIFY(set->getForces().empty());
}

// Blue pixels become points, column by column and from the bottom row up;
// the last red pixel is the pivot; the item draws as cells.
void TestImmersedSet::imageGivesPointsAndPivot()
{
    QTemporaryDir dir;
    QImage image(3, 4, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(0, 3, qRgb(0, 0, 255));
    image.setPixel(0, 0, qRgb(0, 0, 255));
    image.setPixel(2, 1, qRgb(0, 0, 255));
    image.setPixel(1, 2, qRgb(255, 0, 0));
    image.setPixel(1, 1, qRgb(0, 0, 254));
    QVERIFY(image.save(dir.path() + "/outline.png"));
    std::unique_ptr<ImmersedItem> item(ImmersedItem::create("File"));
    item->setParameter("file", dir.path() + "/outline.png");
    item->setParameter("x", "10");
    item->setParameter("y", "20");
    QString error;
    QVERIFY2(item->generatePoints(&error), qPrintable(error));
    const std::vector<Vector3d> expected{{10, 20, 0}, {10, 23, 0}, {12, 22, 0}};
    QVERIFY(item->getPoints() == expected);
    QCOMPARE(item->getFixedPoint(), Vector3d(11, 21, 0));
    QVERIFY(item->isCellular());
}

QTEST_APPLESS_MAIN(TestImmersedSet)
#include "tst_immersedset.moc"
