#include "model/latticeboltzmann/boundary/extrapolationboundary.h"
#include "model/latticeboltzmann/boundary/fixedboundary.h"
#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/pointboundary.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/cellcodes.h"
#include "model/latticeboltzmann/deposition/depositionwall.h"
#include "model/latticeboltzmann/dragwallcell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/thermalwall.h"
#include "model/latticeboltzmann/meltingsolidification/meltingsolidificationcell.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/moving/movingwall.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/partialslipboundary.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/porous/shallowcell.h"
#include "model/latticeboltzmann/reflectwithfactorcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QtTest>

#include <cmath>
#include <memory>
#include <typeinfo>

class TestCellCodes : public QObject
{
    Q_OBJECT

private slots:
    void create_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("kind");
        QTest::newRow("fluid") << "x"
                               << "fluid";
        QTest::newRow("wall") << "w"
                              << "wall";
        QTest::newRow("null") << "-"
                              << "null";
        QTest::newRow("velocity inlet") << "s"
                                        << "fixed inlet";
        QTest::newRow("pressure inlet") << "."
                                        << "point inlet";
        QTest::newRow("outlet") << "o"
                                << "outlet";
        QTest::newRow("moving wall") << "v"
                                     << "moving wall";
        for (const char *code : {"m", "p", "n"})
            QTest::newRow(code) << code << QString("particle ") + code;
        QTest::newRow("drag wall") << "d"
                                   << "drag wall";
        QTest::newRow("partial slip") << "k"
                                      << "partial slip";
        QTest::newRow("deposition wall") << "e"
                                         << "deposition wall";
        QTest::newRow("reflect with factor") << "r"
                                             << "reflect";
        // Unknown codes are fluid; the free-surface codes give melting cells
        // in their state.
        for (const char *code : {"unknown", ""})
            QTest::newRow(code) << code << "fluid";
        QTest::newRow("korner_solid") << "korner_solid"
                                      << "melting S";
        QTest::newRow("korner_liquid") << "korner_liquid"
                                       << "melting L";
        QTest::newRow("korner_gas") << "korner_gas"
                                    << "melting G";
        QTest::newRow("korner_interface") << "korner_interface"
                                          << "melting I";
        QTest::newRow("thermal wall") << "t"
                                      << "thermal wall";
        QTest::newRow("porous") << "*"
                                << "porous";
        QTest::newRow("shallow water") << "h"
                                       << "shallow";
        QTest::newRow("free-surface wall") << "korner_wall"
                                           << "melting W";
    }

    void create()
    {
        QFETCH(QString, code);
        QFETCH(QString, kind);
        Grid g;
        SimulationParameters *sp = g.getParameters();
        sp->setModel(9);
        g.resize(3, 3, 1);
        sp->setMinP0(0.9);
        sp->setMaxP0(1.1);
        sp->setSourceVelocityValue(0, 0.035);
        sp->setSourcePressureValue(0, 1.05);
        std::unique_ptr<BaseCell> cell(CellCodes::create(code, g, 1, 1, 0, false));
        QVERIFY(cell);
        if (kind == "fluid") {
            QCOMPARE(typeid(*cell), typeid(SCCell));
            QVERIFY(cell->getP(0) >= 0.9 && cell->getP(0) <= 1.1);
        } else if (kind.startsWith("melting")) {
            auto *melting = dynamic_cast<MeltingSolidificationCell *>(cell.get());
            QVERIFY(melting);
            QCOMPARE(melting->getState(), kind.back().toLatin1());
        } else if (kind == "wall") {
            QCOMPARE(typeid(*cell), typeid(WallCell));
        } else if (kind == "thermal wall") {
            QCOMPARE(typeid(*cell), typeid(ThermalWall));
        } else if (kind == "porous") {
            QCOMPARE(typeid(*cell), typeid(PorousCell));
            QVERIFY(cell->getP(0) >= 0.9 && cell->getP(0) <= 1.1);
        } else if (kind == "shallow") {
            QCOMPARE(typeid(*cell), typeid(ShallowCell));
        } else if (kind == "null") {
            QCOMPARE(typeid(*cell), typeid(NullCell));
        } else if (kind == "fixed inlet") {
            auto *inlet = dynamic_cast<SourceCell *>(cell.get());
            QVERIFY(inlet && dynamic_cast<FixedBoundary *>(inlet->strategy()));
            QCOMPARE(inlet->strategy()->getBoundaryU(), 0.035);
            QCOMPARE(inlet->strategy()->getBoundaryP(), 0.9);
        } else if (kind == "moving wall") {
            auto *moving = dynamic_cast<MovingCell *>(cell.get());
            QVERIFY(moving);
            auto *wall = dynamic_cast<MovingWall *>(moving->body());
            QVERIFY(wall);
            QCOMPARE(moving->getCharge(), 0);
        } else if (kind.startsWith("particle")) {
            auto *moving = dynamic_cast<MovingCell *>(cell.get());
            QVERIFY(moving && !moving->body());
            QCOMPARE(moving->getCharge(), kind.endsWith('p') ? 1 : (kind.endsWith('n') ? -1 : 0));
        } else if (kind == "drag wall") {
            QCOMPARE(typeid(*cell), typeid(DragWallCell));
        } else if (kind == "partial slip") {
            QCOMPARE(typeid(*cell), typeid(PartialSlipBoundary));
        } else if (kind == "deposition wall") {
            QCOMPARE(typeid(*cell), typeid(DepositionWall));
        } else if (kind == "reflect") {
            QCOMPARE(typeid(*cell), typeid(ReflectWithFactorCell));
        } else if (kind == "point inlet") {
            auto *inlet = dynamic_cast<SourceCell *>(cell.get());
            QVERIFY(inlet && dynamic_cast<PointBoundary *>(inlet->strategy()));
            QCOMPARE(inlet->strategy()->getBoundaryP(), 1.05);
        } else {
            auto *outlet = dynamic_cast<OpenCell *>(cell.get());
            QVERIFY(outlet && dynamic_cast<ExtrapolationBoundary *>(outlet->strategy()));
        }
    }

    // New fluid takes the mean density and velocity of the fluid among the 26
    // surrounding sites; walls do not count.
    void fillFromNeighbours()
    {
        Grid g;
        SimulationParameters *sp = g.getParameters();
        sp->setModel(9);
        g.resize(3, 3, 1);
        g.fillRegion("w", 0, 2, 2, 2, 0, 0);
        double f[9];
        Lattice::equilibriumArray(Vector3d(0.04, 0.0, 0.0), 1.2, 9, f);
        g.getCell(0, 0, 0)->setF(f);
        Lattice::equilibriumArray(Vector3d(0.0, 0.02, 0.0), 1.0, 9, f);
        g.getCell(2, 1, 0)->setF(f);
        g.fillRegion("x", 1, 1, 1, 1, 0, 0, true);
        BaseCell *c = g.getCell(1, 1, 0);
        QCOMPARE(typeid(*c), typeid(SCCell));
        // Five fluid neighbours: densities 1.2, 1, 1, 1, 1.
        const double density = (1.2 + 4.0) / 5.0;
        const Vector3d velocity(0.04 / 5.0, 0.02 / 5.0, 0.0);
        QVERIFY(std::abs(c->getP(0) - density) < 1e-12);
        for (int i = 0; i < 9; ++i)
            QVERIFY(std::abs(c->getF(i, 0) - Lattice::equilibrium(velocity, density, 9, i)) < 1e-12);

        // With no fluid around, density 1 at rest.
        Grid h;
        h.getParameters()->setModel(9);
        h.resize(3, 3, 1);
        h.fillRegion("w", 0, 2, 0, 2, 0, 0);
        h.fillRegion("x", 1, 1, 1, 1, 0, 0, true);
        QVERIFY(std::abs(h.getCell(1, 1, 0)->getP(0) - 1.0) < 1e-12);
        QVERIFY(std::abs(h.getCell(1, 1, 0)->getF(1, 0) - Lattice::weight(9, 1)) < 1e-15);
    }

    void colours_data()
    {
        QTest::addColumn<QRgb>("colour");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("code");
        QTest::newRow("wall") << qRgb(128, 128, 128) << ""
                              << "w";
        QTest::newRow("moving wall") << qRgb(0, 0, 255) << ""
                                     << "v";
        QTest::newRow("inlet") << qRgb(255, 0, 0) << ""
                               << "s";
        QTest::newRow("outlet") << qRgb(0, 0, 0) << ""
                                << "o";
        QTest::newRow("neutral") << qRgb(255, 255, 0) << ""
                                 << "m";
        QTest::newRow("negative") << qRgb(128, 0, 255) << ""
                                  << "n";
        QTest::newRow("positive") << qRgb(255, 0, 255) << ""
                                  << "p";
        QTest::newRow("porous") << qRgb(64, 64, 64) << ""
                                << "*";
        QTest::newRow("shallow") << qRgb(128, 128, 255) << ""
                                 << "h";
        QTest::newRow("null") << qRgb(0, 255, 0) << ""
                              << "-";
        QTest::newRow("pressure inlet") << qRgb(0, 255, 255) << ""
                                        << ".";
        QTest::newRow("thermal") << qRgb(192, 192, 192) << ""
                                 << "t";
        QTest::newRow("drag") << qRgb(160, 160, 160) << ""
                              << "d";
        QTest::newRow("slip") << qRgb(96, 96, 96) << ""
                              << "k";
        QTest::newRow("deposition") << qRgb(32, 32, 32) << ""
                                    << "e";
        QTest::newRow("reflect") << qRgb(224, 224, 224) << ""
                                 << "r";
        QTest::newRow("white") << qRgb(255, 255, 255) << ""
                               << "x";
        QTest::newRow("almost a wall") << qRgb(128, 128, 129) << ""
                                       << "x";
        QTest::newRow("alpha ignored") << qRgba(255, 0, 0, 10) << ""
                                       << "s";
        QTest::newRow("korner solid") << qRgb(0, 0, 255) << "korner"
                                      << "korner_solid";
        QTest::newRow("korner liquid") << qRgb(255, 255, 0) << "korner"
                                       << "korner_liquid";
        QTest::newRow("korner gas") << qRgb(255, 0, 0) << "korner"
                                    << "korner_gas";
        QTest::newRow("korner interface") << qRgb(255, 128, 0) << "korner"
                                          << "korner_interface";
        QTest::newRow("korner wall") << qRgb(128, 128, 128) << "korner"
                                     << "korner_wall";
        QTest::newRow("korner, not listed") << qRgb(255, 255, 255) << "korner"
                                            << "";
    }

    void colours()
    {
        QFETCH(QRgb, colour);
        QFETCH(QString, mode);
        QFETCH(QString, code);
        QCOMPARE(CellCodes::codeForColour(colour, mode), code);
        // The ordinary table maps back to the same colour.
        if (mode.isEmpty() && code != "x")
            QCOMPARE(CellCodes::colourForCode(code), colour | 0xff000000u);
    }

    void cellsToCodes()
    {
        Grid g;
        g.getParameters()->setModel(9);
        g.resize(2, 2, 1);
        std::unique_ptr<BaseCell> cells[] = {std::unique_ptr<BaseCell>(new WallCell),
                                             std::unique_ptr<BaseCell>(SourceCell::point(1.0)),
                                             std::unique_ptr<BaseCell>(OpenCell::extrapolation()),
                                             std::unique_ptr<BaseCell>(new NullCell),
                                             std::unique_ptr<BaseCell>(new SCCell(1.0, 9)),
                                             std::unique_ptr<BaseCell>(new ThermalWall(1)),
                                             std::unique_ptr<BaseCell>(new PorousCell(1.0, *g.getParameters()))};
        const char *codes[] = {"w", "s", "o", "-", "x", "t", "*"};
        for (int i = 0; i < 7; ++i)
            QCOMPARE(CellCodes::codeForCell(cells[i].get()), QString(codes[i]));
        QCOMPARE(CellCodes::colourForCode("x"), qRgb(255, 255, 255));
    }
};

QTEST_GUILESS_MAIN(TestCellCodes)
#include "tst_cellcodes.moc"
