#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/deposition/depositionwall.h"
#include "model/latticeboltzmann/forces/gravity.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/thermalwall.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/moving/movingwall.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/porous/shallowcell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"
#include "persistence/statedocument.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <functional>

namespace {

// A small box of one physical model, built through the same setters the
// parameters dialog uses.
void build(Grid &grid, const QString &model, bool multicore)
{
    // The porous fractions are drawn at random: the same draws for every build.
    SimulationParameters *p = grid.getParameters();
    p->random().setSeed(7);
    p->setModel(9);
    p->setEpsilon(0, 0.8);
    p->setEpsilon(1, 0.9);
    p->setPeriodicBoundaries(true);
    p->setMinP0(1.0);
    p->setMaxP0(1.0);
    p->setMulticore(multicore);
    grid.resize(16, 12, 1);
    for (int x = 0; x < 16; ++x) {
        grid.setCell(x, 0, 0, model == "heat" ? static_cast<BaseCell *>(new ThermalWall) : new WallCell);
        if (model == "multicomponent") {
            auto *lid = new MovingCell(1.0, 0, &grid);
            lid->setBody(new MovingWall(Vector3d(0.04, 0, 0), 0), true);
            grid.setCell(x, 11, 0, lid, true, false);
        } else if (model == "deposition") {
            grid.setCell(x, 11, 0, new DepositionWall);
        } else if (model == "heat") {
            grid.setCell(x, 11, 0, new ThermalWall);
        }
    }
    if (model == "multicomponent")
        p->setMulticomponent(2, 0.9, 0.1, -0.1, 1);
    else if (model == "colour gradient")
        p->setMulticomponent(2, 0.0, 0.0, 0.0, 2);
    else if (model == "heat")
        p->setMulticomponent(2, 0.0, 0.0, 0.0, 4);
    else if (model == "deposition")
        p->setMulticomponent(2, 0.0, 0.0, 0.0, 5);
    if (model == "heat") {
        p->setThermal(0, 1.0);
        p->setThermal(1, 0.0);
        p->setPassiveScalarGravity(1e-3);
    }
    p->setDepositionRate(0.02);
    if (model == "porous") {
        p->setPorousSolidDensityValue(0.3);
        for (int y = 3; y < 9; ++y)
            for (int x = 4; x < 12; ++x)
                grid.setCell(x, y, 0, new PorousCell(1.0, *grid.getParameters()), true, false);
        p->setPorousSolidDensity(0.3, 0.2);
        p->setGravity(1e-5);
    }
    // Waves must stay slower than the lattice: sqrt(g h) < 1.
    p->setShallowG(0.1);
    if (model == "shallow")
        for (int y = 1; y < 11; ++y)
            for (int x = 0; x < 16; ++x)
                grid.setCell(x, y, 0, new ShallowCell(*grid.getParameters()), true, false);
    // Uneven starting fields, so the state has something to carry.
    for (int y = 1; y < 11; ++y)
        for (int x = 0; x < 16; ++x)
            grid.getCell(x, y, 0)->reset(1.0 + 0.1 * ((x * 3 + y) % 4), 0.2 + 0.3 * ((x + 2 * y) % 3));
}

QVector<double> state(Grid &grid)
{
    QVector<double> all;
    for (int y = 0; y < grid.getHeight(); ++y)
        for (int x = 0; x < grid.getWidth(); ++x) {
            BaseCell *c = grid.getCell(x, y, 0);
            all.append(c->getP(0));
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 9; ++i)
                    all.append(c->getF(i, j));
        }
    return all;
}

} // namespace

// Each physical model saves and resumes bitwise, and runs the same serially
// and in parallel.
class TestModelsDocument : public QObject
{
    Q_OBJECT

private slots:
    void resumeAndThreads_data();
    void resumeAndThreads();
};

void TestModelsDocument::resumeAndThreads_data()
{
    QTest::addColumn<QString>("model");
    for (const char *m : {"multicomponent", "colour gradient", "heat", "deposition", "porous", "shallow"})
        QTest::newRow(m) << QString(m);
}

void TestModelsDocument::resumeAndThreads()
{
    QFETCH(QString, model);
    QTemporaryDir dir;
    const QString path = dir.path() + "/state.lb2";
    QVector<double> uninterrupted, serial;
    {
        Grid grid;
        build(grid, model, true);
        grid.step(15);
        QString error;
        QVERIFY2(StateDocument(grid).save(path, StateDocument::Options(), &error), qPrintable(error));
        grid.step(15);
        uninterrupted = state(grid);
        QString again;
        QVERIFY2(StateDocument(grid).load(path, StateDocument::Options(), &again), qPrintable(again));
        QCOMPARE(grid.getStatistics().iterations, 15);
        grid.step(15);
        QVERIFY(state(grid) == uninterrupted);
    }
    {
        Grid grid;
        build(grid, model, false);
        grid.step(30);
        serial = state(grid);
    }
    QVERIFY(serial == uninterrupted);
}

QTEST_APPLESS_MAIN(TestModelsDocument)
#include "tst_modelsdocument.moc"
