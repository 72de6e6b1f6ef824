#include "../gridtest_helper.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/forces/gravity.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/multi/mccell.h"
#include "model/latticeboltzmann/multi/rkcell.h"
#include "model/latticeboltzmann/porous/inversecuberoot.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/porous/shallowcell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <functional>

namespace {

void prepare(Grid &grid, int nx, int ny, double tau)
{
    GridTest::prepare(grid, 9, nx, ny, 1, tau, true);
}

using GridTest::fill;

QVector<double> populations(Grid &grid, int components)
{
    QVector<double> all;
    for (int y = 0; y < grid.getHeight(); ++y)
        for (int x = 0; x < grid.getWidth(); ++x)
            for (int j = 0; j < components; ++j)
                for (int i = 0; i < 9; ++i)
                    all.append(grid.getCell(x, y, 0)->getF(i, j));
    return all;
}

double mass(Grid &grid, int component)
{
    double sum = 0.0;
    for (int y = 0; y < grid.getHeight(); ++y)
        for (int x = 0; x < grid.getWidth(); ++x)
            sum += grid.getCell(x, y, 0)->getP(component);
    return sum;
}

} // namespace

class TestPorousShallow : public QObject
{
    Q_OBJECT

private slots:
    void porousWithoutSolidIsPlainFluid();
    void darcySpeed();
    void multicomponentDarcySpeed();
    void shallowEquilibriumAndLake();
    void shallowWaveSpeed();
    void manningFriction();
    void shallowLongLinesAgreeBitwise_data();
    void shallowLongLinesAgreeBitwise();
    void colourGradientConservesAndReducesToBgk();
    void dropletStaysRoundAndAtRest();
};

void TestPorousShallow::porousWithoutSolidIsPlainFluid()
{
    QVector<double> result[2];
    for (int porous = 0; porous < 2; ++porous) {
        Grid grid;
        prepare(grid, 16, 12, 0.7);
        grid.getParameters()->setPorousSolidDensityValue(0.0);
        grid.getParameters()->setGravity(1e-5);
        grid.getParameters()->addForce(new Gravity);
        fill(grid, [&](int x, int y) -> BaseCell * {
            if (y == 0)
                return new WallCell;
            BaseCell *c =
                porous ? static_cast<BaseCell *>(new PorousCell(1.0, *grid.getParameters())) : new SCCell(1.0, 9);
            c->reset(1.0 + 0.01 * ((x * 3 + y) % 4), -1);
            return c;
        });
        grid.step(50);
        result[porous] = populations(grid, 1);
    }
    QVERIFY(result[0] == result[1]);
}

// A uniform periodic medium under a body force F reaches the Darcy speed
// u = (1 - s) F / (2 s rho) exactly; s = 1 lets nothing through.
void TestPorousShallow::darcySpeed()
{
    for (double s : {0.1, 0.3, 0.7, 1.0}) {
        Grid grid;
        prepare(grid, 6, 6, 0.8);
        grid.getParameters()->setPorousSolidDensityValue(s);
        grid.getParameters()->setGravity(1e-5);
        grid.getParameters()->addForce(new Gravity);
        fill(grid, [&](int, int) { return new PorousCell(1.0, *grid.getParameters()); });
        QVERIFY(GridTest::stepFinite(grid, 3000));
        const double u = -grid.getCell(2, 3, 0)->getVelocity(0).y;
        const double expected = (1 - s) * 1e-5 / (2 * s * 1.0);
        QVERIFY2(std::abs(u - expected) < 1e-12, qPrintable(QString("s %1: %2 vs %3").arg(s).arg(u).arg(expected)));
        QVERIFY(std::abs(mass(grid, 0) - 36.0) < 1e-11);
    }
}

// Porous components of a multicomponent cell hold the mixture back as a
// porous cell holds plain fluid: its momentum sum_j sum_i f_ij e_i reaches
// (1 - s) F / (2 s) with F the total body force, and s = 1 keeps it at rest.
void TestPorousShallow::multicomponentDarcySpeed()
{
    const double g = 1e-4, rho0 = 1.0, rho1 = 0.6;
    for (double s : {0.5, 1.0}) {
        Grid grid;
        prepare(grid, 6, 6, 0.8);
        SimulationParameters *p = grid.getParameters();
        p->setPorousSolidDensityValue(s);
        p->setMulticomponentValues(2, 0.0, 0.0, 0.0, 1);
        p->setGravity(g);
        p->addForce(new Gravity);
        fill(grid, [&](int, int) {
            PorousCell porous(1.0, *grid.getParameters());
            auto *c = new MCCell(*grid.getParameters(), &porous);
            c->reset(rho0, rho1);
            return c;
        });
        QVERIFY(dynamic_cast<PorousCell *>(static_cast<MCCell *>(grid.getCell(0, 0, 0))->component(1)));
        grid.step(200);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x) {
                BaseCell *c = grid.getCell(x, y, 0);
                Vector3d momentum;
                for (int j = 0; j < 2; ++j)
                    for (int i = 0; i < 9; ++i)
                        momentum += Vector3d(Lattice::direction(9, i).x, Lattice::direction(9, i).y, 0) * c->getF(i, j);
                const double force = -g * (rho0 * p->getDensity1() + rho1 * p->getDensity2());
                const double expected = (1 - s) * force / (2 * s);
                QVERIFY2(std::abs(momentum.y - expected) < 1e-12 && std::abs(momentum.x) < 1e-15,
                         qPrintable(QString("s %1: %2 vs %3").arg(s).arg(momentum.y).arg(expected)));
            }
    }
}

void TestPorousShallow::shallowEquilibriumAndLake()
{
    Grid grid;
    prepare(grid, 10, 10, 0.8);
    grid.getParameters()->setShallowG(1.0);
    grid.getParameters()->setShallowNB(0.1);
    ShallowCell c(*grid.getParameters());
    c.reset(1.0, -1);
    QCOMPARE(c.getF(1, 0), 1.0 / 6);
    QCOMPARE(c.getF(2, 0), 1.0 / 24);
    QVERIFY(std::abs(c.getF(0, 0) - 1.0 / 6) < 1e-15);
    QCOMPARE(c.getP(0), 1.0);
    fill(grid, [&](int, int) { return new ShallowCell(*grid.getParameters()); });
    grid.step(200);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            QVERIFY(grid.getCell(x, y, 0)->getVelocity(0).length() < 1e-15);
}

// A small hump splits into two waves running at the celerity sqrt(g h).
void TestPorousShallow::shallowWaveSpeed()
{
    const double g = 0.1, steps = 300;
    Grid grid;
    prepare(grid, 400, 3, 0.6);
    grid.getParameters()->setShallowG(g);
    grid.getParameters()->setShallowNB(0.0);
    fill(grid, [&](int x, int) {
        ShallowCell *c = new ShallowCell(*grid.getParameters());
        c->reset(1.0 + 0.001 * std::exp(-(x - 100.0) * (x - 100.0) / 50.0), -1);
        return c;
    });
    QVERIFY(GridTest::stepFinite(grid, int(steps)));
    // The crest of the right-going wave, refined by a parabola through its top three sites.
    int top = 150;
    for (int x = 150; x < 399; ++x)
        if (grid.getCell(x, 1, 0)->getP(0) > grid.getCell(top, 1, 0)->getP(0))
            top = x;
    const double a = grid.getCell(top - 1, 1, 0)->getP(0), b = grid.getCell(top, 1, 0)->getP(0),
                 c = grid.getCell(top + 1, 1, 0)->getP(0);
    const double crest = top + 0.5 * (a - c) / (a - 2 * b + c);
    const double speed = (crest - 100.0) / steps;
    QVERIFY2(std::abs(speed / std::sqrt(g) - 1) < 0.02, qPrintable(QString::number(speed / std::sqrt(g))));
}

// Bed friction slows a uniform stream as du/dt = -g kappa^2 h^(-4/3) u^2;
// its depth factor h^(-1/3) is the root to a few units in the last place
// over the depths a run meets, from the driest wet site up.
void TestPorousShallow::manningFriction()
{
    for (double h = 1e-12; h < 1e12; h *= 1.0137) {
        const double error = inverseCubeRoot(h) * std::cbrt(h) - 1;
        QVERIFY2(std::abs(error) < 2e-15, qPrintable(QString("h %1: %2").arg(h).arg(error)));
    }
    const double g = 0.2, kappa = 0.5, u0 = 0.05;
    Grid grid;
    prepare(grid, 4, 4, 0.8);
    grid.getParameters()->setShallowG(g);
    grid.getParameters()->setShallowNB(kappa);
    fill(grid, [&](int, int) {
        ShallowCell *c = new ShallowCell(*grid.getParameters());
        double f[9];
        ShallowCell::equilibrium(1.0, Vector3d(u0, 0, 0), g, f);
        c->setF(f);
        return c;
    });
    for (int t : {500, 1500, 3000}) {
        QVERIFY(GridTest::stepFinite(grid, t - grid.getStatistics().iterations));
        const double expected = u0 / (1 + g * kappa * kappa * u0 * t);
        const double u = grid.getCell(1, 1, 0)->getVelocity(0).x;
        QVERIFY2(std::abs(u / expected - 1) < 0.01, qPrintable(QString("%1 vs %2").arg(u).arg(expected)));
    }
}

void TestPorousShallow::shallowLongLinesAgreeBitwise_data()
{
    QTest::addColumn<bool>("periodic");
    QTest::addColumn<double>("kappa");
    QTest::newRow("periodic") << true << 0.1;
    QTest::newRow("closed") << false << 0.1;
    QTest::newRow("periodic, no friction") << true << 0.0;
}

// Rows longer than a kernel tile, some of them shallow water alone (the
// single pass where the instruction set takes it) and some with a wall
// block in them (tile by tile, with bounce-back): the line kernels of every
// instruction set, serial and parallel, give the per-site path's
// populations and statistics bit for bit.
void TestPorousShallow::shallowLongLinesAgreeBitwise()
{
    QFETCH(bool, periodic);
    QFETCH(double, kappa);
    struct Run
    {
        bool fast, multicore;
        int level;
    };
    const Run runs[] = {{false, false, 0}, {true, false, 1}, {true, false, 2}, {true, false, 3}, {true, true, 0}};
    QVector<double> first;
    double firstStats[2] = {0.0, 0.0};
    for (const Run &run : runs) {
        Grid grid;
        GridTest::prepare(grid, 9, 300, 7, 1, 0.7, periodic);
        SimulationParameters *p = grid.getParameters();
        p->setShallowG(0.5);
        p->setShallowNB(kappa);
        grid.fillRegion("h", 0, 299, 0, 6, 0, 0);
        grid.fillRegion("w", 270, 275, 2, 3, 0, 0);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 300; ++x)
                if (auto *c = dynamic_cast<ShallowCell *>(grid.getCell(x, y, 0))) {
                    double f[9];
                    ShallowCell::equilibrium(1.0 + 0.05 * std::sin(0.07 * x + 0.9 * y),
                                             Vector3d(0.05 * std::cos(0.05 * x), 0.03 * std::sin(0.8 * y + x), 0),
                                             0.5, f);
                    // A dry site among wet ones.
                    if (x == 130 && y == 4)
                        std::fill(f, f + 9, 0.0);
                    c->setF(f);
                }
        p->setMulticore(run.multicore);
        grid.setFastPath(run.fast);
        grid.setVectorLevel(run.level);
        grid.step(30);
        const QVector<double> all = populations(grid, 1);
        const double stats[2] = {grid.getStatistics().deltaP, grid.getStatistics().totalP};
        if (!run.fast) {
            first = all;
            std::copy(stats, stats + 2, firstStats);
            QVERIFY(stats[0] > 0.0);
            continue;
        }
        // The kernels did the work: every shallow site but those beside
        // the wall block (in a closed box, the faces too) is theirs.
        int water = 0, inKernel = 0;
        grid.forEachCell([&](BaseCell *c, int x, int y, int z) {
            if (typeid(*c) != typeid(ShallowCell))
                return;
            ++water;
            inKernel += grid.kernelSite(grid.siteIndex(x, y, z));
        });
        QVERIFY2(inKernel > water * 3 / 4, qPrintable(QString("%1 of %2").arg(inKernel).arg(water)));
        QCOMPARE(all.size(), first.size());
        QCOMPARE(std::memcmp(all.constData(), first.constData(), sizeof(double) * std::size_t(all.size())), 0);
        QCOMPARE(std::memcmp(stats, firstStats, sizeof stats), 0);
    }
}

void TestPorousShallow::colourGradientConservesAndReducesToBgk()
{
    // Without perturbation and recolouring a pure red fluid is BGK fluid, bitwise.
    QVector<double> result[2];
    for (int rk = 0; rk < 2; ++rk) {
        Grid grid;
        prepare(grid, 12, 10, 0.9);
        grid.getParameters()->setRkAmplitude(0.0);
        grid.getParameters()->setRkBeta(0.0);
        fill(grid, [&](int x, int y) -> BaseCell * {
            BaseCell *c = rk ? static_cast<BaseCell *>(new RKCell(*grid.getParameters())) : new SCCell(1.0, 9);
            c->reset(1.0 + 0.05 * std::sin(x + 2.0 * y), 0.0);
            return c;
        });
        grid.step(40);
        result[rk] = populations(grid, 1);
    }
    QVERIFY(result[0] == result[1]);

    // With both on, mixed colours in a closed box keep the total and each colour.
    Grid grid;
    prepare(grid, 20, 20, 0.8);
    grid.getParameters()->setRkAmplitude(0.01);
    grid.getParameters()->setRkBeta(0.7);
    fill(grid, [&](int x, int y) -> BaseCell * {
        if (x == 0 || y == 0 || x == 19 || y == 19)
            return new WallCell;
        RKCell *c = new RKCell(*grid.getParameters());
        c->reset(0.2 + 0.8 * ((x * 7 + y * 13) % 5 == 0), 0.1 + 0.9 * ((x + 2 * y) % 3 == 0));
        return c;
    });
    const double red = mass(grid, 0), blue = mass(grid, 1);
    QVERIFY(GridTest::stepFinite(grid, 1000));
    QVERIFY2(std::abs(mass(grid, 0) / red - 1) < 1e-12, qPrintable(QString::number(mass(grid, 0) / red - 1)));
    QVERIFY(std::abs(mass(grid, 1) / blue - 1) < 1e-12);
}

// A red disk in blue keeps its shape and place, with only small spurious currents.
void TestPorousShallow::dropletStaysRoundAndAtRest()
{
    const int n = 60;
    const double radius = 12.0;
    Grid grid;
    prepare(grid, n, n, 1.0);
    grid.getParameters()->setRkAmplitude(0.001);
    grid.getParameters()->setRkBeta(0.7);
    fill(grid, [&](int x, int y) {
        RKCell *c = new RKCell(*grid.getParameters());
        const bool inside = std::hypot(x - 30.0, y - 30.0) < radius;
        c->reset(inside ? 1.0 : 0.0, inside ? 0.0 : 1.0);
        return c;
    });
    QVERIFY(GridTest::stepFinite(grid, 3000));
    double area = 0.0, cx = 0.0, cy = 0.0, fastest = 0.0;
    int across = 0, down = 0;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            BaseCell *c = grid.getCell(x, y, 0);
            const bool red = c->getP(0) > c->getP(1);
            area += red;
            cx += red * x;
            cy += red * y;
            across += red && y == 30;
            down += red && x == 30;
            fastest = std::max(fastest, c->getVelocity(0).length());
        }
    const double r = std::sqrt(area / M_PI);
    QVERIFY2(std::abs(r - radius) < 1.0, qPrintable(QString::number(r)));
    QVERIFY(std::abs(cx / area - 30.0) < 0.01 && std::abs(cy / area - 30.0) < 0.01);
    QVERIFY(std::abs(across - down) <= 1 && std::abs(across - 2 * r) <= 2);
    QVERIFY2(fastest < 1e-3, qPrintable(QString::number(fastest)));
}

QTEST_APPLESS_MAIN(TestPorousShallow)
#include "tst_porousshallow.moc"
