#include "../gridtest_helper.h"
#include "model/latticeboltzmann/deposition/depositioncell.h"
#include "model/latticeboltzmann/deposition/depositionwall.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/passivescalar.h"
#include "model/latticeboltzmann/heat/thermalwall.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QtTest>

#include <cmath>

namespace {

void prepare(Grid &grid, int nx, int ny, double tauF, double tauG)
{
    GridTest::prepare(grid, 9, nx, ny, 1, tauF, true);
    grid.getParameters()->setEpsilon(1, tauG);
}

using GridTest::fill;

// Hot thermal wall (index 0) in row 0, cold one (index 1) in row ny - 1; the
// walls' surfaces lie half-way to the fluid, at y = 0.5 and ny - 1.5, and
// the fluid starts at the conduction profile between them.
void heatedChannel(Grid &grid, double hot, double cold)
{
    grid.getParameters()->setThermal(0, hot);
    grid.getParameters()->setThermal(1, cold);
    const int top = grid.getHeight() - 1;
    fill(grid, [&](int, int y) -> BaseCell * {
        if (y == 0)
            return new ThermalWall(0);
        if (y == top)
            return new ThermalWall(1);
        return new PassiveScalar(*grid.getParameters(), 1.0, Vector3d(),
                                 hot + (cold - hot) * (y - 0.5) / double(top - 1));
    });
}

double sumOf(Grid &grid, int component)
{
    double s = 0.0;
    for (int y = 0; y < grid.getHeight(); ++y)
        for (int x = 0; x < grid.getWidth(); ++x)
            if (grid.getCell(x, y, 0)->isFluid())
                for (int i = 0; i < 9; ++i)
                    s += grid.getCell(x, y, 0)->getF(i, component);
    return s;
}

} // namespace

class TestHeat : public QObject
{
    Q_OBJECT

private slots:
    void conductionIsLinear();
    void sineModeDecays();
    void sineModeBetweenWallsConverges();
    void rayleighBenardOnset();
    void depositionGrowsAndDiffuses();
    void serialEqualsParallel();
};

void TestHeat::conductionIsLinear()
{
    Grid grid;
    prepare(grid, 4, 22, 1.0, 1.0);
    heatedChannel(grid, 1.0, 0.0);
    // Start far from the answer: a uniform scalar.
    for (int y = 1; y < 21; ++y)
        for (int x = 0; x < 4; ++x)
            grid.getCell(x, y, 0)->reset(1.0, 0.3);
    QVERIFY(GridTest::stepFinite(grid, 20000));
    // The walls sit on the half-way planes y = 0.5 and 20.5; the profile
    // through them is exact.
    for (int y = 1; y < 21; ++y) {
        const double expected = 1.0 - (y - 0.5) / 20.0;
        QVERIFY2(std::abs(grid.getCell(2, y, 0)->getP(1) - expected) < 1e-13,
                 qPrintable(QString("row %1: %2").arg(y).arg(grid.getCell(2, y, 0)->getP(1) - expected)));
    }
}

// A sine mode between a hot and a cold wall, on top of the conduction
// profile, decays as exp(-D (pi / H)^2 t) with the walls on the half-way
// planes (H fluid rows apart). Refined with t ~ H^2 the error falls at
// second order.
void TestHeat::sineModeBetweenWallsConverges()
{
    const double tau = 0.8, d = (tau - 0.5) / 3.0, amplitude = 0.1;
    double error[3];
    const int heights[3] = {8, 16, 32};
    for (int r = 0; r < 3; ++r) {
        const int h = heights[r];
        Grid grid;
        prepare(grid, 3, h + 2, 1.0, tau);
        heatedChannel(grid, 1.0, 0.0);
        auto exact = [&](int y, double t) {
            return 1.0 - (y - 0.5) / h +
                   amplitude * std::sin(M_PI * (y - 0.5) / h) * std::exp(-d * M_PI * M_PI * t / (h * h));
        };
        for (int y = 1; y <= h; ++y)
            for (int x = 0; x < 3; ++x)
                grid.setCell(x, y, 0, new PassiveScalar(*grid.getParameters(), 1.0, Vector3d(), exact(y, 0.0)), true,
                             false);
        const int steps = h * h / 2;
        grid.step(steps);
        error[r] = 0.0;
        for (int y = 1; y <= h; ++y)
            error[r] = std::max(error[r], std::abs(grid.getCell(1, y, 0)->getP(1) - exact(y, steps)));
        QVERIFY(std::isfinite(error[r]));
    }
    const double order1 = std::log2(error[0] / error[1]), order2 = std::log2(error[1] / error[2]);
    qInfo("sine mode between thermal walls: errors %.3g %.3g %.3g, orders %.2f %.2f", error[0], error[1], error[2],
          order1, order2);
    QVERIFY2(order1 > 1.8 && order2 > 1.8, qPrintable(QString("orders %1 %2").arg(order1).arg(order2)));
}

// theta = 1 + 0.1 sin(2 pi x / 64) with D = (0.8 - 1/2)/3 decays by
// exp(-D k^2 t) = exp(-0.9638) after 1000 steps.
void TestHeat::sineModeDecays()
{
    const int n = 64;
    const double k = 2 * M_PI / n;
    Grid grid;
    prepare(grid, n, 3, 1.0, 0.8);
    fill(grid, [&](int x, int) {
        return new PassiveScalar(*grid.getParameters(), 1.0, Vector3d(), 1.0 + 0.1 * std::sin(k * x));
    });
    QVERIFY(GridTest::stepFinite(grid, 1000));
    double amplitude = 0.0;
    for (int x = 0; x < n; ++x)
        amplitude += 2.0 / n * grid.getCell(x, 1, 0)->getP(1) * std::sin(k * x);
    const double expected = 0.1 * std::exp(-0.1 * k * k * 1000);
    QVERIFY2(std::abs(amplitude / expected - 1) < 0.005, qPrintable(QString::number(amplitude / expected)));
}

// Heated from below in a box 2.016 H long, periodic in x, a small roll decays
// below the critical Rayleigh number (1708) and grows above it; with gravity
// along -y this also fixes the sign of the buoyancy (hot fluid rises).
void TestHeat::rayleighBenardOnset()
{
    const int h = 32, length = 64;
    const double tau = 1.0, nu = (tau - 0.5) / 3.0;
    double growth[2];
    const double rayleigh[2] = {1500.0, 2000.0};
    for (int run = 0; run < 2; ++run) {
        Grid grid;
        prepare(grid, length, h + 2, tau, tau);
        grid.getParameters()->setPassiveScalarGravity(rayleigh[run] * nu * nu / (h * h * h));
        heatedChannel(grid, 1.0, 0.0);
        for (int y = 1; y <= h; ++y)
            for (int x = 0; x < length; ++x) {
                const double base = 1.0 - (y - 0.5) / h;
                const double bump = 0.01 * std::sin(2 * M_PI * x / length) * std::sin(M_PI * (y - 0.5) / h);
                grid.setCell(x, y, 0, new PassiveScalar(*grid.getParameters(), 1.0, Vector3d(), base + bump), true,
                             false);
            }
        auto energy = [&] {
            double e = 0.0;
            for (int y = 1; y <= h; ++y)
                for (int x = 0; x < length; ++x)
                    e += grid.getCell(x, y, 0)->getVelocity(0).lengthSquared();
            return e;
        };
        QVERIFY(GridTest::stepFinite(grid, 4000));
        const double early = energy();
        QVERIFY(GridTest::stepFinite(grid, 16000));
        growth[run] = energy() / early;
    }
    QVERIFY2(growth[0] < 1.0, qPrintable(QString::number(growth[0])));
    QVERIFY2(growth[1] > 1.0, qPrintable(QString::number(growth[1])));
}

void TestHeat::depositionGrowsAndDiffuses()
{
    {
        // One deposition wall beside the cell on an axis: with theta = 1 and
        // rate 0.1 it grows by 0.1 (9/5)(1/9) = 0.02 per iteration, up to 1.
        Grid grid;
        prepare(grid, 3, 3, 1.0, 1.0);
        grid.getParameters()->setDepositionRate(0.1);
        grid.getParameters()->setPeriodicBoundaries(false);
        fill(grid, [](int x, int y) -> BaseCell * {
            if (x == 2 && y == 1)
                return new DepositionWall;
            if (x == 1 && y == 1) {
                DepositionCell *c = new DepositionCell(9);
                c->reset(0, 1.0);
                return c;
            }
            return new WallCell;
        });
        grid.step(1);
        QVERIFY(std::abs(grid.getCell(1, 1, 0)->getP(0) - 0.02) < 1e-15);
        grid.step(100);
        QCOMPARE(grid.getCell(1, 1, 0)->getP(0), 1.0);
    }
    // Without deposition the concentration diffuses with D = (tau - 1/2)/3:
    // the variance of a blob grows by 2 D t = 166.7 per axis in 500 steps, and
    // a closed box keeps the concentration.
    const int n = 81;
    Grid grid;
    prepare(grid, n, n, 1.0, 1.0);
    grid.getParameters()->setDepositionRate(0.0);
    fill(grid, [&](int x, int y) -> BaseCell * {
        if (x == 0 || y == 0 || x == n - 1 || y == n - 1)
            return new WallCell;
        DepositionCell *c = new DepositionCell(9);
        c->reset(0, std::exp(-((x - 40.0) * (x - 40.0) + (y - 40.0) * (y - 40.0)) / 8.0));
        return c;
    });
    auto variance = [&] {
        double m = 0, mx = 0, mxx = 0;
        for (int y = 1; y < n - 1; ++y)
            for (int x = 1; x < n - 1; ++x) {
                const double c = grid.getCell(x, y, 0)->getP(1);
                m += c;
                mx += c * x;
                mxx += c * x * x;
            }
        return mxx / m - (mx / m) * (mx / m);
    };
    const double before = variance(), mass = sumOf(grid, 1);
    grid.step(500);
    QVERIFY2(std::abs((variance() - before) / (1000.0 / 6) - 1) < 0.01,
             qPrintable(QString::number(variance() - before)));
    QVERIFY(std::abs(sumOf(grid, 1) / mass - 1) < 1e-12);
}

// Thermal walls meeting at corners, buoyancy and growing deposits: serial and
// parallel runs agree bitwise.
void TestHeat::serialEqualsParallel()
{
    for (int kind = 0; kind < 2; ++kind) {
        QVector<double> result[2];
        for (int multicore = 0; multicore < 2; ++multicore) {
            Grid grid;
            prepare(grid, 20, 24, 0.9, 0.8);
            SimulationParameters *p = grid.getParameters();
            p->setMulticore(multicore == 1);
            p->setPassiveScalarGravity(1e-3);
            p->setDepositionRate(0.05);
            fill(grid, [&](int x, int y) -> BaseCell * {
                const bool edge = x == 0 || y == 0 || x == 19 || y == 23;
                if (kind == 0) {
                    if (edge)
                        return new ThermalWall(x == 0 ? 0 : y == 0 ? 1 : 2);
                    return new PassiveScalar(*grid.getParameters(), 1.0, Vector3d(0.01, 0, 0), 0.1 * ((x + y) % 4));
                }
                if (edge)
                    return x == 0 ? static_cast<BaseCell *>(new DepositionWall) : new WallCell;
                DepositionCell *c = new DepositionCell(9);
                c->reset(0, 0.2 * ((x * 3 + y) % 5));
                return c;
            });
            p->setThermal(0, 1.0);
            p->setThermal(1, 0.5);
            p->setThermal(2, 0.0);
            grid.step(200);
            for (int y = 0; y < 24; ++y)
                for (int x = 0; x < 20; ++x) {
                    BaseCell *c = grid.getCell(x, y, 0);
                    result[multicore].append(c->getP(0));
                    for (int i = 0; i < 9; ++i)
                        for (int j = 0; j < 2; ++j)
                            result[multicore].append(c->getF(i, j));
                }
        }
        QVERIFY(result[0] == result[1]);
    }
}

QTEST_APPLESS_MAIN(TestHeat)
#include "tst_heat.moc"
