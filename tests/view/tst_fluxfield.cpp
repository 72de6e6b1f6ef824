#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"
#include "view/fluxfield.h"

#include <QtTest>

#include <cmath>

// The cross-section flux that counts the points of each site crossed, against
// the walk that visits every point, on flows with a line across them in every
// direction; and a flow whose line lies outside the plane.
class TestFluxField : public QObject
{
    Q_OBJECT

private slots:
    void countsThePointsOfTheWalk()
    {
        Grid grid;
        SimulationParameters *p = grid.getParameters();
        p->setModel(9);
        p->setEpsilon(0, 0.8);
        p->setPeriodicBoundaries(false);
        grid.resize(36, 24, 1);
        // A closed box with a block inside, and a swirl: the lines across
        // the flow run at every angle and end on walls and on the box's edge.
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 36; ++x) {
                if (y == 0 || y == 23 || (x >= 14 && x < 19 && y >= 9 && y < 13)) {
                    grid.setCell(x, y, 0, new WallCell);
                    continue;
                }
                const double a = 6.2831853 * x / 36, b = 3.14159265 * y / 24;
                static_cast<SCCell *>(grid.materialise(x, y, 0))
                    ->setEquilibrium(Vector3d(0.04 * std::sin(b) * std::cos(a), 0.03 * std::sin(a), 0),
                                     1.0 + 0.02 * std::cos(a + b));
            }
        grid.step(5);
        FluxField field;
        const std::vector<Vector3d> &flux = field.compute(grid);
        const std::vector<Vector3d> &walked = grid.crossSectionFlux();
        QCOMPARE(flux.size(), std::size_t(36 * 24));
        double largest = 0.0, worst = 0.0;
        int nonZero = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 36; ++x) {
                const std::size_t s = std::size_t(y) * 36 + x;
                largest = std::max(largest, walked[s].length());
                worst = std::max(worst, (flux[s] - walked[s]).length());
                nonZero += flux[s].length() > 0.0;
                // One site read from its cells gives what the whole field gives.
                QCOMPARE(FluxField::at(grid, x, y), flux[s]);
            }
        QVERIFY(nonZero > 700);
        // The walk's own rounding moves a point across a site's edge now and
        // then; the two agree to a fraction of one point's share.
        QVERIFY2(worst < 2e-3 * largest, qPrintable(QString("%1 of %2").arg(worst).arg(largest)));
        // Outside the grid and on a wall there is nothing.
        QCOMPARE(FluxField::at(grid, 36, 3), Vector3d());
        QCOMPARE(FluxField::at(grid, -1, 3), Vector3d());
        QCOMPARE(FluxField::at(grid, 3, 0), Vector3d());
    }

    // A 2D grid run on a 3D model: fluid that moves along z only has no line
    // across its flow in the plane, and the walk is empty.
    void velocityOutOfThePlane()
    {
        Grid grid;
        SimulationParameters *p = grid.getParameters();
        p->setModel(19);
        grid.resize(6, 5, 1);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x)
                static_cast<SCCell *>(grid.materialise(x, y, 0))->setEquilibrium(Vector3d(0, 0, 0.01), 1.0);
        const Vector3d u = grid.getCell(2, 2, 0)->getVelocity(0);
        QCOMPARE(u.x, 0.0);
        QCOMPARE(u.y, 0.0);
        const Vector3d f = FluxField::at(grid, 2, 2);
        QCOMPARE(f, u * (grid.getCell(2, 2, 0)->getP(0) * 0.01));
        FluxField field;
        QCOMPARE(field.compute(grid)[2 * 6 + 2], f);
    }
};

QTEST_MAIN(TestFluxField)
#include "tst_fluxfield.moc"
