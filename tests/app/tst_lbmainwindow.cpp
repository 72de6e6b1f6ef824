#include "window_helper.h"

#include "app/codeeditor.h"
#include "app/interpolation.h"
#include "app/lbmainwindow.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/outputfolder.h"
#include "view/chart.h"
#include "view/colors.h"
#include "view/info.h"
#include "view/lbwidget.h"
#include "view/painters.h"
#include "view/renderer.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include <memory>

namespace {

// A channel whose fluid starts with a parabolic profile along x, so there is
// a flow to paint whatever the boundary cells do.
void buildFlowingChannel(Grid &grid, int nx, int ny)
{
    grid.getParameters()->setModel(9);
    grid.getParameters()->setEpsilon(0, 0.8);
    grid.getParameters()->setPeriodicBoundaries(false);
    buildChannel(grid, nx, ny);
    const double h = ny - 2;
    for (int y = 1; y < ny - 1; ++y)
        for (int x = 1; x < nx - 1; ++x)
            if (auto *cell = dynamic_cast<SCCell *>(grid.materialise(x, y, 0))) {
                const double s = (y - 0.5) / h;
                cell->setEquilibrium(Vector3d(0.2 * s * (1 - s), 0, 0), 1.0);
            }
}

QString example(const QString &name)
{
    const QString root = qEnvironmentVariable("ONDIX_SOURCE_DIR");
    if (!root.isEmpty())
        return root + "/examples/" + name;
    return QDir::cleanPath(QFINDTESTDATA("../../examples/" + name));
}

QStringList entriesOf(QMenu *menu)
{
    QStringList list;
    for (QAction *a : menu->actions())
        list << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return list;
}

} // namespace

class TestLBMainWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LBMainWindow> window;
    QTemporaryDir temp;

    LBWidget &view() { return *window->getView(); }
    Grid &grid() { return *window->getView()->getGrid(); }
    int iterations() { return grid().getStatistics().iterations; }
    void trigger(const char *name) { findAction(*window, name)->trigger(); }

private slots:
    void initTestCase()
    {
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        QVERIFY(temp.isValid());
    }

    void init()
    {
        window = std::make_unique<LBMainWindow>();
        view().runFolders().setDirectory(temp.path());
        window->resize(900, 600);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        buildFlowingChannel(grid(), 60, 30);
        view().rebuildGeometry(false);
    }

    void cleanup()
    {
        window.reset();
        // Run folders are named by the second they start in: a test starting
        // in the same second as the previous one would otherwise find that
        // one's outputs in its folder.
        QDir dir(temp.path());
        for (const QString &run : dir.entryList({"sim*"}, QDir::Dirs | QDir::NoDotAndDotDot))
            QDir(dir.filePath(run)).removeRecursively();
    }

    // The default window of 1024 x 768 gives the view most of the width and
    // shows the Info dock's Probe fields without scrolling.
    void defaultWindowLayout()
    {
        window = std::make_unique<LBMainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->size(), QSize(1024, 768));
        if (!qEnvironmentVariableIsEmpty("ONDIX_SCREENSHOT_DIR"))
            window->grab().save(qEnvironmentVariable("ONDIX_SCREENSHOT_DIR") + "/default-window.png");
        QVERIFY2(view().width() >= 0.6 * window->width(), qPrintable(QString::number(view().width())));
        for (const char *name : {"infoX", "infoY", "infoZ"}) {
            auto *field = window->getInfo()->findChild<QLineEdit *>(QLatin1String(name));
            QVERIFY(field->isVisible());
            const QRect onWindow(field->mapTo(window.get(), QPoint(0, 0)), field->size());
            QVERIFY2(window->rect().contains(onWindow), name);
            QVERIFY2(!field->visibleRegion().isEmpty(), name);
            QCOMPARE(field->visibleRegion().boundingRect().size(), field->size());
        }
        if (!qEnvironmentVariableIsEmpty("ONDIX_SCREENSHOT_DIR"))
            window->grab().save(qEnvironmentVariable("ONDIX_SCREENSHOT_DIR") + "/default-window.png");
    }

    void menusInOrder()
    {
        const QList<QAction *> bar = window->menuBar()->actions();
        QStringList titles;
        for (QAction *a : bar)
            titles << a->text();
        QCOMPARE(titles.mid(0, 5), QStringList({"&File", "&Simulation", "&Tools", "Window", "&Ondix"}));
        QCOMPARE(entriesOf(bar[0]->menu()),
                 QStringList({"Load", "Load All (v2)", "Load All (v3)", "Reload All", "-", "Save", "Save x2",
                              "Save All (v2)", "Save All (v3)", "Save Image", "Export to VTK", "-", "Use zipped lb2"}));
        QCOMPARE(entriesOf(bar[1]->menu()),
                 QStringList({"Next", "Begin", "End", "Reset", "-", "Exec. 2 it.", "Exec. 4 it.", "Exec. 8 it.",
                              "Exec. 16 it.", "Exec. 32 it.", "Exec. 64 it.", "Exec. 128 it.", "Exec. 256 it.",
                              "Exec. 512 it.", "Exec. 1024 it.", "-", "Start Server", "Stop Server"}));
        QCOMPARE(entriesOf(bar[2]->menu()),
                 QStringList({"Mesher", "Parameters", "Immersed", "-", "Colors", "View", "Tracers", "Animation", "-",
                              "Charts", "Results", "Interpolation", "-", "lb2 Editor"}));
        // The interpolation points dialog opens from its entry, which leaves
        // Alt+4 to "Exec. 16 it.".
        QVERIFY(findAction(*window, "actionInterpolation")->shortcut().isEmpty());
        findAction(*window, "actionInterpolation")->trigger();
        QVERIFY(window->getInterpolation()->isVisible());
        QCOMPARE(entriesOf(bar[3]->menu()), QStringList({"View", "Info", "Reset Projection", "-", "Geometry",
                                                         "Image Processing", "-", "Painter"}));
        QCOMPARE(entriesOf(bar[4]->menu()), QStringList({"Credits", "Changes"}));
        QCOMPARE(window->windowTitle(), QStringLiteral("Ondix "));
        QVERIFY(findAction(*window, "actionUse_zipped_lb3")->isChecked());
    }

    void shortcuts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shortcut");
        QTest::addColumn<bool>("inMenu");
        QTest::newRow("load") << "actionLoad"
                              << "Ctrl+L" << true;
        QTest::newRow("begin") << "actionStart"
                               << "Ctrl+B" << true;
        QTest::newRow("exec 2") << "actionExec_2_it"
                                << "Alt+1" << true;
        QTest::newRow("exec 1024") << "actionExec_1024_it"
                                   << "Alt+0" << true;
        QTest::newRow("editor") << "action_lb_lb2_Editor"
                                << "Ctrl+0" << true;
        QTest::newRow("info dock") << "actionInfo_2"
                                   << "Ctrl+O" << true;
        QTest::newRow("hidden info") << "actionInfo"
                                     << "Ctrl+I" << false;
        QTest::newRow("hidden opencl") << "actionOpenCL"
                                       << "Ctrl+0" << false;
        QTest::newRow("hidden debug") << "actionDebug"
                                      << "Ctrl+D" << false;
    }

    void shortcuts()
    {
        QFETCH(QString, name);
        QFETCH(QString, shortcut);
        QFETCH(bool, inMenu);
        QAction *a = findAction(*window, name.toLatin1().constData());
        QCOMPARE(a->shortcut().toString(), shortcut);
        // Actions in no menu are attached to no widget, so their shortcuts,
        // shared with menu entries, never fire.
        QCOMPARE(!a->associatedWidgets().isEmpty(), inMenu);
    }

    void painterMenu()
    {
        QMenu *menu = window->findChild<QMenu *>(QStringLiteral("menuPainter"));
        QVERIFY(menu);
        QCOMPARE(entriesOf(menu),
                 QStringList({"Velocity", "Pressure", "Temperature", "Arrow", "Passive scalar", "Multicomponent",
                              "Normal arrow", "Stream function", "Vorticity", "Vorticity magnitude", "Detail",
                              "Permeability", "Microflux", "Macroflux", "Korner", "Temp"}));
        QAction *velocity = findAction(*window, "actionVelocity");
        QVERIFY(menu->actions().contains(velocity));
        QVERIFY(velocity->isChecked());
        // In the menu the painter entries leave Alt+1..Alt+4 to the "Exec." entries.
        QVERIFY(velocity->shortcut().isEmpty());
        QCOMPARE(findAction(*window, "actionExec_2_it")->shortcut().toString(), QStringLiteral("Alt+1"));
        trigger("actionPressure");
        QCOMPARE(view().getRenderer()->getPainterName(), QStringLiteral("pressure"));
        QVERIFY(findAction(*window, "actionPressure")->isChecked());
        QVERIFY(!velocity->isChecked());
        for (QAction *a : menu->actions())
            if (a->text() == QLatin1String("Vorticity magnitude"))
                a->trigger();
        QCOMPARE(view().getRenderer()->getPainterName(), QStringLiteral("vorticity magnitude"));
        // "Forces" is no painter: it keeps the one in use.
        trigger("actionForces");
        QCOMPARE(view().getRenderer()->getPainterName(), QStringLiteral("vorticity magnitude"));
    }

    void colorsDialogFollowsTheRange()
    {
        trigger("actionColors");
        Colors *colors = window->getColors();
        QVERIFY(colors->isVisible());
        view().updateGL();
        // The view's auto adjust refreshes the preview with the range it chose.
        Renderer *r = view().getRenderer();
        QCOMPARE(colors->previewCentre(), r->getCentre());
        QCOMPARE(colors->previewQuarter(), r->getHalfWidth() / 2);
    }

    void loadExampleAndRun()
    {
        const QString path = example("channel-obstacle.png");
        QVERIFY(QFile::exists(path));
        trigger("actionExec_2_it");
        answerFileDialog(path);
        trigger("actionLoad");
        QCOMPARE(grid().getWidth(), 240);
        QCOMPARE(grid().getHeight(), 80);
        QCOMPARE(grid().getLength(), 1);
        QCOMPARE(iterations(), 0);
        QCOMPARE(window->getFilePath(), path);
        QCOMPARE(view().getCurrentFile(), path);
        QVERIFY(!window->findChild<QMessageBox *>(QStringLiteral("notice")));

        trigger("actionExec_8_it");
        QCOMPARE(iterations(), 8);
        trigger("actionNext");
        QCOMPARE(iterations(), 9);
        trigger("actionStart");
        QTRY_VERIFY(iterations() >= 12);
        trigger("actionStop");
        QTest::qWait(50);
        const int stopped = iterations();
        QTest::qWait(150);
        QCOMPARE(iterations(), stopped);
        trigger("actionReset");
        QCOMPARE(iterations(), 0);
    }

    void exampleFrame()
    {
        answerFileDialog(example("channel-obstacle.png"));
        trigger("actionLoad");
        trigger("actionExec_256_it");
        const QImage frame = view().grabFrame();
        // Inlet red on the left, outlet black on the right, walls and the cylinder grey.
        QVERIFY(near(frame.pixelColor(pixelOfCell(view(), 0, 40)), 255, 0, 0));
        QVERIFY(near(frame.pixelColor(pixelOfCell(view(), 239, 40)), 0, 0, 0));
        QVERIFY(near(frame.pixelColor(pixelOfCell(view(), 120, 0)), 128, 128, 128));
        QVERIFY(near(frame.pixelColor(pixelOfCell(view(), 120, 79)), 128, 128, 128));
        QVERIFY(near(frame.pixelColor(pixelOfCell(view(), 60, 41)), 128, 128, 128));
        // The flow is painted in the ramp's colours, faster beside the
        // cylinder than in its wake.
        Renderer *r = view().getRenderer();
        for (QPoint cell : {QPoint(20, 40), QPoint(60, 60), QPoint(75, 41), QPoint(150, 20)}) {
            const QColor c = frame.pixelColor(pixelOfCell(view(), cell.x(), cell.y()));
            QVERIFY(!near(c, 255, 255, 255, 0));
            QVERIFY(near(c, r->color(grid().getCell(cell.x(), cell.y(), 0)->getVelocity(-1).length()).red(),
                         r->color(grid().getCell(cell.x(), cell.y(), 0)->getVelocity(-1).length()).green(),
                         r->color(grid().getCell(cell.x(), cell.y(), 0)->getVelocity(-1).length()).blue()));
        }
        QVERIFY(grid().getCell(60, 58, 0)->getVelocity(-1).length() >
                grid().getCell(72, 41, 0)->getVelocity(-1).length());
    }

    void runTablesOfTheExample()
    {
        answerFileDialog(example("channel-obstacle.png"));
        trigger("actionLoad");
        view().setOutputs(false, true, true, 10);
        QSignalSpy failures(&view(), &LBWidget::outputFailed);
        trigger("actionExec_32_it");
        QCOMPARE(failures.count(), 0);
        const QString folder = view().getOutputFolder();
        QVERIFY2(QRegularExpression("/sim\\d{14}-channel-obstacle$").match(folder).hasMatch(), qPrintable(folder));
        QDir dir(folder);
        QCOMPARE(dir.entryList({"vp_*"}, QDir::Files),
                 QStringList({"vp_000010.csv", "vp_000020.csv", "vp_000030.csv"}));
        QCOMPARE(dir.entryList({"img_*"}, QDir::Files), QStringList());
        QFile table(dir.filePath("vp_000020.csv"));
        QVERIFY(table.open(QIODevice::ReadOnly));
        QCOMPARE(table.readLine().trimmed(), QByteArray("x,y,z,|V|,Vx,Vy,Vz,p,stream,|W|,Wx,Wy,Wz,p1,p10,p11"));
        QFile series(dir.filePath("simulation.csv"));
        QVERIFY(series.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = series.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines[0].startsWith("iterations,performance,deltaP"));
        QVERIFY(lines[1].startsWith("10,"));
        QVERIFY(lines[3].startsWith("30,"));

        // A new run after End writes into a new folder.
        trigger("actionStart");
        trigger("actionStop");
        QTest::qWait(1100);
        view().setBurst(10 - iterations() % 10);
        trigger("actionNext");
        QVERIFY(!view().getOutputFolder().isEmpty());
        QVERIFY(view().getOutputFolder() != folder);
    }

    // Not a check: with ONDIX_SCREENSHOT_DIR set, writes the README's picture
    // of the program running the channel-with-obstacle example, and a sheet
    // of every painter on the same flow.
    void screenshot()
    {
        const QString dir = qEnvironmentVariable("ONDIX_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("set ONDIX_SCREENSHOT_DIR to write the pictures");
        window->resize(1100, 560);
        QTest::qWait(50);
        answerFileDialog(example("channel-obstacle.png"));
        trigger("actionLoad");
        view().setBurst(100);
        for (int i = 0; i < 6; ++i)
            trigger("actionExec_8_it");
        QCOMPARE(iterations(), 4800);
        // Four wheel notches forward bring the channel closer.
        for (int i = 0; i < 4; ++i) {
            const QPoint centre(view().width() / 2, view().height() / 2);
            QWheelEvent wheel(centre, view().mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(&view(), &wheel);
        }
        QImage picture = window->grab().toImage();
        {
            QPainter painter(&picture);
            painter.drawImage(view().mapTo(window.get(), QPoint(0, 0)), view().grabFrame());
        }
        QVERIFY(picture.save(dir + "/screenshot.png", "PNG"));

        // Each painter's frame, cropped to the domain, with its name.
        Renderer *r = view().getRenderer();
        const QPoint low = pixelOfCell(view(), 0, 79), high = pixelOfCell(view(), 239, 0);
        const QRect domain = QRect(low, high).adjusted(-4, -4, 4, 4);
        const QStringList names = Painters::names();
        const int columns = 2, tileW = domain.width(), tileH = domain.height() + 22;
        QImage sheet(columns * tileW, (names.size() + columns - 1) / columns * tileH, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        QPainter painter(&sheet);
        for (int i = 0; i < names.size(); ++i) {
            r->selectPainter(names[i]);
            const QPoint at((i % columns) * tileW, (i / columns) * tileH);
            painter.drawImage(at + QPoint(0, 22), view().grabFrame().copy(domain));
            painter.drawText(QRect(at, QSize(tileW, 22)), Qt::AlignCenter, QString("%1  %2").arg(i).arg(names[i]));
        }
        painter.end();
        QVERIFY(sheet.save(dir + "/painters.png", "PNG"));
        r->selectPainter("velocity");
    }

    void execNextAndReset()
    {
        trigger("actionExec_8_it");
        QCOMPARE(iterations(), 8);
        trigger("actionNext");
        QCOMPARE(iterations(), 9);
        trigger("actionExec_2_it");
        QCOMPARE(iterations(), 11);
        trigger("actionReset");
        QCOMPARE(iterations(), 0);
        QVERIFY(!view().isRunning());
    }

    // The run-control shortcuts reach the window while a text field of a
    // dock has the focus (a field takes Ctrl+E and Ctrl+N for itself), and
    // a click on the view takes the focus from the field.
    void runShortcutsWhereverTheFocusIs()
    {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        auto *field = window->getInfo()->findChild<QLineEdit *>(QStringLiteral("renderUpdate"));
        auto *probe = window->getInfo()->findChild<QLineEdit *>(QStringLiteral("infoX"));
        field->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), field);
        QTest::keyClick(field, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(iterations(), 1);
        QTest::keyClick(field, Qt::Key_B, Qt::ControlModifier);
        QVERIFY(view().isRunning());
        QTRY_VERIFY(iterations() > 3);
        probe->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), probe);
        QTest::keyClick(probe, Qt::Key_E, Qt::ControlModifier);
        QVERIFY(!view().isRunning());
        QTest::keyClick(probe, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(iterations(), 0);
        QTest::keyClick(probe, Qt::Key_1, Qt::AltModifier);
        QCOMPARE(iterations(), 2);
        // Other keys still edit the field.
        probe->setText(QStringLiteral("12"));
        probe->setCursorPosition(0);
        QTest::keyClick(probe, Qt::Key_End);
        QTest::keyClick(probe, Qt::Key_3);
        QCOMPARE(probe->text(), QStringLiteral("123"));
        QTest::mouseClick(&view(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(&view()));
    }

    void beginAndEndThroughTheEventLoop()
    {
        trigger("actionStart");
        QVERIFY(view().isRunning());
        // Nothing runs until the event loop turns.
        QCOMPARE(iterations(), 0);
        QTRY_VERIFY(iterations() >= 5);
        trigger("actionStop");
        QVERIFY(!view().isRunning());
        QTest::qWait(50);
        const int stopped = iterations();
        QTest::qWait(200);
        QCOMPARE(iterations(), stopped);
        QVERIFY(view().getTotal() == stopped);
    }

    void nextWhileRunningStopsTheLoop()
    {
        trigger("actionStart");
        trigger("actionNext");
        QCOMPARE(iterations(), 1);
        // The call already queued still runs once, then nothing more.
        QTest::qWait(100);
        QCOMPARE(iterations(), 2);
    }

    void secondBeginStartsNoSecondChain()
    {
        view().setBurst(1);
        trigger("actionStart");
        trigger("actionStart");
        QCoreApplication::processEvents();
        // One queued call per turn of the event loop, not two.
        QCOMPARE(iterations(), 1);
        trigger("actionStop");
    }

    void nextAfterResetOrLoadRepaints()
    {
        view().setBurst(1);
        view().setRenderUpdate(10);
        trigger("actionExec_64_it");
        QCOMPARE(view().getLastPainted(), 60);
        trigger("actionReset");
        trigger("actionExec_16_it");
        // The count went back to 0, so the repaint is due at 10 again.
        QCOMPARE(view().getLastPainted(), 10);
        trigger("actionExec_64_it");
        answerFileDialog(example("channel-obstacle.png"));
        trigger("actionLoad");
        QCOMPARE(iterations(), 0);
        trigger("actionExec_16_it");
        QCOMPARE(view().getLastPainted(), 10);
        QCOMPARE(view().getTotal(), 16);
    }

    void refusingGridCapturesItsLastFrameOnce()
    {
        grid().getParameters()->setMaxIterations(20);
        view().setBurst(10);
        view().setOutputs(true, false, false, 10);
        trigger("actionStart");
        QTRY_VERIFY(QFile::exists(view().getOutputFolder() + "/img_000020.png"));
        QCOMPARE(iterations(), 20);
        QVERIFY(QFile::remove(view().getOutputFolder() + "/img_000020.png"));
        // The loop keeps turning but the grid stands still: nothing new to capture.
        QTest::qWait(200);
        QVERIFY(view().isRunning());
        QVERIFY(!QFile::exists(view().getOutputFolder() + "/img_000020.png"));
        trigger("actionStop");
        grid().getParameters()->setMaxIterations(0);
    }

    void beginNextBeginKeepsOneChain()
    {
        view().setBurst(1);
        trigger("actionStart");
        trigger("actionNext");
        trigger("actionStart");
        QCOMPARE(iterations(), 1);
        for (int turn = 1; turn <= 3; ++turn) {
            QCoreApplication::processEvents();
            QCOMPARE(iterations(), 1 + turn);
        }
        trigger("actionStop");
    }

    void failuresOfEveryCommandAreReported()
    {
        view().runFolders().setDirectory(temp.filePath("missing/nested"));
        view().setOutputs(false, true, false, 1);
        QSignalSpy failures(&view(), &LBWidget::outputFailed);
        trigger("actionNext");
        trigger("actionNext");
        trigger("actionExec_4_it");
        // Once per command, not once per program.
        QCOMPARE(failures.count(), 3);
    }

    void infoDockAndChartsFollowTheRun()
    {
        Info *info = window->getInfo();
        QVERIFY(info->isVisible());
        QCOMPARE(window->dockWidgetArea(info), Qt::RightDockWidgetArea);
        auto label = [info](const char *name) { return info->findChild<QLabel *>(QLatin1String(name))->text(); };
        answerFileDialog(example("channel-obstacle.png"));
        trigger("actionLoad");
        QCOMPARE(label("file"), QStringLiteral("channel-obstacle.png"));
        QCOMPARE(label("gridSize"), QStringLiteral("240 x 80 x 1"));

        trigger("actionChart");
        trigger("actionChart");
        QCOMPARE(window->getCharts().size(), 2);
        Chart *chart = window->getCharts().first();
        QVERIFY(chart->isVisible());
        auto *type = chart->findChild<QComboBox *>(QStringLiteral("chartType"));
        // Charts start disabled: no choice of type, no samples.
        QVERIFY(!type->isEnabled());
        info->findChild<QCheckBox *>(QStringLiteral("disableCharts"))->click();
        QVERIFY(type->isEnabled());
        type->setCurrentText(QStringLiteral("-log(DeltaP)"));
        chart->findChild<QSpinBox *>(QStringLiteral("interval"))->setValue(4);
        QVector<QPointF> expected;
        for (int i = 0; i < 3; ++i) {
            trigger("actionExec_4_it");
            expected << QPointF(iterations(), -std::log10(grid().getStatistics().deltaP));
        }
        QCOMPARE(chart->getSeries(), expected);
        // The second chart has no type: nothing to plot.
        QVERIFY(window->getCharts()[1]->getSeries().isEmpty());
        QCOMPARE(label("iterations"), QStringLiteral("12"));
        trigger("actionStart");
        QTRY_VERIFY(label("mlups") != QLatin1String("0"));
        trigger("actionStop");

        trigger("actionReset");
        QVERIFY(chart->getSeries().isEmpty());
        QCOMPARE(label("iterations"), QStringLiteral("0"));
        QCOMPARE(label("mlups"), QStringLiteral("0"));
        QCOMPARE(label("time"), QStringLiteral("00:00:00"));

        // Window > Info hides and shows the dock; a closed chart is gone.
        trigger("actionInfo_2");
        QVERIFY(!info->isVisible());
        trigger("actionInfo_2");
        QVERIFY(info->isVisible());
        chart->close();
        QTRY_COMPARE(window->getCharts().size(), 1);
        trigger("actionExec_4_it");
    }

    // Not a check: with ONDIX_SCREENSHOT_DIR set, writes the README's picture
    // of the information dock and a chart beside the running example.
    void infoAndChartScreenshot()
    {
        const QString dir = qEnvironmentVariable("ONDIX_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("set ONDIX_SCREENSHOT_DIR to write the pictures");
        window->resize(1100, 620);
        answerFileDialog(example("channel-obstacle.png"));
        trigger("actionLoad");
        Info *info = window->getInfo();
        info->findChild<QCheckBox *>(QStringLiteral("disableCharts"))->click();
        for (const char *name : {"infoX", "infoY", "infoZ"}) {
            auto *e = info->findChild<QLineEdit *>(QLatin1String(name));
            e->setText(name[4] == 'X' ? "120" : (name[4] == 'Y' ? "40" : "1"));
            QTest::keyClick(e, Qt::Key_Return);
        }
        trigger("actionChart");
        Chart *chart = window->getCharts().first();
        chart->findChild<QComboBox *>(QStringLiteral("chartType"))->setCurrentText(QStringLiteral("-log(DeltaP)"));
        chart->findChild<QSpinBox *>(QStringLiteral("interval"))->setValue(20);
        view().setBurst(20);
        trigger("actionStart");
        QTRY_VERIFY_WITH_TIMEOUT(iterations() >= 3000, 120000);
        trigger("actionStop");
        QTest::qWait(100);
        QImage picture = window->grab().toImage();
        {
            QPainter painter(&picture);
            painter.drawImage(view().mapTo(window.get(), QPoint(0, 0)), view().grabFrame());
        }
        const QImage plot = chart->grab().toImage();
        QImage sheet(picture.width(), picture.height() + plot.height(), QImage::Format_RGB32);
        sheet.fill(Qt::white);
        QPainter painter(&sheet);
        painter.drawImage(0, 0, picture);
        painter.drawImage((picture.width() - plot.width()) / 2, picture.height(), plot);
        painter.end();
        QVERIFY(sheet.save(dir + "/info-charts.png", "PNG"));
    }

    // The example documents of other models open with Load All (v2), bring
    // their model's settings, run, and the model's painter shows the field:
    // the droplet denser than its vapour, the first component's drop apart
    // from the second, the floor hotter than the lid. With
    // ONDIX_SCREENSHOT_DIR set, the three frames go into model-examples.png.
    void modelExamplesOpenAndRun()
    {
        struct Case
        {
            const char *file, *painter;
            QPoint inside, outside;
        };
        const Case cases[] = {{"droplet-multiphase.lb2", "pressure", {50, 50}, {2, 2}},
                              {"two-components.lb2", "multicomponent", {50, 50}, {2, 2}},
                              {"heated-box.lb2", "temperature", {64, 2}, {64, 31}}};
        window->resize(900, 700);
        QList<QImage> frames;
        for (const Case &c : cases) {
            answerFileDialog(example(c.file));
            trigger("actionLoad_All_2_testing");
            const SimulationParameters *p = grid().getParameters();
            const QString file = QLatin1String(c.file);
            if (file.startsWith(QLatin1String("droplet")))
                QCOMPARE(p->getMpG(), -120.0);
            else
                QCOMPARE(p->getMcType(), file.startsWith(QLatin1String("two")) ? 1 : 4);
            const int before = iterations();
            view().setBurst(50);
            trigger("actionExec_8_it");
            QCOMPARE(iterations(), before + 400);
            window->getView()->getRenderer()->selectPainter(QLatin1String(c.painter));
            const QImage frame = view().grabFrame();
            const QColor in = frame.pixelColor(pixelOfCell(view(), c.inside.x(), c.inside.y()));
            const QColor out = frame.pixelColor(pixelOfCell(view(), c.outside.x(), c.outside.y()));
            QVERIFY2(std::abs(in.hue() - out.hue()) > 60 || std::abs(in.value() - out.value()) > 60,
                     qPrintable(QString("%1: %2 against %3").arg(c.file, in.name(), out.name())));
            frames << frame;
        }
        const QString dir = qEnvironmentVariable("ONDIX_SCREENSHOT_DIR");
        if (dir.isEmpty())
            return;
        // The picture shows the rolls, which take some thousand iterations.
        view().setBurst(500);
        trigger("actionExec_8_it");
        trigger("actionExec_4_it");
        frames.last() = view().grabFrame();
        const int w = frames.first().width() / 2;
        QImage sheet(3 * w, frames.first().height() / 2 + 24, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        QPainter painter(&sheet);
        for (int i = 0; i < 3; ++i) {
            painter.drawImage(QRect(i * w, 24, w, frames[i].height() / 2), frames[i]);
            painter.drawText(QRect(i * w, 0, w, 24), Qt::AlignCenter,
                             QString("%1 (%2)").arg(cases[i].file, cases[i].painter));
        }
        painter.end();
        QVERIFY(sheet.save(dir + "/model-examples.png", "PNG"));
    }

    void frameShowsStaticCellsAndFlow()
    {
        trigger("actionExec_4_it");
        const QImage frame = view().grabFrame();
        QCOMPARE(frame.size(), view().size());
        // Inlet column red, walls grey, obstacle grey.
        QVERIFY(near(frame.pixelColor(pixelOfCell(view(), 0, 15)), 255, 0, 0));
        QVERIFY(near(frame.pixelColor(pixelOfCell(view(), 30, 0)), 128, 128, 128));
        QVERIFY(near(frame.pixelColor(pixelOfCell(view(), 30, 29)), 128, 128, 128));
        QVERIFY(near(frame.pixelColor(pixelOfCell(view(), 16, 15)), 128, 128, 128));
        // The flow: fluid painted in colour, faster in the middle than at the wall.
        const QColor middle = frame.pixelColor(pixelOfCell(view(), 45, 15));
        const QColor edge = frame.pixelColor(pixelOfCell(view(), 45, 1));
        QVERIFY(!near(middle, 255, 255, 255, 0));
        QVERIFY(!near(edge, 255, 255, 255, 0));
        QVERIFY(middle != edge);
        // Outside the domain the background stays white.
        QVERIFY(near(frame.pixelColor(5, 5), 255, 255, 255, 0));
    }

    void periodicImagesInANamedFolder()
    {
        window->setFilePath(QStringLiteral("/somewhere/channel.obstacle.png"));
        view().setBurst(1);
        view().setOutputs(true, false, false, 10);
        QSignalSpy failures(&view(), &LBWidget::outputFailed);
        trigger("actionExec_32_it");
        QCOMPARE(iterations(), 32);
        const QString folder = view().getOutputFolder();
        QVERIFY(QRegularExpression("^" + QRegularExpression::escape(temp.path()) + "/sim\\d{14}-channel$")
                    .match(folder)
                    .hasMatch());
        QDir dir(folder);
        QVERIFY(dir.exists());
        QCOMPARE(dir.entryList({"img_*"}, QDir::Files),
                 QStringList({"img_000010.png", "img_000020.png", "img_000030.png"}));
        QImage image(dir.filePath("img_000020.png"));
        QCOMPARE(image.size(), view().size());
        QVERIFY(near(image.pixelColor(pixelOfCell(view(), 0, 15)), 255, 0, 0));
        QCOMPARE(failures.count(), 0);

        // End forgets the folder; Reset too.
        trigger("actionStop");
        QVERIFY(view().getOutputFolder().isEmpty());
    }

    void burstsSeeOnlyTheirEnds()
    {
        view().setBurst(4);
        view().setOutputs(true, false, false, 10);
        trigger("actionExec_8_it");
        QCOMPARE(iterations(), 32);
        // Bursts end at 4, 8, ..., 32: only 20 is a multiple of 10.
        QCOMPARE(QDir(view().getOutputFolder()).entryList({"img_*"}, QDir::Files), QStringList({"img_000020.png"}));
    }

    void folderWithoutFileEndsInDash()
    {
        view().setOutputs(true, false, false, 1);
        trigger("actionExec_2_it");
        QVERIFY(view().getOutputFolder().endsWith("-"));
    }

    // A probe typed for one grid lies outside the next one loaded: it is
    // switched off, never read. On the 2D channel loaded after the 3D duct
    // (whose model it keeps) the fluid at rest may move along z only, which
    // gives the flux readout no line across the flow to walk.
    void probeSurvivesLoadingOtherGrids()
    {
        // A 2D channel of 30 x 12 and a 3D duct of 10 x 6 x 4 as PNG layers.
        auto layer = [](int w, int h, bool walled) {
            QImage image(w, h, QImage::Format_RGB32);
            image.fill(Qt::white);
            for (int x = 0; x < w; ++x)
                for (int y : {0, h - 1})
                    image.setPixel(x, y, qRgb(128, 128, 128));
            for (int y = 1; y < h - 1; ++y) {
                image.setPixel(0, y, walled ? qRgb(128, 128, 128) : qRgb(255, 0, 0));
                image.setPixel(w - 1, y, walled ? qRgb(128, 128, 128) : qRgb(0, 0, 0));
            }
            return image;
        };
        const QString channel = temp.filePath("probe-channel.png"), duct = temp.filePath("probe-duct.png");
        QVERIFY(layer(30, 12, false).save(channel));
        QVERIFY(layer(10, 6, true).save(duct));
        QVERIFY(layer(10, 6, false).save(temp.filePath("probe-duct_2.png")));
        QVERIFY(layer(10, 6, false).save(temp.filePath("probe-duct_3.png")));
        QVERIFY(layer(10, 6, true).save(temp.filePath("probe-duct_4.png")));

        Info *info = window->getInfo();
        auto type = [info](const char *name, const char *text) {
            auto *e = info->findChild<QLineEdit *>(QLatin1String(name));
            e->setText(QLatin1String(text));
            QTest::keyClick(e, Qt::Key_Return);
        };
        auto text = [info](const char *name) { return info->findChild<QLineEdit *>(QLatin1String(name))->text(); };
        auto label = [info](const char *name) { return info->findChild<QLabel *>(QLatin1String(name))->text(); };
        auto load = [this](const QString &path) {
            window->setFilePath(path);
            window->load();
        };
        load(channel);
        type("infoX", "20");
        type("infoY", "8");
        type("infoZ", "1");
        QVERIFY(!label("density").isEmpty());
        QCOMPARE(view().getRenderer()->getProbePoint(0), Vector3i(20, 8, 1));
        load(duct);
        QCOMPARE(grid().getLength(), 4);
        QCOMPARE(text("infoX") + text("infoY") + text("infoZ"), QStringLiteral("000"));
        QCOMPARE(view().getRenderer()->getProbePoint(0), Vector3i(0, 0, 0));
        QVERIFY(label("density").isEmpty());
        load(channel);
        QCOMPARE(grid().getWidth(), 30);
        type("infoX", "20");
        type("infoY", "8");
        type("infoZ", "1");
        QVERIFY(!label("flux").isEmpty());
        trigger("actionExec_2_it");
    }

    void loadFailureKeepsTheSimulation()
    {
        const QString bad = temp.filePath("broken.png");
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("this is no image");
        file.close();
        window->setFilePath(QStringLiteral("/earlier/run.png"));
        trigger("actionExec_2_it");
        BaseCell *before = grid().getCell(10, 10, 0);

        answerFileDialog(bad);
        trigger("actionLoad");
        QCOMPARE(grid().getWidth(), 60);
        QCOMPARE(grid().getHeight(), 30);
        QCOMPARE(grid().getCell(10, 10, 0), before);
        QCOMPARE(iterations(), 2);
        QCOMPARE(window->getFilePath(), QStringLiteral("/earlier/run.png"));
        auto *notice = window->findChild<QMessageBox *>(QStringLiteral("notice"));
        QVERIFY(notice);
        QVERIFY(notice->isVisible());
        QVERIFY(!notice->text().isEmpty());
    }

    void geometryFilesWhateverTheirCaseOrSuffix()
    {
        // The Load dialog offers every geometry format.
        QStringList filters;
        QTimer peek;
        connect(&peek, &QTimer::timeout, [&filters]() {
            if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()))
                filters = dialog->nameFilters();
        });
        peek.start(5);
        answerFileDialog(example("poiseuille-channel.txt"));
        trigger("actionLoad");
        peek.stop();
        QVERIFY2(filters.join(' ').contains("*.txt") && filters.join(' ').contains("*.lb"),
                 qPrintable(filters.join(';')));
        QCOMPARE(window->getFilePath(), example("poiseuille-channel.txt"));

        // One dispatcher for every caller: an upper-case suffix loads too.
        const QString upper = temp.filePath("CHANNEL.PNG");
        QFile::remove(upper);
        QVERIFY(QFile::copy(example("channel-obstacle.png"), upper));
        answerFileDialog(upper);
        trigger("actionLoad");
        QCOMPARE(grid().getWidth(), 240);
        QCOMPARE(window->getFilePath(), upper);

        // Names typed without a suffix get the format's own.
        answerFileDialog(temp.filePath("geometry"));
        trigger("actionSave");
        QVERIFY(QFile::exists(temp.filePath("geometry.png")));
        QVERIFY(!QFile::exists(temp.filePath("geometry")));
        answerFileDialog(temp.filePath("flow"));
        trigger("actionSave_VTK");
        QVERIFY(QFile::exists(temp.filePath("flow.vtu")));
        answerFileDialog(temp.filePath("frame"));
        trigger("actionSave_Image");
        QVERIFY(!QImage(temp.filePath("frame.png")).isNull());
        // The saved geometry loads again.
        answerFileDialog(temp.filePath("geometry.png"));
        trigger("actionLoad");
        QCOMPARE(grid().getWidth(), 240);
        QCOMPARE(grid().getHeight(), 80);
    }

    void loadingResetsTheCameraUnlessKept()
    {
        auto turnAndZoom = [this]() {
            Camera &camera = view().getRenderer()->getCamera();
            camera.setAngles(30, 20, 10);
            camera.setTranslation(0.2, -0.1, 0);
            const QPoint centre(view().width() / 2, view().height() / 2);
            QWheelEvent wheel(centre, view().mapToGlobal(centre), QPoint(), QPoint(0, 240), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(&view(), &wheel);
        };
        auto atRest = [this]() {
            const Camera &camera = view().getRenderer()->getCamera();
            double b[4];
            camera.projectionBounds(b);
            return camera.getOrientation().w == 1.0f && camera.getZoom() == 1.0 &&
                   camera.getTranslation().length() == 0.0 &&
                   std::abs(std::min(b[1] - b[0], b[3] - b[2]) - 1.0) < 1e-12;
        };
        turnAndZoom();
        QVERIFY(!atRest());
        answerFileDialog(example("channel-obstacle.png"));
        trigger("actionLoad");
        QVERIFY(atRest());
        // The whole new domain is in the picture: inlet and outlet columns.
        const QImage frame = view().grabFrame();
        QVERIFY(near(frame.pixelColor(pixelOfCell(view(), 0, 40)), 255, 0, 0));
        QVERIFY(near(frame.pixelColor(pixelOfCell(view(), 239, 40)), 0, 0, 0));

        window->setKeepCameraOnLoad(true);
        turnAndZoom();
        answerFileDialog(example("channel-obstacle.png"));
        trigger("actionLoad");
        QVERIFY(!atRest());
        QCOMPARE(view().getRenderer()->getCamera().getTranslation().x, 0.2);
        QSignalSpy zoom(&view(), &LBWidget::zoomChanged);
        trigger("actionReset_Projection");
        QVERIFY(atRest());
        QCOMPARE(zoom.count(), 1);
    }

    void unknownSuffixLoadsNothing()
    {
        BaseCell *before = grid().getCell(10, 10, 0);
        window->setFilePath(temp.filePath("state.lb2"));
        window->load();
        QCOMPARE(grid().getCell(10, 10, 0), before);
    }

    void cancelledDialogChangesNothing()
    {
        window->setFilePath(QStringLiteral("/earlier/run.png"));
        BaseCell *before = grid().getCell(10, 10, 0);
        answerFileDialog(QString());
        trigger("actionLoad");
        QCOMPARE(window->getFilePath(), QStringLiteral("/earlier/run.png"));
        QCOMPARE(grid().getCell(10, 10, 0), before);
        QVERIFY(!window->findChild<QMessageBox *>(QStringLiteral("notice")));
    }

    void saveImageWritesTheFrame()
    {
        const QString path = temp.filePath("shot.png");
        answerFileDialog(path);
        trigger("actionSave_Image");
        QImage image(path);
        QCOMPARE(image.size(), view().size());
        QVERIFY(near(image.pixelColor(pixelOfCell(view(), 0, 15)), 255, 0, 0));
    }

    void editorRoundTrips()
    {
        CodeEditor *editor = window->getCodeEditor();
        trigger("action_lb_lb2_Editor");
        QVERIFY(editor->isVisible());
        QCOMPARE(editor->windowTitle(), QStringLiteral(".lb/.lb2 Editor"));
        const QString text = QStringLiteral("<state version=\"2\">\n  <cell type=\"wall\"/> äö\n</state>\n");
        editor->setText(text);
        const QString packed = temp.filePath("doc.lb2");
        answerFileDialog(packed);
        findAction(*editor, "actionSave_lb2")->trigger();
        QFile file(packed);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(qUncompress(file.readAll())), text);

        editor->setText(QString());
        answerFileDialog(packed);
        findAction(*editor, "actionLoad_lb2")->trigger();
        QCOMPARE(editor->text(), text);

        // Plain text read as compressed is refused and the text kept.
        const QString plain = temp.filePath("doc.lb");
        QVERIFY(editor->saveFile(plain, false));
        QString error;
        QVERIFY(!editor->loadFile(plain, true, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(editor->text(), text);
        QVERIFY(editor->loadFile(plain, false));
        QCOMPARE(editor->text(), text);
    }
};

QTEST_MAIN(TestLBMainWindow)
#include "tst_lbmainwindow.moc"
