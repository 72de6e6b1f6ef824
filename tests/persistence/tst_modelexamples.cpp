// The example state documents of other physical models load with their
// settings and show what their description promises.

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/statedocument.h"

#include <QtTest>

#include <cmath>

namespace {

QString example(const QString &name)
{
    const QString root = qEnvironmentVariable("ONDIX_SOURCE_DIR");
    if (!root.isEmpty())
        return root + "/examples/" + name;
    return QFINDTESTDATA("../../examples/" + name);
}

bool load(Grid &g, const QString &name)
{
    QString error;
    StateDocument document(g);
    const bool ok = document.load(example(name), StateDocument::Options(), &error);
    if (!ok)
        qWarning("%s", qPrintable(error));
    return ok;
}

// The sum of component m's density over the fluid.
double mass(const Grid &g, int m)
{
    double sum = 0.0;
    g.forEachCell([&](BaseCell *c, int, int, int) {
        if (c->isFluid())
            sum += c->getP(m);
    });
    return sum;
}

} // namespace

class TestModelExamples : public QObject
{
    Q_OBJECT

private slots:
    // The liquid droplet stays a droplet: its centre and the far vapour sit
    // at the coexisting densities (88.7 and 528.5 by the mechanical-stability
    // construction, within what tau shifts them), and the mass is kept.
    void droplet()
    {
        Grid g;
        QVERIFY(load(g, "droplet-multiphase.lb2"));
        QCOMPARE(g.getWidth(), 100);
        QCOMPARE(g.getParameters()->getMpG(), -120.0);
        const double before = mass(g, -1);
        QCOMPARE(g.step(1000), 1000);
        const double liquid = g.getCell(50, 50, 0)->getP(-1), vapour = g.getCell(0, 0, 0)->getP(-1);
        QVERIFY2(std::abs(liquid / 528.5 - 1) < 0.03 && std::abs(vapour / 88.7 - 1) < 0.06,
                 qPrintable(QString("liquid %1, vapour %2").arg(liquid).arg(vapour)));
        QVERIFY(std::abs(mass(g, -1) / before - 1) < 1e-12);
    }

    // The square of the first component pulls itself round: along the
    // diagonal its corner (at 28 sites from the centre) is gone, while along
    // the axes it reaches past the square's half-width of 20, to about the
    // radius of a disc of the same area (22.6).
    void twoComponentsRoundUp()
    {
        Grid g;
        QVERIFY(load(g, "two-components.lb2"));
        QCOMPARE(g.getParameters()->getMcQuantity(), 2);
        const double before = mass(g, 0);
        auto first = [&g](int dx, int dy) { return g.getCell(50 + dx, 50 + dy, 0)->getP(0); };
        QVERIFY(first(18, 18) > 1.5 && first(21, 0) < 0.5);
        QCOMPARE(g.step(500), 500);
        QVERIFY2(first(18, 18) < 0.5 && first(21, 0) > 1.0 && first(0, -21) > 1.0,
                 qPrintable(QString("diagonal %1, axes %2 %3").arg(first(18, 18)).arg(first(21, 0)).arg(first(0, -21))));
        QVERIFY(std::abs(mass(g, 0) / before - 1) < 1e-12);
    }

    // Between the hot floor and the cold lid the fluid turns over in rolls:
    // the heat carried across the mid-plane exceeds conduction alone by a
    // Nusselt number near the 2.66 of steady rolls of this width at Ra = 10^4
    // (Clever and Busse).
    void heatedBoxConvects()
    {
        Grid g;
        QVERIFY(load(g, "heated-box.lb2"));
        const int h = g.getHeight() - 2, n = g.getWidth();
        const double kappa = (g.getParameters()->getEpsilon(1) - 0.5) / 3.0;
        // The rolls have settled within a few per cent after 6000 iterations.
        QCOMPARE(g.step(8000), 8000);
        double flux = 0.0;
        for (int x = 0; x < n; ++x)
            for (int y = 1; y <= h; ++y) {
                BaseCell *c = g.getCell(x, y, 0);
                flux += c->getVelocity(0).y * c->getP(1);
            }
        const double nusselt = 1.0 + flux / (n * h) * h / kappa;
        QVERIFY2(std::abs(nusselt / 2.66 - 1) < 0.04, qPrintable(QString("Nu %1").arg(nusselt)));
    }
};

QTEST_GUILESS_MAIN(TestModelExamples)
#include "tst_modelexamples.moc"
