#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"
#include "view/lbwidget.h"
#include "view/renderer.h"

#include <QMouseEvent>
#include <QWheelEvent>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

// A wall kind with no colour of its own in the static list.
class PlainBarrier : public InertCell
{};

void sendMouse(QWidget &w, QEvent::Type type, Qt::MouseButton button, QPoint at)
{
    QMouseEvent event(type, at, w.mapToGlobal(at), button, type == QEvent::MouseButtonRelease ? Qt::NoButton : button,
                      Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}

void sendWheel(QWidget &w, int delta)
{
    const QPoint at(w.width() / 2, w.height() / 2);
    QWheelEvent event(at, w.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&w, &event);
}

bool isColour(const QColor &c, int r, int g, int b)
{
    return std::abs(c.red() - r) <= 8 && std::abs(c.green() - g) <= 8 && std::abs(c.blue() - b) <= 8;
}

} // namespace

class TestLBWidget : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LBWidget> view;
    Renderer &renderer() { return *view->getRenderer(); }
    Grid &grid() { return *view->getGrid(); }

    // Projects the centre of lattice cell (x, y, 0) to a widget pixel with the camera at rest.
    QPoint pixelOf(int x, int y)
    {
        const Vector3d c = renderer().cellCentre(x, y, 0);
        double b[4];
        renderer().getCamera().projectionBounds(b);
        return QPoint(int((c.x - b[0]) / (b[1] - b[0]) * view->width()),
                      int((b[3] - c.y) / (b[3] - b[2]) * view->height()));
    }

private slots:
    void init()
    {
        view = std::make_unique<LBWidget>();
        view->resize(400, 300);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        grid().getParameters()->setModel(9);
        grid().resize(20, 10, 1);
        view->rebuildGeometry(false);
    }

    void cleanup() { view.reset(); }

    void geometryOf2DGrid()
    {
        QCOMPARE(renderer().getCellSize(), 1.0 / 20);
        const Vector3d o = renderer().getOrigin();
        QCOMPARE(o.x, -0.5);
        QCOMPARE(o.y, -0.25);
        QCOMPARE(o.z, -0.025);
        QCOMPARE(renderer().rangeMax(0), 20);
        QCOMPARE(renderer().rangeMax(1), 10);
        QCOMPARE(renderer().rangeMax(2), 1);
        QCOMPARE(renderer().valueBuffer().size(), std::size_t(200));
        QCOMPARE(renderer().getDrawList().size(), 200);
    }

    void wheelNotchScalesZoomBy112()
    {
        QSignalSpy zoom(view.get(), &LBWidget::zoomChanged);
        sendWheel(*view, 120);
        QVERIFY(std::abs(renderer().getCamera().getZoom() - 1 / 1.12) < 1e-12);
        sendWheel(*view, -120);
        sendWheel(*view, -120);
        QVERIFY(std::abs(renderer().getCamera().getZoom() - 1.12) < 1e-12);
        sendWheel(*view, 0);
        QVERIFY(std::abs(renderer().getCamera().getZoom() - 1.12) < 1e-12);
        QCOMPARE(zoom.count(), 4);
    }

    void wheelEnlargesThePicture()
    {
        grid().setCell(19, 5, 0, new WallCell);
        view->rebuildGeometry(false);
        // The wall cell at the right edge sits right of the centre; zooming in moves it outwards.
        auto column = [this]() {
            const QImage frame = view->grabFrame();
            const int row = frame.height() / 2 - int(0.025 * frame.height() / renderer().getCamera().getZoom());
            for (int x = frame.width() - 1; x >= 0; --x)
                if (isColour(frame.pixelColor(x, row), 128, 128, 128))
                    return x;
            return -1;
        };
        const int far = column();
        sendWheel(*view, 120);
        const int nearer = column();
        QVERIFY(far > 0);
        QVERIFY(nearer > far);
    }

    void leftDragPans()
    {
        grid().setCell(10, 5, 0, new WallCell);
        view->rebuildGeometry(false);
        const QPoint cell = pixelOf(10, 5);
        QVERIFY(isColour(view->grabFrame().pixelColor(cell), 128, 128, 128));
        QSignalSpy moved(view.get(), &LBWidget::translationChanged);
        sendMouse(*view, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(100, 100));
        sendMouse(*view, QEvent::MouseMove, Qt::LeftButton, QPoint(150, 80));
        sendMouse(*view, QEvent::MouseMove, Qt::LeftButton, QPoint(200, 60));
        sendMouse(*view, QEvent::MouseButtonRelease, Qt::LeftButton, QPoint(200, 60));
        const Vector3d t = renderer().getCamera().getTranslation();
        QVERIFY(std::abs(t.x - 0.1) < 1e-12);
        QVERIFY(std::abs(t.y - 0.04) < 1e-12);
        QCOMPARE(moved.count(), 2);
        // The picture follows the mouse: 300 pixels span one model unit here.
        const QImage frame = view->grabFrame();
        QVERIFY(!isColour(frame.pixelColor(cell), 128, 128, 128));
        QVERIFY(isColour(frame.pixelColor(cell + QPoint(30, -12)), 128, 128, 128));
        // Moves without a pressed button do nothing.
        sendMouse(*view, QEvent::MouseMove, Qt::NoButton, QPoint(10, 10));
        QCOMPARE(renderer().getCamera().getTranslation().x, t.x);
    }

    void rightDragRotates()
    {
        QSignalSpy angles(view.get(), &LBWidget::anglesChanged);
        sendMouse(*view, QEvent::MouseButtonPress, Qt::RightButton, QPoint(200, 150));
        sendMouse(*view, QEvent::MouseMove, Qt::RightButton, QPoint(260, 150));
        sendMouse(*view, QEvent::MouseButtonRelease, Qt::RightButton, QPoint(260, 150));
        const Quaternion q = renderer().getCamera().getOrientation();
        // A drag along x turns about the y axis.
        QVERIFY(std::abs(q.y) > 0.1);
        QVERIFY(std::abs(q.x) < 1e-6);
        QVERIFY(std::abs(q.z) < 1e-6);
        QCOMPARE(angles.count(), 1);
        QVERIFY(std::abs(renderer().getCamera().getPitch()) > 10);
        QVERIFY(std::abs(std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z) - 1) < 1e-6);
    }

    void slowRightDragAccumulates()
    {
        view->resize(4000, 4000);
        const int w = view->width(), h = view->height();
        QVERIFY(w >= 1000);
        sendMouse(*view, QEvent::MouseButtonPress, Qt::RightButton, QPoint(w / 2, h / 2));
        // Each one-pixel step is under 0.001 in trackball space.
        QVERIFY((Camera::trackballPoint(w / 2 + 1, h / 2, w, h) - Camera::trackballPoint(w / 2, h / 2, w, h)).length() <
                0.001);
        sendMouse(*view, QEvent::MouseMove, Qt::RightButton, QPoint(w / 2 + 1, h / 2));
        QCOMPARE(renderer().getCamera().getOrientation().w, 1.0f);
        for (int i = 2; i <= 10; ++i)
            sendMouse(*view, QEvent::MouseMove, Qt::RightButton, QPoint(w / 2 + i, h / 2));
        QVERIFY(renderer().getCamera().getOrientation().w < 1.0f);
    }

    void anglesRoundTrip_data()
    {
        QTest::addColumn<int>("roll");
        QTest::addColumn<int>("pitch");
        QTest::addColumn<int>("yaw");
        QTest::newRow("none") << 0 << 0 << 0;
        QTest::newRow("roll") << 30 << 0 << 0;
        QTest::newRow("pitch") << 0 << -45 << 0;
        QTest::newRow("yaw") << 0 << 0 << 120;
        QTest::newRow("mixed") << 10 << 20 << 30;
    }

    void anglesRoundTrip()
    {
        QFETCH(int, roll);
        QFETCH(int, pitch);
        QFETCH(int, yaw);
        Camera camera;
        camera.setAngles(roll, pitch, yaw);
        QVERIFY(std::abs(camera.getRoll() - roll) < 0.01);
        QVERIFY(std::abs(camera.getPitch() - pitch) < 0.01);
        QVERIFY(std::abs(camera.getYaw() - yaw) < 0.01);
    }

    void projectionKeepsAspect()
    {
        Camera &camera = renderer().getCamera();
        double b[4];
        camera.projectionBounds(b);
        // 400 x 300: the height spans one zoom, the width the rest.
        QVERIFY(std::abs((b[3] - b[2]) - 1.0) < 1e-12);
        QVERIFY(std::abs((b[1] - b[0]) - 4.0 / 3.0) < 1e-12);
    }

    void drawListFollowsPlanesAndSteps()
    {
        grid().resize(6, 5, 4);
        grid().setCell(1, 1, 1, new WallCell);
        view->rebuildGeometry(false);
        QCOMPARE(renderer().getDrawList().size(), 6 * 5 * 4 - 1);
        renderer().setArrowSteps(2);
        QCOMPARE(renderer().getDrawList().size(), 3 * 3 * 2 - 0);
        renderer().setArrowSteps(1);
        // Box ranges x 1..2, y 0..4, z 2..2 and the XY plane on: points of
        // the plane z = 2 anywhere, plus points inside the box.
        renderer().setRangeMin(0, 1);
        renderer().setRangeMax(0, 2);
        renderer().setRangeMin(2, 2);
        renderer().setRangeMax(2, 2);
        renderer().setPlanes(false, false, true);
        int onPlane = 0;
        for (const DrawItem &item : renderer().getDrawList()) {
            QCOMPARE(item.mask, 4);
            QCOMPARE(item.z, 2);
            ++onPlane;
        }
        QCOMPARE(onPlane, 6 * 5);
        renderer().setPlanes(true, false, true);
        int yz = 0;
        for (const DrawItem &item : renderer().getDrawList())
            yz += item.mask == 1;
        // The YZ plane covers x 1..2: 2 x 5 x 4 points less the wall at (1, 1, 1).
        QCOMPARE(yz, 2 * 5 * 4 - 1);
        renderer().setPlanes(false, false, false);
        QCOMPARE(renderer().getDrawList().size(), 2 * 5 * 1);
        for (const DrawItem &item : renderer().getDrawList())
            QCOMPARE(item.mask, renderer().getDefaultFaceMask());
    }

    void secondDistributionAddsLayers()
    {
        grid().getParameters()->setMulticomponentValues(2, 0.05, 0, 0, 1);
        renderer().toggle2ndDistribution();
        QCOMPARE(renderer().getDrawList().size(), 3 * 200);
        QCOMPARE(renderer().getDrawList().last().layer, 2);
    }

    void staticCellColours()
    {
        grid().setCell(2, 2, 0, new SourceCell);
        grid().setCell(4, 2, 0, new WallCell);
        grid().setCell(5, 2, 0, new PlainBarrier);
        grid().setCell(6, 2, 0, new NullCell);
        view->rebuildGeometry(false);
        renderer().toggleDynamic();
        const QImage frame = view->grabFrame();
        QVERIFY(isColour(frame.pixelColor(pixelOf(2, 2)), 255, 0, 0));
        QVERIFY(isColour(frame.pixelColor(pixelOf(4, 2)), 128, 128, 128));
        // No colour of its own: the colour of the static cell before it.
        QVERIFY(isColour(frame.pixelColor(pixelOf(5, 2)), 128, 128, 128));
        // Null cells are not drawn.
        QVERIFY(isColour(frame.pixelColor(pixelOf(6, 2)), 255, 255, 255));
        renderer().toggleStatic();
        QVERIFY(isColour(view->grabFrame().pixelColor(pixelOf(2, 2)), 255, 255, 255));
    }

    void replacedCellsAreLookedUpAfresh()
    {
        // The draw list keeps coordinates; a cell replaced after it was built
        // is read from the grid, never through a stale pointer.
        for (int y = 0; y < 10; ++y)
            grid().setCell(3, y, 0, new WallCell);
        view->grabFrame();
        grid().resize(5, 5, 1);
        view->grabFrame();
        QCOMPARE(renderer().valueBuffer().size(), std::size_t(25));
    }

    void probeMarkers()
    {
        renderer().toggleDynamic();
        renderer().setProbePoint(5, 3, 0, 0);
        QVERIFY(isColour(view->grabFrame().pixelColor(pixelOf(4, 7)), 255, 255, 255));
        renderer().setProbePoint(5, 3, 1, 0);
        const QImage frame = view->grabFrame();
        // Half-transparent grey bands through the probe cell, along x and y.
        QVERIFY(isColour(frame.pixelColor(pixelOf(4, 7)), 191, 191, 191));
        QVERIFY(isColour(frame.pixelColor(pixelOf(15, 2)), 191, 191, 191));
        QVERIFY(isColour(frame.pixelColor(pixelOf(10, 7)), 255, 255, 255));
    }

    void axisLayer()
    {
        renderer().toggleDynamic();
        QVERIFY(!renderer().isAxisShown());
        renderer().toggleAxis();
        const QImage frame = view->grabFrame();
        // The red x axis runs along the bottom edge of the domain and on beyond it.
        const Vector3d o = renderer().getOrigin();
        double b[4];
        renderer().getCamera().projectionBounds(b);
        const int row = int((b[3] - o.y) / (b[3] - b[2]) * view->height());
        const int column = int((0.6 - b[0]) / (b[1] - b[0]) * view->width());
        bool red = false;
        for (int dy = -1; dy <= 1; ++dy)
            red = red || isColour(frame.pixelColor(column, row + dy), 255, 0, 0);
        QVERIFY(red);
    }

    void illuminationKeepsThePictureVisible()
    {
        renderer().toggleIllumination();
        renderer().setRange(0.5, 0.5, true);
        renderer().toggleContinuousAutoAdjust();
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x)
                static_cast<SCCell *>(grid().materialise(x, y, 0))->setEquilibrium(Vector3d(0.5, 0, 0), 1.0);
        const QColor c = view->grabFrame().pixelColor(pixelOf(10, 5));
        QVERIFY(!isColour(c, 255, 255, 255));
        QVERIFY(!isColour(c, 0, 0, 0));
    }
};

QTEST_MAIN(TestLBWidget)
#include "tst_lbwidget.moc"
