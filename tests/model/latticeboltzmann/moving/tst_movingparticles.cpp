#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/gridtest_helper.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/moving/movingparticle.h"
#include "model/latticeboltzmann/moving/particlemanager.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QtTest>

#include <cmath>

namespace {

MovingCell *particleCell(Grid &grid, int charge)
{
    return new MovingCell(1.0, charge, &grid);
}

} // namespace

class TestMovingParticles : public QObject
{
    Q_OBJECT

private slots:
    void chargedPairAccelerates();
    void chargesActAcrossThePeriodicSeam();
    void wholeCellShifts();
    void thermostatSetsSpeed();
    void fallReachesTerminalBalance();
};

// Two charged particles without fluid around them: after one step each has
// the velocity d (k Q / f + 1 / f^6) / m, and their momenta cancel.
void TestMovingParticles::chargedPairAccelerates()
{
    Grid grid;
    GridTest::prepare(grid, 9, 16, 12, 1, 0.8, false);
    grid.getParameters()->setMulticore(false);
    GridTest::fill(grid, [](int, int) { return new NullCell; });
    grid.setCell(5, 5, 0, particleCell(grid, 1), true, false);
    grid.setCell(6, 5, 0, particleCell(grid, 1), true, false);
    grid.setCell(9, 7, 0, particleCell(grid, -1), true, false);
    grid.setCell(2, 10, 0, particleCell(grid, 0), true, false);
    grid.setCell(3, 10, 0, particleCell(grid, 0), true, false);
    grid.setCell(3, 9, 0, particleCell(grid, 0), true, false);
    ParticleManager *manager = grid.getParticleManager();
    const double k = 0.75;
    manager->setElectrostatic(k);
    grid.step(1);
    QCOMPARE(manager->count(), 3);
    const MovingParticle *a = manager->particle(0), *b = manager->particle(1), *n = manager->particle(2);
    QCOMPARE(int(a->cells.size()), 2);
    QCOMPARE(b->charge, -1);
    QCOMPARE(int(n->cells.size()), 3);
    QCOMPARE(manager->smallParticles().size(), std::size_t(6));
    const Vector3d ca(5.5, 5.0, 0.0), cb(9.0, 7.0, 0.0), cn(8.0 / 3.0, 29.0 / 3.0, 0.0);
    auto push = [&](const Vector3d &from, const Vector3d &to, double q) {
        const Vector3d d = from - to;
        const double f = d.lengthSquared();
        return d * (k * q / f + 1.0 / std::pow(f, 6));
    };
    const Vector3d expectA = (push(ca, cb, -2.0) + push(ca, cn, 0.0)) * (1.0 / 20.0);
    const Vector3d expectB = (push(cb, ca, -2.0) + push(cb, cn, 0.0)) * (1.0 / 10.0);
    const double error = std::max((a->velocity - expectA).length() / expectA.length(),
                                  (b->velocity - expectB).length() / expectB.length());
    qInfo("relative acceleration error %.3g", error);
    QVERIFY(error < 1e-12);
    // Opposite charges attract; the neutral particle is only pushed away.
    QVERIFY(a->velocity.dot(cb - ca) > 0.0);
    QVERIFY(n->velocity.dot(cn - ca) > 0.0);
    const Vector3d total = a->velocity * a->mass() + b->velocity * b->mass() + n->velocity * n->mass();
    QVERIFY(total.length() < 1e-15);
    // Centres that coincide exert nothing on each other instead of dividing
    // by zero.
    manager->particle(0)->displacement = Vector3d();
    manager->particle(1)->displacement = ca - cb;
    manager->particle(2)->displacement = Vector3d();
    manager->electrostatics();
    QVERIFY(std::isfinite(a->electrostaticAcceleration.length()) && std::isfinite(a->potential));
    QCOMPARE(a->electrostaticAcceleration, push(ca, cn, 0.0));
}

// With periodic boundaries a particle across the seam is centred on it, and
// each particle feels the nearest image of the other.
void TestMovingParticles::chargesActAcrossThePeriodicSeam()
{
    Grid grid;
    GridTest::prepare(grid, 9, 16, 12, 1, 0.8, true);
    grid.getParameters()->setMulticore(false);
    GridTest::fill(grid, [](int, int) { return new NullCell; });
    grid.setCell(15, 5, 0, particleCell(grid, 1), true, false);
    grid.setCell(0, 5, 0, particleCell(grid, 1), true, false);
    grid.setCell(3, 11, 0, particleCell(grid, -1), true, false);
    ParticleManager *manager = grid.getParticleManager();
    const double k = 0.75;
    manager->setElectrostatic(k);
    grid.step(1);
    QCOMPARE(manager->count(), 2);
    const MovingParticle *a = manager->particle(0), *b = manager->particle(1);
    QCOMPARE(int(a->cells.size()), 2);
    const Vector3i box(16, 12, 1);
    const Vector3d seam = a->centre(box) - a->displacement;
    QVERIFY2(std::abs(seam.x - 15.5) < 1e-12 && seam.y == 5.0, qPrintable(QString::number(seam.x)));
    // From b at (3, 11) the nearest image of a lies at (-0.5, 5) and b's of
    // a at (3, -1): the pull runs across both seams.
    const Vector3d d(-3.5, 6.0, 0.0);
    const double f = d.lengthSquared();
    const Vector3d expectA = d * (k * -2.0 / f + 1.0 / std::pow(f, 6)) * (1.0 / 20.0);
    QVERIFY2((a->velocity - expectA).length() < 1e-12 * expectA.length(),
             qPrintable(QString("%1 %2").arg(a->velocity.x).arg(a->velocity.y)));
    QVERIFY((b->velocity * b->mass() + a->velocity * a->mass()).length() < 1e-15);
}

// A displacement of exactly half a cell does not move the particle, a little
// more does; the site it leaves becomes fluid at the particle's velocity, and
// a wall ahead keeps it in place while its displacement is still pulled back.
void TestMovingParticles::wholeCellShifts()
{
    Grid grid;
    GridTest::prepare(grid, 9, 12, 8, 1, 0.8, false);
    grid.getParameters()->setMulticore(false);
    for (int y = 0; y < 8; ++y)
        grid.setCell(11, y, 0, new WallCell, true, false);
    grid.setCell(8, 4, 0, particleCell(grid, 0), true, false);
    grid.setCell(8, 3, 0, particleCell(grid, 0), true, false);
    ParticleManager *manager = grid.getParticleManager();
    manager->formParticles();
    MovingParticle *p = manager->particle(0);
    p->frozen = true;
    p->velocity = Vector3d(0.03, 0.0, 0.0);
    const int fluid = grid.getStatistics().fluidCells;
    p->displacement = Vector3d(0.5, 0.0, 0.0);
    grid.step(1);
    QCOMPARE(p->cells.front().x, 8);
    p->displacement = Vector3d(0.5000001, -0.2, 0.0);
    grid.step(1);
    QCOMPARE(p->cells.front().x, 9);
    QVERIFY(std::abs(p->displacement.x + 0.4999999) < 1e-12);
    QVERIFY(dynamic_cast<MovingCell *>(grid.getCell(9, 4, 0)));
    BaseCell *left = grid.getCell(8, 4, 0);
    QVERIFY(dynamic_cast<SCCell *>(left));
    QVERIFY(std::abs(left->getVelocity(0).x - 0.03) < 1e-12);
    QCOMPARE(grid.getStatistics().fluidCells, fluid);
    p->displacement = Vector3d(0.7, 0.0, 0.0);
    grid.step(1);
    QCOMPARE(p->cells.front().x, 10);
    p->displacement = Vector3d(0.7, 0.0, 0.0);
    grid.step(1);
    QCOMPARE(p->cells.front().x, 10);
    QVERIFY(std::abs(p->displacement.x + 0.3) < 1e-12);
    QCOMPARE(grid.getStatistics().fluidCells, fluid);
}

// The speed normalisation gives a lone one-cell particle its temperature as
// its speed, and leaves particles at rest alone.
void TestMovingParticles::thermostatSetsSpeed()
{
    Grid grid;
    GridTest::prepare(grid, 9, 8, 8, 1, 0.8, false);
    GridTest::fill(grid, [](int, int) { return new NullCell; });
    grid.setCell(4, 4, 0, particleCell(grid, 0), true, false);
    ParticleManager *manager = grid.getParticleManager();
    manager->setNormalizeVelocities(true);
    grid.step(1);
    MovingParticle *p = manager->particle(0);
    QCOMPARE(p->velocity, Vector3d());
    QCOMPARE(manager->getMeanSquaredSpeed(), 0.0);
    p->temperature = 0.05;
    grid.step(1);
    QVERIFY(std::abs(p->velocity.length() - 0.05) < 1e-12);
}

// A particle falling under gravity through a closed channel settles to a
// steady speed at which the momentum the fluid takes from it each step
// balances its weight.
void TestMovingParticles::fallReachesTerminalBalance()
{
    Grid grid;
    GridTest::prepare(grid, 9, 26, 140, 1, 1.0, false);
    grid.getParameters()->setMulticore(true);
    for (int y = 0; y < 140; ++y) {
        grid.setCell(0, y, 0, new WallCell, true, false);
        grid.setCell(25, y, 0, new WallCell, true, false);
    }
    for (int x = 1; x < 25; ++x) {
        grid.setCell(x, 0, 0, new WallCell, true, false);
        grid.setCell(x, 139, 0, new WallCell, true, false);
    }
    for (int y = 120; y < 124; ++y)
        for (int x = 11; x < 15; ++x)
            grid.setCell(x, y, 0, particleCell(grid, 0), true, false);
    ParticleManager *manager = grid.getParticleManager();
    const double g = 2e-4;
    manager->setGravity(g);
    grid.step(1);
    QCOMPARE(manager->count(), 1);
    const MovingParticle *p = manager->particle(0);
    const double weight = g * p->mass();
    double exchanged = 0.0, speedStart = 0.0;
    const int settle = 2500, window = 800;
    for (int i = 0; i < settle + window; ++i) {
        grid.step(1);
        if (i == settle)
            speedStart = p->velocity.y;
        if (i >= settle)
            exchanged += p->lastMovementQuantity.y / window;
    }
    const double balance = exchanged / weight;
    qInfo("terminal speed %.5f (was %.5f), momentum balance %.4f, particle at y = %d", p->velocity.y, speedStart,
          balance, p->cells.front().y);
    QVERIFY(p->velocity.y < -1e-3);
    QVERIFY(std::abs(balance - 1.0) < 0.02);
}

QTEST_APPLESS_MAIN(TestMovingParticles)
#include "tst_movingparticles.moc"
