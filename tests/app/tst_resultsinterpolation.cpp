#include "app/interpolation.h"
#include "app/results.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/interpolationcell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"
#include "view/lbwidget.h"

#include <cmath>
#include <vector>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

class TestResultsInterpolation : public QObject
{
    Q_OBJECT

private slots:
    void resultsStopAndPersist();
    void resultsFieldsApplyWhenLeft();
    void interpolationPointsRoundTrip();
    void interpolationPointSendsSound();

private:
    template <typename D> static void enter(D &d, const char *field, const QString &text)
    {
        QLineEdit *e = d.template findChild<QLineEdit *>(field);
        QVERIFY(e);
        e->setText(text);
        QTest::keyClick(e, Qt::Key_Return);
    }
};

// Tab and a click elsewhere apply a field as Return does; Return adds no
// probe row.
void TestResultsInterpolation::resultsFieldsApplyWhenLeft()
{
    LBWidget view;
    Grid &grid = *view.getGrid();
    grid.getParameters()->setModel(9);
    grid.resize(12, 10, 1);
    Results results(&view);
    results.show();
    results.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&results));
    auto field = [&results](const char *name) { return results.findChild<QLineEdit *>(name); };
    auto *points = results.findChild<QTableWidget *>("points");
    field("interval")->setFocus();
    QTRY_VERIFY(field("interval")->hasFocus());
    field("interval")->selectAll();
    QTest::keyClicks(field("interval"), "1000");
    QTest::keyClick(field("interval"), Qt::Key_Tab);
    QCOMPARE(view.getInterval(), 1000);
    field("maxSteps")->setFocus();
    QTRY_VERIFY(field("maxSteps")->hasFocus());
    field("maxSteps")->selectAll();
    QTest::keyClicks(field("maxSteps"), "20000");
    field("fixedX")->setFocus();
    QTRY_VERIFY(field("fixedX")->hasFocus());
    QCOMPARE(grid.getParameters()->getMaxIterations(), 20000);
    for (const char *name : {"fixedX", "interval", "maxSteps", "stopCriterion"})
        QTest::keyClick(field(name), Qt::Key_Return);
    QCOMPARE(points->rowCount(), 0);
    QVERIFY(results.isVisible());
    // A refusal's message stays when the field is left unchanged.
    field("maxSteps")->setText("-1");
    QTest::keyClick(field("maxSteps"), Qt::Key_Return);
    QCOMPARE(field("maxSteps")->text(), QStringLiteral("20000"));
    const QString refusal = results.lastMessage();
    QVERIFY(!refusal.isEmpty());
    field("stopCriterion")->setFocus();
    QTRY_VERIFY(field("stopCriterion")->hasFocus());
    QCOMPARE(results.lastMessage(), refusal);
    QByteArray xml;
    {
        QXmlStreamWriter w(&xml);
        results.write(w);
    }
    QVERIFY(xml.contains("interval=\"1000\"") && xml.contains("maxIterations=\"20000\""));
}

void TestResultsInterpolation::resultsStopAndPersist()
{
    LBWidget view;
    Grid &grid = *view.getGrid();
    grid.getParameters()->setModel(9);
    grid.resize(12, 10, 1);
    Results results(&view);

    // Refused values keep the ones in force.
    enter(results, "maxSteps", "-5");
    QVERIFY(!results.lastMessage().isEmpty());
    enter(results, "stopCriterion", "abc");
    QCOMPARE(grid.getParameters()->getStopWhen(), 0.0);
    enter(results, "interval", "0");
    QCOMPARE(view.getInterval(), 10);

    // Max It. 100 with bursts of 16: the run stops after the burst that reaches 100.
    enter(results, "maxSteps", "100");
    QCOMPARE(grid.getParameters()->getMaxIterations(), 100);
    while (grid.step(16) > 0) {
    }
    QCOMPARE(grid.getStatistics().iterations, 112);

    // Probe points are typed from 1 and stored from 0; points outside are refused.
    enter(results, "fixedX", "12");
    enter(results, "fixedY", "3");
    results.findChild<QPushButton *>("addPoint")->click();
    enter(results, "fixedX", "13");
    results.findChild<QPushButton *>("addPoint")->click();
    QVERIFY(!results.lastMessage().isEmpty());
    results.findChild<QPushButton *>("updatePoints")->click();
    QCOMPARE(grid.getParameters()->getProbePoints(), QList<Vector3i>{Vector3i(11, 2, 0)});

    results.findChild<QCheckBox *>("images")->click();
    enter(results, "interval", "25");
    QVERIFY(view.imagesEnabled());
    QCOMPARE(view.getInterval(), 25);
    QByteArray xml;
    {
        QXmlStreamWriter w(&xml);
        results.write(w);
    }
    LBWidget other;
    Results copy(&other);
    QXmlStreamReader r(xml);
    r.readNextStartElement();
    copy.read(r);
    QVERIFY(r.isEndElement());
    QCOMPARE(other.getGrid()->getParameters()->getMaxIterations(), 100);
    QVERIFY(other.imagesEnabled() && !other.cellTableEnabled());
    QCOMPARE(other.getInterval(), 25);
    QCOMPARE(copy.findChild<QLineEdit *>("fixedX")->text(), QStringLiteral("13"));

    // Without probe fields the fields read "0".
    QXmlStreamReader bare(QByteArray("<results maxIterations=\"0\" stopWhen=\"0\" interval=\"5\"/>"));
    bare.readNextStartElement();
    copy.read(bare);
    QCOMPARE(copy.findChild<QLineEdit *>("fixedY")->text(), QStringLiteral("0"));
}

void TestResultsInterpolation::interpolationPointsRoundTrip()
{
    Grid grid;
    grid.getParameters()->setModel(9);
    grid.getParameters()->setPeriodicBoundaries(false);
    grid.getParameters()->setMinP0(1.0);
    grid.getParameters()->setMaxP0(1.0);
    grid.resize(10, 10, 1);
    grid.setCell(4, 5, 0, new WallCell, true, false);
    Interpolation dialog(&grid);
    const struct
    {
        const char *x, *y;
    } sites[] = {{"1", "1"}, {"5", "5"}, {"8", "2"}};
    for (const auto &s : sites) {
        enter(dialog, "x", s.x);
        enter(dialog, "y", s.y);
        dialog.findChild<QPushButton *>("addLine")->click();
    }
    enter(dialog, "x", "11");
    dialog.findChild<QPushButton *>("addLine")->click();
    QVERIFY(!dialog.lastMessage().isEmpty());
    QTableWidget *table = dialog.findChild<QTableWidget *>("points");
    QCOMPARE(table->rowCount(), 3);
    QVERIFY(dynamic_cast<InterpolationCell *>(grid.getCell(0, 0, 0)));
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("8"));

    QByteArray xml;
    {
        QXmlStreamWriter w(&xml);
        dialog.write(w);
    }
    Interpolation copy(&grid);
    QXmlStreamReader r(xml + "<after/>");
    QVERIFY(r.readNextStartElement());
    copy.read(r);
    QTableWidget *copied = copy.findChild<QTableWidget *>("points");
    QCOMPARE(copied->rowCount(), 3);
    for (int row = 0; row < 3; ++row)
        for (int k = 0; k < 6; ++k)
            QCOMPARE(copied->item(row, k)->text(), table->item(row, k)->text());

    // Removing the point at (5, 5), beside one wall, gives the mean density of
    // its fluid neighbours (1), not a sum that counts the wall as empty.
    table->setCurrentCell(1, 0);
    table->item(1, 0)->setSelected(true);
    dialog.findChild<QPushButton *>("removeLine")->click();
    QCOMPARE(table->rowCount(), 2);
    BaseCell *restored = grid.getCell(4, 4, 0);
    QVERIFY(restored->isFluid());
    QVERIFY(std::abs(restored->getP(0) - 1.0) < 1e-12);
}

// An oscillating point sends sound: between probes 20 and 70 sites from it
// along x the phase lags by 50 / c_s = 86.6 iterations. The whole periods of
// the lag come from the arrival of the wave front, the fraction from the
// phase of each probe over two periods once the front has passed both.
void TestResultsInterpolation::interpolationPointSendsSound()
{
    Grid grid;
    SimulationParameters *p = grid.getParameters();
    p->setModel(9);
    p->setEpsilon(0, 0.8);
    p->setPeriodicBoundaries(true);
    p->setMinP0(1.0);
    p->setMaxP0(1.0);
    grid.resize(201, 201, 1);
    grid.setCell(100, 100, 0, new InterpolationCell(1.0, 0.01, 40), true, true);
    const int probes[2] = {120, 170};
    const double omega = 2.0 * M_PI / 40.0;
    double sine[2] = {0.0, 0.0}, cosine[2] = {0.0, 0.0};
    std::vector<double> series[2];
    for (int n = 1; n <= 220; ++n) {
        grid.step(1);
        for (int k = 0; k < 2; ++k) {
            const double d = grid.getCell(probes[k], 100, 0)->getP(0) - 1.0;
            series[k].push_back(d);
            if (n > 140) {
                sine[k] += d * std::sin(omega * n);
                cosine[k] += d * std::cos(omega * n);
            }
        }
    }
    // The front reaches a probe when the density first moves by a fifth of
    // the amplitude it settles to there.
    int arrival[2] = {-1, -1};
    for (int k = 0; k < 2; ++k) {
        const double amplitude = 2.0 * std::hypot(sine[k], cosine[k]) / 80.0;
        for (int n = 0; n < int(series[k].size()) && arrival[k] < 0; ++n)
            if (std::abs(series[k][std::size_t(n)]) > 0.2 * amplitude)
                arrival[k] = n + 1;
    }
    QVERIFY(arrival[0] > 0 && arrival[1] > 0);
    // Over whole periods atan2(sum d sin, sum d cos) is the phase delay of
    // d plus a quarter period, the same for both probes.
    const double fraction =
        std::remainder(std::atan2(sine[1], cosine[1]) - std::atan2(sine[0], cosine[0]), 2.0 * M_PI) / omega;
    const double rough = arrival[1] - arrival[0];
    const double lag = fraction + 40.0 * std::round((rough - fraction) / 40.0);
    qInfo("phase lag over 50 sites: %.2f iterations (front: %.0f)", lag, rough);
    QVERIFY2(std::abs(lag - 50.0 * std::sqrt(3.0)) < 0.03 * 50.0 * std::sqrt(3.0), qPrintable(QString::number(lag)));
}

QTEST_MAIN(TestResultsInterpolation)
#include "tst_resultsinterpolation.moc"
