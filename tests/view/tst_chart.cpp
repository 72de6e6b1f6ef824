#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "view/chart.h"
#include "view/lbwidget.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QtTest>

#include <qwt_plot.h>
#include <qwt_scale_div.h>
#include <qwt_scale_draw.h>
#include <qwt_text.h>

#include <cmath>
#include <limits>
#include <memory>

class TestChart : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LBWidget> view;
    std::unique_ptr<Chart> chart;
    Grid &grid() { return *view->getGrid(); }
    int iterations() { return grid().getStatistics().iterations; }

    template <typename W> W *widget(const char *name) { return chart->findChild<W *>(QLatin1String(name)); }
    void setType(const QString &type) { widget<QComboBox>("chartType")->setCurrentText(type); }
    void setInterval(int n) { widget<QSpinBox>("interval")->setValue(n); }

private slots:
    void init()
    {
        view = std::make_unique<LBWidget>();
        view->resize(300, 200);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        SimulationParameters *p = grid().getParameters();
        p->setModel(9);
        p->setPeriodicBoundaries(true);
        p->setChartsDisabled(false);
        // A decaying shear wave between two walls.
        grid().resize(12, 9, 1);
        grid().fillRegion("w", 0, 11, 0, 0, 0, 0);
        grid().fillRegion("w", 0, 11, 8, 8, 0, 0);
        grid().resetAll();
        for (int y = 1; y < 8; ++y)
            for (int x = 0; x < 12; ++x)
                static_cast<SCCell *>(grid().materialise(x, y, 0))
                    ->setEquilibrium(Vector3d(0.05 * std::sin(3.14159265 * y / 8), 0.0, 0), 1.0);
        view->rebuildGeometry(false);
        chart = std::make_unique<Chart>();
        chart->show();
        view->registerChart(chart.get());
    }

    void cleanup()
    {
        chart.reset();
        view.reset();
    }

    void deltaPSeriesEqualsTheGridsAtSampledIterations()
    {
        setType("-log(DeltaP)");
        setInterval(5);
        view->setBurst(1);
        QVector<QPointF> expected;
        for (int i = 0; i < 30; ++i) {
            view->stepOnce();
            if (iterations() % 5 == 0)
                expected << QPointF(iterations(), -std::log10(grid().getStatistics().deltaP));
        }
        QCOMPARE(expected.size(), 6);
        QCOMPARE(chart->getSeries(), expected);
        QCOMPARE(chart->shownPoints(), expected);
        // A burst that skips the multiples samples nothing.
        view->setBurst(3);
        view->stepMany(1);
        QCOMPARE(chart->getSeries().size(), 6);
    }

    void probeSeriesAndProfile()
    {
        setType("Velocity");
        widget<QComboBox>("axis")->setCurrentIndex(1);
        widget<QLineEdit>("xValue")->setText("4");
        widget<QLineEdit>("yValue")->setText("3");
        setInterval(1);
        QVector<QPointF> expected;
        for (int i = 0; i < 4; ++i) {
            view->stepOnce();
            expected << QPointF(iterations(), grid().getCell(3, 2, 0)->getVelocity(0).x);
        }
        QCOMPARE(chart->getSeries(), expected);

        // A profile across the channel: the fluid rows only, walls left out.
        setType("Pressure");
        widget<QRadioButton>("y")->click();
        QVERIFY(chart->getSeries().isEmpty());
        view->stepOnce();
        const QVector<QPointF> profile = chart->shownPoints();
        QCOMPARE(profile.size(), 7);
        for (const QPointF &p : profile)
            QCOMPARE(p.y(), grid().getCell(3, int(p.x()), 0)->getP(0));
        QCOMPARE(profile.first().x(), 1.0);
        QCOMPARE(profile.last().x(), 7.0);
        // A probe on a wall adds no point to a time series.
        widget<QRadioButton>("time")->click();
        widget<QLineEdit>("yValue")->setText("1");
        view->stepOnce();
        QVERIFY(chart->getSeries().isEmpty());
    }

    void disabledChartsTakeNoSamples()
    {
        setType("-log(DeltaP)");
        setInterval(1);
        grid().getParameters()->setChartsDisabled(true);
        view->stepMany(5);
        QVERIFY(chart->getSeries().isEmpty());
        grid().getParameters()->setChartsDisabled(false);
        view->stepMany(5);
        QCOMPARE(chart->getSeries().size(), 5);
        chart->clearSeries();
        QVERIFY(chart->getSeries().isEmpty());
    }

    // A disabled chart says why its type cannot be chosen.
    void disabledChartSaysWhy()
    {
        chart->enable(true);
        auto *note = widget<QLabel>("disabledNote");
        QVERIFY(!widget<QComboBox>("chartType")->isEnabled());
        QVERIFY(note->isVisible());
        QVERIFY(note->text().contains("Disable Charts"));
        chart->enable(false);
        QVERIFY(widget<QComboBox>("chartType")->isEnabled());
        QVERIFY(!note->isVisible());
    }

    // Ticks over a range far narrower than its values get labels that tell
    // them apart; ordinary ranges keep the short form.
    void axisLabelsTellTheTicksApart()
    {
        setType("-log(DeltaP)");
        for (int i = 0; i < 8; ++i) {
            grid().getStatistics().iterations = i;
            grid().getStatistics().deltaP = std::pow(10.0, -(0.0486004 + 2e-10 * i));
            chart->update(&grid());
        }
        auto *plot = widget<QwtPlot>("plot");
        plot->replot();
        QStringList labels;
        for (double tick : plot->axisScaleDiv(QwtPlot::yLeft).ticks(QwtScaleDiv::MajorTick))
            labels << plot->axisScaleDraw(QwtPlot::yLeft)->label(tick).text();
        QVERIFY2(labels.size() >= 3, qPrintable(labels.join(' ')));
        QCOMPARE(labels.removeDuplicates(), 0);
        for (const QString &label : labels)
            QVERIFY2(label.startsWith("0.0486004"), qPrintable(labels.join(" ")));
        QStringList iterations;
        for (double tick : plot->axisScaleDiv(QwtPlot::xBottom).ticks(QwtScaleDiv::MajorTick))
            iterations << plot->axisScaleDraw(QwtPlot::xBottom)->label(tick).text();
        QVERIFY2(iterations.contains("0") && iterations.contains("2"), qPrintable(iterations.join(' ')));
    }

    void longRunsKeepABoundedEvenSeries()
    {
        setType("-log(DeltaP)");
        setInterval(1);
        view->setBurst(1);
        view->stepMany(5 * Chart::maxPoints);
        const QVector<QPointF> &s = chart->getSeries();
        QVERIFY(s.size() < Chart::maxPoints);
        QVERIFY(s.size() >= Chart::maxPoints / 4);
        // Evenly spaced over the whole run.
        const double spacing = s[1].x() - s[0].x();
        QVERIFY(spacing > 1);
        for (int i = 1; i < s.size(); ++i)
            QCOMPARE(s[i].x() - s[i - 1].x(), spacing);
        QVERIFY(s.last().x() > iterations() - spacing - 1);
        QCOMPARE(s.first().x(), 1.0);
    }

    void pickingAndFixedScales()
    {
        setType("-log(DeltaP)");
        setInterval(2);
        view->stepMany(10);
        const QVector<QPointF> s = chart->getSeries();
        QCOMPARE(s.size(), 5);
        // The nearest sample in axis-relative distance, the first on ties.
        QMetaObject::invokeMethod(chart.get(), "plotPickerSelected", Q_ARG(QPointF, QPointF(6.2, s[2].y())));
        QCOMPARE(chart->pickedPoint(), s[2]);
        QCOMPARE(chart->pickedLabel(), QString::number(6) + ", " + QString::number(s[2].y(), 'g', 6));

        widget<QRadioButton>("fixedScale")->click();
        QVERIFY(widget<QLineEdit>("yMin")->isEnabled());
        QCOMPARE(widget<QLineEdit>("xMin")->text(), QString::number(chart->axisBounds(0).x(), 'g', 6));
        widget<QLineEdit>("yMin")->setText("1");
        widget<QLineEdit>("yMax")->setText("9");
        widget<QLineEdit>("xMin")->setText("0");
        widget<QLineEdit>("xMax")->setText("50");
        widget<QPushButton>("fixedUpdate")->click();
        QCOMPARE(chart->axisBounds(1), QPointF(1, 9));
        QCOMPARE(chart->axisBounds(0), QPointF(0, 50));
        // An empty interval keeps the scale.
        widget<QLineEdit>("yMax")->setText("0");
        widget<QPushButton>("fixedUpdate")->click();
        QCOMPARE(chart->axisBounds(1), QPointF(1, 9));
        widget<QRadioButton>("autoScale")->click();
        QVERIFY(!widget<QLineEdit>("yMin")->isEnabled());
        QVERIFY(chart->axisBounds(0).y() < 50);
    }

    void nonFiniteSamplesAreSkipped()
    {
        setType("-log(DeltaP)");
        grid().getStatistics().deltaP = 0.0;
        chart->update(&grid());
        grid().getStatistics().deltaP = std::numeric_limits<double>::quiet_NaN();
        chart->update(&grid());
        QVERIFY(chart->getSeries().isEmpty());
        grid().getStatistics().deltaP = 1e-3;
        chart->update(&grid());
        QCOMPARE(chart->getSeries(), QVector<QPointF>({QPointF(0, 3)}));
        // A closed chart takes nothing.
        chart->close();
        chart->update(&grid());
        QCOMPARE(chart->getSeries().size(), 1);
    }
};

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
