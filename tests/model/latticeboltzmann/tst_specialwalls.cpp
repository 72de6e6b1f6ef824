#include "model/latticeboltzmann/deposition/depositionwall.h"
#include "model/latticeboltzmann/dragwallcell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/interpolationcell.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/partialslipboundary.h"
#include "model/latticeboltzmann/reflectwithfactorcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QtTest>

#include <cmath>
#include <functional>

namespace {

// Remembers the last value written into it, per direction and component.
class Recorder : public InertCell
{
public:
    void setNextF(int i, double value, int component) override
    {
        lastDirection = i;
        lastValue = value;
        lastComponent = component;
        ++writes;
    }
    int lastDirection = -1, lastComponent = -99, writes = 0;
    double lastValue = 0.0;
};

void setUpGrid(Grid &grid, int nx, int ny, int nz, bool periodic, int q = 9)
{
    SimulationParameters *p = grid.getParameters();
    p->setModel(q);
    p->setEpsilon(0, 0.8);
    p->setMinP0(1.0);
    p->setMaxP0(1.0);
    p->setPeriodicBoundaries(periodic);
    p->setMulticore(false);
    grid.resize(nx, ny, nz);
}

// Distinct values off equilibrium for every fluid cell, from its position.
void scramble(Grid &grid)
{
    const int q = grid.getParameters()->getModel();
    for (int y = 0; y < grid.getHeight(); ++y)
        for (int x = 0; x < grid.getWidth(); ++x)
            for (int z = 0; z < grid.getLength(); ++z) {
                BaseCell *c = grid.getCell(x, y, z);
                if (!c->isFluid())
                    continue;
                double f[Lattice::MaxQ];
                for (int i = 0; i < q; ++i)
                    f[i] = Lattice::weight(q, i) * (1.0 + 0.013 * i + 0.07 * x + 0.05 * y + 0.03 * z);
                c->setF(f);
            }
}

double xMomentum(Grid &grid)
{
    double m = 0.0;
    for (int y = 0; y < grid.getHeight(); ++y)
        for (int x = 0; x < grid.getWidth(); ++x) {
            BaseCell *c = grid.getCell(x, y, 0);
            if (c->isFluid())
                m += c->getP(-1) * c->getVelocity(0).x;
        }
    return m;
}

// A channel periodic along x with the given cell kind as bottom and top row,
// filled with a uniform flow along x at equilibrium.
void uniformChannel(Grid &grid, const std::function<BaseCell *()> &wall, double u)
{
    setUpGrid(grid, 6, 6, 1, true);
    for (int x = 0; x < 6; ++x) {
        grid.setCell(x, 0, 0, wall());
        grid.setCell(x, 5, 0, wall());
    }
    for (int y = 1; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            double f[9];
            Lattice::equilibriumArray(Vector3d(u, 0, 0), 1.0, 9, f);
            grid.getCell(x, y, 0)->setF(f);
        }
}

QString written(BaseCell *cell)
{
    QString text;
    QXmlStreamWriter writer(&text);
    writer.writeStartElement("lattice");
    cell->passivate(writer);
    writer.writeEndElement();
    return text;
}

} // namespace

class TestSpecialWalls : public QObject
{
    Q_OBJECT

private slots:
    // With no slip, every population entering a fluid neighbour from the wall
    // is the one that neighbour currently sends towards the wall.
    void noSlipBouncesBack_data()
    {
        QTest::addColumn<int>("q");
        QTest::newRow("D2Q9") << 9;
        QTest::newRow("D3Q19, no slip outside D2Q9") << 19;
    }

    void noSlipBouncesBack()
    {
        QFETCH(int, q);
        Grid grid;
        const int nz = q == 9 ? 1 : 3;
        setUpGrid(grid, 3, 3, nz, false, q);
        const Vector3i centre(1, 1, nz / 2);
        auto *slip = new PartialSlipBoundary;
        grid.setCell(centre.x, centre.y, centre.z, slip);
        scramble(grid);
        grid.buildNeighbours();
        grid.getParameters()->setSlipWallCoefficient(0.0);
        BaseCell **block = grid.neighbourBlock(centre.x, centre.y, centre.z);
        slip->preUpdate(grid.getParameters()->parameterBlock(), block, &grid, centre);
        for (int i = 1; i < q; ++i) {
            BaseCell *n = block[i];
            QVERIFY(n && n->isFluid());
            // Only the D2Q9 axis neighbours and diagonals are reached; in 3D
            // every neighbour is.
            QCOMPARE(n->getNextF(i, 0), n->getF(Lattice::opposite(q, i), 0));
        }
        QCOMPARE(slip->getKind(), -1);
        QVERIFY(!slip->isFluid());
        BaseCell *copy = slip->clone(*grid.getParameters());
        QVERIFY(dynamic_cast<PartialSlipBoundary *>(copy));
        delete copy;
    }

    // From rest-frame equilibrium the fluid's values do not change in the
    // collision, so for one step the slip wall with s = 0 and a plain
    // bounce-back wall give the same lattice.
    void noSlipMatchesWall()
    {
        Grid slipGrid, wallGrid;
        uniformChannel(
            slipGrid, [] { return new PartialSlipBoundary; }, 0.04);
        slipGrid.getParameters()->setSlipWallCoefficient(0.0);
        uniformChannel(
            wallGrid, [] { return new WallCell; }, 0.04);
        slipGrid.step(1);
        wallGrid.step(1);
        for (int y = 1; y < 5; ++y)
            for (int x = 0; x < 6; ++x)
                for (int i = 0; i < 9; ++i)
                    QVERIFY(std::abs(slipGrid.getCell(x, y, 0)->getF(i, 0) - wallGrid.getCell(x, y, 0)->getF(i, 0)) <
                            1e-16);
    }

    void slipKeepsTangentialMomentum_data()
    {
        QTest::addColumn<double>("s");
        QTest::addColumn<bool>("kept");
        QTest::newRow("free slip") << 1.0 << true;
        QTest::newRow("half slip") << 0.5 << false;
        QTest::newRow("no slip") << 0.0 << false;
    }

    void slipKeepsTangentialMomentum()
    {
        QFETCH(double, s);
        QFETCH(bool, kept);
        Grid grid;
        uniformChannel(
            grid, [] { return new PartialSlipBoundary; }, 0.04);
        grid.getParameters()->setSlipWallCoefficient(s);
        const double before = xMomentum(grid);
        double nextToWall = 0.0;
        for (int x = 0; x < 6; ++x)
            nextToWall += grid.getCell(x, 1, 0)->getVelocity(0).x;
        grid.step(200);
        const double after = xMomentum(grid);
        double nextToWallAfter = 0.0;
        for (int x = 0; x < 6; ++x)
            nextToWallAfter += grid.getCell(x, 1, 0)->getVelocity(0).x;
        if (kept) {
            QVERIFY(std::abs(after - before) < 1e-12 * before);
            QVERIFY(std::abs(nextToWallAfter - nextToWall) < 1e-12 * nextToWall);
        } else {
            QVERIFY(after < 0.9 * before);
        }
    }

    void reflectWithFactor_data()
    {
        QTest::addColumn<int>("component");
        QTest::addColumn<double>("factor");
        QTest::newRow("whole cell") << -1 << 1.0;
        QTest::newRow("fluid") << 0 << 1.0;
        QTest::newRow("second set") << 1 << 1.0;
        QTest::newRow("component 9") << 9 << 1.0;
        QTest::newRow("tracer colour 0") << 10 << 0.25;
        QTest::newRow("tracer colour 3") << 13 << 0.25;
    }

    void reflectWithFactor()
    {
        QFETCH(int, component);
        QFETCH(double, factor);
        Grid grid;
        grid.getParameters()->setReflectWithFactor(0.25);
        Recorder sender;
        BaseCell *block[9] = {};
        ReflectWithFactorCell wall;
        // Nothing happens before the wall has its neighbour block.
        wall.setNextF(2, 0.8, component);
        wall.setNeighbours(block, *grid.getParameters());
        wall.setNextF(2, 0.8, component);
        QCOMPARE(sender.writes, 0);
        block[6] = &sender;
        wall.setNextF(2, 0.8, component);
        QCOMPARE(sender.writes, 1);
        QCOMPARE(sender.lastDirection, 6);
        QCOMPARE(sender.lastComponent, component);
        QCOMPARE(sender.lastValue, 0.8 * factor);
        QCOMPARE(wall.getKind(), 7);
    }

    void interpolationPointImposesDensity()
    {
        Grid grid;
        setUpGrid(grid, 5, 5, 1, false);
        auto *point = new InterpolationCell(1.2, 0.0, 0);
        grid.setCell(2, 2, 0, point);
        scramble(grid);
        for (int k = 0; k < 3; ++k) {
            grid.step(1);
            for (int i = 1; i < 9; ++i) {
                const Vector3i e = Lattice::direction(9, i);
                BaseCell *n = grid.getCell(2 + e.x, 2 + e.y, 0);
                QVERIFY(std::abs(n->getF(i, 0) - Lattice::weight(9, i) * 1.2) < 1e-16);
            }
        }
        // Whatever streams in is absorbed, not sent back.
        QCOMPARE(point->getNextF(5, 0), 0.0);
        QCOMPARE(point->getP(-1), 0.0);
        QCOMPARE(point->getKind(), -1);
        QVERIFY(dynamic_cast<WallCell *>(point));
    }

    void interpolationPointOscillates()
    {
        Grid grid;
        setUpGrid(grid, 3, 3, 1, false);
        auto *point = new InterpolationCell(1.2, 0.1, 4);
        grid.setCell(1, 1, 0, point);
        const double expected[6] = {1.2, 1.3, 1.2, 1.1, 1.2, 1.3};
        for (double rho : expected) {
            grid.step(1);
            QVERIFY2(std::abs(grid.getCell(2, 1, 0)->getF(1, 0) - Lattice::weight(9, 1) * rho) < 1e-8,
                     qPrintable(QString::number(grid.getStatistics().iterations)));
        }
    }

    void documentForms_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("code");
        QTest::newRow("drag wall") << "drag"
                                   << "<lattice type=\"dragWall\" index=\"3\"/>" << 1;
        QTest::newRow("interpolation") << "interpolation"
                                       << "<lattice type=\"interpolation\" density=\"1.2\" variation=\"0.05\" "
                                          "period=\"40\"/>"
                                       << -1;
        QTest::newRow("reflect with factor") << "reflect"
                                             << "<lattice type=\"reflectWithFactor\"/>" << 7;
        QTest::newRow("deposition wall") << "deposition"
                                         << "<lattice type=\"depositionWall\"/>" << 1;
        QTest::newRow("partial slip") << "slip"
                                      << "<lattice type=\"partialSlip\"/>" << -1;
    }

    // Each kind writes its own form and reads it back; the WallCell kinds
    // clone into plain walls.
    void documentForms()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(int, code);
        Grid grid;
        auto make = [&kind]() -> BaseCell * {
            if (kind == "drag")
                return new DragWallCell;
            if (kind == "interpolation")
                return new InterpolationCell;
            if (kind == "reflect")
                return new ReflectWithFactorCell;
            if (kind == "deposition")
                return new DepositionWall;
            return new PartialSlipBoundary;
        };
        BaseCell *cell = make();
        QXmlStreamReader reader(text);
        reader.readNextStartElement();
        cell->activate(reader, &grid);
        QCOMPARE(written(cell), text);
        QCOMPARE(cell->getKind(), code);
        QVERIFY(!cell->isFluid());
        // A copy is of the same kind, so a refined grid keeps its walls.
        BaseCell *copy = cell->clone(*grid.getParameters());
        QVERIFY(copy);
        QCOMPARE(typeid(*copy).name(), typeid(*cell).name());
        QCOMPARE(copy->getKind(), code);
        delete copy;
        delete cell;
    }

    // Older documents carry only the density of an interpolation point.
    void interpolationWithoutVariation()
    {
        Grid grid;
        InterpolationCell point(0.0, 0.3, 7);
        QXmlStreamReader reader(QString("<lattice type=\"interpolation\" density=\"1.1\"/>"));
        reader.readNextStartElement();
        point.activate(reader, &grid);
        QCOMPARE(point.getDensity(), 1.1);
        QCOMPARE(point.getVariation(), 0.3);
        QCOMPARE(point.getPeriod(), 7);
    }
};

QTEST_GUILESS_MAIN(TestSpecialWalls)
#include "tst_specialwalls.moc"
