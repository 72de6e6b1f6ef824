#include "distributed_helper.h"

#include "distributed/rowstate.h"
#include "model/latticeboltzmann/grid.h"
#include "persistence/statedocument.h"

#include <QtTest>

// Rows of a grid whose plain fluid sites are handles (Grid::setLeanSites)
// pack into the bytes the same grid of cell objects packs, without giving
// the handles cell objects, and rows unpacked into it leave it as they leave
// the grid of objects.
class TestLeanRows : public QObject
{
    Q_OBJECT

private slots:
    void rowsOfHandles_data()
    {
        QTest::addColumn<int>("which");
        for (SlabCases::Case c : {SlabCases::Stream, SlabCases::Duct})
            QTest::newRow(SlabCases::name(c)) << int(c);
    }

    void rowsOfHandles()
    {
        QFETCH(int, which);
        const auto c = SlabCases::Case(which);
        Grid lean, objects, source;
        lean.setLeanSites(true);
        objects.setLeanSites(false);
        for (Grid *g : {&lean, &objects, &source}) {
            SlabCases::build(*g, c);
            QCOMPARE(g->step(2), 2);
        }
        const std::size_t handles = lean.leanSiteCount();
        QVERIFY(handles > 50);
        QCOMPARE(objects.leanSiteCount(), std::size_t(0));
        const int rows = lean.getHeight();
        for (bool leanRows : {false, true})
            QCOMPARE(RowState::pack(lean, 0, rows, leanRows), RowState::pack(objects, 0, rows, leanRows));
        QByteArray up[2];
        QVERIFY(RowState::packCrossing(lean, 3, 1, true, up[0]));
        QVERIFY(RowState::packCrossing(objects, 3, 1, true, up[1]));
        QCOMPARE(up[0], up[1]);
        QCOMPARE(lean.leanSiteCount(), handles);

        // Rows of another state, whole and crossing, then steps on.
        QCOMPARE(source.step(5), 5);
        const QByteArray state = RowState::pack(source, 2, 3, false);
        QByteArray down;
        QVERIFY(RowState::packCrossing(source, 6, -1, true, down));
        for (Grid *g : {&lean, &objects}) {
            QString error;
            QVERIFY2(RowState::unpack(*g, 2, state, &error), qPrintable(error));
            QVERIFY2(RowState::unpackCrossing(*g, 6, -1, down, true, &error), qPrintable(error));
            QCOMPARE(g->step(3), 3);
        }
        QCOMPARE(StateDocument(lean).text(2), StateDocument(objects).text(2));
        QCOMPARE(lean.leanSiteCount(), handles);
    }
};

QTEST_GUILESS_MAIN(TestLeanRows)
#include "tst_leanrows.moc"
