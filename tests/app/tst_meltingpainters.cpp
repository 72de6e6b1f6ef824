#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/meltingsolidification/freesurfacesettings.h"
#include "model/latticeboltzmann/meltingsolidification/meltingsolidificationcell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "view/lbwidget.h"
#include "view/meltingpainters.h"
#include "view/renderer.h"

#include <QtTest>

#include <cmath>

class TestMeltingPainters : public QObject
{
    Q_OBJECT

private slots:
    // The temp painter keeps the beam of every melting cell within the
    // colour range and leaves the other cells alone.
    void tempShowsTheBeam()
    {
        LBWidget view;
        view.resize(320, 240);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        Grid &grid = *view.getGrid();
        grid.getParameters()->setModel(9);
        grid.getParameters()->setPeriodicBoundaries(false);
        grid.resize(12, 8, 1);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 12; ++x)
                grid.setCell(x, y, 0, MeltingSolidificationCell::forCode(QStringLiteral("korner_liquid"), grid), true,
                             false);
        grid.getParameters()->setMeltingFlag(true);
        grid.getMeltingController()->setBeam(1.0, 2.0, 3, 0.5, 100, 0.5);
        grid.step(2);
        view.rebuildGeometry(false);
        Renderer &r = *view.getRenderer();
        r.setRange(0.1, 0.1, true);
        view.makeCurrent();
        MeltingPainters::temp(r, false);
        const auto value = [&](int x, int y) { return r.valueBuffer()[std::size_t(r.valueIndex(x, y, 0))]; };
        const double beam = std::exp(-1.0 / 8.0) / (std::sqrt(6.2831853) * 2.0);
        QVERIFY2(std::abs(value(5, 2) - beam) < 1e-9, qPrintable(QString::number(value(5, 2))));
        QCOMPARE(value(5, 2), value(5, 5));
        QVERIFY(std::abs(r.getMaximum() - 1.0 / (std::sqrt(6.2831853) * 2.0)) < 1e-9);
        QCOMPARE(value(5, 7), 0.0);
        QVERIFY(MeltingPainters::isMeltingCell(grid.getCell(0, 0, 0)));
        QVERIFY(!MeltingPainters::isMeltingCell(grid.getCell(0, 7, 0)));
    }
};

QTEST_MAIN(TestMeltingPainters)
#include "tst_meltingpainters.moc"
