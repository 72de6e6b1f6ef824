#include "app/interpolation.h"
#include "app/results.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/interpolationcell.h"
#include "model/latticeboltzmann/wallcell.h"
#include "persistence/simulationparameters.h"
#include "view/lbwidget.h"

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
    void interpolationPointsRoundTrip();

private:
    template <typename D> static void enter(D &d, const char *field, const QString &text)
    {
        QLineEdit *e = d.template findChild<QLineEdit *>(field);
        QVERIFY(e);
        e->setText(text);
        emit e->returnPressed();
    }
};

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

QTEST_MAIN(TestResultsInterpolation)
#include "tst_resultsinterpolation.moc"
