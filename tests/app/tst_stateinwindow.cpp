#include "window_helper.h"

#include "app/lbmainwindow.h"
#include "app/parameters2.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "view/lbwidget.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QImage>
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
    void loadRefreshesTheParameters();
    void reloadAllReadsTheLastDocumentThatLoaded();
    void serverSetsAsideEndlessDocumentsBeforeLoading();
};

// A channel of nx x ny between walls, with an inlet and an outlet column.
static void smallChannel(Grid &grid, int nx, int ny)
{
    grid.getParameters()->setModel(9);
    grid.resize(nx, ny, 1);
    for (int x = 0; x < nx; ++x) {
        grid.fillRegion("w", x, x, 0, 0, 0, 0);
        grid.fillRegion("w", x, x, ny - 1, ny - 1, 0, 0);
    }
    grid.fillRegion("s", 0, 0, 1, ny - 2, 0, 0);
    grid.fillRegion("o", nx - 1, nx - 1, 1, ny - 2, 0, 0);
}

// Reload All after a Load All that was refused reads the last document that
// loaded, not the refused one.
void TestStateInWindow::reloadAllReadsTheLastDocumentThatLoaded()
{
    QTemporaryDir dir;
    LBMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    Grid &grid = *window.getView()->getGrid();
    smallChannel(grid, 20, 8);
    window.getView()->rebuildGeometry(false);
    window.getView()->stepMany(7);
    const QString good = dir.filePath("good.lb2"), bad = dir.filePath("bad.lb2");
    QString error;
    QVERIFY2(window.saveAllTo(good, 2, &error), qPrintable(error));
    QFile broken(bad);
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("<state><grid");
    broken.close();

    answerFileDialog(good);
    window.findChild<QAction *>("actionLoad_All_2_testing")->trigger();
    QCOMPARE(grid.getStatistics().iterations, 7);
    window.getView()->stepMany(5);
    answerFileDialog(bad);
    window.findChild<QAction *>("actionLoad_All_2_testing")->trigger();
    QCOMPARE(grid.getStatistics().iterations, 12);
    QCOMPARE(window.getFilePath(), good);
    window.findChild<QAction *>("actionReload_All")->trigger();
    QCOMPARE(grid.getStatistics().iterations, 7);
}

// The server sets aside a document that has nothing to end its run without
// letting it replace the simulation in the window.
void TestStateInWindow::serverSetsAsideEndlessDocumentsBeforeLoading()
{
    QTemporaryDir staging, watched;
    LBMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    Grid &grid = *window.getView()->getGrid();
    smallChannel(grid, 16, 8);
    window.getView()->rebuildGeometry(false);
    grid.getParameters()->setMaxIterations(0);
    grid.getParameters()->setStopWhen(0.0);
    QString error;
    const QString endless = staging.filePath("endless.lb2");
    QVERIFY2(window.saveAllTo(endless, 2, &error), qPrintable(error));
    // The window runs another simulation, which its own limit would end.
    smallChannel(grid, 24, 10);
    window.getView()->rebuildGeometry(false);
    window.getView()->stepMany(3);
    grid.getParameters()->setMaxIterations(50);
    QVERIFY(QFile::copy(endless, watched.filePath("endless.lb2")));
    window.startServer(watched.path(), 50);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(watched.filePath("endless-results/error.txt")), 15000);
    window.stopServer(WindowServer::Stop::Finish);
    QCOMPARE(grid.getWidth(), 24);
    QCOMPARE(grid.getStatistics().iterations, 3);
    QCOMPARE(grid.getParameters()->getMaxIterations(), 50);
    QFile reason(watched.filePath("endless-results/error.txt"));
    QVERIFY(reason.open(QIODevice::ReadOnly) && reason.readAll().contains("Nothing ends this run"));
}

// After every Load the Parameters dialog shows what is in force: the model a
// layered image switched to, the strategy its inlets got; and choosing
// another entry acts.
void TestStateInWindow::loadRefreshesTheParameters()
{
    QTemporaryDir dir;
    auto layer = [](int w, int h) {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(Qt::white);
        for (int x = 0; x < w; ++x)
            for (int y : {0, h - 1})
                image.setPixel(x, y, qRgb(128, 128, 128));
        for (int y = 1; y < h - 1; ++y) {
            image.setPixel(0, y, qRgb(255, 0, 0));
            image.setPixel(w - 1, y, qRgb(0, 0, 0));
        }
        return image;
    };
    QVERIFY(layer(24, 10).save(dir.filePath("flat.png")));
    for (const char *name : {"duct.png", "duct_2.png", "duct_3.png"})
        QVERIFY(layer(12, 6).save(dir.filePath(name)));
    LBMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    Grid &grid = *window.getView()->getGrid();
    window.setFilePath(dir.filePath("flat.png"));
    window.load();
    QVERIFY(grid.getParameters()->getModel() == 9);
    window.findChild<QAction *>("actionModel_and_Parameters")->trigger();
    Parameters2 *parameters = window.getParameters();
    QVERIFY(parameters->isVisible());
    auto *model = parameters->findChild<QComboBox *>("model");
    auto *strategy = parameters->findChild<QComboBox *>("outletStrategy");
    QCOMPARE(strategy->currentText(), QStringLiteral("Fixed flux"));
    strategy->setCurrentText("Zou and He");
    QCOMPARE(grid.getParameters()->getSourceStrategy(), 3);

    window.setFilePath(dir.filePath("duct.png"));
    window.load();
    QCOMPARE(grid.getLength(), 3);
    QCOMPARE(model->currentText(), QStringLiteral("D3Q19"));
    QCOMPARE(strategy->currentText(), QStringLiteral("Fixed flux"));
    model->setCurrentText("D2Q9");
    QCOMPARE(grid.getParameters()->getModel(), 9);
    QCOMPARE(grid.getCell(5, 3, 1)->modelQ(), 9);
}

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
