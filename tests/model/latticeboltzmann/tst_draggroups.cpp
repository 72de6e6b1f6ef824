#include "model/latticeboltzmann/dragwallcell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QtTest>

namespace {

struct Placement
{
    int x, y;
};

int indexAt(Grid &grid, int x, int y)
{
    auto *d = dynamic_cast<DragWallCell *>(grid.getCell(x, y, 0));
    return d ? d->index() : -1;
}

} // namespace

Q_DECLARE_METATYPE(QVector<int>)

// Drag walls placed through the grid are numbered by group: touching walls
// share an index, and a wall that bridges two groups merges them under the
// smaller index.
class TestDragGroups : public QObject
{
    Q_OBJECT

private slots:
    void numbering_data()
    {
        // Walls are placed in order on a 12 x 12 grid; the expected column
        // gives every wall's index after the last placement.
        QTest::addColumn<QVector<int>>("xs");
        QTest::addColumn<QVector<int>>("ys");
        QTest::addColumn<QVector<int>>("expected");
        QTest::newRow("isolated walls count up")
            << QVector<int>{1, 5, 9} << QVector<int>{1, 1, 1} << QVector<int>{0, 1, 2};
        QTest::newRow("touching walls share")
            << QVector<int>{1, 2, 3, 3} << QVector<int>{1, 2, 2, 3} << QVector<int>{0, 0, 0, 0};
        // Groups 0 (two walls), 1 and 2 (two walls); the bridge touches 0 and 2.
        QTest::newRow("bridge merges 0 and 2 under 0")
            << QVector<int>{1, 1, 8, 3, 4, 2} << QVector<int>{1, 2, 8, 1, 1, 1} << QVector<int>{0, 0, 1, 0, 0, 0};
        // Groups 0, 1, 2 and 3 (two walls); the bridge at (2, 4) meets 3 first,
        // below it, then 1.
        QTest::newRow("bridge merges 3 and 1 under 1")
            << QVector<int>{10, 1, 7, 3, 4, 2, 6} << QVector<int>{10, 5, 10, 3, 2, 4, 10}
            << QVector<int>{0, 1, 2, 1, 1, 1, 2};
        // After a merge the next isolated wall counts on from the largest index left.
        QTest::newRow("new group after a merge")
            << QVector<int>{1, 3, 2, 8} << QVector<int>{1, 1, 1, 8} << QVector<int>{0, 0, 0, 1};
    }

    void numbering()
    {
        QFETCH(QVector<int>, xs);
        QFETCH(QVector<int>, ys);
        QFETCH(QVector<int>, expected);
        Grid grid;
        grid.getParameters()->setModel(9);
        grid.resize(12, 12, 1);
        for (int k = 0; k < xs.size(); ++k)
            grid.setCell(xs[k], ys[k], 0, new DragWallCell);
        for (int k = 0; k < xs.size(); ++k)
            QVERIFY2(indexAt(grid, xs[k], ys[k]) == expected[k],
                     qPrintable(QString("wall %1 has index %2").arg(k).arg(indexAt(grid, xs[k], ys[k]))));
    }

    // Only the first two different indices around the new wall are merged.
    void onlyTwoGroupsMerge()
    {
        Grid grid;
        grid.getParameters()->setModel(9);
        grid.resize(12, 12, 1);
        const Placement walls[] = {{4, 4}, {6, 4}, {5, 6}};
        for (const Placement &p : walls)
            grid.setCell(p.x, p.y, 0, new DragWallCell);
        QCOMPARE(indexAt(grid, 5, 6), 2);
        // (5, 5) sees (4, 4) = 0 first, then (6, 4) = 1, then (5, 6) = 2.
        grid.setCell(5, 5, 0, new DragWallCell);
        QCOMPARE(indexAt(grid, 5, 5), 0);
        QCOMPARE(indexAt(grid, 4, 4), 0);
        QCOMPARE(indexAt(grid, 6, 4), 0);
        QCOMPARE(indexAt(grid, 5, 6), 2);
    }

    void dragPerGroup()
    {
        Grid grid;
        SimulationParameters *p = grid.getParameters();
        p->setModel(9);
        p->setMinP0(1.0);
        p->setMaxP0(1.0);
        p->setPeriodicBoundaries(false);
        grid.resize(7, 3, 1);
        grid.setCell(1, 1, 0, new DragWallCell);
        grid.setCell(5, 1, 0, new DragWallCell);
        grid.step(1);
        grid.computeDrag();
        QCOMPARE(grid.dragTable().keys(), (QList<int>{0, 1}));
        // Fluid at rest all around: no net force on either wall.
        QVERIFY(grid.getDrag(0).length() < 1e-15);
        // Flow towards +x pushes wall 0's fluid, so it feels a drag; wall 1 is
        // left at rest.
        double f[9];
        Lattice::equilibriumArray(Vector3d(0.05, 0, 0), 1.0, 9, f);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                if (grid.getCell(x, y, 0)->isFluid())
                    grid.getCell(x, y, 0)->setF(f);
        grid.step(1);
        grid.computeDrag();
        QVERIFY(grid.getDrag(0).x < -1e-3);
        QVERIFY(grid.getDrag(1).length() < 1e-15);
        // Absent groups read as zero.
        QCOMPARE(grid.getDrag(7), Vector3d());
    }
};

QTEST_GUILESS_MAIN(TestDragGroups)
#include "tst_draggroups.moc"
