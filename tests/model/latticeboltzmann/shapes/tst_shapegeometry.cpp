#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/shapes/boxshape.h"
#include "model/latticeboltzmann/shapes/cylindershape.h"
#include "model/latticeboltzmann/shapes/shapevoxels.h"
#include "model/latticeboltzmann/shapes/sphereshape.h"

#include <QtTest>

#include <cmath>
#include <functional>

namespace {

// Checks every link of the voxels against the exact surface: the site the
// link starts from is outside, the cut point lies on the surface (distance
// measured by onSurface, 0 on it), and the covered sites are those inside.
void checkVoxels(const Shape &shape, int nx, int ny, int nz, int q, bool periodic,
                 const std::function<bool(const Vector3d &)> &inside,
                 const std::function<double(const Vector3d &)> &offSurface, double tolerance, int *links = nullptr)
{
    const ShapeVoxels voxels(shape, nx, ny, nz, q, periodic, true);
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z)
                QVERIFY2(voxels.isSolid(x, y, z) == inside(Vector3d(x, y, z)),
                         qPrintable(QString("site %1 %2 %3").arg(x).arg(y).arg(z)));
    int count = 0;
    for (const ShapeVoxels::Boundary &b : voxels.boundary()) {
        for (int i = 1; i < q; ++i) {
            if (b.fraction[i] < 0.0)
                continue;
            ++count;
            const Vector3i e = Lattice::direction(q, i);
            const Vector3d from(b.x - e.x, b.y - e.y, b.z - e.z), to(b.x, b.y, b.z);
            QVERIFY(!inside(from));
            QVERIFY(b.fraction[i] > 0.0 && b.fraction[i] <= 1.0);
            const Vector3d cut = from + (to - from) * b.fraction[i];
            // A surface through the sending site itself is kept a millionth
            // of the link away from it.
            const bool floor = b.fraction[i] <= 1e-6 && std::abs(offSurface(from)) < 1e-6;
            QVERIFY2(floor || std::abs(offSurface(cut)) < tolerance,
                     qPrintable(QString("link %1 of %2 %3 %4: %5").arg(i).arg(b.x).arg(b.y).arg(b.z).arg(offSurface(cut))));
        }
    }
    QCOMPARE(voxels.missedLinks(), std::size_t(0));
    if (links)
        *links = count;
}

} // namespace

class TestShapeGeometry : public QObject
{
    Q_OBJECT

private slots:
    // Every link of a ball on D3Q19 and D3Q27, and of a circle on D2Q9, is
    // cut where the exact surface is.
    void sphereLinks_data()
    {
        QTest::addColumn<int>("q");
        QTest::addColumn<int>("length");
        QTest::newRow("D2Q9 circle") << 9 << 1;
        QTest::newRow("D3Q19 ball") << 19 << 20;
        QTest::newRow("D3Q27 ball") << 27 << 20;
    }
    void sphereLinks()
    {
        QFETCH(int, q);
        QFETCH(int, length);
        const Vector3d c(10.3, 9.6, length > 1 ? 9.2 : 0.0);
        const double r = 4.7;
        SphereShape ball(r);
        ball.setCentre(c);
        int links = 0;
        checkVoxels(
            ball, 21, 20, length, q, false, [&](const Vector3d &p) { return (p - c).lengthSquared() <= r * r; },
            [&](const Vector3d &p) { return (p - c).length() - r; }, 1e-12, &links);
        QVERIFY(links > 20);
    }

    // A finite cylinder along (1, 2, 2): inside means within the radius of
    // the axis and within half the length of the centre along it.
    void cylinderAnyAxis()
    {
        const Vector3d c(12.2, 11.7, 10.4), axis = Vector3d(1, 2, 2) * (1.0 / 3.0);
        const double r = 3.3, half = 5.1;
        CylinderShape cylinder(r, 2 * half, Vector3d(1, 2, 2));
        cylinder.setCentre(c);
        auto along = [&](const Vector3d &p) { return (p - c).dot(axis); };
        auto across = [&](const Vector3d &p) { return ((p - c) - axis * along(p)).length(); };
        auto inside = [&](const Vector3d &p) { return across(p) <= r && std::abs(along(p)) <= half; };
        auto off = [&](const Vector3d &p) {
            // Distance to the nearer of the side and the caps, for points on the body.
            return std::min(std::abs(across(p) - r), std::abs(std::abs(along(p)) - half));
        };
        checkVoxels(cylinder, 24, 24, 22, 19, false, inside, off, 1e-12);
        // Endless, across a 2D grid: a band.
        CylinderShape band(2.5, 0.0, Vector3d(1, 1, 0));
        band.setCentre(Vector3d(8, 8, 0));
        QVERIFY(band.contains(Vector3d(0, 0, 0)) && band.contains(Vector3d(14, 14.5, 0)));
        QVERIFY(!band.contains(Vector3d(4, 8, 0)));
        Vector3d lo, hi;
        QVERIFY(!band.bounds(lo, hi));
    }

    // A box turned by 30 degrees about z, and its inversion (solid outside).
    void turnedAndInvertedBox()
    {
        const Vector3d c(9.4, 8.8, 0.0), half(5.0, 2.5, 1.0);
        const double a = 30.0 * M_PI / 180.0;
        BoxShape box(half * 2.0);
        box.setCentre(c);
        box.setRotation(Rotation::fromAngles(0, 0, 30));
        auto local = [&](const Vector3d &p) {
            const Vector3d d = p - c;
            return Vector3d(d.x * std::cos(a) + d.y * std::sin(a), -d.x * std::sin(a) + d.y * std::cos(a), d.z);
        };
        auto inside = [&](const Vector3d &p) {
            const Vector3d l = local(p);
            return std::abs(l.x) <= half.x && std::abs(l.y) <= half.y && std::abs(l.z) <= half.z;
        };
        auto off = [&](const Vector3d &p) {
            const Vector3d l = local(p);
            return std::min(std::abs(std::abs(l.x) - half.x), std::abs(std::abs(l.y) - half.y));
        };
        checkVoxels(box, 20, 18, 1, 9, false, inside, off, 1e-12);
        box.setInverted(true);
        checkVoxels(box, 20, 18, 1, 9, false, [&](const Vector3d &p) { return !inside(p); }, off, 1e-12);
    }

    // On a periodic grid a shape that reaches over a side covers the sites
    // of its image on the other side too, and the links across the side are
    // cut where the image's surface is.
    void imagesAcrossPeriodicSides()
    {
        const Vector3d c(0.6, 6.3, 0.0);
        const double r = 2.2;
        SphereShape ball(r);
        ball.setCentre(c);
        auto nearest = [&](const Vector3d &p) {
            double best = 1e300;
            for (double s : {-12.0, 0.0, 12.0})
                best = std::min(best, (p + Vector3d(s, 0, 0) - c).length());
            return best;
        };
        checkVoxels(
            ball, 12, 12, 1, 9, true, [&](const Vector3d &p) { return nearest(p) <= r; },
            [&](const Vector3d &p) { return nearest(p) - r; }, 1e-12);
        const ShapeVoxels voxels(ball, 12, 12, 1, 9, true, false);
        QVERIFY(voxels.isSolid(11, 6, 0) && voxels.isSolid(0, 6, 0));
        int across = 0;
        for (const ShapeVoxels::Boundary &b : voxels.boundary())
            for (int i = 1; i < 9; ++i)
                if (b.fraction[i] > 0.0 && (b.x - Lattice::direction(9, i).x + 12) / 12 != 1)
                    ++across;
        QVERIFY(across >= 3);
        // Without wrapping the image is not there.
        const ShapeVoxels closed(ball, 12, 12, 1, 9, false, false);
        QVERIFY(!closed.isSolid(11, 6, 0) && closed.isSolid(0, 6, 0));
    }
};

QTEST_GUILESS_MAIN(TestShapeGeometry)
#include "tst_shapegeometry.moc"
