#include "../gridtest_helper.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/cellfactory.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/meltingsolidification/freesurfacesettings.h"
#include "model/latticeboltzmann/meltingsolidification/meltingsolidificationcell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/geometryfiles.h"
#include "persistence/statedocument.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

MeltingSolidificationCell *at(const Grid &grid, int x, int y)
{
    return dynamic_cast<MeltingSolidificationCell *>(grid.getCell(x, y, 0));
}

// A box with walls at the sides and the bottom: solid rows up to y = 4,
// liquid up to 8, an interface row at 9 and gas above.
void pool(Grid &grid, int nx, int ny)
{
    GridTest::prepare(grid, 9, nx, ny, 1, 0.8, false);
    GridTest::fill(grid, [&](int x, int y) -> BaseCell * {
        const char *code = x == 0 || x == nx - 1 || y == 0 ? "korner_wall"
                           : y <= 4                        ? "korner_solid"
                           : y <= 8                        ? "korner_liquid"
                           : y == 9                        ? "korner_interface"
                                                           : "korner_gas";
        return MeltingSolidificationCell::forCode(code, grid);
    });
}

double liquidMass(const Grid &grid)
{
    double sum = 0.0;
    grid.forEachCell([&](BaseCell *cell, int, int, int) {
        auto *c = static_cast<MeltingSolidificationCell *>(cell);
        if (c->getState() == 'L')
            sum += c->getDensity();
        else if (c->getState() == 'I')
            sum += c->getMass();
    });
    return sum;
}

double total(const Grid &grid, double (MeltingSolidificationCell::*value)() const)
{
    double sum = 0.0;
    grid.forEachCell(
        [&](BaseCell *cell, int, int, int) { sum += (static_cast<MeltingSolidificationCell *>(cell)->*value)(); });
    return sum;
}

} // namespace

class TestMeltingSolidification : public QObject
{
    Q_OBJECT

private slots:
    // The beam heats a pool at rest without gravity: nothing flows, the
    // liquid keeps its mass exactly, the energy grows by the heat deposited
    // and the beam, however narrow, delivers its power.
    void heatedPoolAtRest()
    {
        Grid grid;
        const int nx = 24, ny = 16;
        pool(grid, nx, ny);
        grid.getParameters()->setMeltingFlag(true);
        FreeSurfaceSettings *settings = grid.getMeltingController();
        settings->setBeam(0.5, 0.1, 5, 0.25, 10000, 0.5);
        settings->setEnergies(1.5, 1e9);
        const double mass = liquidMass(grid);
        double worstEnergy = 0.0, worstPower = 0.0;
        // An interface half full on top of eight absorbing cells, each
        // taking half of what reaches it.
        const double absorbed = 0.25 + (0.5 - std::pow(0.5, 9));
        for (int n = 0; n < 40; ++n) {
            const double before = total(grid, &MeltingSolidificationCell::getEnergy);
            grid.step(1);
            const double heat = total(grid, &MeltingSolidificationCell::getHeat);
            const double after = total(grid, &MeltingSolidificationCell::getEnergy);
            worstEnergy = std::max(worstEnergy, std::abs(after - before - heat) / heat);
            worstPower = std::max(worstPower, std::abs(heat / absorbed - 0.5) / 0.5);
            QVERIFY2(std::abs(after - before - heat) < 1e-12 * after,
                     qPrintable(QString::number(after - before - heat)));
            QVERIFY2(std::abs(heat / absorbed - 0.5) < 0.005, qPrintable(QString::number(heat / absorbed)));
            QCOMPARE(liquidMass(grid), mass);
            grid.forEachCell([](BaseCell *c, int, int, int) { QVERIFY(c->getVelocity(0).length() < 1e-12); });
        }
        qInfo("energy gain minus heat: %.2g of the heat; deposited power off by %.2g", worstEnergy, worstPower);
        QCOMPARE(settings->getBeamX(), 15.0);
        // The sampled profile sums to the power wherever the beam stands
        // between two columns.
        for (double x = 10.0; x <= 11.0; x += 0.125) {
            settings->setBeam(0.5, 0.1, 10, x - 10.0, 10000, 0.5);
            settings->step();
            QCOMPARE(settings->getBeamX(), x);
            double sum = 0.0;
            for (int column = 0; column < nx; ++column)
                sum += settings->beamAt(column);
            QVERIFY(std::abs(sum - 0.5) < 0.005);
        }

        // Switched off mid-run, the beam stops and leaves no heat behind.
        grid.getParameters()->setMeltingFlag(false);
        const double energy = total(grid, &MeltingSolidificationCell::getEnergy);
        grid.step(3);
        QCOMPARE(total(grid, &MeltingSolidificationCell::getHeat), 0.0);
        QCOMPARE(total(grid, &MeltingSolidificationCell::getBeam), 0.0);
        QVERIFY(std::abs(total(grid, &MeltingSolidificationCell::getEnergy) - energy) < 1e-12 * energy);
    }

    // Liquid pulled by gravity in a closed box of walls and solid flows but
    // keeps its mass.
    void closedBoxKeepsItsLiquid()
    {
        Grid grid;
        GridTest::prepare(grid, 9, 20, 20, 1, 0.8, false);
        GridTest::fill(grid, [&](int x, int y) -> BaseCell * {
            const bool edge = x == 0 || x == 19 || y == 0 || y == 19;
            return MeltingSolidificationCell::forCode(edge     ? "korner_wall"
                                                      : x < 10 ? "korner_solid"
                                                               : "korner_liquid",
                                                      grid);
        });
        grid.getParameters()->setPassiveScalarGravity(1e-3);
        const double mass = liquidMass(grid);
        grid.step(300);
        QVERIFY(at(grid, 14, 10)->getVelocity(0).length() > 1e-4);
        QVERIFY2(std::abs(liquidMass(grid) - mass) < 1e-11 * mass,
                 qPrintable(QString::number(liquidMass(grid) - mass)));
    }

    // An interface cell that lost its mass turns gas and leaves its liquid
    // neighbours as full interface cells; a solid melts only above the
    // melting energy, into interface beside gas.
    void stateChanges()
    {
        Grid grid;
        pool(grid, 8, 12);
        grid.getMeltingController()->setEnergies(1.5, 2.0);
        QXmlStreamReader emptied(QStringLiteral("<lattice type=\"meltingSolidification\" state=\"3\" m=\"-0.5\"/>"));
        emptied.readNextStartElement();
        at(grid, 3, 9)->activate(emptied, &grid);
        double g[18] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 2.0, 0, 0, 0, 0, 0, 0, 0, 0};
        for (int i = 0; i < 9; ++i)
            g[i] = at(grid, 2, 4)->getF(i, 0);
        at(grid, 2, 4)->setF(g);
        g[9] = 2.0001;
        at(grid, 5, 1)->setF(g);
        // A gas pocket in the solid beside (5, 1).
        at(grid, 6, 1)->setState('G');
        grid.step(1);
        QCOMPARE(at(grid, 3, 9)->getState(), 'G');
        for (int x = 2; x <= 4; ++x) {
            QCOMPARE(at(grid, x, 8)->getState(), 'I');
            QCOMPARE(at(grid, x, 8)->getMass(), at(grid, x, 8)->getDensity());
        }
        QCOMPARE(at(grid, 3, 10)->getState(), 'G');
        QCOMPARE(at(grid, 2, 4)->getState(), 'S');
        QCOMPARE(at(grid, 5, 1)->getState(), 'I');
        QCOMPARE(at(grid, 5, 1)->getMass(), 0.95 * at(grid, 5, 1)->getDensity());
    }

    // Free-surface images are single D2Q9 planes: a layered one is refused
    // and leaves the grid as it was, a plane switches a 3D model back to D2Q9.
    void freeSurfaceImages()
    {
        QTemporaryDir dir;
        QImage image(6, 4, QImage::Format_RGB32);
        image.fill(qRgb(255, 0, 0));
        const QString path = dir.filePath(QStringLiteral("melt.png"));
        QVERIFY(image.save(path) && image.save(dir.filePath(QStringLiteral("melt_2.png"))));
        Grid grid;
        GridTest::prepare(grid, 19, 3, 3, 3, 0.8, false);
        QString error;
        QVERIFY(!GeometryFiles::loadImageGeometry(grid, path, QStringLiteral("korner"), &error));
        QVERIFY(error.contains(QStringLiteral("two-dimensional")));
        QCOMPARE(grid.getLength(), 3);
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("melt_2.png"))));
        QVERIFY2(GeometryFiles::loadImageGeometry(grid, path, QStringLiteral("korner"), &error), qPrintable(error));
        QCOMPARE(grid.getParameters()->getModel(), 9);
        QCOMPARE(grid.getWidth() * grid.getHeight() * grid.getLength(), 24);
    }

    // A melting run saved midway and loaded into another grid continues
    // bitwise like the run that went on.
    void saveLoadResumes()
    {
        CellFactory::add(QStringLiteral("meltingSolidification"),
                         [](Grid &) { return static_cast<BaseCell *>(new MeltingSolidificationCell); });
        auto setUp = [](Grid &grid) {
            pool(grid, 14, 14);
            grid.getParameters()->setMeltingFlag(true);
            grid.getParameters()->setPassiveScalarGravity(2e-4);
        };
        auto panels = [](Grid &grid) {
            StateDocument document(grid);
            StateDocument::Panel panel;
            panel.name = QStringLiteral("freeSurface");
            FreeSurfaceSettings *settings = grid.getMeltingController();
            panel.write = [settings](QXmlStreamWriter &w) { settings->write(w); };
            panel.read = [settings](QXmlStreamReader &r, QString *why) { return settings->read(r, why); };
            document.setPanels({panel});
            return document;
        };
        Grid run;
        setUp(run);
        run.getMeltingController()->setBeam(4.0, 0.7, 3, 0.3, 10000, 0.4);
        run.getMeltingController()->setEnergies(1.5, 1.02);
        run.step(25);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("melt.lb2"));
        QString error;
        QVERIFY2(panels(run).save(path, StateDocument::Options(), &error), qPrintable(error));

        Grid resumed;
        setUp(resumed);
        // The configuration's multicomponent set-up still turns melting cells
        // into plain fluid; the grid here has the run's parameters already.
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QByteArray text = file.readAll();
            const int from = text.indexOf("<config"), to = text.indexOf("</config>", from);
            QVERIFY(from > 0 && to > from);
            text.remove(from, to + 9 - from);
            file.resize(0);
            file.write(text);
        }
        QVERIFY2(panels(resumed).load(path, StateDocument::Options(), &error), qPrintable(error));
        // The run went on in parallel rows, the resumed one goes on serially.
        resumed.getParameters()->setMulticore(false);
        QCOMPARE(resumed.getMeltingController()->getBeamX(), run.getMeltingController()->getBeamX());
        QCOMPARE(resumed.getMeltingController()->getMeltingEnergy(), 1.02);
        run.step(25);
        resumed.step(25);
        int changed = 0;
        for (int y = 0; y < 14; ++y)
            for (int x = 0; x < 14; ++x) {
                MeltingSolidificationCell *a = at(run, x, y), *b = at(resumed, x, y);
                QVERIFY(a && b);
                QCOMPARE(b->getState(), a->getState());
                QCOMPARE(b->getMass(), a->getMass());
                for (int i = 0; i < 9; ++i) {
                    QCOMPARE(b->getF(i, 0), a->getF(i, 0));
                    QCOMPARE(b->getF(i, 1), a->getF(i, 1));
                }
                changed += (y <= 4 && x > 0 && x < 13 && a->getState() != 'S');
            }
        // The run melted some solid and moved the liquid.
        QVERIFY(changed > 0);
    }
};

QTEST_GUILESS_MAIN(TestMeltingSolidification)
#include "tst_meltingsolidification.moc"
