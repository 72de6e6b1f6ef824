// Plane Poiseuille flow between two walls, driven by a velocity inlet and held
// by a density outlet: the settled profile must be the parabola and the mass
// flux must be the same along the channel.

#include "../gridtest_helper.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QElapsedTimer>
#include <QtTest>

#include <cmath>

namespace {

constexpr int Width = 200, Height = 41;
constexpr double Speed = 0.02;

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer build checks the same code paths for memory faults; settling
// the channel there would take minutes, so it runs a short start only.
constexpr bool Settle = false;
#else
constexpr bool Settle = true;
#endif
// From rest, the slowest transient (the channel's acoustic mode) has decayed
// well below the flux tolerance after this many iterations.
constexpr int SettleIterations = 12000;
constexpr int ShortIterations = 600;

struct ChannelFigures
{
    double profileError = 0.0; // relative L2 against the parabola of the same flux
    double flux20 = 0.0;
    double flux180 = 0.0;
    double meanSpeed150 = 0.0;
};

double massFlux(Grid &g, int x)
{
    double sum = 0.0;
    for (int y = 1; y < Height - 1; ++y) {
        BaseCell *c = g.getCell(x, y, 0);
        sum += c->getP(0) * c->getVelocity(0).x;
    }
    return sum;
}

ChannelFigures measure(Grid &g)
{
    ChannelFigures r;
    // Half-way bounce-back puts the walls half a site into the wall rows.
    const double lower = 0.5, upper = Height - 1.5;
    double flow = 0.0, shape = 0.0;
    for (int y = 1; y < Height - 1; ++y) {
        flow += g.getCell(150, y, 0)->getVelocity(0).x;
        shape += (y - lower) * (upper - y);
    }
    double error = 0.0, norm = 0.0;
    for (int y = 1; y < Height - 1; ++y) {
        const double parabola = flow / shape * (y - lower) * (upper - y);
        const double d = g.getCell(150, y, 0)->getVelocity(0).x - parabola;
        error += d * d;
        norm += parabola * parabola;
    }
    r.profileError = std::sqrt(error / norm);
    r.flux20 = massFlux(g, 20);
    r.flux180 = massFlux(g, 180);
    r.meanSpeed150 = flow / (Height - 2);
    return r;
}

} // namespace

class TestPoiseuille : public QObject
{
    Q_OBJECT

private slots:
    void channel_data()
    {
        QTest::addColumn<int>("strategy");
        QTest::newRow("equilibrium") << 1;
        QTest::newRow("zou-he") << 3;
    }

    // D2Q9, 200 x 41 sites, walls along the top and bottom rows, an inlet
    // column on the left and an outlet column on the right, tau 0.8, inlet
    // speed 0.02, the fluid at rest at density 1 to begin with.
    void channel()
    {
        QFETCH(int, strategy);
        Grid g;
        SimulationParameters *sp = g.getParameters();
        sp->setModel(9);
        sp->setEpsilon(0, 0.8);
        sp->setPeriodicBoundaries(false);
        g.resize(Width, Height, 1);
        g.fillRegion("w", 0, Width - 1, 0, 0, 0, 0);
        g.fillRegion("w", 0, Width - 1, Height - 1, Height - 1, 0, 0);
        g.fillRegion("s", 0, 0, 1, Height - 2, 0, 0);
        g.fillRegion("o", Width - 1, Width - 1, 1, Height - 2, 0, 0);
        sp->setSourceVelocity(0, Speed);
        // The parameters dialog applies one choice to inlets and outlets alike.
        sp->setSourceStrategy(strategy);
        sp->setOpenStrategy(strategy);
        g.resetAll();

        QElapsedTimer timer;
        timer.start();
        const int iterations = Settle ? SettleIterations : ShortIterations;
        QVERIFY(GridTest::stepFinite(g, iterations));
        const qint64 ms = timer.elapsed();
        const ChannelFigures r = measure(g);
        const double balance = std::abs(r.flux20 - r.flux180) / r.flux20;
        qInfo("%s after %d iterations (%lld ms): profile error %.3g %%, mass flux x=20 %.6f, x=180 %.6f, "
              "difference %.3g %%, mean speed at x=150 %.6f",
              QTest::currentDataTag(), iterations, ms, 100.0 * r.profileError, r.flux20, r.flux180, 100.0 * balance,
              r.meanSpeed150);

        QVERIFY(std::isfinite(r.profileError) && std::isfinite(r.flux20) && std::isfinite(r.flux180));
        QVERIFY(r.flux20 > 0.0 && r.flux180 > 0.0);
        if (!Settle)
            return;
        QVERIFY2(r.profileError < 0.02, qPrintable(QString::number(r.profileError)));
        QVERIFY2(balance < 0.01, qPrintable(QString::number(balance)));
        // The flow carries what the inlet prescribes.
        QVERIFY2(std::abs(r.meanSpeed150 - Speed) < 0.02 * Speed, qPrintable(QString::number(r.meanSpeed150)));
    }
};

QTEST_GUILESS_MAIN(TestPoiseuille)
#include "tst_poiseuille.moc"
