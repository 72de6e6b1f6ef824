#include "window_helper.h"

#include "app/lbmainwindow.h"
#include "app/results.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "view/lbwidget.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The window's simulation server: documents dropped into the watched folder
// are run one after the other in the window's own simulation.
class TestWindowServer : public QObject
{
    Q_OBJECT

private slots:
    void servesDroppedDocumentsAndSetsBadOnesAside();
};

void TestWindowServer::servesDroppedDocumentsAndSetsBadOnesAside()
{
    QTemporaryDir staging, watched;
    LBMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    LBWidget &view = *window.getView();
    Grid &grid = *view.getGrid();

    // A small channel whose Results settings ask for both tables every 10
    // iterations and stop at 20.
    buildChannel(grid, 20, 10);
    view.rebuildGeometry(false, false);
    grid.getParameters()->setMaxIterations(20);
    view.setOutputs(false, true, true, 10);
    window.getResults()->findChild<QCheckBox *>("vtkBinary")->setChecked(true);
    const QString document = staging.path() + "/flow.lb2";
    QString error;
    QVERIFY2(window.saveAllTo(document, 2, &error), qPrintable(error));
    // The run's settings must come from the document, not from the window.
    grid.getParameters()->setMaxIterations(0);
    view.setOutputs(false, false, false, 10);
    window.getResults()->findChild<QCheckBox *>("vtkBinary")->setChecked(false);
    view.stepMany(3);

    QVERIFY(QFile::copy(document, watched.path() + "/flow.lb2"));
    // A planted link named like the results folder leads out of the folder:
    // the job goes to a folder of its own beside it.
    QTemporaryDir outside;
    QVERIFY(QFile::link(outside.path(), watched.path() + "/flow-results"));
    QFile bad(watched.path() + "/bad.lb2");
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("<grid><lattice");
    bad.close();

    QAction *start = findAction(window, "actionStart_Server");
    QVERIFY(start->shortcut().isEmpty() && !start->associatedWidgets().isEmpty());
    answerFileDialog(watched.path());
    start->trigger();
    QVERIFY(window.isServing());

    const QString results = watched.path() + "/flow-results-2";
    const QString badResults = watched.path() + "/bad-results";
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(results + "/flow-final.lb2") && QFile::exists(badResults + "/error.txt"),
                             30000);
    QCOMPARE(grid.getStatistics().iterations, 20);
    // The document's Binary VTK switch came with it: Export to VTK offers binary first.
    QVERIFY(window.getResults()->vtkBinaryEnabled());
    answerFileDialog(staging.path() + "/flow.vtu");
    findAction(window, "actionSave_VTK")->trigger();
    QFile vtu(staging.path() + "/flow.vtu");
    QVERIFY(vtu.open(QIODevice::ReadOnly) && vtu.read(1024).contains("vtkZLibDataCompressor"));
    QVERIFY(QDir(outside.path()).isEmpty());
    QVERIFY(!view.isRunning());
    QVERIFY(window.getServedDocument().isEmpty());
    QVERIFY(QFile::exists(results + "/flow.lb2") && !QFile::exists(watched.path() + "/flow.lb2"));
    QCOMPARE(QDir(results).entryList({"vp_*.csv"}), QStringList({"vp_000010.csv", "vp_000020.csv"}));
    QFile series(results + "/simulation.csv");
    QVERIFY(series.open(QIODevice::ReadOnly));
    QCOMPARE(series.readAll().count('\n'), 3); // header and two lines
    QVERIFY(QFile::exists(badResults + "/bad.lb2") && !QFile::exists(watched.path() + "/bad.lb2"));
    QFile reason(badResults + "/error.txt");
    QVERIFY(reason.open(QIODevice::ReadOnly) && reason.size() > 1);

    // The final state is a document that resumes at the end of the run.
    grid.getParameters()->setMaxIterations(0);
    view.stepMany(5);
    window.setFilePath(results + "/flow-final.lb2");
    window.loadAll2(2);
    QCOMPARE(grid.getStatistics().iterations, 20);
    QCOMPARE(grid.getParameters()->getMaxIterations(), 20);

    // Once stopped, the server leaves new documents alone.
    findAction(window, "actionStop_Server")->trigger();
    QVERIFY(!window.isServing());
    QVERIFY(QFile::copy(document, watched.path() + "/late.lb2"));
    QTest::qWait(2500);
    QVERIFY(QFile::exists(watched.path() + "/late.lb2"));
    QVERIFY(!QFile::exists(watched.path() + "/late-results"));
}

QTEST_MAIN(TestWindowServer)
#include "tst_windowserver.moc"
