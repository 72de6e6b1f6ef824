#include "gridtest_helper.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/deposition/depositioncell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/passivescalar.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/multi/mccell.h"
#include "model/latticeboltzmann/multi/rkcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/porous/shallowcell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/latticeboltzmann/tracers/scalartracersettings.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QXmlStreamWriter>
#include <QtTest>

#include <cmath>
#include <cstring>

using namespace GridTest;

namespace {

// A periodic box of shallow-water, heat, two-component, deposition or
// colour-wrapped fluid cells in a non-uniform state; the deposition cells
// settle on a deposition wall, the two components adhere to a plain wall, a
// source of the colour sits among the fluid.
void build(Grid &grid, const QString &kind, int q, int length)
{
    prepare(grid, q, 12, 10, length, 0.8, true);
    SimulationParameters *p = grid.getParameters();
    if (kind == "deposition") {
        p->setDepositionRate(0.2);
        p->setMulticomponent(2, 0.0, 0.0, 0.0, 5);
        grid.fillRegion("e", 8, 10, 7, 7, 0, 0);
        grid.forEachCell([&](BaseCell *c, int x, int y, int) {
            if (c->isFluid())
                c->reset(0.0, 0.5 + 0.3 * std::cos(0.7 * x + y));
        });
        return;
    }
    if (kind == "shallow") {
        p->setShallowG(0.5);
        p->setShallowNB(0.1);
        grid.fillRegion("h", 0, 11, 0, 9, 0, 0);
    } else if (kind == "mixture" || kind == "gradient") {
        p->setEpsilon(1, 0.9);
        p->setRkAmplitude(0.01);
        p->setRkBeta(0.7);
        p->setMulticomponent(2, 0.6, 0.05, -0.03, kind == "gradient" ? 2 : 1);
        grid.fillRegion("w", 8, 10, 7, 7, 0, length - 1);
    } else if (kind == "colour") {
        ScalarTracerSettings *tracers = grid.getScalarTracers();
        tracers->setEpsilon(0.9);
        // A box as id, x, y and z ranges.
        tracers->addSource(ScalarSource{1, 9, 9, 7, 8, 0, 0}, 1);
    } else {
        p->setEpsilon(1, 0.9);
        p->setPassiveScalarGravity(2e-3);
        p->setMulticomponent(2, 0.0, 0.0, 0.0, 4);
    }
    grid.forEachCell([&](BaseCell *c, int x, int y, int z) {
        double values[2 * Lattice::MaxQ];
        const Vector3d u(0.03 * std::sin(0.5 * y), 0.02 * std::cos(0.4 * x), length > 1 ? 0.01 * std::sin(z) : 0.0);
        const double rho = 1.0 + 0.05 * std::sin(0.3 * (x + y + z));
        if (!c->isFluid())
            return;
        if (kind == "shallow") {
            ShallowCell::equilibrium(rho, u, 0.5, values);
        } else {
            for (int i = 0; i < q; ++i) {
                values[i] = Lattice::equilibrium(u, rho, q, i);
                values[q + i] = Lattice::weight(q, i) * (0.5 + 0.3 * std::cos(0.7 * x + y));
            }
        }
        c->setF(values);
    });
}

// Everything the cell answers, and its saved element, as bytes.
QByteArray answers(BaseCell *c, int q)
{
    QByteArray out;
    auto add = [&](double v) { out.append(reinterpret_cast<const char *>(&v), sizeof v); };
    for (int component : {0, 1, 10})
        for (int i = 0; i < q; ++i) {
            add(c->getF(i, component));
            add(c->getNextF(i, component));
        }
    add(c->getP(10));
    for (int component = -1; component < 2; ++component) {
        add(c->getP(component));
        const Vector3d v = c->getVelocity(component), u = c->getLatticeVelocity(component);
        for (double d : {v.x, v.y, v.z, u.x, u.y, u.z})
            add(d);
    }
    add(c->getDeltaP());
    // A mixture's last collision: each component's shift and force.
    if (auto *mixture = dynamic_cast<MCCell *>(c))
        for (int j = 0; j < mixture->componentCount(); ++j) {
            const Vector3d shift = mixture->lastShift(j), force = mixture->lastForce(j);
            for (double d : {shift.x, shift.y, shift.z, force.x, force.y, force.z})
                add(d);
        }
    QByteArray element;
    QXmlStreamWriter writer(&element);
    writer.writeStartElement("cell");
    c->passivate(writer);
    writer.writeEndElement();
    return out + element;
}

} // namespace

class TestAttachedCells : public QObject
{
    Q_OBJECT

private slots:
    void cellsLeaveAndRejoinThePopulations_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("q");
        QTest::addColumn<int>("length");
        QTest::newRow("shallow water") << "shallow" << 9 << 1;
        QTest::newRow("heat D2Q9") << "heat" << 9 << 1;
        QTest::newRow("heat D3Q19") << "heat" << 19 << 4;
        QTest::newRow("deposition") << "deposition" << 9 << 1;
        QTest::newRow("two components D2Q9") << "mixture" << 9 << 1;
        QTest::newRow("two components D3Q19") << "mixture" << 19 << 4;
        QTest::newRow("colour gradient D2Q9") << "gradient" << 9 << 1;
        QTest::newRow("colour gradient D3Q19") << "gradient" << 19 << 4;
        QTest::newRow("colour D2Q9") << "colour" << 9 << 1;
        QTest::newRow("colour D3Q19") << "colour" << 19 << 4;
    }

    // A cell that leaves the grid's arrays (replaced without being deleted)
    // takes its state along and answers exactly as before; put back, the
    // run goes on bitwise as one that never moved it. A mixture leaves the
    // component field its neighbours read instead.
    void cellsLeaveAndRejoinThePopulations()
    {
        QFETCH(QString, kind);
        QFETCH(int, q);
        QFETCH(int, length);
        Grid moved, reference;
        build(moved, kind, q, length);
        build(reference, kind, q, length);
        // Mixtures and colour-gradient cells are compared with the per-site
        // path, which asks the neighbour cells themselves.
        const bool pair = kind == "mixture" || kind == "gradient";
        reference.setFastPath(!pair);
        moved.step(8);
        reference.step(8);
        const int s = moved.siteIndex(4, 3, 0);
        // A mixture's interaction reads the component field and it collides
        // in the mixtures' line kernel.
        auto fast = [&](int site) {
            return kind == "mixture"    ? moved.componentFieldSite(site) && moved.mixtureKernelSite(site)
                   : kind == "gradient" ? moved.colourGradientKernelSite(site)
                                        : moved.kernelSite(site);
        };
        QVERIFY(fast(s));
        BaseCell *cell = moved.getCell(4, 3, 0);
        const QByteArray before = answers(cell, q);
        QCOMPARE(answers(reference.getCell(4, 3, 0), q), before);
        moved.setCell(4, 3, 0, new WallCell, false, false);
        QCOMPARE(answers(cell, q), before);
        if (kind == "mixture")
            QVERIFY(!static_cast<MCCell *>(cell)->component(0)->isAttached() &&
                    !static_cast<MCCell *>(cell)->component(1)->isAttached());
        if (kind == "gradient")
            QVERIFY(!static_cast<RKCell *>(cell)->isAttached());
        moved.setCell(4, 3, 0, cell, true, false);
        QCOMPARE(answers(cell, q), before);
        if (pair) {
            // A neighbour edited between steps: its new densities reach the
            // interaction of the mixtures, or the colour gradient of the
            // colour cells, around it.
            moved.getCell(5, 3, 0)->reset(0.8, 0.3);
            reference.getCell(5, 3, 0)->reset(0.8, 0.3);
        }
        if (kind == "mixture") {
            // New relaxation times before and after a step: a mixture given
            // new values forms its common velocity with the relaxation times
            // of its last collision, attached to the grid's arrays as on its
            // own (the reference's, taken out of its grid meanwhile).
            for (double tau : {0.95, 0.85}) {
                moved.getParameters()->setEpsilon(0, tau);
                reference.getParameters()->setEpsilon(0, tau);
                if (tau == 0.95) {
                    moved.step(1);
                    reference.step(1);
                }
            }
            BaseCell *in = moved.getCell(6, 4, 0), *out = reference.getCell(6, 4, 0);
            reference.setCell(6, 4, 0, new WallCell, false, false);
            for (BaseCell *c : {in, out}) {
                double values[2 * Lattice::MaxQ];
                for (int j = 0; j < 2; ++j)
                    for (int i = 0; i < q; ++i)
                        values[j * q + i] = c->getF(i, j) * (1.0 + 0.01 * i);
                c->setF(values);
            }
            QCOMPARE(answers(in, q), answers(out, q));
            reference.setCell(6, 4, 0, out, true, false);
        }
        moved.step(3);
        reference.step(3);
        QVERIFY(fast(s));
        const std::vector<double> a = snapshot(moved), b = snapshot(reference);
        QVERIFY(a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
        const double d[2] = {moved.getStatistics().deltaP, reference.getStatistics().deltaP};
        QCOMPARE(std::memcmp(&d[0], &d[1], sizeof(double)), 0);
        moved.forEachCell([&](BaseCell *c, int x, int y, int z) {
            QCOMPARE(answers(c, q), answers(reference.getCell(x, y, z), q));
        });
        if (kind == "deposition") {
            // The deposit grew and reflects, so the comparison covers it.
            QVERIFY(moved.getCell(9, 6, 0)->getP(0) > 0.0);
        }
        if (kind == "colour") {
            // A site made a source between steps leaves the kernels (its
            // emission is the cell's own stepping).
            static_cast<PassiveScalarCell *>(cell)->setSource(0.7, 0);
            moved.step(1);
            QVERIFY(!moved.kernelSite(s));
        }
    }
};

QTEST_GUILESS_MAIN(TestAttachedCells)
#include "tst_attachedcells.moc"
