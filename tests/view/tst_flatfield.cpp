#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/passivescalar.h"
#include "model/latticeboltzmann/multi/mccell.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "view/flatfield.h"
#include "view/lbwidget.h"
#include "view/renderer.h"

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

    void makeChannel(int nx, int ny, QSize size, bool walls = true)
    {
        view = std::make_unique<LBWidget>();
        view->resize(size);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        grid().getParameters()->setModel(9);
        grid().getParameters()->setPeriodicBoundaries(false);
        grid().resize(nx, ny, 1);
        if (walls) {
            grid().fillRegion("w", 0, nx - 1, 0, 0, 0, 0);
            grid().fillRegion("w", 0, nx - 1, ny - 1, ny - 1, 0, 0);
            grid().fillRegion("w", nx / 3, nx / 3 + 2, ny / 3, ny / 2, 0, 0);
        }
        view->rebuildGeometry(false);
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                if (auto *cell = dynamic_cast<SCCell *>(grid().materialise(x, y, 0))) {
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

    // After steps that keep the values a frame reads, the plain fluid is
    // read from them, until a written cell voids them; the colours come
    // from the ramp table, also across quantised steps and with values
    // beyond both range ends. With an inlet the grid steps in separate
    // phases instead of one sweep; without walls every site is drawn. The
    // last variant adjusts the range continuously over several chunks of
    // sites, with inlet and outlet cells between the plain fluid.
    void steppedFieldWithColourSteps()
    {
        for (int variant : {0, 1, 2, 3}) {
            const int style = variant == 1 ? 2 : 0;
            const int nx = variant == 3 ? 97 : 61, ny = variant == 3 ? 61 : 37;
            makeChannel(nx, ny, QSize(480, 360), variant != 2);
            if (variant == 1 || variant == 3) {
                grid().fillRegion("s", 0, 0, 1, ny - 2, 0, 0);
                grid().fillRegion("o", nx - 1, nx - 1, 1, ny - 2, 0, 0);
                view->rebuildGeometry(false);
            }
            renderer().setStyle(style);
            renderer().setColorSteps(7);
            if (variant != 3)
                renderer().toggleContinuousAutoAdjust();
            const std::pair<QString, double> painters[] = {{"velocity", 0.008}, {"pressure", 1.0}};
            for (const auto &[painter, centre] : painters) {
                renderer().selectPainter(painter);
                renderer().setRange(centre, painter == "velocity" ? 0.006 : 0.004, true);
                const Grid::PlainValue kind = FlatField::keptValue(renderer());
                grid().keepPlainValues(kind);
                // Every instruction set keeps the same values.
                for (int level : {1, 2, 3}) {
                    grid().setVectorLevel(level);
                    grid().step(2);
                    QVERIFY2(grid().keptPlainValues(kind), qPrintable(painter));
                    compareFrames(QString("stepped %1, level %2").arg(painter).arg(level));
                }
                auto *cell = dynamic_cast<SCCell *>(grid().materialise(30, 20, 0));
                QVERIFY(cell);
                cell->setEquilibrium(Vector3d(0.011, 0.003, 0), 1.003);
                QVERIFY(!grid().keptPlainValues(kind));
                compareFrames("written " + painter);
            }
        }
    }

    // Two components coloured red and blue by their densities, beside walls
    // and plain fluid, with densities that overflow the colour channels and
    // means outside the range; grouped cells too.
    void mixtureSamePixelsAsOneQuadPerCell()
    {
        for (int group : {1, 2}) {
            makeChannel(61, 37, QSize(480, 360));
            grid().getParameters()->setMulticomponentValues(2, 0.9, 0.0, 0.0, 1);
            for (int y = 1; y < 30; ++y)
                for (int x = 0; x < 50; ++x) {
                    if (!grid().getCell(x, y, 0) || !grid().getCell(x, y, 0)->isFluid())
                        continue;
                    auto *cell = new MCCell(*grid().getParameters());
                    const double a = 1 + std::sin(0.21 * x + 0.13 * y), b = 2.2 - a + 0.3 * std::cos(0.4 * y);
                    cell->reset(std::max(a, 0.01), std::max(b, 0.01));
                    grid().setCell(x, y, 0, cell, true, false);
                }
            view->rebuildGeometry(false);
            renderer().selectPainter("multicomponent");
            renderer().setArrowSteps(group);
            compareFrames(QString("mixture, group %1").arg(group));
            renderer().toggleContinuousAutoAdjust();
            renderer().setRange(0.9, 0.35, true);
            compareFrames(QString("mixture in a fixed range, group %1").arg(group));
        }
    }

    // The painters of one cell kind paint those cells only: heat cells by
    // their temperature, porous ones by their solid fraction, cells with
    // coloured scalars by the chosen colour; the rest of the field stays
    // unpainted.
    void cellKindPaintersSamePixelsAsOneQuadPerCell()
    {
        makeChannel(61, 37, QSize(480, 360));
        SimulationParameters &p = *grid().getParameters();
        for (int y = 1; y < 36; ++y)
            for (int x = 0; x < 61; ++x) {
                if (!grid().getCell(x, y, 0)->isFluid())
                    continue;
                const double wave = std::sin(0.3 * x + 0.17 * y);
                if (x < 20) {
                    grid().setCell(x, y, 0, new PassiveScalar(p, 1.0, Vector3d(), 0.5 + 0.4 * wave), true, false);
                } else if (x < 35 && y < 25) {
                    auto *porous = new PorousCell(1.0, p);
                    porous->setSolidDensity(0.5 + 0.45 * wave);
                    grid().setCell(x, y, 0, porous, true, false);
                } else if (x > 40) {
                    auto *coloured = new PassiveScalarCell(new SCCell(1.0, 9), 9);
                    coloured->allocateColours(2);
                    coloured->initColours(0.5 + 0.3 * wave);
                    coloured->recomputeColours();
                    grid().setCell(x, y, 0, coloured, true, false);
                }
            }
        view->rebuildGeometry(false);
        renderer().setComponent(1);
        for (const char *painter : {"temperature", "permeability", "passive scalar"}) {
            renderer().selectPainter(painter);
            compareFrames(painter);
            QVERIFY2(renderer().getMinimum() > 0.05 && renderer().getMaximum() < 0.95, painter);
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
};

QTEST_MAIN(TestFlatField)
#include "tst_flatfield.moc"
