#include "app/lbmainwindow.h"
#include "app/parameters2.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "persistence/simulationparameters.h"
#include "view/lbwidget.h"

#include <QAction>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

// The window saves the whole state with its panels and resumes it: the run
// continues bitwise, and the dialogs show the loaded values.
class TestStateInWindow : public QObject
{
    Q_OBJECT

private slots:
    void saveLoadAndContinue();
};

void TestStateInWindow::saveLoadAndContinue()
{
    QTemporaryDir dir;
    LBMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.setFilePath(qEnvironmentVariable("ONDIX_SOURCE_DIR") + "/examples/channel-obstacle.png");
    window.load();
    Grid &grid = *window.getView()->getGrid();
    QLineEdit *tau = window.getParameters()->findChild<QLineEdit *>("epsilon");
    tau->setText("0.71");
    emit tau->returnPressed();
    grid.getParameters()->setMaxIterations(500);
    window.getView()->stepMany(30);
    const QString path = dir.path() + "/state.lb2";
    QString error;
    QVERIFY2(window.saveAllTo(path, 2, &error), qPrintable(error));

    auto snapshot = [&] {
        QVector<double> all;
        for (int y = 0; y < grid.getHeight(); ++y)
            for (int x = 0; x < grid.getWidth(); ++x)
                for (int i = 0; i < 9; ++i)
                    all.append(grid.getCell(x, y, 0)->getF(i, 0));
        return all;
    };
    window.getView()->stepMany(20);
    const QVector<double> uninterrupted = snapshot();

    // Something else in between: other settings, another geometry.
    tau->setText("0.9");
    emit tau->returnPressed();
    grid.getParameters()->setMaxIterations(0);
    window.setFilePath(qEnvironmentVariable("ONDIX_SOURCE_DIR") + "/examples/poiseuille-channel.png");
    window.load();

    window.setFilePath(path);
    window.loadAll2(2);
    QCOMPARE(grid.getStatistics().iterations, 30);
    QCOMPARE(grid.getParameters()->getEpsilon(0), 0.71);
    QCOMPARE(grid.getParameters()->getMaxIterations(), 500);
    window.getParameters()->refresh();
    QCOMPARE(tau->text(), QStringLiteral("0.71"));
    window.getView()->stepMany(20);
    QVERIFY(snapshot() == uninterrupted);
}

QTEST_MAIN(TestStateInWindow)
#include "tst_stateinwindow.moc"
