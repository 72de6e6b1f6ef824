#include "model/latticeboltzmann/boundary/inletformula.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/grid.h"
#include "persistence/simulationparameters.h"

#include <QtConcurrent>
#include <QtTest>

namespace {

double evaluateAt(const int &iteration)
{
    return InletFormula::evaluateFresh(QStringLiteral("it() * 3 + 1"), iteration);
}

} // namespace

class TestInletFormula : public QObject
{
    Q_OBJECT

private slots:
    // A formula that never returns is stopped at the time limit, serial or
    // parallel: the run goes on with the inlet speed at 0, the message says
    // why, the window's events wait until the step is over, and the next
    // formula runs normally.
    void runawayFormulaIsStopped_data()
    {
        QTest::addColumn<bool>("multicore");
        QTest::addColumn<QString>("formula");
        QTest::newRow("serial") << false << "while (true) {}";
        QTest::newRow("parallel") << true << "var k = 0; for (;;) { k = k + 1; }";
    }

    void runawayFormulaIsStopped()
    {
        QFETCH(bool, multicore);
        QFETCH(QString, formula);
        InletFormula::setTimeLimit(200);
        Grid g;
        SimulationParameters *sp = g.getParameters();
        sp->setModel(9);
        sp->setMulticore(multicore);
        g.resize(6, 8, 1);
        g.fillRegion("s", 0, 0, 0, 7, 0, 0);
        sp->setSourceVelocity(0, 0.02);
        sp->setInletFormula(0, formula);
        InletFormula::takeMessage();

        bool delivered = false;
        QTimer::singleShot(0, this, [&] { delivered = true; });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(g.step(3), 3);
        QVERIFY2(clock.elapsed() < 20000, "the formula was not stopped");
        QVERIFY(!delivered);
        QVERIFY(InletFormula::takeMessage().contains(QLatin1String("stopped after 200 ms")));
        for (int y = 0; y < 8; ++y)
            QCOMPARE(static_cast<SourceCell *>(g.getCell(0, y, 0))->strategy()->getBoundaryU(), 0.0);
        // Once stopped the formula is not run again.
        QCOMPARE(InletFormula::evaluate(formula, 9), 0.0);
        QVERIFY(InletFormula::takeMessage().isEmpty());
        QCoreApplication::processEvents();
        QVERIFY(delivered);

        sp->setInletFormula(0, "it() / 4");
        QCOMPARE(g.step(1), 1);
        QCOMPARE(static_cast<SourceCell *>(g.getCell(0, 3, 0))->strategy()->getBoundaryU(), 0.02 * 0.75);
    }

    // Worker threads evaluating at once all get their own values back.
    void concurrentEvaluations()
    {
        InletFormula::setTimeLimit(5000);
        QList<int> iterations;
        for (int i = 0; i < 64; ++i)
            iterations << i;
        const QList<double> values = QtConcurrent::blockingMapped(iterations, evaluateAt);
        for (int i = 0; i < 64; ++i)
            QCOMPARE(values[i], 3.0 * i + 1);
    }
};

QTEST_GUILESS_MAIN(TestInletFormula)
#include "tst_inletformula.moc"
