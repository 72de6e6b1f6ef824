#include "model/latticeboltzmann/boundary/equilibriumboundary.h"
#include "model/latticeboltzmann/boundary/extrapolationboundary.h"
#include "model/latticeboltzmann/boundary/facetable.h"
#include "model/latticeboltzmann/boundary/fixedboundary.h"
#include "model/latticeboltzmann/boundary/inletformula.h"
#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/pointboundary.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/boundary/zouheboundary.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QtTest>

#include <cmath>
#include <memory>

namespace {

// A fluid site whose current and streamed values the test sets and reads.
class ProbeCell : public InertCell
{
public:
    double f[Lattice::MaxQ] = {};
    double next[Lattice::MaxQ] = {};
    double rho = 1.0;
    Vector3d u;
    bool fluid = true;

    double getF(int i, int component) override { return component == 1 ? 0.0 : f[i]; }
    double getNextF(int i, int component) override { return component == 1 ? 0.0 : next[i]; }
    void setNextF(int i, double value, int component) override
    {
        if (component != 1)
            next[i] = value;
    }
    double getP(int) override { return rho; }
    Vector3d getVelocity(int) override { return u; }
    bool isFluid() override { return fluid; }
};

Boundary *makeStrategy(const QString &name)
{
    if (name == "zouhe")
        return new ZouHeBoundary;
    if (name == "equilibrium")
        return new EquilibriumBoundary;
    if (name == "fixed")
        return new FixedBoundary;
    if (name == "extrapolation")
        return new ExtrapolationBoundary;
    return new PointBoundary(1.0);
}

// A D2Q9 grid without periodic wrapping, all fluid at density 1.
void makeGrid(Grid &g, int nx, int ny, int nz = 1, int q = 9)
{
    SimulationParameters *sp = g.getParameters();
    sp->setModel(q);
    sp->setEpsilon(0, 0.8);
    sp->setPeriodicBoundaries(false);
    g.resize(nx, ny, nz);
}

bool near(double a, double b, double tolerance = 1e-13)
{
    return std::abs(a - b) <= tolerance * std::max(1.0, std::abs(b));
}

} // namespace

Q_DECLARE_METATYPE(QVector<int>)

class TestBoundaryStrategies : public QObject
{
    Q_OBJECT

private slots:
    void faceTable_data()
    {
        QTest::addColumn<int>("q");
        QTest::addColumn<int>("side");
        QTest::addColumn<int>("behind");
        QTest::addColumn<int>("front");
        QTest::addColumn<QVector<int>>("incoming");
        const int px = FaceTable::PlusX, mx = FaceTable::MinusX, py = FaceTable::PlusY, my = FaceTable::MinusY;
        QTest::newRow("D2Q9 +x") << 9 << px << 5 << 1 << QVector<int>{1, 2, 8};
        QTest::newRow("D2Q9 -x") << 9 << mx << 1 << 5 << QVector<int>{5, 4, 6};
        QTest::newRow("D2Q9 +y") << 9 << py << 7 << 3 << QVector<int>{3, 2, 4};
        QTest::newRow("D2Q9 -y") << 9 << my << 3 << 7 << QVector<int>{7, 6, 8};
        QTest::newRow("D3Q15 +x") << 15 << px << 3 << 1 << QVector<int>{1, 6, 9, 11, 14};
        QTest::newRow("D3Q15 -x") << 15 << mx << 1 << 3 << QVector<int>{3, 7, 8, 12, 13};
        QTest::newRow("D3Q15 +y") << 15 << py << 4 << 2 << QVector<int>{2, 6, 7, 11, 12};
        QTest::newRow("D3Q15 -y") << 15 << my << 2 << 4 << QVector<int>{4, 8, 9, 13, 14};
        QTest::newRow("D3Q19 +x") << 19 << px << 5 << 1 << QVector<int>{1, 2, 8, 10, 15};
        QTest::newRow("D3Q19 -x") << 19 << mx << 1 << 5 << QVector<int>{5, 4, 6, 12, 17};
        QTest::newRow("D3Q19 +y") << 19 << py << 7 << 3 << QVector<int>{3, 2, 4, 11, 16};
        QTest::newRow("D3Q19 -y") << 19 << my << 3 << 7 << QVector<int>{7, 6, 8, 13, 18};
        QTest::newRow("D3Q27 +x") << 27 << px << 5 << 1 << QVector<int>{1, 2, 8, 10, 11, 17, 19, 20, 26};
        QTest::newRow("D3Q27 -x") << 27 << mx << 1 << 5 << QVector<int>{5, 4, 6, 13, 14, 15, 22, 23, 24};
        QTest::newRow("D3Q27 +y") << 27 << py << 7 << 3 << QVector<int>{3, 2, 4, 11, 12, 13, 20, 21, 22};
        QTest::newRow("D3Q27 -y") << 27 << my << 3 << 7 << QVector<int>{7, 6, 8, 15, 16, 17, 24, 25, 26};
    }

    // The faces derived from the lattice tables are the published ones.
    void faceTable()
    {
        QFETCH(int, q);
        QFETCH(int, side);
        QFETCH(int, behind);
        QFETCH(int, front);
        QFETCH(QVector<int>, incoming);
        const FaceTable::Face &f = FaceTable::face(q, side);
        QCOMPARE(f.behind, behind);
        QCOMPARE(f.front, front);
        QCOMPARE(QVector<int>(f.incoming, f.incoming + f.count), incoming);
        for (int k : incoming)
            QCOMPARE(Lattice::direction(q, k).toVector3d().dot(f.normal), 1.0);
    }

    void faceSelection_data()
    {
        QTest::addColumn<QStringList>("rows"); // top row first; S marks the inlet
        QTest::addColumn<int>("side");
        QTest::addRow("left edge, wall in front") << QStringList{"www", "Swx", "www"} << int(FaceTable::PlusX);
        QTest::addRow("fluid to the left, wall behind") << QStringList{"www", "xSw", "www"} << int(FaceTable::MinusX);
        QTest::addRow("bottom edge") << QStringList{"wxw", "wxw", "wSw"} << int(FaceTable::PlusY);
        QTest::addRow("top edge") << QStringList{"wSw", "wxw", "wxw"} << int(FaceTable::MinusY);
        QTest::addRow("inside the fluid") << QStringList{"xxx", "xSx", "xxx"} << -1;
        QTest::addRow("walled in") << QStringList{"www", "wSw", "www"} << -1;
        // +x is tested first: fluid on both sides picks neither x face.
        QTest::addRow("fluid left and right, wall below") << QStringList{"xxx", "xSx", "www"} << int(FaceTable::PlusY);
    }

    void faceSelection()
    {
        QFETCH(QStringList, rows);
        QFETCH(int, side);
        Grid g;
        makeGrid(g, 3, 3);
        int sx = -1, sy = -1;
        for (int row = 0; row < 3; ++row)
            for (int x = 0; x < 3; ++x) {
                const int y = 2 - row;
                const QChar c = rows[row][x];
                if (c == 'w')
                    g.setCell(x, y, 0, new WallCell);
                else if (c == 'S') {
                    g.setCell(x, y, 0, new SourceCell(new EquilibriumBoundary));
                    sx = x;
                    sy = y;
                }
            }
        g.buildNeighbours();
        QCOMPARE(FaceTable::select(9, g.neighbourBlock(sx, sy, 0)), side);
    }

    // An inlet on the left edge in front of a wall still picks +x and writes
    // into the wall, which hands the values back to the inlet: nothing breaks.
    void inletFacingWallIsHarmless()
    {
        Grid g;
        makeGrid(g, 4, 3);
        g.fillRegion("w", 1, 1, 0, 2, 0, 0);
        g.setCell(0, 1, 0, new SourceCell(new EquilibriumBoundary));
        g.getParameters()->setSourceVelocity(0, 0.05);
        QCOMPARE(g.step(5), 5);
        QVERIFY(near(g.getCell(3, 1, 0)->getP(0), 1.0));
    }

    // In 3D a boundary acts only across x and y faces.
    void noFaceAcrossZ()
    {
        Grid g;
        makeGrid(g, 3, 3, 3, 19);
        g.fillRegion("w", 0, 2, 0, 2, 0, 2);
        g.fillRegion("x", 1, 1, 1, 1, 2, 2);
        auto *inlet = new SourceCell(new EquilibriumBoundary);
        g.setCell(1, 1, 1, inlet);
        g.buildNeighbours();
        QCOMPARE(FaceTable::select(19, g.neighbourBlock(1, 1, 1)), -1);
        auto *fluid = static_cast<SCCell *>(g.materialise(1, 1, 2));
        for (int i = 0; i < 19; ++i)
            fluid->setNextF(i, -7.0, 0);
        inlet->preUpdate(g.getParameters()->parameterBlock(), g.neighbourBlock(1, 1, 1), &g, Vector3i(1, 1, 1));
        inlet->update(g.getParameters()->parameterBlock(), g.neighbourBlock(1, 1, 1), &g, Vector3i(1, 1, 1));
        for (int i = 0; i < 19; ++i)
            QCOMPARE(fluid->getNextF(i, 0), -7.0);
    }

    void setters_data()
    {
        QTest::addColumn<QString>("strategy");
        QTest::addColumn<double>("p0");
        QTest::addColumn<double>("u0");
        QTest::addColumn<double>("pAfterP"); // after setBoundaryP(0.7)
        QTest::addColumn<double>("uAfterP");
        QTest::addColumn<double>("pAfterU"); // then setBoundaryU(0.05)
        QTest::addColumn<double>("uAfterU");
        QTest::newRow("zouhe") << "zouhe" << 0.0 << 0.0 << 0.7 << -1.0 << -1.0 << 0.05;
        QTest::newRow("equilibrium") << "equilibrium" << -1.0 << -1.0 << 0.7 << -1.0 << -1.0 << 0.05;
        QTest::newRow("fixed") << "fixed" << 1.0 << 0.02 << 0.7 << 0.02 << 0.7 << 0.05;
        QTest::newRow("extrapolation") << "extrapolation" << 0.0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("point") << "point" << 1.0 << 0.0 << 0.7 << 0.0 << 0.7 << 0.0;
    }

    void setters()
    {
        QFETCH(QString, strategy);
        QFETCH(double, p0);
        QFETCH(double, u0);
        QFETCH(double, pAfterP);
        QFETCH(double, uAfterP);
        QFETCH(double, pAfterU);
        QFETCH(double, uAfterU);
        std::unique_ptr<Boundary> b(makeStrategy(strategy));
        QCOMPARE(b->getBoundaryP(), p0);
        QCOMPARE(b->getBoundaryU(), u0);
        b->setBoundaryP(0.7);
        QCOMPARE(b->getBoundaryP(), pAfterP);
        QCOMPARE(b->getBoundaryU(), uAfterP);
        b->setBoundaryU(0.05);
        QCOMPARE(b->getBoundaryP(), pAfterU);
        QCOMPARE(b->getBoundaryU(), uAfterU);
        QCOMPARE(b->getKind(), -1);
    }

    // The worked example: +x face, u = 0.1, streamed values equal to the
    // weights, so S = 1 and rho = 1 / 0.9.
    void zouHeVelocityExample()
    {
        Grid g;
        makeGrid(g, 3, 3);
        ProbeCell target;
        for (int i = 0; i < 9; ++i)
            target.next[i] = Lattice::weight(9, i);
        BaseCell *nb[9] = {};
        nb[1] = &target;
        ZouHeBoundary zh;
        zh.setBoundaryU(0.1);
        zh.update(nullptr, nb, &g, Vector3i(0, 1, 0));
        const double rho = 1.0 / 0.9;
        QVERIFY(near(target.next[1], 1.0 / 9.0 + (2.0 / 3.0) * 0.1 * rho));
        QVERIFY(near(target.next[2], 1.0 / 36.0 + (1.0 / 6.0) * 0.1 * rho));
        QVERIFY(near(target.next[8], 1.0 / 36.0 + (1.0 / 6.0) * 0.1 * rho));
        QCOMPARE(target.next[5], 1.0 / 9.0); // known values stay
    }

    void zouHeMoments_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<bool>("densityMode");
        const char *names[] = {"+x", "-x", "+y", "-y"};
        for (int side = 0; side < 4; ++side) {
            QTest::addRow("%s velocity", names[side]) << side << false;
            QTest::addRow("%s density", names[side]) << side << true;
        }
    }

    // Whatever the streamed state, the rebuilt cell has the prescribed
    // density or normal velocity and no tangential velocity.
    void zouHeMoments()
    {
        QFETCH(int, side);
        QFETCH(bool, densityMode);
        Grid g;
        makeGrid(g, 3, 3);
        const FaceTable::Face &face = FaceTable::face(9, side);
        ProbeCell target;
        const Vector3d streamedU(0.03, -0.02, 0.0);
        for (int i = 0; i < 9; ++i)
            target.next[i] = Lattice::equilibrium(streamedU, 1.02, 9, i) * (1.0 + 0.01 * i);
        ProbeCell solid;
        solid.fluid = false;
        BaseCell *nb[9] = {};
        for (int axis : {1, 3, 5, 7})
            nb[axis] = &solid;
        nb[face.front] = &target;
        nb[face.behind] = nullptr;
        ZouHeBoundary zh;
        if (densityMode)
            zh.setBoundaryP(1.01);
        else
            zh.setBoundaryU(0.04);
        zh.update(nullptr, nb, &g, Vector3i(1, 1, 0));
        double rho = 0.0;
        Vector3d u;
        Lattice::moments(target.next, 9, rho, u);
        const Vector3d tangent(face.normal.y, face.normal.x, 0.0);
        QVERIFY(near(u.dot(tangent), 0.0, 1e-12));
        if (densityMode)
            QVERIFY(near(rho, 1.01, 1e-12));
        else
            QVERIFY(near(u.dot(face.normal), 0.04, 1e-12));
    }

    void modulation()
    {
        QCOMPARE(Boundary::modulation(0, 37), 0.0);
        QCOMPARE(Boundary::modulation(100, 0), 0.0);
        QVERIFY(std::abs(Boundary::modulation(100, 50)) < 1e-7);
        QVERIFY(std::abs(Boundary::modulation(100, 50)) > 0.0); // the rounded 2 pi
        QVERIFY(near(Boundary::modulation(100, 25), 1.0, 1e-14));
        QCOMPARE(Boundary::modulation(100, 125), Boundary::modulation(100, 25));
    }

    void equilibriumModes_data()
    {
        QTest::addColumn<bool>("densityMode");
        QTest::addColumn<int>("iteration");
        QTest::addColumn<double>("factor");
        QTest::newRow("velocity, steady") << false << 0 << 1.0;
        QTest::newRow("velocity, crest") << false << 25 << 1.5;
        QTest::newRow("velocity, trough") << false << 75 << 0.5;
        QTest::newRow("density, steady") << true << 0 << 1.0;
        QTest::newRow("density, crest") << true << 25 << 1.5;
    }

    void equilibriumModes()
    {
        QFETCH(bool, densityMode);
        QFETCH(int, iteration);
        QFETCH(double, factor);
        Grid g;
        makeGrid(g, 3, 3);
        SimulationParameters *sp = g.getParameters();
        sp->setSourcePeriodValue(0, 100);
        sp->setSourceAmplitudeValue(0, 0.5);
        g.getStatistics().iterations = iteration;
        ProbeCell target;
        target.rho = 1.03;
        target.u = Vector3d(0.01, 0.005, 0.0);
        ProbeCell solid;
        solid.fluid = false;
        BaseCell *nb[9] = {};
        nb[1] = nb[5] = &solid;
        nb[3] = &target; // bottom edge: +y face
        EquilibriumBoundary eq;
        if (densityMode)
            eq.setBoundaryP(0.98);
        else
            eq.setBoundaryU(0.02);
        eq.preUpdate(nullptr, nb, &g, Vector3i(1, 0, 0));
        for (int k : {3, 2, 4}) {
            const double expected = densityMode ? Lattice::equilibrium(target.u, 0.98 * factor, 9, k)
                                                : Lattice::equilibrium(Vector3d(0, 0.02 * factor, 0), 1.03, 9, k);
            QVERIFY2(near(target.next[k], expected, 1e-12), qPrintable(QString::number(k)));
        }
        for (int k : {0, 1, 5, 6, 7, 8})
            QCOMPARE(target.next[k], 0.0);
    }

    void extrapolation()
    {
        Grid g;
        makeGrid(g, 3, 3);
        ProbeCell target;
        for (int i = 0; i < 9; ++i) {
            target.f[i] = 0.1 + i;
            target.next[i] = -1.0;
        }
        BaseCell *nb[9] = {};
        nb[5] = &target; // right edge: -x face
        ExtrapolationBoundary ex;
        ex.update(nullptr, nb, &g, Vector3i(2, 1, 0));
        for (int i = 0; i < 9; ++i) {
            const bool incoming = i == 5 || i == 4 || i == 6;
            QCOMPARE(target.next[i], incoming ? target.f[i] : -1.0);
        }
    }

    void pointEmitsEverywhere()
    {
        Grid g;
        makeGrid(g, 3, 3);
        SimulationParameters *sp = g.getParameters();
        sp->setSourcePeriodValue(0, 8);
        sp->setSourceAmplitudeValue(0, 0.1);
        g.getStatistics().iterations = 2; // s = 1
        ProbeCell cells[9];
        BaseCell *nb[9] = {};
        for (int i = 0; i < 9; ++i) {
            cells[i].fluid = i % 2 == 0; // fluid or not, all are fed
            nb[i] = i == 7 ? nullptr : &cells[i];
        }
        PointBoundary point(1.2);
        point.preUpdate(nullptr, nb, &g, Vector3i(1, 1, 0));
        for (int i = 0; i < 9; ++i)
            QVERIFY(near(cells[i].next[i], i == 7 ? 0.0 : Lattice::weight(9, i) * 1.3));
    }

    void inletFormula_data()
    {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<int>("iteration");
        QTest::addColumn<double>("value");
        QTest::newRow("number") << "0.5" << 3 << 0.5;
        QTest::newRow("iteration") << "it()" << 42 << 42.0;
        QTest::newRow("expression") << "Math.min(1, it() / 100)" << 25 << 0.25;
        QTest::newRow("numeric text") << "'2.5'" << 0 << 2.5;
        QTest::newRow("text") << "'fast'" << 0 << 0.0;
        QTest::newRow("boolean") << "it() > 3" << 5 << 0.0;
        QTest::newRow("syntax error") << "it( +" << 5 << 0.0;
        QTest::newRow("infinite") << "1 / 0" << 5 << 0.0;
        QTest::newRow("not a number") << "0 / 0" << 5 << 0.0;
        QTest::newRow("empty") << "" << 5 << 0.0;
    }

    void inletFormula()
    {
        QFETCH(QString, formula);
        QFETCH(int, iteration);
        QFETCH(double, value);
        QCOMPARE(InletFormula::evaluateFresh(formula, iteration), value);
        QCOMPARE(InletFormula::evaluate(formula, iteration), value);
        QCOMPARE(InletFormula::evaluate(formula, iteration), value);
    }

    // A fixed inlet feeds the prescribed speed times the formula's value.
    void fixedFollowsFormula()
    {
        Grid g;
        makeGrid(g, 4, 3);
        SimulationParameters *sp = g.getParameters();
        g.fillRegion("s", 0, 0, 1, 1, 0, 0);
        auto *inlet = static_cast<SourceCell *>(g.getCell(0, 1, 0));
        auto *fixed = dynamic_cast<FixedBoundary *>(inlet->strategy());
        QVERIFY(fixed);
        g.buildNeighbours();
        BaseCell *target = g.getCell(1, 1, 0);
        auto run = [&](int iteration) {
            g.getStatistics().iterations = iteration;
            inlet->preUpdate(sp->parameterBlock(), g.neighbourBlock(0, 1, 0), &g, Vector3i(0, 1, 0));
            inlet->update(sp->parameterBlock(), g.neighbourBlock(0, 1, 0), &g, Vector3i(0, 1, 0));
        };
        sp->setSourceVelocity(0, 0.02);
        sp->setInletFormula(0, "it() < 10 ? it() / 4 : 1");
        run(6);
        QVERIFY(near(fixed->getBoundaryU(), 0.02 * 1.5));
        for (int k : {1, 2, 8})
            QVERIFY(near(target->getNextF(k, 0), Lattice::equilibrium(Vector3d(0.03, 0, 0), 1.0, 9, k)));
        sp->setInletFormula(0, "'not a number'");
        run(7);
        QCOMPARE(fixed->getBoundaryU(), 0.0);
        QVERIFY(near(target->getNextF(1, 0), Lattice::weight(9, 1)));
        // An empty formula leaves the speed as it is.
        fixed->setBoundaryU(0.01);
        sp->setInletFormula(0, QString());
        run(8);
        QCOMPARE(fixed->getBoundaryU(), 0.01);
    }

    // Inlets in many rows evaluate their formulas from the parallel phase.
    void formulaInParallelRows()
    {
        Grid g;
        makeGrid(g, 6, 24);
        SimulationParameters *sp = g.getParameters();
        sp->setMulticore(true);
        g.fillRegion("s", 0, 0, 0, 23, 0, 0);
        g.fillRegion("s", 5, 5, 0, 23, 0, 0);
        sp->setSourceVelocity(0, 0.02);
        sp->setSourceVelocity(1, 0.01);
        sp->setInletFormula(0, "it() % 2 == 0 ? 0.5 : 1.5");
        sp->setInletFormula(1, "2");
        QCOMPARE(g.step(7), 7);
        for (int y = 0; y < 24; ++y) {
            auto *left = static_cast<SourceCell *>(g.getCell(0, y, 0));
            auto *right = static_cast<SourceCell *>(g.getCell(5, y, 0));
            QCOMPARE(left->index(), 0);
            QCOMPARE(right->index(), 1);
            QVERIFY(near(left->strategy()->getBoundaryU(), 0.02 * 0.5)); // the last iteration was 6
            QVERIFY(near(right->strategy()->getBoundaryU(), 0.01 * 2.0));
        }
    }

    // The density of a fixed inlet oscillates additively with its group's
    // period and amplitude.
    void fixedDensityModulation()
    {
        Grid g;
        makeGrid(g, 4, 3);
        SimulationParameters *sp = g.getParameters();
        sp->setSourcePeriodValue(0, 4);
        sp->setSourceAmplitudeValue(0, 0.05);
        g.fillRegion("s", 0, 0, 1, 1, 0, 0);
        g.buildNeighbours();
        g.getStatistics().iterations = 1; // s = 1
        g.getCell(0, 1, 0)->update(sp->parameterBlock(), g.neighbourBlock(0, 1, 0), &g, Vector3i(0, 1, 0));
        QVERIFY(near(g.getCell(1, 1, 0)->getNextF(1, 0), Lattice::equilibrium(Vector3d(0.02, 0, 0), 1.05, 9, 1)));
    }

    // In a single-component run an inlet of group 1 feeds the fluid like any
    // other; only a second component takes group 1's populations.
    void fixedGroupOneFeedsTheFluid()
    {
        for (int components : {1, 2}) {
            Grid g;
            makeGrid(g, 4, 3);
            SimulationParameters *sp = g.getParameters();
            sp->setMulticomponentValues(components, 0.05, 0.0, 0.0, 1);
            auto *inlet = SourceCell::fixedFlux(0.02, 1.0);
            g.setCell(0, 1, 0, inlet, true, false);
            inlet->setIndex(1);
            QCOMPARE(static_cast<FixedBoundary *>(inlet->strategy())->getMultiComponentIndex(), 1);
            g.buildNeighbours();
            inlet->update(sp->parameterBlock(), g.neighbourBlock(0, 1, 0), &g, Vector3i(0, 1, 0));
            const double fed = g.getCell(1, 1, 0)->getNextF(1, 0);
            if (components == 1)
                QVERIFY(near(fed, Lattice::equilibrium(Vector3d(0.02, 0, 0), 1.0, 9, 1)));
            else
                QCOMPARE(fed, 0.0);
        }
    }

    void inletGrouping()
    {
        Grid g;
        makeGrid(g, 10, 10);
        SimulationParameters *sp = g.getParameters();
        sp->setSourceVelocityValue(0, 0.01);
        sp->setSourceVelocityValue(1, 0.02);
        sp->setSourceVelocityValue(2, 0.03);
        auto place = [&](int x, int y) {
            auto *inlet = new SourceCell(new EquilibriumBoundary);
            g.setCell(x, y, 0, inlet);
            return inlet;
        };
        SourceCell *a = place(0, 0);
        SourceCell *a2 = place(1, 1); // diagonal neighbour
        SourceCell *b = place(5, 5);
        SourceCell *c = place(9, 0);
        SourceCell *b2 = place(5, 4);
        QCOMPARE(a->index(), 0);
        QCOMPARE(a2->index(), 0);
        QCOMPARE(b->index(), 1);
        QCOMPARE(b2->index(), 1);
        QCOMPARE(c->index(), 2);
        QCOMPARE(b->getKind(), 8);
        QCOMPARE(a->getKind(), 3);
        QCOMPARE(a2->strategy()->getBoundaryU(), 0.01);
        QCOMPARE(b2->strategy()->getBoundaryU(), 0.02);
        QCOMPARE(c->strategy()->getBoundaryU(), 0.03);
        // A fourth separate group keeps the index it had.
        auto *d = new SourceCell(new EquilibriumBoundary);
        d->setIndex(1);
        g.setCell(0, 9, 0, d);
        QCOMPARE(d->index(), 1);
        QCOMPARE(d->strategy()->getBoundaryU(), 0.02);
        SourceCell *e = place(5, 9);
        QCOMPARE(e->index(), 0);
        QCOMPARE(e->strategy()->getBoundaryU(), 0.01);
        // A fixed inlet's component index follows its group.
        g.setCell(9, 1, 0, SourceCell::fixedFlux(0.5, 1.0));
        auto *fixedInlet = static_cast<SourceCell *>(g.getCell(9, 1, 0));
        QCOMPARE(fixedInlet->index(), 2);
        QCOMPARE(static_cast<FixedBoundary *>(fixedInlet->strategy())->getMultiComponentIndex(), 2);
        QCOMPARE(fixedInlet->strategy()->getBoundaryU(), 0.03);

        // The propagating setters reach only their group.
        sp->setSourceVelocity(1, 0.07);
        QCOMPARE(b->strategy()->getBoundaryU(), 0.07);
        QCOMPARE(d->strategy()->getBoundaryU(), 0.07);
        QCOMPARE(a->strategy()->getBoundaryU(), 0.01);
        QCOMPARE(sp->sourceVelocity(1), 0.07);
        sp->setSourcePressure(0, 1.1);
        QCOMPARE(a->strategy()->getBoundaryP(), 1.1);
        QCOMPARE(b->strategy()->getBoundaryP(), -1.0);
        QCOMPARE(sp->getSourcePressure(0), 1.1);
    }

    void strategyReplacement()
    {
        Grid g;
        makeGrid(g, 6, 6);
        SimulationParameters *sp = g.getParameters();
        sp->setSourcePressureValue(0, 1.01);
        sp->setSourcePressureValue(1, 1.02);
        sp->setMinP0(0.99);
        sp->setSourceVelocityValue(0, 0.03);
        sp->setSourceVelocityValue(1, 0.04);
        g.fillRegion("s", 0, 0, 0, 1, 0, 0);
        g.fillRegion("s", 5, 5, 4, 5, 0, 0);
        g.fillRegion("o", 3, 3, 3, 3, 0, 0);
        auto *a = static_cast<SourceCell *>(g.getCell(0, 0, 0));
        auto *b = static_cast<SourceCell *>(g.getCell(5, 5, 0));
        auto *out = static_cast<OpenCell *>(g.getCell(3, 3, 0));
        QCOMPARE(b->index(), 1);

        sp->setSourceStrategy(1);
        QCOMPARE(sp->getSourceStrategy(), 1);
        QVERIFY(dynamic_cast<EquilibriumBoundary *>(a->strategy()));
        QCOMPARE(a->strategy()->getBoundaryU(), 0.03);
        QCOMPARE(b->strategy()->getBoundaryU(), 0.04);

        sp->setSourceStrategy(2);
        auto *fixedB = dynamic_cast<FixedBoundary *>(b->strategy());
        QVERIFY(fixedB);
        QCOMPARE(fixedB->getBoundaryP(), 1.02);
        QCOMPARE(fixedB->getBoundaryU(), 0.04);
        QCOMPARE(fixedB->getMultiComponentIndex(), 1);
        QCOMPARE(a->strategy()->getBoundaryP(), 1.01);

        sp->setSourceStrategy(3);
        QVERIFY(dynamic_cast<ZouHeBoundary *>(a->strategy()));
        QCOMPARE(a->strategy()->getBoundaryU(), 0.03);
        QCOMPARE(a->strategy()->getBoundaryP(), -1.0);

        Boundary *kept = a->strategy();
        sp->setSourceStrategy(0);
        QCOMPARE(sp->getSourceStrategy(), 0);
        QCOMPARE(a->strategy(), kept);

        QVERIFY(dynamic_cast<ExtrapolationBoundary *>(out->strategy()));
        sp->setOpenStrategy(1);
        QVERIFY(dynamic_cast<EquilibriumBoundary *>(out->strategy()));
        QCOMPARE(out->strategy()->getBoundaryP(), 0.99);
        sp->setOpenStrategy(3);
        QVERIFY(dynamic_cast<ZouHeBoundary *>(out->strategy()));
        QCOMPARE(out->strategy()->getBoundaryP(), 0.99);
        sp->setOpenStrategy(2);
        QVERIFY(dynamic_cast<ExtrapolationBoundary *>(out->strategy()));
        kept = out->strategy();
        sp->setOpenStrategy(-1);
        QCOMPARE(sp->getOpenStrategy(), -1);
        QCOMPARE(out->strategy(), kept);
    }

    // Refining keeps inlets and outlets with copies of their strategies.
    void refineKeepsBoundaries()
    {
        Grid g;
        makeGrid(g, 4, 3);
        g.fillRegion("s", 0, 0, 0, 2, 0, 0);
        g.fillRegion("o", 3, 3, 0, 2, 0, 0);
        static_cast<SourceCell *>(g.getCell(0, 0, 0))->strategy()->setBoundaryP(1.04);
        g.refine(2);
        for (int y = 0; y < 6; ++y) {
            auto *inlet = dynamic_cast<SourceCell *>(g.getCell(1, y, 0));
            QVERIFY(inlet && inlet->strategy());
            QCOMPARE(inlet->strategy()->getBoundaryP(), y < 2 ? 1.04 : 1.0);
            auto *outlet = dynamic_cast<OpenCell *>(g.getCell(6, y, 0));
            QVERIFY(outlet && dynamic_cast<ExtrapolationBoundary *>(outlet->strategy()));
        }
        QVERIFY(g.getCell(2, 3, 0)->isFluid());
    }
};

QTEST_GUILESS_MAIN(TestBoundaryStrategies)
#include "tst_boundarystrategies.moc"
