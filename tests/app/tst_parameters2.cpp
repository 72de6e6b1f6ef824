#include "app/parameters2.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/boundary/equilibriumboundary.h"
#include "model/latticeboltzmann/boundary/extrapolationboundary.h"
#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/boundary/zouheboundary.h"
#include "model/latticeboltzmann/forces/passivescalarforce.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/meltingsolidification/freesurfacesettings.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/unitscales.h"
#include "model/latticeboltzmann/wallcell.h"
#include "persistence/geometryfiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TestParameters2 : public QObject
{
    Q_OBJECT

private slots:
    void unitConversionWorkedByHand();
    void meaninglessValuesAreRefused();
    void modelChangeIsSignalledOnce();
    void editsActOnARunningChannel();
    void refreshShowsLoadedValues();
    void strategyShownIsTheOneInForce();
    void initialDensitiesInABox();
    void freeSurfaceBeamAndEnergies();
    void porousRegionsAndExternalForce();
    void screenshot();

private:
    static void enter(Parameters2 &d, const char *field, const QString &text)
    {
        QLineEdit *e = d.findChild<QLineEdit *>(field);
        QVERIFY(e);
        e->setText(text);
        emit e->returnPressed();
    }
};

// Air at 25 C on a 1 micrometre lattice at tau = 1: dt = dx^2 (tau - 1/2) / (3 nu)
// = 1e-12 * 0.5 / (3 * 15.7e-6) = 1.06157e-8 s, and the default inlet speed of
// 0.02 lattice units is 0.02 * 1e-6 / dt = 1.884 m/s.
void TestParameters2::unitConversionWorkedByHand()
{
    Grid grid;
    Parameters2 d(&grid);
    enter(d, "dx", "1e-6");
    enter(d, "epsilon", "1");
    d.findChild<QComboBox *>("material")->setCurrentText("Air 25C");
    QCOMPARE(d.findChild<QLineEdit *>("kinematicViscosity")->text(), QStringLiteral("15.7e-6"));
    QVERIFY(qAbs(grid.getScales()->getDt() - 1.0615711252653928e-8) < 1e-20);
    QCOMPARE(d.findChild<QLineEdit *>("dt")->text(), QStringLiteral("1.06157e-08"));
    QCOMPARE(d.findChild<QLabel *>("sourceVelocityPhysical")->text(), QStringLiteral("1.884"));

    // A second fluid takes its tau from its own viscosity on that time step:
    // kerosene, nu = 2.7e-6: tau = 3 * 2.7e-6 * dt / dx^2 + 0.5 = 0.585987.
    d.findChild<QComboBox *>("fluidOrder")->setCurrentIndex(1);
    d.findChild<QComboBox *>("material")->setCurrentText("Kerosene 20C");
    QVERIFY(qAbs(grid.getParameters()->getEpsilon(1) - 0.58598726114649682) < 1e-12);
    QCOMPARE(d.findChild<QLineEdit *>("epsilon")->text(), QStringLiteral("0.585987"));
    QCOMPARE(grid.getParameters()->getEpsilon(0), 1.0);
}

void TestParameters2::meaninglessValuesAreRefused()
{
    Grid grid;
    SimulationParameters &p = *grid.getParameters();
    Parameters2 d(&grid);
    const struct
    {
        const char *field;
        const char *text;
    } bad[] = {{"epsilon", "0.5"},    {"epsilon", "0.3"},    {"epsilon", "abc"}, {"epsilon", "nan"},
               {"dx", "0"},           {"minP0", "-1"},       {"maxP0", "inf"},   {"sourcePressure", "-2"},
               {"nanoFraction", "1"}, {"velocityOrder", "3"}};
    for (const auto &b : bad) {
        const double tau = p.getEpsilon(0), minP0 = p.getMinP0(), maxP0 = p.getMaxP0();
        const double dx = grid.getScales()->getDx(), rho = p.getSourcePressure(0), phi = p.nanoParameters()[0];
        enter(d, b.field, b.text);
        QVERIFY2(!d.lastMessage().isEmpty(), b.field);
        QCOMPARE(p.getEpsilon(0), tau);
        QCOMPARE(p.getMinP0(), minP0);
        QCOMPARE(p.getMaxP0(), maxP0);
        QCOMPARE(grid.getScales()->getDx(), dx);
        QCOMPARE(p.getSourcePressure(0), rho);
        QCOMPARE(p.nanoParameters()[0], phi);
        // The field shows the value in force again.
        QVERIFY(d.findChild<QLineEdit *>(b.field)->text() != QLatin1String(b.text));
    }
    enter(d, "epsilon", "0.6");
    QVERIFY(d.lastMessage().isEmpty());
    QCOMPARE(p.parameterBlock()[0], 0.6);
    // Order 0: the equilibrium without the velocity.
    enter(d, "velocityOrder", "0");
    QVERIFY(d.lastMessage().isEmpty());
    QCOMPARE(p.getVelocityOrder(), 0);
}

void TestParameters2::modelChangeIsSignalledOnce()
{
    Grid grid;
    Parameters2 d(&grid);
    QSignalSpy changed(&d, &Parameters2::modelChanged);
    QComboBox *model = d.findChild<QComboBox *>("model");
    model->setCurrentText("D3Q19");
    QCOMPARE(grid.getParameters()->getModel(), 19);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), 19);
    grid.getParameters()->setNeedsNeighbourRebuild(false);
    model->setCurrentText("D2Q9");
    model->setCurrentText("D2Q9");
    QCOMPARE(changed.count(), 2);
    QCOMPARE(grid.getParameters()->getModel(), 9);
}

// The mean speed across the middle of the channel follows the inlet speed set
// in the dialog: doubling it doubles the flow (slow, laminar flow is linear).
void TestParameters2::editsActOnARunningChannel()
{
    const QString path = qEnvironmentVariable("ONDIX_SOURCE_DIR") + "/examples/poiseuille-channel.png";
    double mean[2];
    for (int run = 0; run < 2; ++run) {
        Grid grid;
        QString error;
        QVERIFY2(GeometryFiles::load(grid, path, false, &error), qPrintable(error));
        Parameters2 d(&grid);
        enter(d, "epsilon", "0.8");
        d.findChild<QComboBox *>("outletStrategy")->setCurrentText("Zou and He");
        enter(d, "sourceVelocity", run == 0 ? "0.01" : "0.02");
        QCOMPARE(grid.getParameters()->sourceVelocity(0), run == 0 ? 0.01 : 0.02);
        QCOMPARE(grid.getParameters()->parameterBlock()[0], 0.8);
        grid.step(1500);
        double sum = 0.0;
        int n = 0;
        const int x = grid.getParameters()->getWidth() / 2;
        for (int y = 0; y < grid.getParameters()->getHeight(); ++y) {
            BaseCell *c = grid.getCell(x, y, 0);
            if (c && c->isFluid()) {
                sum += c->getVelocity(0).x;
                ++n;
            }
        }
        QVERIFY(n > 0);
        mean[run] = sum / n;
    }
    QVERIFY2(mean[0] > 0.003, qPrintable(QString::number(mean[0])));
    QVERIFY2(qAbs(mean[1] / mean[0] - 2.0) < 0.05, qPrintable(QString::number(mean[1] / mean[0])));
}

void TestParameters2::refreshShowsLoadedValues()
{
    Grid grid;
    Parameters2 d(&grid);
    SimulationParameters &p = *grid.getParameters();
    p.setEpsilon(0, 0.73);
    p.setSourceVelocityValue(0, 0.031);
    p.setModel(27);
    p.setSinglePopulations(true);
    d.refresh();
    QCOMPARE(d.findChild<QLineEdit *>("epsilon")->text(), QStringLiteral("0.73"));
    QCOMPARE(d.findChild<QLineEdit *>("sourceVelocity")->text(), QStringLiteral("0.031"));
    QCOMPARE(d.findChild<QComboBox *>("model")->currentText(), QStringLiteral("D3Q27"));
    QCOMPARE(p.getModel(), 27);
    // The precision box shows the loaded setting and sets it.
    auto *single = d.findChild<QCheckBox *>("singlePopulations");
    QVERIFY(single && single->isChecked());
    single->click();
    QVERIFY(!p.getSinglePopulations());
}

// The Strategy list shows what the inlets and outlets run: a painted channel
// loads with fixed-flux inlets and extrapolation outlets, whatever was chosen
// before, and choosing another strategy replaces them.
void TestParameters2::strategyShownIsTheOneInForce()
{
    const QString path = qEnvironmentVariable("ONDIX_SOURCE_DIR") + "/examples/poiseuille-channel.png";
    Grid grid;
    QString error;
    QVERIFY2(GeometryFiles::load(grid, path, false, &error), qPrintable(error));
    Parameters2 d(&grid);
    auto *strategy = d.findChild<QComboBox *>("outletStrategy");
    QCOMPARE(strategy->currentText(), QStringLiteral("Fixed flux"));
    auto count = [&grid](auto isKind) {
        int n = 0;
        grid.forEachCell([&](BaseCell *c, int, int, int) {
            if (auto *inlet = dynamic_cast<SourceCell *>(c))
                n += isKind(inlet->strategy());
            if (auto *outlet = dynamic_cast<OpenCell *>(c))
                n += isKind(outlet->strategy());
        });
        return n;
    };
    auto zouHe = [](Boundary *b) { return dynamic_cast<ZouHeBoundary *>(b) != nullptr; };
    const int boundaries = count([](Boundary *) { return true; });
    QVERIFY(boundaries > 40);
    strategy->setCurrentText("Zou and He");
    QCOMPARE(count(zouHe), boundaries);
    QVERIFY2(GeometryFiles::load(grid, path, false, &error), qPrintable(error));
    QCOMPARE(count(zouHe), 0);
    d.refresh();
    QCOMPARE(strategy->currentText(), QStringLiteral("Fixed flux"));
    strategy->setCurrentText("Zou and He");
    QCOMPARE(count(zouHe), boundaries);
    // One outlet on its own strategy: the list says the kinds differ.
    grid.forEachCell([](BaseCell *c, int, int, int) {
        if (auto *outlet = dynamic_cast<OpenCell *>(c);
            outlet && !dynamic_cast<ExtrapolationBoundary *>(outlet->strategy()))
            outlet->setStrategy(new ExtrapolationBoundary);
    });
    d.refresh();
    QCOMPARE(strategy->currentIndex(), 0);
    strategy->setCurrentText("Equilibrium");
    QCOMPARE(count([](Boundary *b) { return dynamic_cast<EquilibriumBoundary *>(b) != nullptr; }), boundaries);
}

void TestParameters2::initialDensitiesInABox()
{
    Grid grid;
    grid.getParameters()->setModel(9);
    grid.getParameters()->setMinP0(1.0);
    grid.getParameters()->setMaxP0(1.0);
    grid.resize(8, 6, 1);
    Parameters2 d(&grid);
    const char *fields[] = {"regionMinX", "regionMaxX", "regionMinY", "regionMaxY", "regionMinZ", "regionMaxZ"};
    const char *values[] = {"2", "3", "1", "9", "1", "1"};
    for (int k = 0; k < 6; ++k)
        d.findChild<QLineEdit *>(fields[k])->setText(values[k]);
    d.findChild<QLineEdit *>("initialDensity1")->setText("1.5");
    d.findChild<QPushButton *>("updateInitial")->click();
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            QCOMPARE(grid.getCell(x, y, 0)->getP(0), x == 1 || x == 2 ? 1.5 : 1.0);
}

// Remakes the README's picture of the dialog when ONDIX_SCREENSHOT_DIR is set.
// Return in any beam field applies all five and restarts the beam; either
// energy field applies both; a negative width is refused.
void TestParameters2::freeSurfaceBeamAndEnergies()
{
    Grid grid;
    FreeSurfaceSettings &fs = *grid.getMeltingController();
    Parameters2 d(&grid);
    QCOMPARE(d.findChild<QLineEdit *>("kornerLiquidEnergy")->text(), QStringLiteral("2"));
    QVERIFY(d.findChild<QLineEdit *>("kornerGasTau")->isReadOnly());
    d.findChild<QLineEdit *>("ebmPower")->setText("0.8");
    d.findChild<QLineEdit *>("ebmStdDev")->setText("1.5");
    d.findChild<QLineEdit *>("ebmStartX")->setText("12");
    d.findChild<QLineEdit *>("ebmVelocity")->setText("0.02");
    enter(d, "ebmTimesteps", "500");
    QCOMPARE(fs.getPower(), 0.8);
    QCOMPARE(fs.getStdDev(), 1.5);
    QCOMPARE(fs.getStartX(), 12);
    QCOMPARE(fs.getBeamX(), 12.0);
    QCOMPARE(fs.getVelocity(), 0.02);
    QCOMPARE(fs.getTimesteps(), 500);
    enter(d, "ebmStdDev", "-1");
    QVERIFY(!d.lastMessage().isEmpty());
    QCOMPARE(fs.getStdDev(), 1.5);
    d.findChild<QLineEdit *>("kornerSolidEnergy")->setText("1.2");
    enter(d, "kornerLiquidEnergy", "3.5");
    QCOMPARE(fs.getSolidEnergy(), 1.2);
    QCOMPARE(fs.getMeltingEnergy(), 3.5);
}

void TestParameters2::screenshot()
{
    const QString dir = qEnvironmentVariable("ONDIX_SCREENSHOT_DIR");
    if (dir.isEmpty())
        QSKIP("ONDIX_SCREENSHOT_DIR is not set");
    Grid grid;
    Parameters2 d(&grid);
    d.findChild<QComboBox *>("material")->setCurrentText("Air 25C");
    d.show();
    d.resize(420, 520);
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QVERIFY(d.grab().save(dir + "/parameters.png"));
}

// The box tools pick the centre half, make its fluid porous without touching
// its populations or its walls, and a mask image sets the solid density site
// by site; the external force is replaced from its seven fields.
void TestParameters2::porousRegionsAndExternalForce()
{
    Grid grid;
    grid.getParameters()->setModel(9);
    grid.resize(8, 6, 1);
    grid.setCell(3, 2, 0, new WallCell);
    grid.step(2);
    Parameters2 d(&grid);
    d.findChild<QPushButton *>("regionCenter")->click();
    QCOMPARE(d.findChild<QLineEdit *>("regionMinX")->text(), QStringLiteral("3"));
    QCOMPARE(d.findChild<QLineEdit *>("regionMaxX")->text(), QStringLiteral("6"));
    QCOMPARE(d.findChild<QLineEdit *>("regionMinY")->text(), QStringLiteral("2"));
    QCOMPARE(d.findChild<QLineEdit *>("regionMaxY")->text(), QStringLiteral("5"));
    const double before = grid.getCell(4, 3, 0)->getF(5, 0);
    d.findChild<QLineEdit *>("porousSolidDensity")->setText("0.4");
    d.findChild<QPushButton *>("updateConstant")->click();
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            auto *porous = dynamic_cast<PorousCell *>(grid.getCell(x, y, 0));
            const bool inBox = x >= 2 && x <= 5 && y >= 1 && y <= 4 && !(x == 3 && y == 2);
            QCOMPARE(porous != nullptr, inBox);
            if (porous)
                QCOMPARE(porous->getSolidDensity(), 0.4);
        }
    QVERIFY(dynamic_cast<WallCell *>(grid.getCell(3, 2, 0)));
    QCOMPARE(grid.getCell(4, 3, 0)->getF(5, 0), before);

    QImage mask(2, 1, QImage::Format_RGB32);
    mask.setPixel(0, 0, qRgb(0, 0, 0));
    mask.setPixel(1, 0, qRgb(255, 255, 255));
    QTemporaryDir dir;
    QVERIFY(mask.save(dir.filePath("mask.png")));
    QVERIFY(d.loadPorousMask(dir.filePath("mask.png")));
    QCOMPARE(static_cast<PorousCell *>(grid.getCell(0, 5, 0))->getSolidDensity(), 1.0);
    QCOMPARE(static_cast<PorousCell *>(grid.getCell(7, 0, 0))->getSolidDensity(), 0.0);
    QVERIFY(!d.loadPorousMask(dir.filePath("missing.png")));
    QVERIFY(!d.lastMessage().isEmpty());

    const char *fields[] = {"externalForceStrengthX", "externalForceStrengthY", "externalForceMinX",
                            "externalForceMaxX",      "externalForceMinY",      "externalForceMaxY"};
    const char *values[] = {"0.001", "-0.002", "1", "5", "2", "4"};
    for (int k = 0; k < 6; ++k)
        d.findChild<QLineEdit *>(fields[k])->setText(values[k]);
    enter(d, "externalForcePeriod", "40");
    auto external = [&grid]() -> PassiveScalarForce * {
        for (Force *f : grid.getParameters()->getForces())
            if (auto *e = dynamic_cast<PassiveScalarForce *>(f))
                return e;
        return nullptr;
    };
    QVERIFY(external());
    QCOMPARE(external()->strengthY, -0.002);
    QCOMPARE(external()->maxx, 5);
    QCOMPARE(external()->period, 40);
    enter(d, "externalForcePeriod", "-3");
    QVERIFY(!d.lastMessage().isEmpty());
    QCOMPARE(external()->period, 40);
}

QTEST_MAIN(TestParameters2)
#include "tst_parameters2.moc"
