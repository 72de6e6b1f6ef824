#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/gridtest_helper.h"
#include "model/latticeboltzmann/immersed/circleitem.h"
#include "model/latticeboltzmann/immersed/immersedset.h"
#include "model/latticeboltzmann/immersed/lineitem.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/moving/movingparticle.h"
#include "model/latticeboltzmann/moving/particlemanager.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"
#include "persistence/statedocument.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// A closed box with two charged particles that fall and attract each other,
// a rigid circle and a free line in a stirred fluid.
void build(Grid &grid, bool multicore)
{
    GridTest::prepare(grid, 9, 30, 34, 1, 0.8, false);
    grid.getParameters()->setMulticore(multicore);
    for (int i = 0; i < 34; ++i) {
        grid.setCell(0, i, 0, new WallCell, true, false);
        grid.setCell(29, i, 0, new WallCell, true, false);
    }
    for (int i = 1; i < 29; ++i) {
        grid.setCell(i, 0, 0, new WallCell, true, false);
        grid.setCell(i, 33, 0, new WallCell, true, false);
    }
    for (int y = 26; y < 28; ++y)
        for (int x = 6; x < 8; ++x)
            grid.setCell(x, y, 0, new MovingCell(1.0, 1, &grid), true, false);
    grid.setCell(20, 25, 0, new MovingCell(1.0, -1, &grid), true, false);
    for (int y = 1; y < 33; ++y)
        for (int x = 1; x < 29; ++x)
            if (grid.getCell(x, y, 0)->isFluid())
                GridTest::setEquilibrium(grid.getCell(x, y, 0), Vector3d(0.02 * std::sin(y * 0.2), 0.01, 0), 1.0);
    ParticleManager *manager = grid.getParticleManager();
    manager->setGravity(1e-3);
    manager->setElectrostatic(0.002);
    auto *circle = new CircleItem;
    circle->setParameter("x", "14.3");
    circle->setParameter("y", "12.2");
    circle->setParameter("radius", "4");
    circle->setParameter("k", "0.3");
    circle->generatePoints(nullptr);
    grid.getImmersed()->addItem(circle);
    auto *line = new LineItem;
    line->setParameter("rigidBody", "0");
    line->setParameter("k", "0.5");
    line->generatePoints(nullptr);
    grid.getImmersed()->addItem(line);
}

QVector<double> state(Grid &grid)
{
    QVector<double> all;
    grid.forEachCell([&](BaseCell *c, int, int, int) {
        all.append(dynamic_cast<MovingCell *>(c) ? -1.0 : c->getP(0));
        for (int i = 0; i < 9; ++i)
            all.append(c->getF(i, 0) + c->getNextF(i, 0));
    });
    ParticleManager *manager = grid.getParticleManager();
    for (int i = 0; i < manager->count(); ++i) {
        const MovingParticle *p = manager->particle(i);
        for (const Vector3d &v : {p->velocity, p->displacement, p->lastMovementQuantity})
            all << v.x << v.y << v.z;
        for (const Vector3i &c : p->cells)
            all << c.x << c.y;
    }
    for (const auto &item : grid.getImmersed()->getItems())
        for (const Vector3d &v : item->getPoints())
            all << v.x << v.y;
    return all;
}

} // namespace

class TestParticleState : public QObject
{
    Q_OBJECT

private slots:
    void resumesBitwise();
    void refusesUnusableElements();
};

// Saving, loading and going on gives exactly the state of a run that was
// never interrupted, and a serial run gives the same as a parallel one.
void TestParticleState::resumesBitwise()
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/state.lb2";
    QVector<double> uninterrupted, serial;
    int moves = 0;
    {
        Grid grid;
        build(grid, true);
        for (int i = 0; i < 81; ++i)
            grid.step(1);
        QString error;
        QVERIFY2(StateDocument(grid).save(path, StateDocument::Options(), &error), qPrintable(error));
        const Vector3i start = grid.getParticleManager()->particle(0)->cells.front();
        for (int i = 0; i < 80; ++i)
            grid.step(1);
        uninterrupted = state(grid);
        const Vector3i end = grid.getParticleManager()->particle(0)->cells.front();
        moves = std::abs(end.x - start.x) + std::abs(end.y - start.y);

        QString again;
        QVERIFY2(StateDocument(grid).load(path, StateDocument::Options(), &again), qPrintable(again));
        QCOMPARE(grid.getParticleManager()->count(), 2);
        QCOMPARE(grid.getImmersed()->getItems().size(), std::size_t(2));
        QCOMPARE(grid.getImmersed()->getItems()[0]->typeName(), QString("Circle"));
        for (int i = 0; i < 80; ++i)
            grid.step(1);
        QVERIFY(state(grid) == uninterrupted);
    }
    qInfo("the first particle moved %d sites after the save", moves);
    QVERIFY(moves >= 2);
    {
        Grid grid;
        build(grid, false);
        for (int i = 0; i < 161; ++i)
            grid.step(1);
        serial = state(grid);
    }
    QVERIFY(serial == uninterrupted);
}

// A particle on a site that holds no moving cell, or an item without
// points, is refused with a message, and the set keeps what it had.
void TestParticleState::refusesUnusableElements()
{
    Grid grid;
    build(grid, false);
    grid.step(1);
    QCOMPARE(grid.getParticleManager()->count(), 2);
    const QByteArray particles = "<particleManager particlesQuantity=\"1\" smallParticlesQuantity=\"1\">"
                                 "<particle pointsSize=\"1\"><point x=\"5\" y=\"5\" z=\"0\"/></particle>"
                                 "<smallParticle index=\"0\"/></particleManager>";
    QXmlStreamReader reader(particles);
    reader.readNextStartElement();
    QString error;
    QVERIFY(!grid.getParticleManager()->read(reader, &error));
    QVERIFY2(error.contains("(5, 5, 0)"), qPrintable(error));
    QVERIFY(reader.isEndElement() && reader.name() == QLatin1String("particleManager"));
    QCOMPARE(grid.getParticleManager()->count(), 2);

    const QByteArray items = "<immersedBoundary itemsSize=\"1\"><item pointsSize=\"0\" id=\"4\"/>"
                             "</immersedBoundary>";
    QXmlStreamReader itemReader(items);
    itemReader.readNextStartElement();
    QVERIFY(!grid.getImmersed()->read(itemReader, &error));
    QVERIFY(error.contains("no points"));
    QCOMPARE(grid.getImmersed()->getItems().size(), std::size_t(2));
}

QTEST_APPLESS_MAIN(TestParticleState)
#include "tst_particlestate.moc"
