#include "../gridtest_helper.h"
#include "flow_helper.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QtTest>

#include <cmath>

#if defined(__SANITIZE_ADDRESS__)
#define ONDIX_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ONDIX_UNDER_SANITIZER 1
#endif
#endif

// A closed lid-driven cavity keeps its mass to round-off (about 1e-16 of it
// per iteration) whichever way its
// top corners are painted: with the lid ending on resting walls the corner
// cells get velocity corrections of opposite sign, which cancel only when
// both are scaled by the same density.
class TestCavityMass : public QObject
{
    Q_OBJECT

private slots:
    void massConserved_data()
    {
        QTest::addColumn<bool>("lidSpansTop");
        QTest::newRow("lid ends on resting walls") << false;
        QTest::newRow("lid spans the whole top") << true;
    }

    void massConserved()
    {
        QFETCH(bool, lidSpansTop);
        const int n = 32;
#ifdef ONDIX_UNDER_SANITIZER
        const int iterations = 4000;
#else
        const int iterations = 40000;
#endif
        Grid grid;
        SimulationParameters *p = grid.getParameters();
        p->setModel(9);
        p->setEpsilon(0, 0.69);
        // Unequal initial densities, so the corner cells differ in density
        // from the start.
        p->setMinP0(0.98);
        p->setMaxP0(1.02);
        p->setPeriodicBoundaries(false);
        p->setMulticore(false);
        p->setWallVelocity(Vector3d(0.1, 0.0, 0.0));
        grid.resize(n, n, 1);
        grid.fillRegion("w", 0, n - 1, 0, 0, 0, 0);
        grid.fillRegion("w", 0, 0, 0, n - 1, 0, 0);
        grid.fillRegion("w", n - 1, n - 1, 0, n - 1, 0, 0);
        if (lidSpansTop)
            grid.fillRegion("v", 0, n - 1, n - 1, n - 1, 0, 0);
        else
            grid.fillRegion("v", 1, n - 2, n - 1, n - 1, 0, 0);
        grid.randomiseDensities();
        const double before = FlowHelper::fluidMass(grid);
        QVERIFY(GridTest::stepFinite(grid, iterations));
        bool healthy = false;
        const double after = FlowHelper::fluidMass(grid, &healthy);
        QVERIFY(healthy);
        const double drift = (after - before) / before;
        qInfo("%d iterations: relative mass drift %.3e", iterations, drift);
        QVERIFY2(std::abs(drift) < 1e-11, qPrintable(QString::number(drift)));
    }
};

QTEST_GUILESS_MAIN(TestCavityMass)
#include "tst_cavitymass.moc"
