#include "gridtest_helper.h"

#include "model/latticeboltzmann/dragwallcell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

#include <cmath>

using namespace GridTest;

namespace {

// A fluid cell that records writes of component 1 (the scalar of heat runs).
class ScalarProbe : public SCCell
{
public:
    ScalarProbe() : SCCell(1.0, 9) {}
    double scalarNext[Lattice::MaxQ] = {};
    void setNextF(int i, double value, int component) override
    {
        if (component == 1)
            scalarNext[i] = value;
        else
            SCCell::setNextF(i, value, component);
    }
    double getNextF(int i, int component) override
    {
        return component == 1 ? scalarNext[i] : SCCell::getNextF(i, component);
    }
};

QXmlStreamAttributes written(BaseCell &cell)
{
    QString text;
    QXmlStreamWriter writer(&text);
    writer.writeStartElement("cell");
    cell.passivate(writer);
    writer.writeEndElement();
    QXmlStreamReader reader(text);
    reader.readNextStartElement();
    return reader.attributes();
}

} // namespace

class TestCells : public QObject
{
    Q_OBJECT

private slots:
    void restingFluidStaysAtRest()
    {
        Grid grid;
        prepare(grid, 9, 5, 5, 1, 0.7, true);
        grid.resetBox(0, 4, 0, 4, 0, 0, 1.25, -1);
        grid.step(20);
        SCCell *c = static_cast<SCCell *>(grid.materialise(2, 2, 0));
        for (int i = 0; i < 9; ++i)
            QVERIFY(std::abs(c->getF(i, 0) - Lattice::weight(9, i) * 1.25) < 1e-14);
        QVERIFY(c->getVelocity(0).length() < 1e-15);
        QVERIFY(c->getDeltaP() < 1e-15);
    }

    void velocityOrderOfEquilibrium()
    {
        Grid grid;
        prepare(grid, 9, 3, 3, 1, 1.0, true);
        SCCell *c = static_cast<SCCell *>(grid.materialise(1, 1, 0));
        setEquilibrium(c, Vector3d(0.1, 0, 0), 1.0);
        SimulationParameters *p = grid.getParameters();
        p->setVelocityOrder(0);
        QCOMPARE(c->equilibrium(1, 1.0, nullptr, &grid), Lattice::weight(9, 1) * c->getP(0));
        p->setVelocityOrder(1);
        QVERIFY(std::abs(c->equilibrium(1, 1.0, nullptr, &grid) - Lattice::weight(9, 1) * c->getP(0) * 1.3) < 1e-14);
        p->setVelocityOrder(2);
        QVERIFY(std::abs(c->equilibrium(1, 1.0, nullptr, &grid) -
                         Lattice::equilibrium(Vector3d(0.1, 0, 0), c->getP(0), 9, 1)) < 1e-14);
    }

    void nextArrayWrites()
    {
        Grid grid;
        SCCell c(1.0, 9);
        c.setNextF(3, 0.5, 1);
        QCOMPARE(c.getNextF(3, 0), Lattice::weight(9, 3));
        c.setNextF(3, 0.5, 0);
        QCOMPARE(c.getNextF(3, 0), 0.5);
        c.setNextF(4, 0.25, -1);
        QCOMPARE(c.getNextF(4, 0), 0.25);
        QCOMPARE(c.computeDeltaP(), (std::abs(0.5 - 1.0 / 9) + std::abs(0.25 - 1.0 / 36)) / 9);
        c.postUpdate();
        QCOMPARE(c.getF(3, 0), 0.5);
        // The arrays are exchanged, so the old current values are now next.
        QCOMPARE(c.getNextF(3, 0), 1.0 / 9);
        // The moments a free cell keeps follow its values through both
        // exchanges of the arrays.
        for (int k = 0; k < 2; ++k) {
            double values[9], density;
            Vector3d velocity;
            for (int i = 0; i < 9; ++i)
                values[i] = c.getF(i, 0);
            Lattice::moments(values, 9, density, velocity);
            QCOMPARE(c.getP(0), density);
            QCOMPARE(c.getLatticeVelocity(0).x, velocity.x);
            QCOMPARE(c.getLatticeVelocity(0).y, velocity.y);
            c.postUpdate();
        }
        // A new equilibrium keeps the cell's density and takes the velocity.
        const double density = c.getP(0);
        c.setEquilibrium(Vector3d(0.05, -0.02, 0.0), 1.3);
        QCOMPARE(c.getP(0), density);
        QVERIFY(std::abs(c.getLatticeVelocity(0).x - 0.05) < 1e-14);
        QVERIFY(std::abs(c.getLatticeVelocity(0).y + 0.02) < 1e-14);
        SCCell same(1.0, 9);
        QCOMPARE(same.computeDeltaP(), 0.0);
    }

    void fixedDensityPinsTheCell()
    {
        Grid grid;
        prepare(grid, 9, 6, 6, 1, 0.8, true);
        for (int x = 0; x < 6; ++x)
            setEquilibrium(grid.getCell(x, 2, 0), Vector3d(0.05, 0.02, 0), 1.1);
        SCCell *c = static_cast<SCCell *>(grid.materialise(3, 3, 0));
        c->setFixedDensity(1.5);
        for (int k = 0; k < 3; ++k) {
            grid.step(1);
            QVERIFY(std::abs(c->getP(0) - 1.5) < 1e-14);
            QVERIFY(c->getVelocity(0).length() < 1e-15);
            QCOMPARE(c->getP0(), 1.5);
        }
    }

    void resetKeepsStoredDensityWhenNegative()
    {
        Grid grid;
        SCCell c(1.2, 9);
        setEquilibrium(&c, Vector3d(0.1, 0, 0), 0.7);
        c.reset(-1, 0);
        QVERIFY(std::abs(c.getP(0) - 1.2) < 1e-14);
        QVERIFY(c.getVelocity(0).length() < 1e-15);
        c.reset(0.8, 0);
        QVERIFY(std::abs(c.getP(0) - 0.8) < 1e-14);
        QCOMPARE(c.getP0(), 0.8);
    }

    void cloneCopiesDistributions()
    {
        Grid grid;
        SCCell c(1.1, 9);
        setEquilibrium(&c, Vector3d(0.03, -0.01, 0), 0.95);
        c.setFixedDensity(2.0);
        BaseCell *copy = c.clone(*grid.getParameters());
        QVERIFY(dynamic_cast<SCCell *>(copy));
        for (int i = 0; i < 9; ++i)
            QCOMPARE(copy->getF(i, 0), c.getF(i, 0));
        QCOMPARE(copy->getVelocity(0), c.getVelocity(0));
        QCOMPARE(static_cast<SCCell *>(copy)->getFixedDensity(), 0.0);
        QCOMPARE(static_cast<SCCell *>(copy)->getP0(), 1.1);
        delete copy;
        // A null cell copies as a null cell, so refined grids keep their fillers.
        NullCell n;
        BaseCell *filler = n.clone(*grid.getParameters());
        QVERIFY(dynamic_cast<NullCell *>(filler));
        delete filler;
        // A drag wall copies into the same drag group.
        DragWallCell d;
        d.setIndex(4);
        BaseCell *wall = d.clone(*grid.getParameters());
        QVERIFY(dynamic_cast<DragWallCell *>(wall));
        QCOMPARE(static_cast<DragWallCell *>(wall)->index(), 4);
        delete wall;
    }

    void fluidCellDocumentRoundTrip()
    {
        Grid grid;
        SCCell c(1.05, 9);
        setEquilibrium(&c, Vector3d(0.04, 0.01, 0), 1.02);
        c.computeDeltaP();
        const QXmlStreamAttributes a = written(c);
        QCOMPARE(a.size(), 12);
        QCOMPARE(a[0].name().toString(), QString("type"));
        QCOMPARE(a[0].value().toString(), QString("singleComponent"));
        QCOMPARE(a[1].name().toString(), QString("p0"));
        QCOMPARE(a[11].name().toString(), QString("f8"));
        QCOMPARE(a.value("p0").toString(), QString("1.05"));

        QString text;
        QXmlStreamWriter writer(&text);
        writer.writeStartElement("cell");
        c.passivate(writer);
        writer.writeEndElement();
        QXmlStreamReader reader(text);
        reader.readNextStartElement();
        SCCell back(1.0, 9);
        back.activate(reader, &grid);
        QCOMPARE(back.getP0(), 1.05);
        for (int i = 0; i < 9; ++i)
            QVERIFY(std::abs(back.getF(i, 0) - c.getF(i, 0)) < 1e-5 * c.getF(i, 0));
        QVERIFY((back.getVelocity(0) - c.getVelocity(0)).length() < 1e-6);
    }

    void wallAndNullDocuments()
    {
        WallCell w;
        NullCell n;
        QCOMPARE(written(w).value("type").toString(), QString("wall"));
        QCOMPARE(written(w).size(), 1);
        QCOMPARE(written(n).value("type").toString(), QString("null"));
        QCOMPARE(w.getKind(), 1);
        QCOMPARE(n.getKind(), 10);
        QVERIFY(!w.isFluid() && !n.isFluid());
    }

    // A fluid cell between two walls along x keeps every population.
    void fluidBetweenWallsKeepsMass()
    {
        Grid grid;
        prepare(grid, 9, 3, 1, 1, 0.9, true);
        grid.setCell(0, 0, 0, new WallCell);
        grid.setCell(2, 0, 0, new WallCell);
        setEquilibrium(grid.getCell(1, 0, 0), Vector3d(0.08, 0.03, 0), 1.0);
        grid.step(50);
        double mass = 0;
        for (int i = 0; i < 9; ++i)
            mass += grid.getCell(1, 0, 0)->getF(i, 0);
        QVERIFY(std::abs(mass - 1.0) < 1e-14);
    }

    // Without wrapping, what a corner cell sends outwards is lost, and its
    // incoming entries from outside keep whatever its next array held.
    void edgeCellsWriteNothingOutward()
    {
        Grid grid;
        prepare(grid, 9, 3, 3, 1, 1.0, false);
        setEquilibrium(grid.getCell(0, 0, 0), Vector3d(-0.05, -0.05, 0), 1.0);
        const double before = totalMass(grid);
        grid.step(1);
        QCOMPARE(grid.getCell(0, 0, 0)->getF(1, 0), Lattice::weight(9, 1));
        QVERIFY(totalMass(grid) < before);
    }

    void scalarWallTreatment()
    {
        Grid grid;
        prepare(grid, 9, 4, 4, 1, 0.8, false);
        auto *right = new ScalarProbe;
        auto *above = new ScalarProbe;
        grid.setCell(1, 1, 0, new WallCell);
        grid.setCell(2, 1, 0, right);
        grid.setCell(1, 2, 0, above);
        grid.buildNeighbours();
        // Component-1 populations the +x neighbour sends towards the wall.
        right->scalarNext[5] = 0.3;
        right->scalarNext[4] = 0.1;
        right->scalarNext[6] = 0.2;
        BaseCell **block = grid.neighbourBlock(1, 1, 0);
        double *params = grid.getParameters()->parameterBlock();
        grid.getCell(1, 1, 0)->update(params, block, &grid, Vector3i(1, 1, 0));
        QCOMPARE(right->scalarNext[1], 0.0); // nothing happens unless heat is on
        grid.getParameters()->setMulticomponentValues(2, 0.05, 0, 0, 4);
        grid.getCell(1, 1, 0)->update(params, block, &grid, Vector3i(1, 1, 0));
        const double total = 0.6, weights = 1.0 / 9 + 2.0 / 36;
        QVERIFY(std::abs(right->scalarNext[1] - (1.0 / 9) * total / weights) < 1e-15);
        QVERIFY(std::abs(right->scalarNext[2] - (1.0 / 36) * total / weights) < 1e-15);
        QVERIFY(std::abs(right->scalarNext[8] - (1.0 / 36) * total / weights) < 1e-15);
        // Only the first face that has fluid is treated.
        QCOMPARE(above->scalarNext[3], 0.0);
    }
};

QTEST_GUILESS_MAIN(TestCells)
#include "tst_cells.moc"
