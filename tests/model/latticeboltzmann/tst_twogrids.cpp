#include "gridtest_helper.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/forces/gravity.h"
#include "model/latticeboltzmann/forces/multiphase.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>
#include <thread>

using namespace GridTest;

namespace {

// A closed 2D box with random densities and random walls under gravity.
void buildPlanar(Grid &grid)
{
    prepare(grid, 9, 40, 28, 1, 0.7, false);
    SimulationParameters *p = grid.getParameters();
    p->random().setSeed(3);
    p->setMinP0(0.9);
    p->setMaxP0(1.1);
    grid.randomiseDensities();
    grid.randomWalls(8);
    for (int x = 0; x < 40; ++x) {
        grid.setCell(x, 0, 0, new WallCell);
        grid.setCell(x, 27, 0, new WallCell);
    }
    p->setGravity(2e-5);
    p->addForce(new Gravity);
}

// A periodic 3D box with another relaxation time, an eddy viscosity and a
// pseudopotential force besides its own gravity.
void buildSpatial(Grid &grid)
{
    prepare(grid, 19, 12, 10, 8, 0.95, true);
    SimulationParameters *p = grid.getParameters();
    p->random().setSeed(17);
    grid.randomWalls(10);
    grid.forEachCell([](BaseCell *c, int x, int y, int z) {
        if (c->isFluid())
            setEquilibrium(c, Vector3d(0.02 * std::sin(0.5 * y), 0.01 * std::cos(0.4 * z), 0.015 * std::sin(0.3 * x)),
                           1.0 + 0.02 * std::cos(0.7 * (x + 2 * y + 3 * z)));
    });
    p->setSmagorinsky(0.1);
    p->setGravity(-1e-5);
    p->setDensity1(1.5);
    p->addForce(new Gravity);
    p->setMultiphase(-0.4, 4.0, 1.0, 0.0);
    p->addForce(new MultiPhase);
}

void run(Grid &grid, int iterations)
{
    for (int k = 0; k < iterations; ++k)
        grid.step(1);
}

} // namespace

class TestTwoGrids : public QObject
{
    Q_OBJECT

private slots:
    // Two simulations with different models, relaxation times, forces, sizes
    // and random seeds, built and stepped at the same time on two threads,
    // end bitwise where each ends when it runs alone.
    void concurrentGridsMatchTheirSoloRuns()
    {
        const int iterations = 120;
        Grid planarAlone, spatialAlone;
        buildPlanar(planarAlone);
        run(planarAlone, iterations);
        buildSpatial(spatialAlone);
        run(spatialAlone, iterations);
        QVERIFY(std::isfinite(planarAlone.getStatistics().totalP));
        QVERIFY(std::isfinite(spatialAlone.getStatistics().totalP));

        std::unique_ptr<Grid> planar, spatial;
        std::thread first([&] {
            planar = std::make_unique<Grid>();
            buildPlanar(*planar);
            run(*planar, iterations);
        });
        std::thread second([&] {
            spatial = std::make_unique<Grid>();
            buildSpatial(*spatial);
            run(*spatial, iterations);
        });
        first.join();
        second.join();

        QCOMPARE(planar->getParameters()->getModel(), 9);
        QCOMPARE(spatial->getParameters()->getModel(), 19);
        const std::vector<double> a = snapshot(planarAlone), b = snapshot(*planar);
        const std::vector<double> c = snapshot(spatialAlone), d = snapshot(*spatial);
        // Every population of every site, current and next.
        QCOMPARE(a.size(), std::size_t(2 * 40 * 28 * 9));
        QCOMPARE(c.size(), std::size_t(2 * 12 * 10 * 8 * 19));
        QCOMPARE(b.size(), a.size());
        QCOMPARE(d.size(), c.size());
        for (std::size_t i = 0; i < a.size(); ++i)
            QVERIFY2(a[i] == b[i], qPrintable(QString("planar entry %1").arg(i)));
        for (std::size_t i = 0; i < c.size(); ++i)
            QVERIFY2(c[i] == d[i], qPrintable(QString("spatial entry %1").arg(i)));
        // The flows did move: the comparison is not one of resting fluids.
        QVERIFY(planarAlone.getStatistics().deltaP > 0.0);
        QVERIFY(spatialAlone.getStatistics().deltaP > 0.0);
    }
};

QTEST_GUILESS_MAIN(TestTwoGrids)
#include "tst_twogrids.moc"
