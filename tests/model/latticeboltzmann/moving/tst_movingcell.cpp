#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/moving/movingwall.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(Vector3d)

namespace {

// A fluid site that only keeps its second population set, to watch the scalar
// treatment that walls apply to it.
class ScalarProbe : public InertCell
{
public:
    bool isFluid() override { return true; }
    double getNextF(int i, int component) override { return component == 1 ? second[i] : 0.0; }
    void setNextF(int i, double value, int component) override
    {
        if (component == 1)
            second[i] = value;
    }
    double second[Lattice::MaxQ] = {};
};

void setUpGrid(Grid &grid, int nx, int ny, bool periodic)
{
    SimulationParameters *p = grid.getParameters();
    p->setModel(9);
    p->setEpsilon(0, 0.8);
    p->setMinP0(1.0);
    p->setMaxP0(1.0);
    p->setPeriodicBoundaries(periodic);
    p->setMulticore(false);
    grid.resize(nx, ny, 1);
}

MovingCell *wallCell(Grid &grid, const Vector3d &v, int period = 0)
{
    auto *cell = new MovingCell(1.0, 0, &grid);
    cell->setBody(new MovingWall(v, period), true);
    return cell;
}

// Writes the cell as a "lattice" element of a small document.
QByteArray written(BaseCell *cell)
{
    QByteArray bytes;
    QXmlStreamWriter writer(&bytes);
    writer.writeStartElement("grid");
    writer.writeStartElement("lattice");
    cell->passivate(writer);
    writer.writeEndElement();
    writer.writeStartElement("lattice");
    writer.writeAttribute("type", "wall");
    writer.writeEndElement();
    writer.writeEndElement();
    return bytes;
}

// Positions the reader on the first "lattice" element.
void toFirstCell(QXmlStreamReader &reader)
{
    while (!reader.atEnd() && !(reader.isStartElement() && reader.name() == QLatin1String("lattice")))
        reader.readNext();
}

void toNextStart(QXmlStreamReader &reader)
{
    do {
        reader.readNext();
    } while (!reader.isStartElement() && !reader.atEnd());
}

} // namespace

class TestMovingCell : public QObject
{
    Q_OBJECT

private slots:
    void wallVelocityOverTime_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<QVector<double>>("factors");
        QTest::newRow("steady") << 0 << QVector<double>{1, 1, 1};
        QTest::newRow("period 4") << 4 << QVector<double>{0, 1, 0, -1, 0, 1};
        QTest::newRow("period 2") << 2 << QVector<double>{0, 0, 0};
    }

    void wallVelocityOverTime()
    {
        QFETCH(int, period);
        QFETCH(QVector<double>, factors);
        const Vector3d v(0.1, -0.02, 0.03);
        MovingWall wall(v, period);
        QCOMPARE(wall.getDisplacement(), Vector3d());
        for (double factor : factors) {
            const Vector3d expected = v * factor;
            QVERIFY2((wall.getVelocity() - expected).length() < 1e-15,
                     qPrintable(QString("phase %1").arg(wall.getPhase())));
            wall.update();
        }
    }

    // A moving cell's postUpdate advances its wall once per iteration.
    void wallAdvancesWithTheGrid()
    {
        Grid grid;
        setUpGrid(grid, 3, 3, false);
        MovingCell *cell = wallCell(grid, Vector3d(0.1, 0, 0), 4);
        grid.setCell(1, 0, 0, cell);
        grid.step(1);
        QCOMPARE(cell->getVelocity(0).x, 0.1);
        grid.step(2);
        QVERIFY(std::abs(cell->getVelocity(0).x + 0.1) < 1e-15);
    }

    void bounceBack_data()
    {
        QTest::addColumn<bool>("withBody");
        QTest::addColumn<Vector3d>("velocity");
        QTest::newRow("wall along x") << true << Vector3d(0.1, 0, 0);
        QTest::newRow("wall along x and y") << true << Vector3d(0.04, 0.03, 0);
        QTest::newRow("wall at rest") << true << Vector3d();
        QTest::newRow("no body yet") << false << Vector3d(0.1, 0, 0);
    }

    // Each fluid neighbour gets back what it streamed into the moving site,
    // plus 6 w rho0 (e . u) in the direction pointing to it, rho0 being the
    // reference density, not the neighbour's own.
    void bounceBack()
    {
        QFETCH(bool, withBody);
        QFETCH(Vector3d, velocity);
        Grid grid;
        setUpGrid(grid, 3, 3, false);
        grid.setCell(0, 0, 0, new WallCell);
        grid.setCell(2, 0, 0, new WallCell);
        auto *moving = new MovingCell(1.0, 0, &grid);
        if (withBody)
            moving->setBody(new MovingWall(velocity), true);
        grid.setCell(1, 0, 0, moving);
        // Fluid off equilibrium and of unequal densities, so every value differs.
        for (int x = 0; x < 3; ++x)
            for (int y = 1; y < 3; ++y) {
                double f[9];
                for (int i = 0; i < 9; ++i)
                    f[i] = Lattice::weight(9, i) * (1.0 + 0.01 * i + 0.05 * x + 0.02 * y);
                grid.getCell(x, y, 0)->setF(f);
            }
        grid.getParameters()->setMinP0(0.9);
        grid.getParameters()->setMaxP0(1.3);
        QCOMPARE(MovingCell::referenceDensity(&grid), 1.1);
        grid.step(1);
        const Vector3d u = withBody ? velocity : Vector3d();
        // Direction 3 (straight up), 2 (up and right) and 4 (up and left).
        const int directions[3] = {4, 3, 2};
        for (int x = 0; x < 3; ++x) {
            const int i = directions[x];
            const int o = Lattice::opposite(9, i);
            const double expected = moving->getNextF(o, 0) + 6.0 * Lattice::weight(9, o) * 1.1 * Lattice::dot(9, i, u);
            const double actual = grid.getCell(x, 1, 0)->getF(i, 0);
            QVERIFY2(std::abs(actual - expected) < 1e-16, qPrintable(QString("direction %1").arg(i)));
            QVERIFY(moving->getNextF(o, 0) > 0.0);
        }
        // Straight up, e . u is zero for a wall moving along x: the value
        // comes back exactly as it went in.
        if (velocity.y == 0.0)
            QCOMPARE(grid.getCell(1, 1, 0)->getF(3, 0), moving->getNextF(7, 0));
    }

    // Across a periodic seam the moving site still returns what it received.
    void bounceBackAcrossPeriodicSeam()
    {
        Grid grid;
        setUpGrid(grid, 4, 3, true);
        for (int x = 0; x < 4; ++x) {
            grid.setCell(x, 0, 0, new WallCell);
            grid.setCell(x, 2, 0, wallCell(grid, Vector3d(0.05, 0, 0)));
        }
        const double before = grid.getCell(0, 1, 0)->getP(-1) * 4;
        grid.step(50);
        double mass = 0.0, momentum = 0.0;
        for (int x = 0; x < 4; ++x) {
            mass += grid.getCell(x, 1, 0)->getP(-1);
            momentum += grid.getCell(x, 1, 0)->getVelocity(0).x;
        }
        QVERIFY(std::abs(mass - before) < 1e-12);
        // All columns alike: nothing distinguishes the seam.
        for (int x = 1; x < 4; ++x)
            QVERIFY(std::abs(grid.getCell(x, 1, 0)->getVelocity(0).x - momentum / 4) < 1e-15);
        QVERIFY(momentum > 0.0);
    }

    // Heat and tracer populations do not overwrite the fluid ones.
    void keepsOnlyFluidPopulations_data()
    {
        QTest::addColumn<int>("component");
        QTest::addColumn<bool>("kept");
        QTest::newRow("whole cell") << -1 << true;
        QTest::newRow("fluid") << 0 << true;
        QTest::newRow("second set") << 1 << false;
        QTest::newRow("tracer colour") << 12 << false;
    }

    void keepsOnlyFluidPopulations()
    {
        QFETCH(int, component);
        QFETCH(bool, kept);
        Grid grid;
        MovingCell cell(1.0, 0, &grid);
        cell.setNextF(3, 0.25, component);
        QCOMPARE(cell.getNextF(3, 0), kept ? 0.25 : 0.0);
        QVERIFY(!cell.isFluid());
        QCOMPARE(cell.getKind(), 4);
        QCOMPARE(cell.getP(-1), 0.0);
    }

    void scalarTreatmentForHeat()
    {
        Grid grid;
        setUpGrid(grid, 3, 3, false);
        auto *moving = wallCell(grid, Vector3d(0.1, 0, 0));
        auto *probe = new ScalarProbe;
        grid.setCell(1, 1, 0, moving);
        grid.setCell(2, 1, 0, probe);
        grid.buildNeighbours();
        // What the probe sends towards the wall: directions 5, 6 and 4.
        probe->second[5] = 0.3;
        probe->second[6] = 0.2;
        probe->second[4] = 0.1;
        SimulationParameters *p = grid.getParameters();
        moving->update(p->parameterBlock(), grid.neighbourBlock(1, 1, 0), &grid, Vector3i(1, 1, 0));
        QCOMPARE(probe->second[1], 0.0);
        p->setMulticomponentValues(2, 0.0, 0.0, 0.0, 4);
        moving->update(p->parameterBlock(), grid.neighbourBlock(1, 1, 0), &grid, Vector3i(1, 1, 0));
        // The total 0.6 comes back spread by the weights 1/9, 1/36, 1/36.
        QVERIFY(std::abs(probe->second[1] - 0.4) < 1e-15);
        QVERIFY(std::abs(probe->second[2] - 0.1) < 1e-15);
        QVERIFY(std::abs(probe->second[8] - 0.1) < 1e-15);
    }

    void wallVelocityReachesEveryWall()
    {
        Grid grid;
        setUpGrid(grid, 4, 4, false);
        MovingCell *steady = wallCell(grid, Vector3d(0.02, 0, 0));
        MovingCell *oscillating = wallCell(grid, Vector3d(0.02, 0, 0), 4);
        auto *bodiless = new MovingCell(1.0, 1, &grid);
        grid.setCell(0, 0, 0, steady);
        grid.setCell(3, 3, 0, oscillating);
        grid.setCell(2, 0, 0, bodiless);
        oscillating->body()->update();

        SimulationParameters *p = grid.getParameters();
        const Vector3d v(0.03, -0.01, 0.0);
        p->setWallVelocity(v);
        QCOMPARE(p->wallVelocity(), v);
        QCOMPARE(steady->getVelocity(0), v);
        auto *wall = static_cast<MovingWall *>(oscillating->body());
        QCOMPARE(wall->getWallVelocity(), v);
        QCOMPARE(wall->getPeriod(), 4);
        QCOMPARE(wall->getPhase(), 1);
        QCOMPARE(bodiless->body(), nullptr);
        QCOMPARE(bodiless->getVelocity(0), Vector3d());

        p->setWallPeriod(6);
        QCOMPARE(p->getWallPeriod(), 6);
        QCOMPARE(wall->getPeriod(), 6);
        QCOMPARE(wall->getPhase(), 0);
        QCOMPARE(static_cast<MovingWall *>(steady->body())->getPeriod(), 6);
    }

    void writeAndReadBack()
    {
        Grid grid;
        setUpGrid(grid, 3, 3, false);
        MovingCell *cell = wallCell(grid, Vector3d(0.125, -0.5, 0.25), 5);
        cell->setCharge(-1);
        cell->setP0(1.0625);
        for (int i = 0; i < 9; ++i)
            cell->setNextF(i, 0.01 * (i + 1), 0);
        cell->body()->update();
        cell->body()->update();
        const QByteArray bytes = written(cell);
        delete cell;
        QVERIFY(bytes.contains("type=\"moving\" charge=\"-1\" p0=\"1.0625\" nextF0=\"0.01\""));
        QVERIFY(bytes.contains("<something type=\"wall\" velocityX=\"0.125\" velocityY=\"-0.5\" velocityZ=\"0.25\" "
                               "period=\"5\" current=\"2\"/>"));

        QXmlStreamReader reader(bytes);
        toFirstCell(reader);
        Grid elsewhere;
        MovingCell back(1.0, 0, &elsewhere);
        back.activate(reader, &grid);
        QCOMPARE(back.getGrid(), &grid);
        QCOMPARE(back.getCharge(), -1);
        QCOMPARE(back.getP0(), 1.0625);
        for (int i = 0; i < 9; ++i)
            QCOMPARE(back.getNextF(i, 0), 0.01 * (i + 1));
        auto *wall = dynamic_cast<MovingWall *>(back.body());
        QVERIFY(wall);
        QVERIFY(back.ownsBody());
        QCOMPARE(wall->getWallVelocity(), Vector3d(0.125, -0.5, 0.25));
        QCOMPARE(wall->getPeriod(), 5);
        QCOMPARE(wall->getPhase(), 2);
        // The next element is the next cell.
        toNextStart(reader);
        QCOMPARE(reader.attributes().value("type").toString(), QString("wall"));
    }

    void readBodies_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<bool>("warns");
        QTest::newRow("particle") << "<lattice type=\"moving\" charge=\"1\"><something type=\"particle\" index=\"0\"/>"
                                     "</lattice>"
                                  << false;
        QTest::newRow("unknown body") << "<lattice type=\"moving\"><something type=\"comet\"/></lattice>" << true;
        QTest::newRow("no body element") << "<lattice type=\"moving\"/>" << true;
    }

    // Bodies the cell cannot take leave it without one, and reading goes on
    // with the next cell.
    void readBodies()
    {
        QFETCH(QString, cell);
        QFETCH(bool, warns);
        Grid grid;
        const QString document = "<grid>" + cell + "<lattice type=\"wall\"/></grid>";
        QXmlStreamReader reader(document);
        toFirstCell(reader);
        MovingCell back(1.0, 0, &grid);
        back.setBody(new MovingWall(Vector3d(1, 0, 0)), true);
        if (warns)
            QTest::ignoreMessage(QtWarningMsg, "moving cell error");
        back.activate(reader, &grid);
        QCOMPARE(back.body(), nullptr);
        QCOMPARE(back.getVelocity(0), Vector3d());
        toNextStart(reader);
        QVERIFY(reader.isStartElement());
        QCOMPARE(reader.attributes().value("type").toString(), QString("wall"));
    }

    // Hostile periods and phases: no overflow in reading, folding or
    // advancing the phase, which stays within one period.
    void extremePhases_data()
    {
        QTest::addColumn<QString>("wall");
        QTest::addColumn<int>("phase");
        QTest::addColumn<int>("next");
        QTest::newRow("INT_MIN % -1") << "period=\"-1\" current=\"-2147483648\"" << 0 << 0;
        QTest::newRow("period INT_MIN") << "period=\"-2147483648\" current=\"-1\"" << 2147483647 << 0;
        QTest::newRow("phase INT_MAX") << "period=\"-2147483648\" current=\"2147483647\"" << 2147483647 << 0;
        QTest::newRow("period INT_MAX") << "period=\"2147483647\" current=\"2147483646\"" << 2147483646 << 0;
    }

    void extremePhases()
    {
        QFETCH(QString, wall);
        QFETCH(int, phase);
        QFETCH(int, next);
        Grid grid;
        const QString document =
            "<grid><lattice type=\"moving\"><something type=\"wall\" velocityX=\"0.1\" " + wall + "/></lattice></grid>";
        QXmlStreamReader reader(document);
        toFirstCell(reader);
        MovingCell back(1.0, 0, &grid);
        back.activate(reader, &grid);
        auto *w = dynamic_cast<MovingWall *>(back.body());
        QVERIFY(w);
        QCOMPARE(w->getPhase(), phase);
        QVERIFY(std::isfinite(back.getVelocity(0).x));
        back.postUpdate();
        QCOMPARE(w->getPhase(), next);
        back.postUpdate();
        QVERIFY(w->getPhase() >= 0);
    }

    // A value that does not parse, is not finite or is out of range keeps the
    // cell and its wall as they were, with a warning naming the attribute.
    void rejectedValues_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("attribute");
        QTest::newRow("NaN velocity") << "<lattice type=\"moving\"><something type=\"wall\" velocityX=\"nan\"/>"
                                         "</lattice>"
                                      << "velocityX";
        QTest::newRow("infinite received") << "<lattice type=\"moving\" nextF3=\"inf\"><something type=\"wall\"/>"
                                              "</lattice>"
                                           << "nextF3";
        QTest::newRow("word for a period") << "<lattice type=\"moving\"><something type=\"wall\" period=\"ten\"/>"
                                              "</lattice>"
                                           << "period";
        QTest::newRow("negative density") << "<lattice type=\"moving\" p0=\"-2\"><something type=\"wall\"/>"
                                             "</lattice>"
                                          << "p0";
        QTest::newRow("huge charge") << "<lattice type=\"moving\" charge=\"99999999999\"><something "
                                        "type=\"wall\"/></lattice>"
                                     << "charge";
    }

    void rejectedValues()
    {
        QFETCH(QString, cell);
        QFETCH(QString, attribute);
        Grid grid;
        const QString document = "<grid>" + cell + "<lattice type=\"wall\"/></grid>";
        QXmlStreamReader reader(document);
        toFirstCell(reader);
        MovingCell back(1.25, 1, &grid);
        back.setNextF(3, 0.5, 0);
        auto *wall = new MovingWall(Vector3d(0.05, 0, 0), 7);
        back.setBody(wall, true);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(".*\"" + attribute + "\".*"));
        back.activate(reader, &grid);
        QCOMPARE(back.body(), wall);
        QCOMPARE(wall->getWallVelocity(), Vector3d(0.05, 0, 0));
        QCOMPARE(wall->getPeriod(), 7);
        QCOMPARE(back.getP0(), 1.25);
        QCOMPARE(back.getCharge(), 1);
        QCOMPARE(back.getNextF(3, 0), 0.5);
        toNextStart(reader);
        QCOMPARE(reader.attributes().value("type").toString(), QString("wall"));
    }

    void cloneCopiesTheWall()
    {
        Grid grid;
        MovingCell *cell = wallCell(grid, Vector3d(0.05, 0, 0), 4);
        cell->setCharge(1);
        cell->setNextF(2, 0.5, 0);
        cell->body()->update();
        BaseCell *copy = cell->clone(*grid.getParameters());
        auto *moving = dynamic_cast<MovingCell *>(copy);
        QVERIFY(moving);
        QCOMPARE(moving->getCharge(), 1);
        QCOMPARE(moving->getGrid(), &grid);
        QVERIFY(moving->body() && moving->body() != cell->body());
        QVERIFY(moving->ownsBody());
        QCOMPARE(moving->getVelocity(0), cell->getVelocity(0));
        // The copy moves on its own.
        moving->postUpdate();
        QVERIFY(std::abs(moving->getVelocity(0).x) < 1e-15);
        QCOMPARE(cell->getVelocity(0).x, 0.05);
        delete cell;
        delete copy;

        MovingCell bodiless(1.0, -1, &grid);
        BaseCell *plain = bodiless.clone(*grid.getParameters());
        QCOMPARE(static_cast<MovingCell *>(plain)->body(), nullptr);
        delete plain;
    }
};

QTEST_GUILESS_MAIN(TestMovingCell)
#include "tst_movingcell.moc"
