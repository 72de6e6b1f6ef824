#include "model/latticeboltzmann/forces/force.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/unitscales.h"
#include "persistence/outputfolder.h"
#include "persistence/parametersxml.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

#include <cmath>
#include <cstdlib>

namespace {
class ConstantForce : public Force
{
public:
    explicit ConstantForce(bool active, int *deleted = nullptr) : active(active), deleted(deleted) {}
    ~ConstantForce() override
    {
        if (deleted)
            ++*deleted;
    }
    Vector3d force(BaseCell *, BaseCell **, int, int, int, int, Grid *) override { return Vector3d(1, 0, 0); }
    bool isActive(const SimulationParameters &) override { return active; }
    bool active;
    int *deleted;
};
class OtherForce : public ConstantForce
{
public:
    using ConstantForce::ConstantForce;
};
} // namespace

class TestSimulationParameters : public QObject
{
    Q_OBJECT

private slots:
    void neighbourRebuildFlag()
    {
        SimulationParameters p;
        p.setNeedsNeighbourRebuild(false);
        p.setModel(9);
        QVERIFY(!p.getNeedsNeighbourRebuild());
        p.setModel(19);
        QVERIFY(p.getNeedsNeighbourRebuild());
        QCOMPARE(p.getModel(), 19);
        p.setNeedsNeighbourRebuild(false);
        p.setPeriodicBoundaries(true);
        QVERIFY(p.getNeedsNeighbourRebuild());
    }

    void indexedArrays()
    {
        SimulationParameters p;
        p.setSourceVelocityValue(0, 0.05);
        p.setSourceVelocityValue(1, 0.07);
        QCOMPARE(p.sourceVelocity(1), 0.07);
        QCOMPARE(p.sourceVelocity(5), 0.05);
        QCOMPARE(p.sourceVelocity(3), 0.05);
        QCOMPARE(p.getSourcePressure(2), 1.0);
        QCOMPARE(p.wallVelocity(), Vector3d(0.02, 0, 0));
    }

    void randomInitialDensityStaysInBounds()
    {
        SimulationParameters p;
        p.setMinP0(0.9);
        p.setMaxP0(1.1);
        p.random().setSeed(7);
        double lo = 2, hi = 0;
        for (int i = 0; i < 20000; ++i) {
            const double r = p.randomInitialDensity();
            QVERIFY(r >= 0.9 && r <= 1.1);
            lo = std::min(lo, r);
            hi = std::max(hi, r);
        }
        // The draws cover the range, not a single value.
        QVERIFY(lo < 0.91 && hi > 1.09);
        p.setMaxP0(0.9);
        QCOMPARE(p.randomInitialDensity(), 0.9);
    }

    void nanofluidPlainValuesAtZeroFraction()
    {
        SimulationParameters p;
        p.setEpsilon(0, 0.8);
        p.setEpsilon(1, 0.7);
        p.setThermalExpansion(2.5);
        p.setNanoParameters(0.0, 3.0, 0.2, 40.0, 0.5);
        QCOMPARE(p.getEffectiveTau0(), 0.8);
        QCOMPARE(p.getEffectiveTau1(), 0.7);
        QCOMPARE(p.getEffectiveThermalExpansion(), 2.5);
        QCOMPARE(p.nanoDensityFactor(), 1.0);
    }

    void nanofluidWorkedExample()
    {
        // phi = 0.1, rho_p = 2, beta_p = 0.5, k_p = 4, c_p = 0.25, tau0 = 1, tau1 = 0.8, beta = 1.
        // r = 1.1; (1 - phi)^2.5 = 0.768433...; tau0' = 0.5 / (0.768433 * 1.1) + 0.5 = 1.091522...
        // beta' = (0.9 + 0.1) / 1.1 = 0.909090...
        // Maxwell: (4 + 2 - 0.2 + 0.8) / (4 + 2 + 0.1 - 0.4) = 6.6 / 5.7; c = 0.9 + 0.05 = 0.95
        // tau1' = (6.6 / 5.7) * 0.3 / 0.95 + 0.5 = 0.865650...
        SimulationParameters p;
        p.setEpsilon(0, 1.0);
        p.setEpsilon(1, 0.8);
        p.setNanoParameters(0.1, 2.0, 0.5, 4.0, 0.25);
        QVERIFY(std::abs(p.getEffectiveTau0() - (0.5 / (std::pow(0.9, 2.5) * 1.1) + 0.5)) < 1e-15);
        QVERIFY(std::abs(p.getEffectiveTau0() - 1.0915222) < 1e-6);
        QVERIFY(std::abs(p.getEffectiveThermalExpansion() - 1.0 / 1.1) < 1e-15);
        QVERIFY(std::abs(p.getEffectiveTau1() - 0.8656509695) < 1e-9);
        QVERIFY(std::abs(p.nanoDensityFactor() - 1.1) < 1e-15);
        QCOMPARE(p.nanoParameters(), (QVector<double>{0.1, 2.0, 0.5, 4.0, 0.25}));
    }

    void forcesListKeepsOnePerClass()
    {
        int deleted = 0;
        SimulationParameters p;
        p.addForce(new ConstantForce(true, &deleted));
        p.addForce(new OtherForce(true, &deleted));
        QCOMPARE(p.getForces().size(), 2);
        p.addForce(new ConstantForce(true, &deleted));
        QCOMPARE(p.getForces().size(), 2);
        QCOMPARE(deleted, 1);
        // An inactive force removes its class and is discarded itself.
        p.addForce(new ConstantForce(false, &deleted));
        QCOMPARE(p.getForces().size(), 1);
        QCOMPARE(deleted, 3);
        QVERIFY(dynamic_cast<OtherForce *>(p.getForces().first()));
    }

    void unitScales()
    {
        UnitScales s;
        s.setDx(1e-3);
        s.setDt(1e-2);
        QCOMPARE(s.latticeSpeed(0.05), 0.05 * 1e-2 / 1e-3);
        QVERIFY(std::abs(s.physicalSpeed(s.latticeSpeed(0.05)) - 0.05) < 1e-15);
        QVERIFY(std::abs(s.physicalViscosity(0.1) - 1e-5) < 1e-18);
        QVERIFY(std::abs(s.latticeViscosity(1e-5) - 0.1) < 1e-15);
        // Water at dx = 1 um and tau = 1: dt = 1e-12 * 0.5 / 3e-6.
        s.setSpacingAndViscosity(1e-6, 1e-6, 1.0);
        QCOMPARE(s.getDx(), 1e-6);
        QVERIFY(std::abs(s.getDt() - 1.6666666666666665e-07) < 1e-20);
        QCOMPARE(UnitScales::viscosityOfTau(0.8), (0.8 - 0.5) / 3.0);
        // The lattice viscosity of the chosen tau comes back out.
        QVERIFY(std::abs(s.latticeViscosity(1e-6) - UnitScales::viscosityOfTau(1.0)) < 1e-15);
        UnitScales defaults;
        QCOMPARE(defaults.getDm(), 8e-18);
    }

    // Every persisted field survives the "config" element exactly; values
    // that differ from the defaults prove each key is read, not defaulted,
    // and reals with more than six significant digits prove they are
    // written in full.
    void configRoundTrip()
    {
        // 0.6 becomes 0.60000018849555921...
        const auto odd = [](double v) { return v + v * M_PI * 1e-7; };
        SimulationParameters p;
        p.setModel(19);
        for (int i = 0; i < 3; ++i) {
            p.setEpsilon(i, odd(0.6 + 0.1 * i));
            p.setSourceVelocityValue(i, odd(0.01 * (i + 1)));
            p.setThermal(i, odd(2.0 + i));
        }
        p.setMinP0Value(odd(0.95));
        p.setMaxP0Value(odd(1.05));
        p.setSourcePressureValue(0, odd(1.01));
        p.setSourcePressureValue(1, odd(1.02));
        p.setSourcePeriodValue(0, 30);
        p.setSourcePeriodValue(1, 40);
        p.setSourceAmplitudeValue(0, odd(0.1));
        p.setSourceAmplitudeValue(1, odd(0.2));
        p.setPeriodicBoundaries(false);
        p.setGravity(odd(1e-5));
        p.setMulticomponentValues(2, odd(0.9), odd(0.1), odd(0.2), 4);
        p.setMultiphase(odd(-5.0), odd(3.0), odd(150.0), odd(-100.0));
        p.setPorousSolidDensityValue(odd(0.25));
        p.setWallVelocityValue(Vector3d(odd(0.1), odd(0.2), odd(0.3)));
        p.setWallPeriodValue(50);
        p.setDensity1(odd(1.5));
        p.setDensity2(odd(2.5));
        p.setShallowG(odd(0.3));
        p.setShallowNB(odd(0.4));
        p.setPassiveScalarGravity(odd(0.001));
        p.setSmagorinsky(odd(0.17));
        p.setEntropic(true);
        p.setSlipWallCoefficient(odd(0.35));
        p.setSourceStrategyValue(3);
        p.setOpenStrategyValue(2);
        p.setThermalExpansion(odd(0.7));
        p.setDepositionRate(odd(0.125));
        p.setVelocityOrder(1);
        p.setReflectWithFactor(odd(0.5));
        p.setNanoParameters(odd(0.05), odd(3.0), odd(0.5), odd(20.0), odd(0.8));
        QByteArray text;
        QXmlStreamWriter writer(&text);
        writer.writeStartElement("config");
        ParametersXml::write(writer, p);
        writer.writeEndElement();
        writer.writeEmptyElement("next");

        SimulationParameters q;
        QXmlStreamReader reader(text);
        reader.readNextStartElement();
        QVERIFY(ParametersXml::read(reader, q));
        QVERIFY(reader.isEndElement() && reader.name() == QLatin1String("config"));
        QByteArray again;
        QXmlStreamWriter second(&again);
        second.writeStartElement("config");
        ParametersXml::write(second, q);
        second.writeEndElement();
        second.writeEmptyElement("next");
        QCOMPARE(again, text);
        // Written with too few digits, the text would still read back to
        // itself; the values must come back bitwise (lists compare exactly).
        const auto values = [](const SimulationParameters &c) {
            QVector<double> v;
            for (int i = 0; i < 3; ++i)
                v << c.getEpsilon(i) << c.sourceVelocity(i) << c.getThermal(i);
            for (int i = 0; i < 2; ++i)
                v << c.getSourcePressure(i) << c.getSourceAmplitude(i);
            const Vector3d wall = c.wallVelocity();
            v << c.getMinP0() << c.getMaxP0() << c.getGravity() << c.multicomponent() << c.multiphase()
              << c.getPorousSolidDensity() << wall.x << wall.y << wall.z << c.getDensity1() << c.getDensity2()
              << c.getShallowG() << c.getShallowNB() << c.getPassiveScalarGravity() << c.getSmagorinsky()
              << c.getSlipWallCoefficient() << c.getThermalExpansion() << c.getDepositionRate()
              << c.getReflectWithFactor() << c.nanoParameters() << c.getEffectiveTau0() << c.getEffectiveTau1();
            return v;
        };
        QCOMPARE(values(q), values(p));
    }

    // A config with only the always-read keys: the optional groups take
    // their defaults or keep their values, and nothing is rebuilt.
    void configOptionalGroups()
    {
        SimulationParameters q;
        q.setSourcePressureValue(0, 1.3);
        q.setMulticomponentValues(3, 0.1, 0.0, 0.0, 2);
        q.setDensity1(4.0);
        q.setVelocityOrder(1);
        QXmlStreamReader reader(QStringLiteral("<config model=\"9\" epsilon0=\"0.8\" epsilon1=\"0.9\" epsilon2=\"1\" "
                                               "minP0=\"1\" maxP0=\"1\" sourceVelocity0=\"0.1\" "
                                               "sourceVelocity1=\"0.1\" sourceVelocity2=\"0.1\"/>"));
        reader.readNextStartElement();
        QVERIFY(ParametersXml::read(reader, q));
        QCOMPARE(q.getSourcePressure(0), 1.3);
        QCOMPARE(q.getMcQuantity(), 3);
        QCOMPARE(q.getPorousSolidDensity(), 0.5);
        QCOMPARE(q.getDensity1(), 1.0);
        QCOMPARE(q.getVelocityOrder(), 2);
        QCOMPARE(q.getReflectWithFactor(), 1.0);
        QCOMPARE(q.getEffectiveTau0(), 0.8);
        QCOMPARE(q.getEffectiveTau1(), 0.9);
        QVERIFY(!q.getPeriodicBoundaries());

        QXmlStreamReader typeless(QStringLiteral("<config model=\"9\" mcQuantity=\"2\" mcG=\"0.1\"/>"));
        typeless.readNextStartElement();
        QVERIFY(ParametersXml::read(typeless, q));
        QCOMPARE(q.getMcType(), 1);

        QXmlStreamReader bad(QStringLiteral("<config model=\"12\" epsilon0=\"inf\"/>"));
        bad.readNextStartElement();
        QString error;
        QVERIFY(!ParametersXml::read(bad, q, &error));
        QVERIFY(error.contains("model"));
    }

    // Index setters outside 0..2 are refused instead of writing entry 0.
    void outOfRangeIndexIgnored()
    {
        SimulationParameters p;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("setEpsilon: index 3"));
        p.setEpsilon(3, 0.6);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("setSourceVelocity: index 5"));
        p.setSourceVelocity(5, 0.3);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("setThermal: index -1"));
        p.setThermal(-1, 7.0);
        QCOMPARE(p.getEpsilon(0), 1.0);
        QCOMPARE(p.sourceVelocity(0), 0.02);
        QCOMPARE(p.getThermal(0), 1.0);
    }

    void outputFolderEndsWithSlash()
    {
        OutputFolder f;
        f.setDirectory("/tmp/runs");
        QCOMPARE(f.directory(), QString("/tmp/runs/"));
        f.setDirectory("");
        QCOMPARE(f.directory(), QString());
    }

    // Runs started within one second never share a folder, and a folder
    // that cannot be made is an error, not a write somewhere else.
    void runFoldersAreNeverShared()
    {
        QTemporaryDir temp;
        OutputFolder f;
        f.setDirectory(temp.path());
        const QDateTime start(QDate(2026, 12, 8), QTime(16, 15, 2));
        const QString plain = temp.filePath("sim20261208161502-channel");
        QCOMPARE(f.createRunFolder("/models/channel.png", start), plain);
        QCOMPARE(f.createRunFolder("channel", start), plain + "-2");
        QVERIFY(QFile(plain + "-3").open(QIODevice::WriteOnly));
        QCOMPARE(f.createRunFolder("channel", start), plain + "-4");
        for (const char *suffix : {"", "-2", "-4"})
            QVERIFY(QFileInfo(plain + suffix).isDir());

        f.setDirectory(plain + "-3");
        QString error;
        QVERIFY(f.createRunFolder("channel", start, &error).isEmpty());
        QVERIFY2(error.contains(plain + "-3/sim"), qPrintable(error));
        f.setDirectory("");
    }
};

QTEST_GUILESS_MAIN(TestSimulationParameters)
#include "tst_simulationparameters.moc"
