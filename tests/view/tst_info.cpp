#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "view/chart.h"
#include "view/fluxfield.h"
#include "view/info.h"
#include "view/lbwidget.h"
#include "view/renderer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

#include <cmath>
#include <memory>

class TestInfo : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LBWidget> view;
    std::unique_ptr<Info> info;
    Grid &grid() { return *view->getGrid(); }

    QString label(const char *name) { return info->findChild<QLabel *>(QLatin1String(name))->text(); }
    QLineEdit *entry(const char *name) { return info->findChild<QLineEdit *>(QLatin1String(name)); }
    void enter(const char *name, const QString &text)
    {
        QLineEdit *e = entry(name);
        e->setText(text);
        QTest::keyClick(e, Qt::Key_Return);
    }
    static QString number(double v) { return QString::number(v, 'g', 6); }

private slots:
    void init()
    {
        view = std::make_unique<LBWidget>();
        view->resize(400, 300);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        SimulationParameters *p = grid().getParameters();
        p->setModel(9);
        p->setPeriodicBoundaries(true);
        p->setMulticore(true);
        p->setChartsDisabled(true);
        p->setMaxIterations(0);
        grid().resize(20, 10, 1);
        // A shear wave: every probe quantity differs from cell to cell.
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x)
                static_cast<SCCell *>(grid().materialise(x, y, 0))
                    ->setEquilibrium(
                        Vector3d(0.05 * std::sin(6.2831853 * y / 10), 0.01 * std::cos(6.2831853 * x / 20), 0),
                        1.0 + 0.01 * x);
        view->rebuildGeometry(false);
        info = std::make_unique<Info>(view.get());
        info->show();
    }

    void cleanup()
    {
        info.reset();
        view.reset();
    }

    void figuresEqualTheRunLoops()
    {
        QCOMPARE(label("gridSize"), QStringLiteral("20 x 10 x 1"));
        QCOMPARE(label("iterations"), QStringLiteral("0"));
        QSignalSpy times(view.get(), &LBWidget::timesChanged);
        grid().getParameters()->setMaxIterations(1000000);
        view->startRun();
        QTRY_VERIFY(grid().getStatistics().iterations >= 30);
        view->stopRun();
        QCoreApplication::processEvents();
        const SimulationStats &stats = grid().getStatistics();
        QCOMPARE(label("iterations"), QString::number(stats.iterations));
        QCOMPARE(label("deltaP"), number(stats.deltaP));
        QCOMPARE(label("averageP"), number(stats.totalP / stats.fluidCells));
        const QList<QVariant> last = times.last();
        QVERIFY(last[2].toDouble() > 0);
        QCOMPARE(label("mlups"), number(last[2].toDouble()));
        QCOMPARE(last[2].toDouble(), stats.mlups);
        QCOMPARE(label("time"), Info::timeText(last[0].toInt()));
        QCOMPARE(label("remaining"), Info::timeText(last[1].toInt()));
        QVERIFY(last[1].toInt() > 0);
        // A reset of the grid (or a new grid) zeroes the figures of the run.
        QVERIFY(label("deltaP") != QLatin1String("0") && label("averageP") != QLatin1String("0"));
        grid().resetAll();
        QCOMPARE(label("iterations"), QStringLiteral("0"));
        QCOMPARE(label("mlups"), QStringLiteral("0"));
        QCOMPARE(label("deltaP"), QStringLiteral("0"));
        QCOMPARE(label("averageP"), QStringLiteral("0"));
    }

    void timeText()
    {
        QCOMPARE(Info::timeText(0), QStringLiteral("00:00:00"));
        QCOMPARE(Info::timeText(3725), QStringLiteral("01:02:05"));
        QCOMPARE(Info::timeText(100 * 3600), QStringLiteral("100:00:00"));
    }

    void probeReadoutsAreOneBased()
    {
        view->stepMany(3);
        enter("infoX", "4");
        enter("infoY", "7");
        enter("infoZ", "1");
        QCOMPARE(view->getRenderer()->getProbePoint(0), Vector3i(4, 7, 1));
        BaseCell *cell = grid().getCell(3, 6, 0);
        const Vector3d u = cell->getVelocity(0);
        QCOMPARE(label("velocityX"), number(u.x));
        QCOMPARE(label("velocityY"), number(u.y));
        QCOMPARE(label("velocityZ"), number(u.z));
        QCOMPARE(label("density"), number(cell->getP(0)));
        const Vector3d w = grid().vorticity()[std::size_t(grid().siteIndex(3, 6, 0))];
        QVERIFY(w.z != 0);
        QCOMPARE(label("vorticityZ"), number(w.z));
        QCOMPARE(label("streamFunction"), number(grid().streamFunction(0, 0)[3 + 6 * 20]));
        QCOMPARE(label("flux"), number(FluxField::at(grid(), 3, 6).length()));
        QVERIFY(label("velocityX") != number(grid().getCell(4, 7, 0)->getVelocity(0).x));
        // The readouts follow the run.
        QTest::qWait(300);
        view->stepOnce();
        QCOMPARE(label("density"), number(cell->getP(0)));
        QCOMPARE(label("vorticityZ"), number(grid().vorticity()[std::size_t(grid().siteIndex(3, 6, 0))].z));
        QVERIFY(label("vorticityZ") != number(w.z));

        // Outside the grid: no readouts.
        enter("infoX", "21");
        QVERIFY(label("velocityX").isEmpty());
        QVERIFY(label("density").isEmpty());
        // A zero switches the probe off altogether.
        enter("infoX", "0");
        QCOMPARE(entry("infoY")->text(), QStringLiteral("0"));
        QCOMPARE(entry("infoZ")->text(), QStringLiteral("0"));
        QCOMPARE(view->getRenderer()->getProbePoint(0), Vector3i(0, 0, 0));

        // The second probe only marks.
        enter("infoX2", "2");
        enter("infoY2", "3");
        enter("infoZ2", "1");
        QCOMPARE(view->getRenderer()->getProbePoint(1), Vector3i(2, 3, 1));
        QVERIFY(label("density").isEmpty());
    }

    void switchesAndTheirElement()
    {
        auto *multicore = info->findChild<QCheckBox *>(QStringLiteral("multicoreSupport"));
        auto *disable = info->findChild<QCheckBox *>(QStringLiteral("disableCharts"));
        QVERIFY(multicore->isChecked());
        QVERIFY(disable->isChecked());
        Chart chart;
        info->registerChart(&chart);
        auto *type = chart.findChild<QComboBox *>(QStringLiteral("chartType"));
        QVERIFY(!type->isEnabled());
        multicore->click();
        disable->click();
        QVERIFY(!grid().getParameters()->getMulticore());
        QVERIFY(!grid().getParameters()->getChartsDisabled());
        QVERIFY(type->isEnabled());
        enter("renderUpdate", "25");
        enter("execBurst", "4");
        QCOMPARE(view->getRenderUpdate(), 25);
        QCOMPARE(view->getBurst(), 4);
        view->stepOnce();
        QCOMPARE(grid().getStatistics().iterations, 4);

        QByteArray document;
        {
            QXmlStreamWriter writer(&document);
            writer.writeStartElement("state");
            info->write(writer);
            writer.writeEmptyElement("next");
            writer.writeEndElement();
        }
        QVERIFY(document.contains("<info multicore=\"0\" charts=\"0\" renderUpdate=\"25\"/>"));
        multicore->click();
        disable->click();
        enter("renderUpdate", "3");
        QVERIFY(grid().getParameters()->getChartsDisabled());

        QXmlStreamReader reader(document);
        reader.readNextStartElement();
        reader.readNextStartElement();
        info->read(reader);
        QVERIFY(!multicore->isChecked());
        QVERIFY(!disable->isChecked());
        QVERIFY(!grid().getParameters()->getMulticore());
        QVERIFY(!grid().getParameters()->getChartsDisabled());
        QVERIFY(type->isEnabled());
        QCOMPARE(view->getRenderUpdate(), 25);
        QCOMPARE(entry("renderUpdate")->text(), QStringLiteral("25"));
        // The reader goes on to the next element.
        QVERIFY(reader.isStartElement());
        QCOMPARE(reader.name(), QLatin1String("next"));

        // Anything but exactly "1" is false; a bad interval keeps the one in use.
        QXmlStreamReader odd(QByteArray("<info multicore=\"true\" charts=\"1\" renderUpdate=\"many\"/>"));
        odd.readNextStartElement();
        info->read(odd);
        QVERIFY(!multicore->isChecked());
        QVERIFY(disable->isChecked());
        QCOMPARE(view->getRenderUpdate(), 25);
    }
};

QTEST_MAIN(TestInfo)
#include "tst_info.moc"
