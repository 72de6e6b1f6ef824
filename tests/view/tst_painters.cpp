#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/passivescalar.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"
#include "view/fluxfield.h"
#include "view/lbwidget.h"
#include "view/painters.h"
#include "view/renderer.h"

#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

namespace {

bool isWhite(const QColor &c)
{
    return c.red() == 255 && c.green() == 255 && c.blue() == 255;
}

bool closeTo(const QColor &a, const QColor &b, int tolerance = 6)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

class TestPainters : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LBWidget> view;
    Renderer &renderer() { return *view->getRenderer(); }
    Grid &grid() { return *view->getGrid(); }

    // Every fluid cell of the grid at the equilibrium of velocity(x, y) and density(x, y).
    void setFlow(const std::function<Vector3d(int, int)> &velocity, const std::function<double(int, int)> &density)
    {
        for (int y = 0; y < grid().getHeight(); ++y)
            for (int x = 0; x < grid().getWidth(); ++x)
                if (auto *cell = dynamic_cast<SCCell *>(grid().materialise(x, y, 0))) {
                    cell->reset(density(x, y), -1);
                    cell->setEquilibrium(velocity(x, y), density(x, y));
                }
    }

    double valueAt(int x, int y) { return renderer().valueBuffer()[std::size_t(renderer().valueIndex(x, y, 0))]; }

    QPoint pixelOf(double mx, double my)
    {
        double b[4];
        renderer().getCamera().projectionBounds(b);
        return QPoint(int((mx - b[0]) / (b[1] - b[0]) * view->width()),
                      int((b[3] - my) / (b[3] - b[2]) * view->height()));
    }

    QPoint pixelOfCell(int x, int y)
    {
        const Vector3d c = renderer().cellCentre(x, y, 0);
        return pixelOf(c.x, c.y);
    }

    void compute(const char *painter)
    {
        view->makeCurrent();
        renderer().selectPainter(QLatin1String(painter));
        QCOMPARE(renderer().getPainterName(), QLatin1String(painter));
        renderer().painterPass(false);
    }

private slots:
    void init()
    {
        view = std::make_unique<LBWidget>();
        view->resize(480, 360);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        grid().getParameters()->setModel(9);
        grid().getParameters()->setPeriodicBoundaries(false);
        grid().resize(16, 12, 1);
        view->rebuildGeometry(false);
    }

    void cleanup() { view.reset(); }

    void painterList()
    {
        QCOMPARE(Painters::names(),
                 QStringList({"velocity", "pressure", "temperature", "arrow", "passive scalar", "multicomponent",
                              "normal arrow", "stream function", "vorticity", "vorticity magnitude", "detail",
                              "permeability", "microflux", "macroflux", "korner", "temp"}));
        QCOMPARE(renderer().getPainterName(), QStringLiteral("velocity"));
        // A new view shows no probe marker until one is placed.
        QVERIFY(renderer().getProbePoint(0) == Vector3i(0, 0, 0) && renderer().getProbePoint(1) == Vector3i(0, 0, 0));
        renderer().selectPainter("pressure");
        renderer().setDirty(false);
        renderer().selectPainter("no such painter");
        QCOMPARE(renderer().getPainterName(), QStringLiteral("pressure"));
        QVERIFY(renderer().isDirty());
    }

    // The temperature painter shows the heat model's scalar, the permeability
    // painter the solid fraction of porous cells; other cells stay unpainted.
    void temperatureAndPermeability()
    {
        grid().setCell(3, 4, 0, new PassiveScalar(*grid().getParameters(), 1.0, Vector3d(), 0.35), true, false);
        PorousCell *porous = new PorousCell(1.0, *grid().getParameters());
        porous->setSolidDensity(0.25);
        grid().setCell(5, 6, 0, porous, true, false);
        view->rebuildGeometry(false);
        renderer().setRange(0.5, 0.5, true);
        compute("temperature");
        QVERIFY(std::abs(valueAt(3, 4) - 0.35) < 1e-12);
        QCOMPARE(valueAt(5, 6), 0.0);
        compute("permeability");
        QCOMPARE(valueAt(5, 6), 0.25);
        QCOMPARE(valueAt(3, 4), 0.0);
    }

    void velocityAndPressureOfUniformFlow()
    {
        setFlow([](int, int) { return Vector3d(0.03, 0.04, 0); }, [](int, int) { return 1.2; });
        renderer().setRange(0.06, 0.05, true);
        compute("velocity");
        for (int y : {0, 5, 11})
            for (int x : {0, 7, 15})
                QVERIFY(std::abs(valueAt(x, y) - 0.05) < 1e-12);
        QVERIFY(std::abs(renderer().getMinimum() - 0.05) < 1e-12);
        QVERIFY(std::abs(renderer().getMaximum() - 0.05) < 1e-12);

        renderer().setRange(1.0, 0.5, true);
        compute("pressure");
        QVERIFY(std::abs(valueAt(3, 4) - 1.2) < 1e-12);
        // Outside the range: tracked, but neither stored nor drawn.
        renderer().setRange(0.5, 0.5, true);
        compute("pressure");
        QCOMPARE(valueAt(3, 4), 0.0);
        QVERIFY(std::abs(renderer().getMaximum() - 1.2) < 1e-12);
    }

    void vorticityMagnitudeOfSolidBodyRotation_data()
    {
        QTest::addColumn<double>("omega");
        QTest::newRow("anticlockwise") << 0.001;
        QTest::newRow("clockwise") << -0.002;
    }

    void vorticityMagnitudeOfSolidBodyRotation()
    {
        QFETCH(double, omega);
        setFlow([omega](int x, int y) { return Vector3d(-omega * (y - 5.5), omega * (x - 7.5), 0); },
                [](int, int) { return 1.0; });
        renderer().setRange(0, 0.01, true);
        compute("vorticity magnitude");
        // The curl of a rigid rotation is twice its angular speed, with its sign.
        for (int y = 1; y < 11; ++y)
            for (int x = 1; x < 15; ++x)
                QVERIFY2(std::abs(valueAt(x, y) - 2 * omega) < 1e-12, qPrintable(QString("%1 %2").arg(x).arg(y)));
    }

    void streamFunctionOfUniformFlow()
    {
        const double u = 0.02;
        setFlow([u](int, int) { return Vector3d(u, 0, 0); }, [](int, int) { return 1.0; });
        renderer().setRange(0.11, 0.2, true);
        compute("stream function");
        for (int y = 1; y < 12; ++y)
            for (int x : {0, 8, 15})
                QVERIFY(std::abs(valueAt(x, y) - u * y) < 1e-12);
        renderer().setStreamIntegrationY(1);
        renderer().painterPass(false);
        for (int y = 0; y < 11; ++y)
            QVERIFY(std::abs(valueAt(4, y) - u * (11 - y)) < 1e-12);
    }

    void microflux()
    {
        setFlow([](int, int) { return Vector3d(); }, [](int, int) { return 1.0; });
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x)
                QCOMPARE(Painters::microfluxAt(grid(), x, y, 0), 0.0);
        // A denser neighbour to the east sends back more than it receives.
        setFlow([](int, int) { return Vector3d(); }, [](int x, int y) { return x == 6 && y == 5 ? 2.0 : 1.0; });
        QVERIFY(std::abs(Painters::microfluxAt(grid(), 5, 5, 0) - Lattice::weight(9, 1)) < 1e-15);
        // Walls do not count.
        grid().setCell(6, 5, 0, new WallCell);
        QCOMPARE(Painters::microfluxAt(grid(), 5, 5, 0), 0.0);
    }

    void autoAdjustKeepsTheExtremesInside_data()
    {
        QTest::addColumn<QString>("painter");
        QTest::newRow("velocity") << "velocity";
        QTest::newRow("pressure") << "pressure";
    }

    // The range takes the extremes strictly inside; a speed range stops at
    // 0, where the widening would take it below.
    void autoAdjustKeepsTheExtremesInside()
    {
        QFETCH(QString, painter);
        setFlow([](int x, int y) { return Vector3d(0.001 * x + 1e-5, 0.002 * y, 0); },
                [](int x, int) { return 1.0 + 0.001 * x; });
        compute(painter.toLatin1().constData());
        const double low = renderer().getMinimum(), high = renderer().getMaximum();
        QVERIFY(high > low);
        QSignalSpy range(&renderer(), &Renderer::rangeChanged);
        renderer().autoAdjust();
        QCOMPARE(range.count(), 1);
        const double bottom = renderer().getCentre() - renderer().getHalfWidth();
        QVERIFY(bottom < low);
        QVERIFY(renderer().getCentre() + renderer().getHalfWidth() > high);
        if (painter == QLatin1String("velocity"))
            QCOMPARE(bottom, 0.0);
        view->makeCurrent();
        QVERIFY(renderer().accept(low, false));
        QVERIFY(renderer().accept(high, false));
        renderer().painterPass(false);
        QVERIFY(std::abs(valueAt(15, 11) - high) < 1e-15);
        QVERIFY(std::abs(valueAt(0, 0) - low) < 1e-15);
    }

    void unknownStyleAcceptsEverything()
    {
        renderer().setStyle(5);
        view->makeCurrent();
        for (double v : {-1e9, 0.0, 0.15, 0.3, 1e9})
            QVERIFY(renderer().accept(v, true));
        QCOMPARE(renderer().getMinimum(), -1e9);
    }

    void multicomponentKeepsWidening()
    {
        renderer().setRange(1.0, 1.0, true);
        setFlow([](int, int) { return Vector3d(); }, [](int, int) { return 0.5; });
        compute("multicomponent");
        setFlow([](int, int) { return Vector3d(); }, [](int, int) { return 1.5; });
        renderer().painterPass(false);
        QCOMPARE(renderer().getMinimum(), 0.5);
        QCOMPARE(renderer().getMaximum(), 1.5);
    }

    void cellKindsNotInTheGridDrawNothing()
    {
        setFlow([](int, int) { return Vector3d(0.01, 0, 0); }, [](int, int) { return 1.0; });
        renderer().setRange(0, 10, true);
        for (const char *name : {"temperature", "passive scalar", "permeability", "korner", "temp"}) {
            compute(name);
            QCOMPARE(renderer().getMinimum(), 1e100);
            const std::vector<double> &values = renderer().valueBuffer();
            QVERIFY(std::all_of(values.begin(), values.end(), [](double v) { return v == 0.0; }));
        }
    }

    void velocityFrameFollowsTheRamp()
    {
        // A channel with a developed profile: walls at the bottom and top rows.
        grid().fillRegion("w", 0, 15, 0, 0, 0, 0);
        grid().fillRegion("w", 0, 15, 11, 11, 0, 0);
        view->rebuildGeometry(false);
        setFlow([](int, int y) { return Vector3d(0.01 * (y - 0.5) * (10.5 - y) / 25.0, 0, 0); },
                [](int, int) { return 1.0; });
        const QImage frame = view->grabFrame();
        for (int y = 1; y < 11; ++y) {
            const QColor c = frame.pixelColor(pixelOfCell(8, y));
            QVERIFY(!isWhite(c));
            // The colour is the ramp's colour of the painted value.
            QVERIFY2(closeTo(c, renderer().color(valueAt(8, y))), qPrintable(QString::number(y)));
        }
        // Slow next to the walls, fast in the middle: the ends of the wavelength ramp.
        QVERIFY(valueAt(8, 5) > valueAt(8, 1));
        const QColor slow = frame.pixelColor(pixelOfCell(8, 1)), fast = frame.pixelColor(pixelOfCell(8, 5));
        QVERIFY(slow.blue() > 200 && slow.green() < 60);
        QVERIFY(fast.red() > 200 && fast.blue() < 60);
        // The walls stay grey.
        QVERIFY(closeTo(frame.pixelColor(pixelOfCell(8, 0)), QColor(128, 128, 128)));
    }

    void colourBarReproducesTheRamp()
    {
        setFlow([](int x, int) { return Vector3d(0.001 * x, 0, 0); }, [](int, int) { return 1.0; });
        renderer().toggleColorBar();
        renderer().setBarGeometry(0, -0.1, 1, 0.05, 0, 0, 12);
        const QImage frame = view->grabFrame();
        const Vector3d o = renderer().getOrigin();
        const double low = renderer().getCentre() - renderer().getHalfWidth(), range = 2 * renderer().getHalfWidth();
        int matched = 0;
        QColor previous;
        for (int i = 2; i < 100; i += 4) {
            const QPoint p = pixelOf(o.x + (i + 0.5) / 100, o.y - 0.1 + 0.025);
            const QColor c = frame.pixelColor(p);
            QVERIFY2(closeTo(c, renderer().color(low + (i + 0.5) / 100 * range)), qPrintable(QString::number(i)));
            QVERIFY(c != previous);
            previous = c;
            ++matched;
        }
        QCOMPARE(matched, 25);
        renderer().toggleColorBar();
        QVERIFY(isWhite(view->grabFrame().pixelColor(pixelOf(o.x + 0.5, o.y - 0.1 + 0.025))));
    }

    void arrowsWhereTheFlowMoves()
    {
        setFlow([](int x, int) { return Vector3d(x < 8 ? 0.1 : 0.0, 0, 0); }, [](int, int) { return 1.0; });
        renderer().selectPainter("arrow");
        renderer().toggleStatic();
        const QImage frame = view->grabFrame();
        // An arrow of 0.1 is half a cell long: its shaft crosses the pixels
        // right of the cell centre. A fluid at rest shows no shaft.
        const int shaft = int(0.3 * renderer().getCellSize() * view->height());
        auto painted = [&frame](QPoint p) {
            for (int dy = -1; dy <= 1; ++dy)
                if (!isWhite(frame.pixelColor(p + QPoint(0, dy))))
                    return true;
            return false;
        };
        for (int y = 1; y < 11; y += 3) {
            QVERIFY(painted(pixelOfCell(3, y) + QPoint(shaft, 0)));
            QVERIFY(!painted(pixelOfCell(3, y) + QPoint(-shaft, 0)));
            QVERIFY(!painted(pixelOfCell(12, y) + QPoint(shaft, 0)));
        }
    }

    void everyPainterOwnsTheBuffer_data()
    {
        QTest::addColumn<QString>("painter");
        QTest::newRow("arrow") << "arrow";
        QTest::newRow("normal arrow") << "normal arrow";
        QTest::newRow("vorticity") << "vorticity";
    }

    // Isolines and the heightmap read the buffer of whatever painter is
    // selected: one that stores nothing must not leave the last one's values.
    void everyPainterOwnsTheBuffer()
    {
        QFETCH(QString, painter);
        setFlow([](int x, int y) { return Vector3d(0.01 * (y - 6), -0.01 * (x - 8), 0); },
                [](int, int) { return 1.0; });
        renderer().setRange(1.0, 0.5, true);
        compute("pressure");
        QVERIFY(std::abs(valueAt(5, 5) - 1.0) < 1e-12);
        QVERIFY(renderer().getMaximum() > 0.5);
        compute(painter.toLatin1().constData());
        for (double v : renderer().valueBuffer())
            QCOMPARE(v, 0.0);
        // The arrow painter tracks the speeds; the others track nothing.
        if (painter == QLatin1String("arrow"))
            QVERIFY(renderer().getMaximum() < 0.2);
        else
            QCOMPARE(renderer().getMaximum(), -1e100);
    }

    void batchedLinesDrawWhatItemByItemDraws_data()
    {
        QTest::addColumn<QString>("painter");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("group");
        QTest::addColumn<bool>("fixedRange");
        for (const char *painter : {"arrow", "normal arrow", "vorticity", "detail"}) {
            QTest::addRow("%s, every cell", painter) << painter << 16 << 1 << false;
            QTest::addRow("%s, group 2, fixed range", painter) << painter << 16 << 2 << true;
            QTest::addRow("%s, group from the grid size", painter) << painter << 150 << 1 << true;
        }
    }

    // Arrows and detail lines formed in parallel and drawn from arrays give
    // the pixels of drawing them one by one, colours left over from arrows
    // outside a fixed range included.
    void batchedLinesDrawWhatItemByItemDraws()
    {
        QFETCH(QString, painter);
        QFETCH(int, width);
        QFETCH(int, group);
        QFETCH(bool, fixedRange);
        if (width != grid().getWidth()) {
            grid().resize(width, 12, 1);
            view->rebuildGeometry(false);
        }
        renderer().setArrowSteps(group);
        QCOMPARE(renderer().lineGroup(), width == 16 ? group : 4);
        setFlow([](int x, int y) { return Vector3d(0.01 * (y - 6), -0.01 * (x % 16 - 8), 0); },
                [](int x, int y) { return 1.0 + 0.01 * ((x + y) % 5); });
        renderer().selectPainter(painter);
        if (fixedRange) {
            renderer().toggleContinuousAutoAdjust();
            renderer().setRange(0.06, 0.03, true);
        }
        renderer().setBatchedLines(false);
        const QImage single = view->grabFrame();
        const double minimum = renderer().getMinimum(), maximum = renderer().getMaximum();
        renderer().setBatchedLines(true);
        const QImage batched = view->grabFrame();
        QCOMPARE(renderer().getMinimum(), minimum);
        QCOMPARE(renderer().getMaximum(), maximum);
        int painted = 0;
        for (int y = 0; y < single.height(); ++y)
            for (int x = 0; x < single.width(); ++x)
                painted += !isWhite(single.pixelColor(x, y));
        // Vorticity in the plane points along z: its arrows are dots.
        QVERIFY(painted > (painter == QLatin1String("vorticity") ? 20 : 200));
        QVERIFY(batched == single);
    }

    // On a 240 x 80 channel in a view of the default window's size the
    // arrows come one per group of 5 cells: long enough to read, with room
    // between them.
    void arrowsAreReadableOnALargeGrid()
    {
        grid().resize(240, 80, 1);
        view->resize(700, 700);
        view->rebuildGeometry(false);
        setFlow([](int, int y) { return Vector3d(0.0002 * y * (79 - y), 0, 0); }, [](int, int) { return 1.0; });
        renderer().selectPainter("arrow");
        QCOMPARE(renderer().getArrowSteps(), 1);
        QCOMPARE(renderer().lineGroup(), 5);
        const QImage frame = view->grabFrame();
        // The longest run of painted pixels along rows through the middle of
        // the channel: one arrow's shaft.
        int longest = 0, arrows = 0;
        for (int y = 35; y <= 45; y += 5) {
            const int row = pixelOfCell(0, y).y();
            int run = 0;
            for (int x = 0; x < frame.width(); ++x) {
                if (!isWhite(frame.pixelColor(x, row))) {
                    arrows += run == 0;
                    longest = std::max(longest, ++run);
                } else {
                    run = 0;
                }
            }
        }
        QVERIFY2(longest >= 6, qPrintable(QString::number(longest)));
        QVERIFY2(longest < 14, qPrintable(QString::number(longest)));
        QVERIFY2(arrows >= 40, qPrintable(QString::number(arrows)));
    }

    // The macroflux painter paints the cross-section flux of each site.
    void macrofluxPaintsTheFlux()
    {
        for (int x = 0; x < 16; ++x) {
            grid().setCell(x, 0, 0, new WallCell);
            grid().setCell(x, 11, 0, new WallCell);
        }
        view->rebuildGeometry(false);
        setFlow([](int, int y) { return Vector3d(0.002 * y * (11 - y), 0.001, 0); }, [](int, int) { return 1.0; });
        renderer().setRange(1.0, 1.0, true);
        compute("macroflux");
        int compared = 0;
        for (int y = 1; y < 11; ++y)
            for (int x = 0; x < 16; ++x) {
                const double flux = FluxField::at(grid(), x, y).length();
                QVERIFY(flux > 0.0);
                if (flux < 2.0) {
                    QCOMPARE(valueAt(x, y), flux);
                    ++compared;
                }
            }
        QVERIFY(compared > 100);
    }

    void heightmapLiftsTheField()
    {
        setFlow([](int x, int) { return Vector3d(0.001 * (x + 1), 0, 0); }, [](int, int) { return 1.0; });
        renderer().setScale1(50);
        renderer().getCamera().setAngles(-60, 0, 0);
        // Seen at a slant, the raised end of the field is shifted on the
        // screen against the low end; without the heightmap it is not.
        auto shift = [this]() {
            const QImage frame = view->grabFrame();
            int top[2] = {-1, -1};
            const int columns[2] = {pixelOfCell(1, 0).x(), pixelOfCell(14, 0).x()};
            for (int k = 0; k < 2; ++k)
                for (int row = 0; row < frame.height() && top[k] < 0; ++row)
                    if (!isWhite(frame.pixelColor(columns[k], row)))
                        top[k] = row;
            return top[0] < 0 || top[1] < 0 ? -1 : std::abs(top[1] - top[0]);
        };
        const int flat = shift();
        renderer().toggleHeightmap();
        const int raised = shift();
        QVERIFY(flat >= 0 && flat <= 3);
        QVERIFY2(raised > 50, qPrintable(QString::number(raised)));
    }
};

QTEST_MAIN(TestPainters)
#include "tst_painters.moc"
