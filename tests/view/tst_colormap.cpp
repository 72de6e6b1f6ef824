#include "view/colormap.h"

#include <QtTest>

#include <cmath>
#include <limits>

// With centre 0.5 and half-width 0.5 a value is its own position in the range.
class TestColorMap : public QObject
{
    Q_OBJECT

private:
    static ColorMap unitMap(int style, int steps = 0)
    {
        ColorMap map;
        map.centre = 0.5;
        map.halfWidth = 0.5;
        map.style = style;
        map.steps = steps;
        return map;
    }

private slots:
    void ramps_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("steps");
        QTest::addColumn<double>("f");
        QTest::addColumn<double>("r");
        QTest::addColumn<double>("g");
        QTest::addColumn<double>("b");
        // Style 0: magenta -> blue -> cyan -> green -> yellow -> red.
        QTest::newRow("0 magenta-blue") << 0 << 0 << 0.09 << 0.5 << 0.0 << 1.0;
        QTest::newRow("0 blue-cyan") << 0 << 0 << 0.29 << 0.0 << 0.5 << 1.0;
        QTest::newRow("0 cyan-green") << 0 << 0 << 0.44 << 0.0 << 1.0 << 0.5;
        QTest::newRow("0 green-yellow") << 0 << 0 << 0.62 << 0.5 << 1.0 << 0.0;
        QTest::newRow("0 yellow-red") << 0 << 0 << 0.88 << 1.0 << 0.5 << 0.0;
        QTest::newRow("0 piece start") << 0 << 0 << 0.18 << 0.0 << 0.0 << 1.0;
        // Style 1: blue -> cyan -> green -> yellow -> red.
        QTest::newRow("1 blue-cyan") << 1 << 0 << 0.125 << 0.0 << 0.5 << 1.0;
        QTest::newRow("1 cyan-green") << 1 << 0 << 0.375 << 0.0 << 1.0 << 0.5;
        QTest::newRow("1 green-yellow") << 1 << 0 << 0.625 << 0.5 << 1.0 << 0.0;
        QTest::newRow("1 yellow-red") << 1 << 0 << 0.875 << 1.0 << 0.5 << 0.0;
        // Style 2: blue -> green -> yellow -> orange -> red.
        QTest::newRow("2 blue-green") << 2 << 0 << 0.1 << 0.0 << 0.4 << 0.6;
        QTest::newRow("2 green-yellow") << 2 << 0 << 0.375 << 0.5 << 1.0 << 0.0;
        QTest::newRow("2 yellow-orange") << 2 << 0 << 0.625 << 1.0 << 0.75 << 0.0;
        QTest::newRow("2 orange-red") << 2 << 0 << 0.875 << 1.0 << 0.25 << 0.0;
        // Four steps: the green of style 1's first quarter takes only four values.
        QTest::newRow("1 q step 0") << 1 << 4 << 0.01 << 0.0 << 0.125 << 1.0;
        QTest::newRow("1 q step 1") << 1 << 4 << 0.1 << 0.0 << 0.375 << 1.0;
        QTest::newRow("1 q step 2") << 1 << 4 << 0.15 << 0.0 << 0.625 << 1.0;
        QTest::newRow("1 q step 3") << 1 << 4 << 0.24 << 0.0 << 0.875 << 1.0;
        QTest::newRow("1 q boundary") << 1 << 4 << 0.125 << 0.0 << 0.5 << 1.0;
        QTest::newRow("0 q") << 0 << 4 << 0.7 << 0.875 << 1.0 << 0.0;
        // Style 2 steps its green but keeps its first-quarter blue smooth.
        QTest::newRow("2 q smooth blue") << 2 << 4 << 0.1 << 0.0 << 0.375 << 0.6;
        QTest::newRow("2 q orange") << 2 << 4 << 0.55 << 1.0 << 0.9375 << 0.0;
    }

    void ramps()
    {
        QFETCH(int, style);
        QFETCH(int, steps);
        QFETCH(double, f);
        QFETCH(double, r);
        QFETCH(double, g);
        QFETCH(double, b);
        const QColor c = unitMap(style, steps).color(f);
        QVERIFY(c.isValid());
        const double tolerance = 2.0 / 65535;
        QVERIFY2(std::abs(c.redF() - r) < tolerance, qPrintable(QString::number(c.redF())));
        QVERIFY2(std::abs(c.greenF() - g) < tolerance, qPrintable(QString::number(c.greenF())));
        QVERIFY2(std::abs(c.blueF() - b) < tolerance, qPrintable(QString::number(c.blueF())));
        QVERIFY(!ColorMap::isWhite(c));
    }

    void whiteOnAndBeyondTheEdges()
    {
        for (int style = 0; style < 3; ++style) {
            ColorMap map;
            map.centre = 2.0;
            map.halfWidth = 0.5;
            map.style = style;
            for (double v : {1.5, 2.5, 1.0, 3.0, -100.0, 1e9})
                QVERIFY2(ColorMap::isWhite(map.color(v)), qPrintable(QString("%1 %2").arg(style).arg(v)));
            QVERIFY(!ColorMap::isWhite(map.color(1.5000001)));
            QVERIFY(!ColorMap::isWhite(map.color(2.4999999)));
        }
        // An empty range holds nothing, not even its centre.
        ColorMap empty;
        empty.centre = 1.0;
        empty.halfWidth = 0.0;
        QVERIFY(ColorMap::isWhite(empty.color(1.0)));
        QVERIFY(ColorMap::isWhite(empty.color(std::numeric_limits<double>::quiet_NaN())));
    }

    void everyInRangeColourHasAZeroChannel()
    {
        for (int style = 0; style < 3; ++style) {
            const ColorMap map = unitMap(style);
            for (int i = 1; i < 1000; ++i) {
                const QColor c = map.color(i / 1000.0);
                QVERIFY(c.red() == 0 || c.green() == 0 || c.blue() == 0);
            }
        }
    }

    void unknownStyleIsBlackAndNeverWhite()
    {
        for (int style : {3, 7, -1}) {
            const ColorMap map = unitMap(style);
            for (double v : {0.5, 0.0, 1.0, 12.0}) {
                const QColor c = map.color(v);
                QVERIFY(!c.isValid());
                QVERIFY(!ColorMap::isWhite(c));
                QCOMPARE(c.red() + c.green() + c.blue(), 0);
            }
        }
    }

    void quantise()
    {
        ColorMap map;
        QCOMPARE(map.quantise(0.3), 0.3);
        map.steps = 4;
        QCOMPARE(map.quantise(0.3), 0.375);
        QCOMPARE(map.quantise(0.0001), 0.125);
        QCOMPARE(map.quantise(0.25), 0.25);
        QCOMPARE(map.quantise(0.9999), 0.875);
        QCOMPARE(map.quantise(1.0), 1.0);
    }

    void styleNames()
    {
        QCOMPARE(ColorMap::styleNames(),
                 QStringList({"Wavelength (visible spectrum)", "blue -> cyan -> green -> yellow -> red",
                              "blue -> green -> yellow -> orange -> red"}));
    }
};

QTEST_GUILESS_MAIN(TestColorMap)
#include "tst_colormap.moc"
