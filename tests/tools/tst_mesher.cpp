#include "app/lbmainwindow.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/plainsite.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/unitscales.h"
#include "model/latticeboltzmann/wallcell.h"
#include "tools/mesher.h"
#include "view/lbwidget.h"
#include "view/view.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

void type(Mesher &m, const char *field, const QString &text)
{
    m.findChild<QLineEdit *>(field)->setText(text);
}

void click(Mesher &m, const char *button)
{
    QTest::mouseClick(m.findChild<QPushButton *>(button), Qt::LeftButton);
}

bool isWall(BaseCell *c)
{
    return dynamic_cast<WallCell *>(c) != nullptr;
}

int count(const Grid &g, bool (*test)(BaseCell *))
{
    int n = 0;
    g.forEachCell([&](BaseCell *c, int, int, int) { n += test(c) ? 1 : 0; });
    return n;
}

} // namespace

class TestMesher : public QObject
{
    Q_OBJECT

private slots:
    // Update with "fluid" on the one-based box 2..3 x 1..1 turns the two
    // walls into fluid at the mean density of their fluid neighbours; with
    // "wall" it walls them again. The view is asked to rebuild each time.
    void changeCells()
    {
        Grid g;
        g.getParameters()->setModel(9);
        g.resize(4, 3, 1);
        g.forEachCell([&](BaseCell *, int x, int y, int z) { g.setCell(x, y, z, new SCCell(y == 0 ? 1.2 : 1.5, 9)); });
        for (int x = 1; x < 4; ++x)
            g.setCell(x, 0, 0, new WallCell);
        Mesher m(g);
        QSignalSpy changed(&m, &Mesher::geometryChanged);
        for (auto [field, value] :
             {std::pair{"minx", "2"}, {"maxx", "3"}, {"miny", "1"}, {"maxy", "1"}, {"minz", "1"}, {"maxz", "1"}})
            type(m, field, value);
        click(m, "changeCells");
        QCOMPARE(changed.count(), 1);
        QVERIFY(isWall(g.getCell(3, 0, 0)));
        for (int x : {1, 2})
            QVERIFY(PlainSite::isPlainFluid(g.getCell(x, 0, 0)));
        QVERIFY(std::abs(g.getCell(1, 0, 0)->getP(0) - (1.2 + 3 * 1.5) / 4) < 1e-12);
        QCOMPARE(g.getStatistics().fluidCells, 11);

        m.findChild<QComboBox *>("cellType")->setCurrentText("wall");
        click(m, "changeCells");
        QCOMPARE(changed.count(), 2);
        QVERIFY(isWall(g.getCell(1, 0, 0)) && isWall(g.getCell(2, 0, 0)));
        QCOMPARE(g.getStatistics().fluidCells, 9);

        // The fields as they start (0) lie outside the grid: nothing changes.
        for (const char *field : {"minx", "maxx", "miny", "maxy", "minz", "maxz"})
            type(m, field, "0");
        m.findChild<QComboBox *>("cellType")->setCurrentText("fluid");
        click(m, "changeCells");
        QCOMPARE(g.getStatistics().fluidCells, 9);
        type(m, "maxx", "two");
        click(m, "changeCells");
        QCOMPARE(changed.count(), 3);
        QVERIFY(m.message().contains("two"));
    }

    // x3 on a 20 x 10 grid gives 60 x 30, each cell cloned into a 3 x 3
    // block, and τ = 0.8 becomes 1.4 with the physical viscosity kept.
    void resizeGeometry()
    {
        Grid g;
        SimulationParameters *sp = g.getParameters();
        sp->setModel(9);
        sp->setEpsilon(0, 0.8);
        g.resize(20, 10, 1);
        g.fillRegion("w", 4, 4, 7, 7, 0, 0);
        UnitScales *scales = g.getScales();
        const double viscosity = scales->physicalViscosity(UnitScales::viscosityOfTau(0.8));
        Mesher m(g);
        QSignalSpy changed(&m, &Mesher::geometryChanged);
        m.findChild<QComboBox *>("resizeFactor")->setCurrentText("x3");
        click(m, "resizeGeometry");
        QCOMPARE(changed.count(), 1);
        QCOMPARE(g.getWidth(), 60);
        QCOMPARE(g.getHeight(), 30);
        QVERIFY(std::abs(sp->getEpsilon(0) - 1.4) < 1e-12);
        QVERIFY(std::abs(scales->physicalViscosity(UnitScales::viscosityOfTau(1.4)) - viscosity) < 1e-12 * viscosity);
        QCOMPARE(count(g, isWall), 9);
        for (int y = 21; y < 24; ++y)
            for (int x = 12; x < 15; ++x)
                QVERIFY(isWall(g.getCell(x, y, 0)));
    }

    // Resize Geometry while the simulation runs: the view paints the
    // refined grid from the next burst on, and the Min/Max fields follow
    // its values, without waiting for End.
    void resizeWhileRunning()
    {
        LBMainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        LBWidget *view = window.getView();
        Grid &g = *view->getGrid();
        g.getParameters()->setModel(9);
        g.resize(48, 16, 1);
        g.fillRegion("w", 0, 47, 0, 0, 0, 0);
        g.fillRegion("w", 0, 47, 15, 15, 0, 0);
        g.fillRegion("s", 0, 0, 1, 14, 0, 0);
        g.fillRegion("o", 47, 47, 1, 14, 0, 0);
        g.fillRegion("w", 12, 14, 6, 9, 0, 0);
        g.buildNeighbours();
        view->rebuildGeometry(false, false);
        auto *low = window.getViewDock()->findChild<QLineEdit *>("colorOffset");
        auto *high = window.getViewDock()->findChild<QLineEdit *>("colorInterval");
        window.findChild<QAction *>("actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(g.getStatistics().iterations >= 400, 20000);
        auto *mesher = window.findChild<Mesher *>();
        mesher->findChild<QComboBox *>("resizeFactor")->setCurrentText("x2");
        click(*mesher, "resizeGeometry");
        const QString lowBefore = low->text(), highBefore = high->text();
        QCOMPARE(g.getWidth(), 96);
        QTRY_VERIFY_WITH_TIMEOUT(g.getStatistics().iterations >= 100, 20000);
        QVERIFY2(view->getLastPainted() > 0 && view->getLastPainted() <= g.getStatistics().iterations,
                 qPrintable(QStringLiteral("last painted at %1").arg(view->getLastPainted())));
        QVERIFY(low->text() != lowBefore || high->text() != highBefore);
        window.findChild<QAction *>("actionStop")->trigger();
    }

    // New Grid takes max x, y and z as the extents; impossible extents
    // leave the grid alone.
    void newGrid()
    {
        Grid g;
        g.resize(5, 5, 1);
        g.fillRegion("w", 0, 4, 0, 0, 0, 0);
        Mesher m(g);
        QSignalSpy changed(&m, &Mesher::geometryChanged);
        type(m, "maxx", "30");
        type(m, "maxy", "20");
        type(m, "maxz", "1");
        click(m, "newGrid");
        QCOMPARE(changed.count(), 1);
        QCOMPARE(g.getWidth(), 30);
        QCOMPARE(g.getHeight(), 20);
        QCOMPARE(g.getLength(), 1);
        QCOMPARE(g.getStatistics().fluidCells, 600);
        QVERIFY(m.message().isEmpty());
        for (const char *extent : {"0", "-3", "100000"}) {
            type(m, "maxx", extent);
            type(m, "maxy", "100000");
            click(m, "newGrid");
            QVERIFY(!m.message().isEmpty());
        }
        QCOMPARE(changed.count(), 1);
        QCOMPARE(g.getWidth(), 30);
    }

    // Porous! with 0 changes nothing, with 100 walls every fluid cell;
    // Optimize turns enclosed walls inert without asking for a rebuild.
    void porousAndOptimize()
    {
        Grid g;
        g.getParameters()->setModel(9);
        g.resize(8, 6, 1);
        g.fillRegion("w", 0, 7, 0, 0, 0, 0);
        g.fillRegion("s", 0, 0, 1, 5, 0, 0);
        Mesher m(g);
        QSignalSpy changed(&m, &Mesher::geometryChanged);
        type(m, "porousPercent", "0");
        click(m, "porous");
        QCOMPARE(count(g, isWall), 8);
        type(m, "porousPercent", "101");
        click(m, "porous");
        QVERIFY(!m.message().isEmpty());
        type(m, "porousPercent", "100");
        click(m, "porous");
        QCOMPARE(changed.count(), 2);
        QCOMPARE(count(g, isWall), 8 * 6 - 5);
        QCOMPARE(g.getStatistics().fluidCells, 0);

        // Optimize changes what is drawn too, so it redraws the view.
        click(m, "optimize");
        QCOMPARE(changed.count(), 3);
        // Interior walls away from the inlet column are all enclosed.
        QVERIFY(dynamic_cast<NullCell *>(g.getCell(3, 3, 0)));
        QVERIFY(isWall(g.getCell(1, 3, 0)));
        QVERIFY(isWall(g.getCell(7, 3, 0)));
    }
};

QTEST_MAIN(TestMesher)
#include "tst_mesher.moc"
