#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"
#include "view/customseeder.h"
#include "view/equallyspacedseeder.h"
#include "view/lbwidget.h"
#include "view/painterconfig.h"
#include "view/renderer.h"
#include "view/rungekutta.h"
#include "view/seedgenerator.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QtTest>

class TestPainterConfig : public QObject
{
    Q_OBJECT

private slots:
    void isolineValuesAndStreamlineSettings()
    {
        LBWidget view;
        Renderer &renderer = *view.getRenderer();
        Grid &grid = *view.getGrid();
        grid.getParameters()->setModel(9);
        grid.resize(10, 10, 1);
        // One wall: its buffer value must not count.
        grid.setCell(0, 0, 0, new WallCell);
        std::vector<double> &buffer = renderer.valueBuffer();
        buffer.assign(100, 0.0);
        for (int i = 0; i < 100; ++i)
            buffer[std::size_t(i)] = i == 0 ? -50.0 : i;
        // 99 fluid values 1..99 in 4 slices: the middles at 12, 37, 61 and 86 (truncated indices).
        QCOMPARE(PainterConfig::suggest(renderer, 4), std::vector<double>({13, 38, 62, 87}));
        QVERIFY(PainterConfig::suggest(renderer, 0).empty());

        PainterConfig dialog(renderer, &view);
        auto *table = dialog.findChild<QTableWidget *>("isolines");
        auto *properties = dialog.findChild<QTableWidget *>("properties");
        QCOMPARE(properties->rowCount(), 10);
        QCOMPARE(properties->item(0, 0)->text(), QStringLiteral("spacing"));
        QVERIFY(!table->isEnabled());
        dialog.findChild<QRadioButton *>("custom")->click();
        QVERIFY(table->isEnabled());
        dialog.findChild<QLineEdit *>("suggestCount")->setText("3");
        dialog.findChild<QPushButton *>("randomIsolines")->click();
        QCOMPARE(table->rowCount(), 3);
        dialog.findChild<QPushButton *>("addRow")->click();
        table->setItem(3, 0, new QTableWidgetItem("-2.5"));
        dialog.findChild<QPushButton *>("sortIsolines")->click();
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("-2.5"));
        dialog.findChild<QPushButton *>("updateIsolines")->click();
        QVERIFY(dynamic_cast<CustomSeeder *>(renderer.getSeeder()));
        QCOMPARE(renderer.getSeeder()->values(), std::vector<double>({-2.5, 17, 50, 83}));

        dialog.findChild<QRadioButton *>("equallySpaced")->click();
        dialog.findChild<QLineEdit *>("count")->setText("4");
        dialog.findChild<QPushButton *>("updateIsolines")->click();
        renderer.setRange(1.0, 0.5, true);
        // The midpoints of four slices of the range, following the range.
        QCOMPARE(renderer.getSeeder()->values(), std::vector<double>({0.625, 0.875, 1.125, 1.375}));

        // The Runge-Kutta strategy takes its step from the table.
        dialog.findChild<QComboBox *>("strategy")->setCurrentIndex(1);
        for (int row = 0; row < properties->rowCount(); ++row)
            if (properties->item(row, 0)->text() == QLatin1String("eulerIntegrationStep"))
                properties->item(row, 1)->setText("0.25");
        dialog.findChild<QPushButton *>("update")->click();
        QCOMPARE(renderer.getGenerator()->property("eulerIntegrationStep"), QStringLiteral("0.25"));
        dialog.findChild<QComboBox *>("streamIntegrationY")->setCurrentIndex(1);
        QCOMPARE(renderer.getStreamIntegrationY(), 1);
    }
};

QTEST_MAIN(TestPainterConfig)
#include "tst_painterconfig.moc"
