#include "model/latticeboltzmann/boundary/inletformula.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QtConcurrent>
#include <QtTest>

#include <cstring>

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
        QTest::addColumn<bool>("separate");
        QTest::addColumn<bool>("multicore");
        QTest::addColumn<QString>("formula");
        QTest::newRow("serial") << false << false << "while (true) {}";
        QTest::newRow("parallel") << false << true << "var k = 0; for (;;) { k = k + 1; }";
        QTest::newRow("serial, own process") << true << false << "while (true) {}";
        QTest::newRow("parallel, own process") << true << true << "var k = 0; for (;;) { k = k + 1; }";
        QTest::newRow("built-in call, own process") << true << true << "new Array(300000000).join('ab').length";
    }

    void runawayFormulaIsStopped()
    {
        QFETCH(bool, separate);
        QFETCH(bool, multicore);
        QFETCH(QString, formula);
        InletFormula::setEvaluatorProgram(separate ? QCoreApplication::applicationFilePath() : QString());
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
        QVERIFY2(clock.elapsed() < (separate ? 3000 : 20000), "the formula was not stopped");
        QVERIFY(!delivered);
        // A simulation with other formulas does not take the message.
        QVERIFY(InletFormula::takeMessage(QStringList{QStringLiteral("it() / 4")}).isEmpty());
        QVERIFY(InletFormula::takeMessage(QStringList{formula}).contains(QLatin1String("stopped after 200 ms")));
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

    // Worker threads evaluating at once all get their own values back, in
    // this process and in the evaluating one.
    void concurrentEvaluations_data()
    {
        QTest::addColumn<bool>("separate");
        QTest::newRow("this process") << false;
        QTest::newRow("own process") << true;
    }

    void concurrentEvaluations()
    {
        QFETCH(bool, separate);
        InletFormula::setEvaluatorProgram(separate ? QCoreApplication::applicationFilePath() : QString());
        InletFormula::setTimeLimit(5000);
        QList<int> iterations;
        for (int i = 0; i < 64; ++i)
            iterations << i;
        const QList<double> values = QtConcurrent::blockingMapped(iterations, evaluateAt);
        for (int i = 0; i < 64; ++i)
            QCOMPARE(values[i], 3.0 * i + 1);
    }

    // The evaluating process gives the values of this process to the bit,
    // including the ones that count as 0.
    void sameValuesInBothProcesses()
    {
        InletFormula::setTimeLimit(5000);
        const QStringList formulas{"Math.sin(it() / 7) * 0.3 + 1 / 3",
                                   "Math.exp(-it() / 1e3) / 3e-7",
                                   "'2.5e-3'",
                                   "it() > 3",
                                   "it( +",
                                   "0 / 0",
                                   "1 / 0"};
        for (const QString &formula : formulas)
            for (int iteration : {0, 5, 123456}) {
                InletFormula::setEvaluatorProgram(QString());
                const double here = InletFormula::evaluateFresh(formula, iteration);
                InletFormula::setEvaluatorProgram(QCoreApplication::applicationFilePath());
                const double there = InletFormula::evaluateFresh(formula, iteration);
                QVERIFY2(std::memcmp(&here, &there, sizeof here) == 0,
                         qPrintable(QStringLiteral("%1 at %2: %3 against %4")
                                        .arg(formula)
                                        .arg(iteration)
                                        .arg(here, 0, 'g', 17)
                                        .arg(there, 0, 'g', 17)));
            }
    }

    // A formula that takes memory without bound ends only its process: the
    // value is 0, the message says why, and the next formula gets a new
    // process.
    void memoryHogEndsOnlyItsProcess()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the address sanitizer cannot report a crash once the address space is used up");
#endif
        InletFormula::setEvaluatorProgram(QString());
        InletFormula::setMemoryLimit(qint64(64) << 20);
        InletFormula::setEvaluatorProgram(QCoreApplication::applicationFilePath());
        InletFormula::setTimeLimit(20000);
        InletFormula::takeMessage();
        QElapsedTimer clock;
        clock.start();
        const QString hog = "var a = []; for (;;) a.push('abcdefgh' + a.length);";
        QCOMPARE(InletFormula::evaluate(hog, 1), 0.0);
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
        const QString message = InletFormula::takeMessage();
        QVERIFY2(message.contains(QLatin1String("more than 64 MB")), qPrintable(message));
        QCOMPARE(InletFormula::evaluate("it() / 2", 3), 1.5);
        InletFormula::setMemoryLimit(qint64(256) << 20);
    }

    // A program that is missing or does not answer as an evaluator leaves
    // the formulas in this process, and says so once.
    void evaluatorMissing_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "/nonexistent/ondix"
                                 << "No such file";
        QTest::newRow("not an evaluator") << "/bin/true"
                                          << "did not start as a formula evaluator";
    }

    void evaluatorMissing()
    {
        QFETCH(QString, program);
        QFETCH(QString, message);
        InletFormula::setTimeLimit(5000);
        InletFormula::setEvaluatorProgram(program);
        InletFormula::takeMessage();
        QCOMPARE(InletFormula::evaluateFresh("it() + 0.5", 2), 2.5);
        const QString said = InletFormula::takeMessage();
        QVERIFY2(said.contains(QLatin1String("without a memory limit")) && said.contains(message), qPrintable(said));
        QCOMPARE(InletFormula::evaluateFresh("it() + 0.5", 3), 3.5);
        QVERIFY(InletFormula::takeMessage().isEmpty());
    }
};

// The formulas' own process is this test program started with the
// evaluator's option.
int main(int argc, char *argv[])
{
    if (InletFormula::isEvaluatorCall(argc, argv))
        return InletFormula::serveEvaluations(argc, argv);
    QCoreApplication application(argc, argv);
    TestInletFormula test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_inletformula.moc"
