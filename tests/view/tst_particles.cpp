#include "app/particles.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/scalartracersettings.h"
#include "model/latticeboltzmann/tracers/tracerset.h"
#include "view/lbwidget.h"
#include "view/renderer.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {

void enter(Particles &dialog, const char *name, const QString &text)
{
    auto *edit = dialog.findChild<QLineEdit *>(QLatin1String(name));
    QVERIFY(edit);
    edit->setText(text);
    QTest::keyClick(edit, Qt::Key_Return);
}

void press(Particles &dialog, const char *name)
{
    auto *b = dialog.findChild<QAbstractButton *>(QLatin1String(name));
    QVERIFY(b);
    b->click();
}

// Pixels within 40 of the colour in every channel.
int pixelsNear(const QImage &image, const QColor &c)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            count += std::abs(p.red() - c.red()) < 40 && std::abs(p.green() - c.green()) < 40 &&
                     std::abs(p.blue() - c.blue()) < 40;
        }
    return count;
}

} // namespace

class TestParticles : public QObject
{
    Q_OBJECT

private slots:
    // The dialog adds a tracer region from its 1-based corner fields; the
    // run draws its trails in the region's colour. With the passive scalar
    // chosen it adds a colour source, warns about the zero-diffusion epsilon,
    // and the species mix paints the colour; Delete All clears both targets.
    void regionsTrailsAndSources()
    {
        LBWidget view;
        view.resize(480, 320);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        Grid &grid = *view.getGrid();
        SimulationParameters *p = grid.getParameters();
        p->setModel(9);
        p->setEpsilon(0, 0.8);
        p->setPeriodicBoundaries(true);
        grid.resize(60, 40, 1);
        double f[9];
        Lattice::equilibriumArray(Vector3d(0.05, 0.01, 0.0), 1.0, 9, f);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x)
                grid.getCell(x, y, 0)->setF(f);
        view.rebuildGeometry(false);

        Particles dialog(&grid);
        const QColor magenta(255, 0, 255);
        dialog.setColours(magenta, Qt::blue);
        enter(dialog, "velocity", "10");
        enter(dialog, "gridSpacing", "3");
        const char *corners[] = {"minX", "maxX", "minY", "maxY", "minZ", "maxZ"};
        const char *values[] = {"5", "5", "4", "30", "1", "1"};
        for (int k = 0; k < 6; ++k)
            enter(dialog, corners[k], values[k]);
        press(dialog, "particlesNew");
        const TracerSet &tracers = *grid.getTracers();
        QCOMPARE(tracers.regions().size(), 1);
        QCOMPARE(tracers.regions()[0].from, Vector3i(4, 3, 0));
        QCOMPARE(tracers.regions()[0].to, Vector3i(4, 29, 0));
        QCOMPARE(tracers.getAmplification(), 10);
        QCOMPARE(int(tracers.emitters().size()), 9);

        QCOMPARE(grid.step(40), 40);
        QVERIFY(tracers.emitters()[0].trail.size() > 30);
        view.getRenderer()->toggleDynamic();
        QImage frame = view.grabFrame();
        frame.save(QDir::temp().filePath("ondix-tracers.png"));
        const int trailPixels = pixelsNear(frame, magenta);
        qInfo("trail pixels %d", trailPixels);
        QVERIFY(trailPixels > 300);

        // The passive scalar: a green source at the left, painted as the mix.
        press(dialog, "passiveScalarType");
        QVERIFY(dialog.scalarSelected());
        enter(dialog, "diffusionEffect", "0.5");
        QVERIFY(!dialog.findChild<QLabel *>("epsilonWarning")->text().isEmpty());
        enter(dialog, "diffusionEffect", "0.6");
        QVERIFY(dialog.findChild<QLabel *>("epsilonWarning")->text().isEmpty());
        const QColor green(0, 255, 0);
        dialog.setColours(green, Qt::blue);
        const char *box[] = {"20", "22", "15", "25", "1", "1"};
        for (int k = 0; k < 6; ++k)
            enter(dialog, corners[k], box[k]);
        press(dialog, "particlesNew");
        const ScalarTracerSettings &scalar = *grid.getScalarTracers();
        QCOMPARE(scalar.colourCount(), 1);
        QCOMPARE(scalar.getEpsilon(), 0.6);
        QCOMPARE(scalar.sources()[0].minx, 19);
        QCOMPARE(grid.step(60), 60);
        view.getRenderer()->toggleDynamic();
        view.getRenderer()->selectPainter("passive scalar");
        view.getRenderer()->setComponent(-1);
        frame = view.grabFrame();
        frame.save(QDir::temp().filePath("ondix-colours.png"));
        const int colourPixels = pixelsNear(frame, green);
        qInfo("colour pixels %d", colourPixels);
        QVERIFY(colourPixels > 300);

        press(dialog, "deleteAll");
        QCOMPARE(scalar.colourCount(), 0);
        QVERIFY(tracers.regions().isEmpty());
    }

    // On a 2D grid the z fields mean its one layer, whatever they say (0..0
    // is the natural entry there); bounds come in either order and are cut
    // to the grid; a box that misses the grid is refused with a message.
    void boxesAreTakenInTheGrid()
    {
        Grid grid;
        grid.getParameters()->setModel(9);
        grid.resize(30, 20, 1);
        Particles dialog(&grid);
        const char *corners[] = {"minX", "maxX", "minY", "maxY", "minZ", "maxZ"};
        auto box = [&](const char *x0, const char *x1, const char *y0, const char *y1, const char *z0, const char *z1) {
            const char *values[] = {x0, x1, y0, y1, z0, z1};
            for (int k = 0; k < 6; ++k)
                enter(dialog, corners[k], values[k]);
        };
        const TracerSet &tracers = *grid.getTracers();
        box("3", "5", "12", "8", "0", "0");
        press(dialog, "particlesNew");
        QCOMPARE(tracers.regions().size(), 1);
        QCOMPARE(tracers.regions()[0].from, Vector3i(2, 7, 0));
        QCOMPARE(tracers.regions()[0].to, Vector3i(4, 11, 0));
        QVERIFY(!tracers.emitters().empty());
        QCOMPARE(dialog.findChild<QLineEdit *>("minZ")->text(), QStringLiteral("1"));
        box("25", "40", "1", "1", "1", "1");
        press(dialog, "particlesNew");
        QCOMPARE(tracers.regions()[1].to, Vector3i(29, 0, 0));
        QVERIFY(dialog.findChild<QLabel *>("boxMessage")->text().isEmpty());
        // Outside: refused, and Update keeps the region it would replace.
        box("31", "40", "1", "1", "1", "1");
        press(dialog, "particlesNew");
        QCOMPARE(tracers.regions().size(), 2);
        QVERIFY(!dialog.findChild<QLabel *>("boxMessage")->text().isEmpty());
        dialog.findChild<QListWidget *>("particles")->setCurrentRow(0);
        press(dialog, "update");
        QCOMPARE(tracers.regions().size(), 2);
        QCOMPARE(tracers.regions()[0].from, Vector3i(2, 7, 0));
    }
};

QTEST_MAIN(TestParticles)
#include "tst_particles.moc"
