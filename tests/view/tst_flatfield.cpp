#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/sccell.h"
#include "persistence/simulationparameters.h"
#include "view/flatfield.h"
#include "view/lbwidget.h"
#include "view/renderer.h"

#include <QElapsedTimer>
#include <QtTest>

#include <cmath>
#include <memory>

// The textured drawing of flat 2D fields against the quad per cell.
class TestFlatField : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LBWidget> view;
    Renderer &renderer() { return *view->getRenderer(); }
    Grid &grid() { return *view->getGrid(); }

    void makeChannel(int nx, int ny, QSize size)
    {
        view = std::make_unique<LBWidget>();
        view->resize(size);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        grid().getParameters()->setModel(9);
        grid().getParameters()->setPeriodicBoundaries(false);
        grid().resize(nx, ny, 1);
        grid().fillRegion("w", 0, nx - 1, 0, 0, 0, 0);
        grid().fillRegion("w", 0, nx - 1, ny - 1, ny - 1, 0, 0);
        grid().fillRegion("w", nx / 3, nx / 3 + 2, ny / 3, ny / 2, 0, 0);
        view->rebuildGeometry(false);
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                if (auto *cell = dynamic_cast<SCCell *>(grid().getCell(x, y, 0))) {
                    const double rho = 1 + 0.01 * std::sin(0.3 * x + 0.2 * y);
                    cell->reset(rho, -1);
                    cell->setEquilibrium(Vector3d(0.02 * std::sin(0.1 * x) * y / ny, 0.01 * std::cos(0.17 * y), 0),
                                         rho);
                }
    }

    // One frame with and one without the texture path: pixels, value buffer and extremes.
    void compareFrames(const QString &what)
    {
        renderer().setFastFlatDrawing(false);
        const QImage quads = view->grabFrame();
        QVERIFY(!renderer().lastFrameWasFlat());
        const std::vector<double> values = renderer().valueBuffer();
        const double low = renderer().getMinimum(), high = renderer().getMaximum();
        renderer().setFastFlatDrawing(true);
        const QImage texture = view->grabFrame();
        QVERIFY2(renderer().lastFrameWasFlat(), qPrintable(what));
        QCOMPARE(renderer().getMinimum(), low);
        QCOMPARE(renderer().getMaximum(), high);
        QVERIFY2(renderer().valueBuffer() == values, qPrintable(what));
        int differing = 0;
        for (int y = 0; y < quads.height(); ++y)
            for (int x = 0; x < quads.width(); ++x)
                differing += quads.pixel(x, y) != texture.pixel(x, y);
        QVERIFY2(differing == 0, qPrintable(QString("%1: %2 pixels differ").arg(what).arg(differing)));
    }

private slots:
    void cleanup() { view.reset(); }

    void samePixelsAsOneQuadPerCell_data()
    {
        QTest::addColumn<QString>("painter");
        QTest::addColumn<int>("group");
        QTest::addColumn<bool>("autoAdjust");
        QTest::addColumn<int>("style");
        QTest::newRow("velocity") << "velocity" << 1 << true << 0;
        QTest::newRow("velocity fixed range") << "velocity" << 1 << false << 1;
        QTest::newRow("pressure grouped") << "pressure" << 3 << true << 2;
        QTest::newRow("vorticity magnitude") << "vorticity magnitude" << 1 << true << 0;
        QTest::newRow("stream function") << "stream function" << 2 << true << 0;
        QTest::newRow("microflux") << "microflux" << 1 << true << 0;
        QTest::newRow("unknown style") << "velocity" << 1 << false << 4;
    }

    void samePixelsAsOneQuadPerCell()
    {
        QFETCH(QString, painter);
        QFETCH(int, group);
        QFETCH(bool, autoAdjust);
        QFETCH(int, style);
        for (QSize size : {QSize(480, 360), QSize(517, 391)}) {
            makeChannel(61, 37, size);
            renderer().selectPainter(painter);
            renderer().setArrowSteps(group);
            renderer().setStyle(style);
            if (!autoAdjust) {
                renderer().toggleContinuousAutoAdjust();
                renderer().setRange(0.008, 0.006, true);
            }
            compareFrames(painter);
        }
    }

    // After a step the plain fluid is read from the grid's populations and
    // the colours come from the ramp table, also across quantised steps and
    // with values beyond both range ends.
    void steppedFieldWithColourSteps()
    {
        for (int style : {0, 2}) {
            makeChannel(61, 37, QSize(480, 360));
            grid().step(2);
            renderer().selectPainter("velocity");
            renderer().setStyle(style);
            renderer().setColorSteps(7);
            renderer().toggleContinuousAutoAdjust();
            renderer().setRange(0.008, 0.006, true);
            compareFrames("stepped velocity");
            renderer().selectPainter("pressure");
            renderer().setRange(1.0, 0.004, true);
            compareFrames("stepped pressure");
        }
    }

    void otherOptionsTakeTheGeneralPath()
    {
        makeChannel(20, 10, QSize(300, 200));
        renderer().toggleHeightmap();
        view->grabFrame();
        QVERIFY(!renderer().lastFrameWasFlat());
        renderer().toggleHeightmap();
        renderer().selectPainter("arrow");
        view->grabFrame();
        QVERIFY(!renderer().lastFrameWasFlat());
    }

    // Prints the time of a 512 x 512 frame on both paths and of one step;
    // set ONDIX_FRAME_TIME to run it.
    void frameTime()
    {
        if (qEnvironmentVariableIsEmpty("ONDIX_FRAME_TIME"))
            QSKIP("set ONDIX_FRAME_TIME=1 to measure the frame time");
        makeChannel(512, 512, QSize(800, 800));
        grid().getParameters()->setPeriodicBoundaries(true);
        grid().step(5);
        // The best of several runs: the machine may be busy with other work.
        auto time = [this](bool fast, int repeats) {
            renderer().setFastFlatDrawing(fast);
            view->grabFrame();
            double best = 1e300;
            for (int i = 0; i < repeats; ++i) {
                QElapsedTimer timer;
                timer.start();
                view->makeCurrent();
                view->updateGL();
                glFinish();
                best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
            }
            return best;
        };
        const double quads = time(false, 10), texture = time(true, 30);
        double step = 1e300;
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer timer;
            timer.start();
            grid().step(1);
            step = std::min(step, double(timer.nsecsElapsed()) / 1e6);
        }
        qInfo("512x512 frame, best of several: %.1f ms one quad per cell, %.1f ms textured (%.1fx faster); one D2Q9 "
              "step %.1f ms; "
              "frame = %.2f steps before, %.2f steps after",
              quads, texture, quads / texture, step, quads / step, texture / step);
    }
};

QTEST_MAIN(TestFlatField)
#include "tst_flatfield.moc"
