#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QtTest>

#include <cmath>

class TestLattice : public QObject
{
    Q_OBJECT

private slots:
    void identities_data()
    {
        QTest::addColumn<int>("q");
        QTest::newRow("D2Q9") << 9;
        QTest::newRow("D3Q15") << 15;
        QTest::newRow("D3Q19") << 19;
        QTest::newRow("D3Q27") << 27;
    }

    // Isotropy up to second order and the opposite table, for every model.
    void identities()
    {
        QFETCH(int, q);
        const int axes = q == 9 ? 2 : 3;
        double sum = 0.0;
        double first[3] = {0, 0, 0};
        double second[3][3] = {};
        for (int i = 0; i < q; ++i) {
            QVERIFY(Lattice::isActive(q, i));
            const double w = Lattice::weight(q, i);
            const Vector3i e = Lattice::direction(q, i);
            const int c[3] = {e.x, e.y, e.z};
            sum += w;
            for (int a = 0; a < 3; ++a) {
                first[a] += w * c[a];
                for (int b = 0; b < 3; ++b)
                    second[a][b] += w * c[a] * c[b];
            }
            const Vector3i o = Lattice::direction(q, Lattice::opposite(q, i));
            QCOMPARE(o, Vector3i(-e.x, -e.y, -e.z));
            if (q == 9)
                QCOMPARE(e.z, 0);
        }
        QVERIFY(std::abs(sum - 1.0) < 1e-15);
        for (int a = 0; a < 3; ++a)
            QVERIFY(std::abs(first[a]) < 1e-15);
        for (int a = 0; a < axes; ++a)
            for (int b = 0; b < axes; ++b)
                QVERIFY2(std::abs(second[a][b] - (a == b ? 1.0 / 3.0 : 0.0)) < 1e-15,
                         qPrintable(QString("axes %1 %2").arg(a).arg(b)));
        // Rows have room for 27 entries; those beyond Q are inactive.
        for (int i = q; i < Lattice::MaxQ; ++i)
            QVERIFY(!Lattice::isActive(q, i));
        QCOMPARE(Lattice::equilibrium(Vector3d(0.1, 0, 0), 1.0, q, Lattice::MaxQ - 1),
                 q == 27 ? Lattice::equilibrium(Vector3d(0.1, 0, 0), 1.0, q, 26) : 0.0);
    }

    void tableSpotChecks()
    {
        // A few entries straight from the model definitions.
        QCOMPARE(Lattice::direction(9, 2), Vector3i(1, 1, 0));
        QCOMPARE(Lattice::opposite(9, 2), 6);
        QCOMPARE(Lattice::weight(9, 0), 4.0 / 9.0);
        QCOMPARE(Lattice::direction(15, 5), Vector3i(0, 0, -1));
        QCOMPARE(Lattice::opposite(15, 6), 13);
        QCOMPARE(Lattice::weight(15, 6), 1.0 / 72.0);
        QCOMPARE(Lattice::opposite(19, 10), 17);
        QCOMPARE(Lattice::weight(19, 0), 1.0 / 3.0);
        QCOMPARE(Lattice::direction(27, 17), Vector3i(1, -1, -1));
        QCOMPARE(Lattice::opposite(27, 17), 22);
        QCOMPARE(Lattice::weight(27, 20), 1.0 / 216.0);
        QCOMPARE(Lattice::weight(10, 0), 0.0);
    }

    void momentsOfZeroDistribution()
    {
        const double f[Lattice::MaxQ] = {};
        double rho = -1.0;
        Vector3d u(5, 5, 5);
        Lattice::moments(f, 19, rho, u);
        QCOMPARE(rho, 0.0);
        QCOMPARE(u, Vector3d(0, 0, 0));
    }

    void equilibriumAndMoments_data() { identities_data(); }
    void equilibriumAndMoments()
    {
        QFETCH(int, q);
        double f[Lattice::MaxQ];
        Lattice::equilibriumArray(Vector3d(), 1.3, q, f);
        for (int i = 0; i < q; ++i)
            QCOMPARE(f[i], Lattice::weight(q, i) * 1.3);
        const Vector3d u(0.05, -0.03, q == 9 ? 0.0 : 0.02);
        Lattice::equilibriumArray(u, 1.0, q, f);
        double rho;
        Vector3d back;
        Lattice::moments(f, q, rho, back);
        QVERIFY(std::abs(rho - 1.0) < 1e-14);
        QVERIFY((back - u).length() < 1e-14);
        // The first-order equilibrium has the same first two moments.
        double g[Lattice::MaxQ];
        for (int i = 0; i < q; ++i)
            g[i] = Lattice::equilibriumFirstOrder(u, 1.0, q, i);
        Lattice::moments(g, q, rho, back);
        QVERIFY(std::abs(rho - 1.0) < 1e-14);
        QVERIFY((back - u).length() < 1e-14);
    }

    void modelSelection()
    {
        QCOMPARE(Lattice::modelFromName("D2Q9"), 9);
        QCOMPARE(Lattice::modelFromName("D3Q15"), 15);
        QCOMPARE(Lattice::modelFromName("D3Q19"), 19);
        QCOMPARE(Lattice::modelFromName("D3Q27"), 27);
        QCOMPARE(Lattice::modelFromName("d3q19"), 9);
        QCOMPARE(Lattice::modelFromName(""), 9);
        QCOMPARE(QString(Lattice::modelName(Lattice::modelFromName("D3Q27"))), QString("D3Q27"));
    }

    void eachGridBuildsForItsOwnModel()
    {
        // A grid made later does not change the model an earlier one builds for.
        Grid grid;
        grid.getParameters()->setModel(19);
        Grid other;
        grid.resize(3, 3, 3);
        other.resize(3, 3, 1);
        QCOMPARE(grid.getCell(1, 1, 1)->modelQ(), 19);
        QCOMPARE(other.getCell(1, 1, 0)->modelQ(), 9);
        QVERIFY(grid.cellsMatchModel() && other.cellsMatchModel());
    }

    void wrapAndTranslate()
    {
        QCOMPARE(Vector3i(-1, 7, 0).wrapped(5, 7, 1), Vector3i(4, 0, 0));
        // One period only: two cells out is clamped to the far side, not folded.
        QCOMPARE(Vector3i(-2, 8, 3).wrapped(5, 7, 4), Vector3i(4, 0, 3));
        QCOMPARE(Vector3i(2, 3, 0).wrapped(5, 7, 1), Vector3i(2, 3, 0));
        Vector3i p(4, 0, 0);
        p.translate(3, -2, 0, true, 5, 7, 1);
        QCOMPARE(p, Vector3i(2, 5, 0));
        Vector3i r(1, 1, 1);
        r.translate(-3, 0, 2);
        QCOMPARE(r, Vector3i(-2, 1, 3));
    }

    void vectorOperations()
    {
        const Vector3i a(1, -2, 3);
        QVERIFY(a.isAdjacent(Vector3i(2, -1, 2)));
        QVERIFY(!a.isAdjacent(Vector3i(3, -2, 3)));
        QVERIFY(a.isInside(2, 1, 4) == false);
        QVERIFY(Vector3i(1, 0, 3).isInside(2, 1, 4));
        QCOMPARE(a.dot(Vector3d(0.5, 1, 2)), 0.5 - 2 + 6);
        QCOMPARE(a * 0.5, Vector3d(0.5, -1, 1.5));
        QCOMPARE(Vector3i(3, 4, 0).length(), 5.0);
        const Vector3d x(1, 0, 0), y(0, 1, 0);
        QCOMPARE(x.cross(y), Vector3d(0, 0, 1));
        QCOMPARE(Vector3d(0, 3, 4).normalized(), Vector3d(0, 0.6, 0.8));
        QCOMPARE(Vector3d().normalized(), Vector3d());
        QCOMPARE(Vector3d(1, 2, 3).distanceSquared(1, 0, 0), 13.0);
        const Vector3d r = Vector3d(2, 1, 5).rotatedXY(1, 1, M_PI / 2);
        QVERIFY((r - Vector3d(1, 2, 0)).length() < 1e-12);
    }
};

QTEST_GUILESS_MAIN(TestLattice)
#include "tst_lattice.moc"
