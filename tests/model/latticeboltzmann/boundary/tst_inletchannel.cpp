#include "../gridtest_helper.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/geometryfiles.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

// A channel painted as a user paints it: walls along the top and bottom, a
// column of red inlets ("s") on the left and black outlets ("o") on the right.
bool loadChannel(Grid &grid, const QString &path, int width, int height, double speed, QString *error)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(qRgb(255, 255, 255));
    for (int x = 0; x < width; ++x) {
        image.setPixel(x, 0, qRgb(128, 128, 128));
        image.setPixel(x, height - 1, qRgb(128, 128, 128));
    }
    for (int row = 1; row < height - 1; ++row) {
        image.setPixel(0, row, qRgb(255, 0, 0));
        image.setPixel(width - 1, row, qRgb(0, 0, 0));
    }
    if (!image.save(path, "PNG"))
        return false;
    SimulationParameters *p = grid.getParameters();
    p->setModel(9);
    p->setEpsilon(0, 0.8);
    p->setMinP0(1.0);
    p->setMaxP0(1.0);
    p->setPeriodicBoundaries(false);
    p->setMulticore(false);
    p->setSourceVelocityValue(0, speed);
    return GeometryFiles::load(grid, path, false, error);
}

// Mean x-velocity and density over the fluid of the middle column.
void middleColumn(Grid &grid, double &speed, double &density)
{
    const int x = grid.getWidth() / 2;
    speed = density = 0.0;
    int n = 0;
    for (int y = 0; y < grid.getHeight(); ++y) {
        BaseCell *c = grid.getCell(x, y, 0);
        if (!c || !c->isFluid())
            continue;
        speed += c->getVelocity(0).x;
        density += c->getP(-1);
        ++n;
    }
    speed /= n;
    density /= n;
}

} // namespace

// What a user gets from an inlet in a painted channel: the default pair
// (fixed-flux inlet, extrapolation outlet) carries well under the set speed,
// because the inlet prescribes only the populations entering the fluid;
// the Zou and He strategy on both ends carries the set speed.
class TestInletChannel : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void meanSpeed_data()
    {
        QTest::addColumn<int>("strategy"); // 0: as loaded
        QTest::addColumn<double>("low");   // bounds of mean speed / set speed
        QTest::addColumn<double>("high");
        QTest::newRow("default inlet and outlet") << 0 << 0.3 << 0.7;
        QTest::newRow("Zou and He") << 3 << 0.97 << 1.03;
    }

    void meanSpeed()
    {
        QFETCH(int, strategy);
        QFETCH(double, low);
        QFETCH(double, high);
        const double set = 0.02;
        Grid grid;
        QString error;
        QVERIFY2(loadChannel(grid, dir.filePath("channel.png"), 48, 14, set, &error), qPrintable(error));
        if (strategy != 0) {
            grid.getParameters()->setSourceStrategy(strategy);
            grid.getParameters()->setOpenStrategy(strategy);
        }
        QVERIFY(GridTest::stepFinite(grid, 8000));
        double speed = 0.0, density = 0.0;
        middleColumn(grid, speed, density);
        qInfo("set speed %g: mean speed %.5f (%.1f %%), mean density %.4f", set, speed, 100.0 * speed / set, density);
        QVERIFY(std::isfinite(speed) && std::isfinite(density));
        QVERIFY2(speed / set > low && speed / set < high, qPrintable(QString::number(speed / set)));
    }
};

QTEST_GUILESS_MAIN(TestInletChannel)
#include "tst_inletchannel.moc"
