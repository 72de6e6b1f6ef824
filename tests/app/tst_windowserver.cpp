#include "window_helper.h"

#include "app/lbmainwindow.h"
#include "batch/batchrun.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "view/info.h"
#include "view/lbwidget.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <vector>

// The window's simulation server runs dropped documents in grids of their
// own, beside the user's simulation.
class TestWindowServer : public QObject
{
    Q_OBJECT

private slots:
    void aServedJobRunsBesideTheUsersRun();
    void anAbandonedJobGoesBackToTheFolder();
};

namespace {

// Every population of every site, current and next.
std::vector<double> populations(const Grid &grid)
{
    const int q = grid.getParameters()->getModel();
    std::vector<double> all;
    for (int y = 0; y < grid.getHeight(); ++y)
        for (int x = 0; x < grid.getWidth(); ++x)
            for (int z = 0; z < grid.getLength(); ++z) {
                BaseCell *c = grid.getCell(x, y, z);
                for (int i = 0; i < q; ++i) {
                    all.push_back(c->getF(i, 0));
                    all.push_back(c->getNextF(i, 0));
                }
            }
    return all;
}

// The index of the first entry that differs, -1 when none does.
long firstDifference(const std::vector<double> &a, const std::vector<double> &b)
{
    if (a.size() != b.size())
        return 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(a[i] == b[i]))
            return long(i);
    return -1;
}

// Loads a state document as the runner does (the window's panels kept aside).
bool loadInto(Grid &grid, const QString &path)
{
    BatchRun run(grid);
    QString error;
    const bool ok = run.load(path, &error);
    if (!ok)
        qWarning("%s", qPrintable(error));
    return ok;
}

// Clicks the button of that text in the next message box that opens.
void answerMessageBox(const QString &text)
{
    auto *timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, text, tries] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box)
            for (QAbstractButton *button : box->buttons())
                if (button->text() == text) {
                    button->click();
                    box = nullptr;
                    *tries = 1000;
                    break;
                }
        if (++*tries > 250) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
}

QString serverJobText(LBMainWindow &window)
{
    return window.getInfo()->findChild<QLabel *>("serverJob")->text();
}

} // namespace

void TestWindowServer::aServedJobRunsBesideTheUsersRun()
{
    QTemporaryDir staging, watched, alone;
    LBMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    LBWidget &view = *window.getView();
    Grid &grid = *view.getGrid();

    // The job: a channel whose Results settings stop it at 200 and ask for
    // both tables every 50 iterations and for images, which a run without a
    // view skips.
    buildChannel(grid, 30, 12);
    view.rebuildGeometry(false, false);
    grid.getParameters()->setMaxIterations(200);
    view.setOutputs(true, true, true, 50);
    const QString job = staging.path() + "/flow.lb2";
    QString error;
    QVERIFY2(window.saveAllTo(job, 2, &error), qPrintable(error));
    // The user's own run: another channel, with nothing that ends it.
    buildChannel(grid, 24, 16);
    view.rebuildGeometry(false, false);
    grid.getParameters()->setMaxIterations(0);
    view.setOutputs(false, false, false, 50);
    view.stepMany(3);
    const QString user = staging.path() + "/user.lb2";
    QVERIFY2(window.saveAllTo(user, 2, &error), qPrintable(error));
    const int userStart = grid.getStatistics().iterations;

    // The job run alone, as ondix-run runs it.
    Grid jobAlone;
    BatchRun run(jobAlone);
    QVERIFY(run.load(job, &error));
    BatchRun::Settings settings;
    settings.outputDirectory = alone.path();
    QVERIFY2(run.run(settings, nullptr, &error) == BatchRun::Outcome::Finished, qPrintable(error));
    QCOMPARE(jobAlone.getStatistics().iterations, 200);

    findAction(window, "actionStart")->trigger();
    QVERIFY(view.isRunning());
    window.startServer(watched.path(), 50, 100);
    QVERIFY(window.isServing());
    QVERIFY(!findAction(window, "actionStart_Server")->isEnabled());
    QVERIFY(QFile::copy(job, watched.path() + "/flow.lb2"));
    QFile bad(watched.path() + "/bad.lb2");
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("<grid><lattice");
    bad.close();

    const QString results = watched.path() + "/flow-results";
    QTRY_VERIFY_WITH_TIMEOUT(serverJobText(window).endsWith("(ended)") &&
                                 QFile::exists(watched.path() + "/bad-results/error.txt"),
                             30000);
    // The user's run went on all the while, in the window's own grid.
    QVERIFY(view.isRunning());
    findAction(window, "actionStop")->trigger();
    QVERIFY(!view.isRunning());
    const int userSteps = grid.getStatistics().iterations - userStart;
    QVERIFY(userSteps > 0);
    QCOMPARE(grid.getWidth(), 24);
    QVERIFY2(serverJobText(window).startsWith("flow.lb2: iteration 200 / 200, "), qPrintable(serverJobText(window)));
    QVERIFY(window.getServedDocument().isEmpty());

    // Both end bitwise where they end alone: the job's final state is the
    // one it reaches alone, as saved and as read back.
    Grid served, servedAlone;
    QVERIFY(loadInto(served, results + "/flow-final.lb2"));
    QVERIFY(loadInto(servedAlone, alone.path() + "/flow-final.lb2"));
    QCOMPARE(served.getStatistics().iterations, 200);
    QCOMPARE(firstDifference(populations(served), populations(servedAlone)), -1L);
    QFile finalServed(results + "/flow-final.lb2"), finalAlone(alone.path() + "/flow-final.lb2");
    QVERIFY(finalServed.open(QIODevice::ReadOnly) && finalAlone.open(QIODevice::ReadOnly));
    QVERIFY(finalServed.readAll() == finalAlone.readAll());
    Grid userAlone;
    QVERIFY(loadInto(userAlone, user));
    userAlone.step(userSteps);
    QCOMPARE(firstDifference(populations(grid), populations(userAlone)), -1L);

    // The job's outputs are the runner's: tables, no images; the bad
    // document is set aside with its reason.
    QCOMPARE(QDir(results).entryList({"vp_*.csv"}),
             QStringList({"vp_000050.csv", "vp_000100.csv", "vp_000150.csv", "vp_000200.csv"}));
    QVERIFY(QFile::exists(results + "/simulation.csv"));
    QVERIFY(QDir(results).entryList({"img_*"}).isEmpty());
    QVERIFY(QFile::exists(results + "/flow.lb2") && !QFile::exists(watched.path() + "/flow.lb2"));
    QVERIFY(QFile::exists(watched.path() + "/bad-results/bad.lb2"));

    // Once stopped with no job running, the server asks nothing and leaves
    // new documents alone.
    findAction(window, "actionStop_Server")->trigger();
    QVERIFY(!window.isServing());
    QTRY_VERIFY(!window.isServerActive());
    QVERIFY(findAction(window, "actionStart_Server")->isEnabled());
    QVERIFY(QFile::copy(job, watched.path() + "/late.lb2"));
    QTest::qWait(400);
    QVERIFY(QFile::exists(watched.path() + "/late.lb2"));
    QVERIFY(!QFile::exists(watched.path() + "/late-results"));
}

void TestWindowServer::anAbandonedJobGoesBackToTheFolder()
{
    QTemporaryDir staging, watched;
    auto window = std::make_unique<LBMainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    Grid &grid = *window->getView()->getGrid();
    buildChannel(grid, 30, 12);
    grid.getParameters()->setMaxIterations(100000000);
    const QString job = staging.path() + "/long.lb2";
    QString error;
    QVERIFY2(window->saveAllTo(job, 2, &error), qPrintable(error));
    QFile original(job);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    const QString dropped = watched.path() + "/long.lb2";
    const QString results = watched.path() + "/long-results";

    window->startServer(watched.path(), 50, 100);
    QVERIFY(QFile::copy(job, dropped));
    QTRY_VERIFY_WITH_TIMEOUT(serverJobText(*window).contains("long.lb2: iteration"), 20000);
    QVERIFY(!QFile::exists(dropped));
    if (!qEnvironmentVariableIsEmpty("ONDIX_SCREENSHOT_DIR")) {
        QTest::qWait(600);
        window->grab().save(qEnvironmentVariable("ONDIX_SCREENSHOT_DIR") + "/server-running.png");
    }
    answerMessageBox("Abandon");
    findAction(*window, "actionStop_Server")->trigger();
    QVERIFY(!window->isServing());
    QTRY_VERIFY_WITH_TIMEOUT(!window->isServerActive(), 20000);
    // The document is back as it was dropped; the state reached and the
    // reason stay in the results folder.
    QFile back(dropped);
    QVERIFY(back.open(QIODevice::ReadOnly));
    QVERIFY(back.readAll() == bytes);
    Grid reached;
    QVERIFY(loadInto(reached, results + "/long-final.lb2"));
    QVERIFY(reached.getStatistics().iterations > 0);
    QFile note(results + "/stopped.txt");
    QVERIFY(note.open(QIODevice::ReadOnly) && note.readAll().contains("went back to the folder"));
    QVERIFY(QFile::remove(results + "/long-final.lb2") && QFile::remove(results + "/stopped.txt"));
    QVERIFY(QDir().rmdir(results));

    // Closing the window while a job runs abandons it the same way.
    QTRY_VERIFY(serverJobText(*window).endsWith("(ended)"));
    window->startServer(watched.path(), 50, 100);
    const QRegularExpression stepping("^long\\.lb2: iteration [1-9][0-9]* / 100000000, .* MLUPS$");
    QTRY_VERIFY_WITH_TIMEOUT(stepping.match(serverJobText(*window)).hasMatch(), 20000);
    window.reset();
    QFile again(dropped);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QVERIFY(again.readAll() == bytes);
    QVERIFY(QFile::exists(results + "/stopped.txt"));
}

QTEST_MAIN(TestWindowServer)
#include "tst_windowserver.moc"
