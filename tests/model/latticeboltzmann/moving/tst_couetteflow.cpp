#include "../gridtest_helper.h"
#include "flow_helper.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/dragwallcell.h"
#include "model/latticeboltzmann/grid.h"

#include <QtTest>

#include <cmath>

// Plane Couette flow between a resting wall and a wall moving along x: the
// settled velocity is linear between the two wall surfaces, which half-way
// bounce-back puts half a cell beyond the outermost fluid rows, and the shear
// force on the resting wall is rho nu U / H per unit length.
class TestCouetteFlow : public QObject
{
    Q_OBJECT

private:
    static constexpr int Width = 8;
    static constexpr int Height = 16;
    static constexpr double Speed = 0.05;
    // Several viscous times H^2 / (pi^2 nu), so the start-up transient has
    // decayed far below the tolerance.
    static constexpr int Iterations = 4000;

    // Largest deviation from the linear profile, relative to the wall speed.
    static double profileError(Grid &grid)
    {
        double worst = 0.0;
        for (int y = 1; y <= Height; ++y) {
            const double exact = Speed * (y - 0.5) / Height;
            worst = std::max(worst, std::abs(FlowHelper::meanXVelocity(grid, y) - exact) / Speed);
        }
        return worst;
    }

private slots:
    void linearProfile_data()
    {
        QTest::addColumn<double>("tau");
        QTest::newRow("tau 0.8") << 0.8;
        QTest::newRow("tau 1.1") << 1.1;
    }

    void linearProfile()
    {
        QFETCH(double, tau);
        Grid grid;
        FlowHelper::buildCouette(grid, Width, Height, tau, Speed, false);
        const double before = FlowHelper::fluidMass(grid);
        QVERIFY(GridTest::stepFinite(grid, Iterations));
        bool healthy = false;
        const double after = FlowHelper::fluidMass(grid, &healthy);
        QVERIFY(healthy);
        const double error = profileError(grid);
        qInfo("Couette flow, tau %g: largest profile error %.3e of the wall speed, mass drift %.3e", tau, error,
              (after - before) / before);
        QVERIFY2(error < 0.01, qPrintable(QString::number(error)));
        // A wall moving along itself adds and removes the same mass.
        QVERIFY(std::abs(after - before) / before < 1e-10);
        // Every column carries the same profile, also across the periodic seam.
        for (int y = 1; y <= Height; ++y)
            for (int x = 0; x < Width; ++x)
                QVERIFY(std::abs(grid.getCell(x, y, 0)->getVelocity(0).x - FlowHelper::meanXVelocity(grid, y)) <
                        1e-9 * Speed);
    }

    // The x-drag of the resting drag-wall group balances the shear force of
    // the flow on it, rho nu U nx / H.
    void dragBalance()
    {
        const double tau = 0.8;
        Grid grid;
        FlowHelper::buildCouette(grid, Width, Height, tau, Speed, true);
        QVERIFY(GridTest::stepFinite(grid, Iterations));
        grid.computeDrag();
        QCOMPARE(grid.dragTable().keys(), QList<int>{0});
        const Vector3d drag = grid.getDrag(0);
        const double rho = FlowHelper::fluidMass(grid) / (Width * Height);
        const double nu = (tau - 0.5) / 3.0;
        const double shear = rho * nu * Speed * Width / Height;
        const double balance = std::abs(drag.x) / shear - 1.0;
        qInfo("Drag balance: |Dx| = %.6e, rho nu U nx / H = %.6e, relative difference %.3e", std::abs(drag.x), shear,
              balance);
        QVERIFY2(std::abs(balance) < 0.02, qPrintable(QString::number(balance)));
        // The fluid drags the wall along the flow; the reported drag is the
        // wall's reaction on the fluid, against the flow.
        QVERIFY(drag.x < 0.0);
        // Normal to the wall only the pressure acts, rho / 3 per wall cell.
        const double pressure = rho / 3.0 * Width;
        QVERIFY2(std::abs(drag.y - pressure) / pressure < 1e-3, qPrintable(QString::number(drag.y)));
    }
};

QTEST_GUILESS_MAIN(TestCouetteFlow)
#include "tst_couetteflow.moc"
