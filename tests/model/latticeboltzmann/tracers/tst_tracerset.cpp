#include "../gridtest_helper.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/tracers/tracerset.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

#include <cmath>
#include <cstring>

namespace {

TracerRegion region(int id, Vector3i from, Vector3i to)
{
    TracerRegion r;
    r.id = id;
    r.from = from;
    r.to = to;
    r.red = 10 + id;
    return r;
}

void uniformFlow(Grid &grid, const Vector3d &u)
{
    for (int y = 0; y < grid.getHeight(); ++y)
        for (int x = 0; x < grid.getWidth(); ++x)
            GridTest::setEquilibrium(grid.getCell(x, y, 0), u, 1.0);
}

QByteArray written(const TracerSet &set)
{
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.writeStartElement("particles");
    set.write(writer);
    writer.writeEndElement();
    return xml;
}

} // namespace

class TestTracerSet : public QObject
{
    Q_OBJECT

private slots:
    // Emitters at every spacing step of each region, inclusive bounds; an
    // inverted region gives none; a spacing below 1 counts as 1.
    void emittersFollowRegions()
    {
        Grid grid;
        GridTest::prepare(grid, 9, 20, 20, 1, 0.8, false);
        TracerSet set(&grid);
        set.addRegion(region(1, Vector3i(2, 3, 0), Vector3i(4, 5, 0)));
        QCOMPARE(int(set.emitters().size()), 9);
        set.setGridSpacing(2);
        QCOMPARE(int(set.emitters().size()), 4);
        QCOMPARE(set.emitters().back().origin, Vector3i(4, 5, 0));
        set.setGridSpacing(0);
        QCOMPARE(set.getGridSpacing(), 1);
        set.addRegion(region(2, Vector3i(5, 5, 0), Vector3i(4, 9, 0)));
        QCOMPARE(int(set.emitters().size()), 9);
        set.addRegion(region(3, Vector3i(7, 7, 0), Vector3i(7, 8, 0)));
        set.removeRegion(1);
        QCOMPARE(int(set.emitters().size()), 2);
        QCOMPARE(set.emitters().front().regionId, 3);
        QCOMPARE(set.emitters().front().trail.size(), std::size_t(1));
    }

    // Without jitter, in a uniform flow, the point released k iterations ago
    // lies at origin + k A u; trails keep at most the cap; points that reach
    // a wall vanish at the next iteration.
    void pointsFollowTheFlowAndVanishAtWalls()
    {
        Grid grid;
        GridTest::prepare(grid, 9, 40, 10, 1, 0.8, true);
        const Vector3d u(0.05, 0.0125, 0.0);
        uniformFlow(grid, u);
        TracerSet set(&grid);
        set.setAmplification(4);
        set.setTrailCap(12);
        set.addRegion(region(1, Vector3i(2, 2, 0), Vector3i(2, 3, 0)));
        for (int n = 0; n < 10; ++n)
            set.step();
        const Vector3d v = grid.getCell(5, 5, 0)->getVelocity(-1);
        for (const TracerEmitter &e : set.emitters()) {
            QCOMPARE(e.trail.size(), std::size_t(11));
            for (std::size_t k = 0; k < e.trail.size(); ++k) {
                const TracerPoint &p = e.trail[e.trail.size() - 1 - k];
                QVERIFY(std::abs(p.x - (e.origin.x + k * 4 * v.x)) < 1e-12);
                QVERIFY(std::abs(p.y - (e.origin.y + k * 4 * v.y)) < 1e-12);
                QCOMPARE(p.z, 0.0);
            }
        }
        for (int n = 0; n < 5; ++n)
            set.step();
        QCOMPARE(set.emitters().front().trail.size(), std::size_t(12));

        // A wall column at x = 6, approached by A u.x = 0.5 per iteration.
        grid.fillRegion("w", 6, 6, 0, 9, 0, 0);
        set.setAmplification(10);
        uniformFlow(grid, u); // keeps the walls, which take no distributions
        set.resetAllTrails();
        for (int n = 0; n < 60; ++n) {
            set.step();
            for (const TracerEmitter &e : set.emitters())
                for (const TracerPoint &p : e.trail)
                    QVERIFY2(p.x < 6.0 || (p.px < 6.0 && p.x < 7.0), "a point survived a wall");
        }
        QVERIFY(set.emitters().front().trail.size() < 12);
    }

    // The jitter is uniform on [-D, D] in x and y: after n moves at rest the
    // variance per coordinate is n D^2 / 3, and z is untouched.
    void jitterVariance()
    {
        Grid grid;
        GridTest::prepare(grid, 9, 140, 140, 1, 0.8, true);
        TracerSet set(&grid);
        const double d = 0.5;
        const int n = 20;
        set.setDiffusion(d);
        set.setTrailCap(n + 1);
        set.addRegion(region(1, Vector3i(20, 20, 0), Vector3i(119, 119, 0)));
        for (int k = 0; k < n; ++k)
            set.step();
        double sx = 0.0, sy = 0.0, sxx = 0.0, syy = 0.0;
        int count = 0;
        for (const TracerEmitter &e : set.emitters()) {
            QCOMPARE(e.trail.size(), std::size_t(n + 1));
            const TracerPoint &p = e.trail.front();
            QCOMPARE(p.z, 0.0);
            const double dx = p.x - e.origin.x, dy = p.y - e.origin.y;
            sx += dx;
            sy += dy;
            sxx += dx * dx;
            syy += dy * dy;
            ++count;
        }
        const double expected = n * d * d / 3.0;
        const double vx = sxx / count - (sx / count) * (sx / count);
        const double vy = syy / count - (sy / count) * (sy / count);
        qInfo("jitter variance x %.4f y %.4f, expected %.4f (%d points)", vx, vy, expected, count);
        QVERIFY(std::abs(vx / expected - 1.0) < 0.05);
        QVERIFY(std::abs(vy / expected - 1.0) < 0.05);
    }

    // Written and read back, a set continues bitwise (the regions, the trails
    // and the jitter's generator travel with it); a malformed element leaves
    // the set as it was; the region count written is not obeyed blindly.
    void documentRoundTripContinuesExactly()
    {
        Grid grid;
        GridTest::prepare(grid, 9, 30, 12, 1, 0.8, true);
        uniformFlow(grid, Vector3d(0.03, -0.01, 0.0));
        TracerSet set(&grid);
        set.setDiffusion(0.3);
        set.setAmplification(3);
        set.setInjectionPeriod(7);
        set.addRegion(region(4, Vector3i(3, 3, 0), Vector3i(5, 8, 0)));
        set.addRegion(region(9, Vector3i(10, 2, 0), Vector3i(10, 2, 0)));
        for (int k = 0; k < 17; ++k)
            set.step();

        TracerSet copy(&grid);
        copy.setDiffusion(0.3); // not part of the document
        QXmlStreamReader reader(written(set));
        reader.readNextStartElement();
        QString error;
        QVERIFY2(copy.read(reader, &error), qPrintable(error));
        QVERIFY(reader.isEndElement() && reader.name() == QLatin1String("particles"));
        QCOMPARE(copy.regions().size(), 2);
        QCOMPARE(copy.getInjectionPeriod(), 7);
        QCOMPARE(copy.findRegion(9)->red, 19);
        for (int k = 0; k < 9; ++k) {
            set.step();
            copy.step();
        }
        QCOMPARE(copy.emitters().size(), set.emitters().size());
        for (std::size_t e = 0; e < set.emitters().size(); ++e) {
            const auto &a = set.emitters()[e].trail, &b = copy.emitters()[e].trail;
            QCOMPARE(a.size(), b.size());
            QVERIFY(std::memcmp(a.data(), b.data(), a.size() * sizeof(TracerPoint)) == 0);
        }

        QXmlStreamReader bad("<particles acceleration=\"5\"><particle id=\"1\" colorR=\"300\"/></particles>");
        bad.readNextStartElement();
        QVERIFY(!copy.read(bad, &error));
        QVERIFY(error.contains("colorR"));
        QCOMPARE(copy.getAmplification(), 3);
        QCOMPARE(copy.regions().size(), 2);
        QXmlStreamReader lying("<particles particlesQuantity=\"2000000000\"><particle id=\"5\" toX=\"1\"/></particles>"
                               "<next/>");
        lying.readNextStartElement();
        QVERIFY(copy.read(lying, &error));
        QCOMPARE(copy.regions().size(), 1);
        QCOMPARE(int(copy.emitters().size()), 2);
        QVERIFY(lying.isEndElement() && lying.name() == QLatin1String("particles"));
    }
};

QTEST_GUILESS_MAIN(TestTracerSet)
#include "tst_tracerset.moc"
