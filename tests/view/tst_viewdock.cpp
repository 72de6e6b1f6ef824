#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/geometryfiles.h"
#include "persistence/outputfolder.h"
#include "view/animation.h"
#include "view/improvedlineedit.h"
#include "view/lbwidget.h"
#include "view/renderer.h"
#include "view/rungekutta.h"
#include "view/seedgenerator.h"
#include "view/view.h"
#include "view/view2.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSlider>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

#include <memory>

namespace {

void enter(ImprovedLineEdit *entry, const QString &text)
{
    entry->setText(text);
    QTest::keyClick(entry, Qt::Key_Return);
}

QString examplePath(const QString &name)
{
    const QString root = qEnvironmentVariable("ONDIX_SOURCE_DIR");
    return (root.isEmpty() ? QStringLiteral("..") : root) + QStringLiteral("/examples/") + name;
}

} // namespace

// The View dock, the planes dialog and the animation, driven without the main window.
class TestViewDock : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LBWidget> widget;
    std::unique_ptr<View> view;
    Renderer &renderer() { return *widget->getRenderer(); }
    Grid &grid() { return *widget->getGrid(); }

    QPoint pixelOf(double mx, double my)
    {
        double b[4];
        renderer().getCamera().projectionBounds(b);
        return QPoint(int((mx - b[0]) / (b[1] - b[0]) * widget->width()),
                      int((b[3] - my) / (b[3] - b[2]) * widget->height()));
    }

private slots:
    void init()
    {
        widget = std::make_unique<LBWidget>();
        widget->resize(400, 300);
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
        grid().getParameters()->setModel(9);
        grid().resize(20, 10, 1);
        widget->rebuildGeometry(false);
        view = std::make_unique<View>(widget.get());
        // The range stays as entered, not adjusted to the fluid at rest.
        view->checkBox("continuousAutoAdjust")->click();
        QVERIFY(!renderer().isContinuousAutoAdjust());
    }

    void cleanup()
    {
        view.reset();
        widget.reset();
    }

    void entriesRefuseMeaninglessValues()
    {
        Camera &camera = renderer().getCamera();
        enter(view->entry("zoom"), "2.5");
        QCOMPARE(camera.getZoom(), 2.5);
        for (const char *bad : {"abc", "0", "-3", "nan"}) {
            enter(view->entry("zoom"), bad);
            QCOMPARE(camera.getZoom(), 2.5);
            QCOMPARE(view->entry("zoom")->text(), QStringLiteral("2.5"));
        }
        enter(view->entry("colorOffset"), "0.1");
        enter(view->entry("colorInterval"), "0.5");
        QCOMPARE(renderer().getCentre(), 0.3);
        QCOMPARE(renderer().getHalfWidth(), 0.2);
        enter(view->entry("colorOffset"), "0.7");
        QCOMPARE(renderer().getCentre(), 0.3);
        QCOMPARE(view->entry("colorOffset")->text(), QStringLiteral("0.1"));
        enter(view->entry("arrowSteps"), "0");
        QCOMPARE(renderer().getArrowSteps(), 1);
        enter(view->entry("arrowSteps"), "3");
        QCOMPARE(renderer().getArrowSteps(), 3);
        enter(view->entry("roll"), "x");
        QCOMPARE(view->entry("roll")->text(), QStringLiteral("0"));
        // The colour bar can be switched on from the dock.
        view->checkBox("showColorBar")->click();
        QVERIFY(renderer().isColorBarShown());
    }

    void viewElementRoundTrip()
    {
        enter(view->entry("colorOffset"), "0");
        enter(view->entry("colorInterval"), "0.3");
        enter(view->entry("zoom"), "1.7");
        enter(view->entry("yaw"), "30");
        enter(view->entry("cellsSize"), "25");
        view->findChild<QComboBox *>("painter")->setCurrentIndex(1);
        view->checkBox("showAxis")->click();
        renderer().setBackground(QColor(50, 60, 70));
        QString document;
        QXmlStreamWriter writer(&document);
        view->write(writer);
        QVERIFY(document.contains("colorOffset=\"0.15\""));
        QVERIFY(document.contains("colorInterval=\"-0.15\""));

        LBWidget other;
        View restored(&other);
        QXmlStreamReader reader(document + "<next/>");
        reader.readNextStartElement();
        restored.read(reader);
        QCOMPARE(reader.name(), QStringLiteral("next"));
        Renderer &r = *other.getRenderer();
        QCOMPARE(r.getCentre() - r.getHalfWidth(), 0.0);
        QCOMPARE(r.getCentre() + r.getHalfWidth(), 0.3);
        QCOMPARE(r.getCamera().getZoom(), 1.7);
        QCOMPARE(int(std::lround(r.getCamera().getYaw())), 30);
        QCOMPARE(r.getScale1(), 25.0);
        QCOMPARE(r.getPainterName(), QStringLiteral("pressure"));
        QVERIFY(r.isAxisShown());
        QVERIFY(!r.isContinuousAutoAdjust());
        QCOMPARE(r.getBackground(), QColor(50, 60, 70));

        // Meaningless stored values keep the ones in use; an older element
        // without "updatePeriod" restores only camera, painter and scales.
        QXmlStreamReader bad(
            "<view zoom=\"-1\" painter=\"99\" scale1=\"x\" colorOffset=\"0.2\" colorInterval=\"0.1\"/>");
        bad.readNextStartElement();
        restored.read(bad);
        QCOMPARE(r.getCamera().getZoom(), 1.7);
        QCOMPARE(r.getPainterName(), QStringLiteral("pressure"));
        QCOMPARE(r.getScale1(), 25.0);
        QCOMPARE(r.getCentre() + r.getHalfWidth(), 0.3);
        QXmlStreamReader inverted("<view updatePeriod=\"5\" colorOffset=\"0.2\" colorInterval=\"0.1\"/>");
        inverted.readNextStartElement();
        restored.read(inverted);
        QCOMPARE(r.getCentre() + r.getHalfWidth(), 0.3);
        QCOMPARE(r.getBackground(), QColor(50, 60, 70));
    }

    void planesShowTheInsideOfTheDuct()
    {
        QString error;
        QVERIFY2(GeometryFiles::loadImageGeometry(grid(), examplePath("duct-3d.png"), QString(), &error),
                 qPrintable(error));
        QCOMPARE(grid().getLength(), 16);
        widget->rebuildGeometry(false);
        for (int z = 0; z < 16; ++z)
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 80; ++x)
                    if (auto *cell = dynamic_cast<SCCell *>(grid().materialise(x, y, z))) {
                        cell->reset(1.0, -1);
                        cell->setEquilibrium(
                            Vector3d(0.001 * (y - 0.5) * (14.5 - y) * (z - 0.5) * (14.5 - z) / 49, 0, 0), 1.0);
                    }
        const Vector3d centre = renderer().cellCentre(40, 8, 8);
        const QPoint middle = pixelOf(centre.x, centre.y);
        auto isGrey = [](const QColor &c) {
            return std::abs(c.red() - 128) < 8 && c.red() == c.green() && c.red() == c.blue();
        };
        // From the front only the wall of the duct is seen.
        QVERIFY(isGrey(widget->grabFrame().pixelColor(middle)));

        View2 planes(widget.get());
        planes.slider("fixedZ")->setValue(500);
        QCOMPARE(renderer().rangeMin(2), 7);
        QCOMPARE(renderer().rangeMax(2), 7);
        QCOMPARE(planes.labelText("minZLabel"), QStringLiteral("8"));
        planes.checkBox("wholePlane3")->click();
        QVERIFY(renderer().planeXY());
        const QImage frame = widget->grabFrame();
        // The slice through the middle of the duct, in the colours of its
        // flow, fast in the middle and slow at the walls.
        const double fast = renderer().valueBuffer()[std::size_t(renderer().valueIndex(40, 7, 7))];
        QVERIFY(fast > 0);
        QCOMPARE(frame.pixelColor(pixelOf(centre.x, renderer().cellCentre(40, 7, 7).y)).rgb(),
                 renderer().color(fast).rgb());
        const QColor nearWall = frame.pixelColor(pixelOf(centre.x, renderer().cellCentre(40, 1, 7).y));
        QVERIFY(!isGrey(nearWall) && nearWall != QColor(Qt::white));
        QVERIFY(isGrey(frame.pixelColor(pixelOf(centre.x, renderer().cellCentre(40, 0, 7).y))));

        // A min slider moved past the max is pulled back to it.
        planes.slider("maxX")->setValue(300);
        planes.slider("minX")->setValue(800);
        QCOMPARE(planes.slider("minX")->value(), 300);
    }

    // Writes the README picture of the duct: set ONDIX_VIEW_IMAGE to its path.
    void ductPicture()
    {
        const QString path = qEnvironmentVariable("ONDIX_VIEW_IMAGE");
        if (path.isEmpty())
            QSKIP("set ONDIX_VIEW_IMAGE to write the picture");
        widget->resize(900, 500);
        QVERIFY(GeometryFiles::loadImageGeometry(grid(), examplePath("duct-3d.png"), QString()));
        widget->rebuildGeometry(false);
        grid().step(400);
        view->checkBox("continuousAutoAdjust")->click();
        View2 planes(widget.get());
        planes.slider("fixedZ")->setValue(500);
        planes.checkBox("wholePlane3")->click();
        planes.slider("maxY")->setValue(500);
        planes.checkBox("wholePlane2")->click();
        auto *generator = new SeedGenerator(grid(), new RungeKutta(0.5));
        generator->changeProperty("minx", "1");
        generator->changeProperty("maxx", "1");
        generator->changeProperty("miny", "3");
        generator->changeProperty("maxy", "13");
        generator->changeProperty("minz", "3");
        generator->changeProperty("maxz", "13");
        generator->changeProperty("spacing", "5");
        generator->changeProperty("forward", "200");
        renderer().setGenerator(generator);
        view->checkBox("showStreamlines")->click();
        view->checkBox("showColorBar")->click();
        enter(view->entry("cellsSize2"), "2");
        enter(view->entry("roll"), "-55");
        enter(view->entry("yaw"), "25");
        enter(view->entry("zoom"), "0.8");
        renderer().setBarGeometry(0, -0.2, 1, 0.02, 0, 0, 12);
        QVERIFY(widget->grabFrame().save(path));
    }

    void animationTurnsAndWritesFrames()
    {
        QTemporaryDir dir;
        widget->runFolders().setDirectory(dir.path());
        View2 planes(widget.get());
        Animation animation(widget.get(), view.get(), &planes);
        QSignalSpy failures(&animation, &Animation::frameWriteFailed);
        enter(animation.entry("roll"), "10");
        enter(animation.entry("yzPlane"), "600");
        enter(view->entry("roll"), "170");
        enter(animation.entry("fps"), "0");
        animation.on_start_clicked();
        QCOMPARE(animation.getTimer().interval(), 50);
        animation.getTimer().stop();
        animation.run();
        QCOMPARE(view->entry("roll")->text(), QStringLiteral("-180"));
        QCOMPARE(planes.slider("fixedX")->value(), 600);
        animation.run();
        QCOMPARE(view->entry("roll")->text(), QStringLiteral("-170"));
        QCOMPARE(planes.slider("fixedX")->value(), 199);
        QCOMPARE(animation.getFrameCount(), 2);
        for (const char *name : {"/anim_000000.png", "/anim_000001.png"})
            QVERIFY(!QImage(animation.getFolder() + name).isNull());
        QVERIFY(animation.getFolder().startsWith(dir.path()));
        QCOMPARE(failures.count(), 0);
        animation.on_stop_clicked();

        // A folder that cannot be made: reported once, whatever the number of frames.
        QFile blocker(dir.path() + "/blocker");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        widget->runFolders().setDirectory(blocker.fileName());
        animation.on_start_clicked();
        animation.getTimer().stop();
        for (int i = 0; i < 3; ++i)
            animation.run();
        QCOMPARE(failures.count(), 1);
        widget->runFolders().setDirectory(QString());
    }
};

QTEST_MAIN(TestViewDock)
#include "tst_viewdock.moc"
