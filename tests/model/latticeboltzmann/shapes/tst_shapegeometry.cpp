#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/shapes/boxshape.h"
#include "model/latticeboltzmann/shapes/cylindershape.h"
#include "model/latticeboltzmann/shapes/meshshape.h"
#include "model/latticeboltzmann/shapes/shapevoxels.h"
#include "model/latticeboltzmann/shapes/sphereshape.h"
#include "model/latticeboltzmann/shapes/trianglemesh.h"
#include "validate/icosphere.h"
#include "validate/stlwriter.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

// Assimp leaks the scene it was building when an import fails (two objects,
// about 2.5 kB), which the STL test provokes; the leak checker is told so.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libassimp\n";
}

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

std::vector<Vector3d> cubeCorners(double lo, double hi)
{
    const Vector3d c[8] = {{lo, lo, lo}, {hi, lo, lo}, {hi, hi, lo}, {lo, hi, lo},
                           {lo, lo, hi}, {hi, lo, hi}, {hi, hi, hi}, {lo, hi, hi}};
    const int faces[12][3] = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                              {2, 3, 7}, {2, 7, 6}, {1, 2, 6}, {1, 6, 5}, {0, 4, 7}, {0, 7, 3}};
    std::vector<Vector3d> corners;
    for (const auto &f : faces)
        for (int k : f)
            corners.push_back(c[k]);
    return corners;
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

    // Vertical lines through the corners and edges of a closed surface
    // cross it an even number of times, and the sites off the surface are
    // covered as the exact body covers them.
    void meshLinesThroughCornersAndEdges()
    {
        TriangleMesh cube;
        cube.setTriangles(cubeCorners(2.0, 8.0));
        QCOMPARE(cube.openEdges(), std::size_t(0));
        // An octahedron |x - 5| + |y - 5| + |z - 5| <= 3 with corners on sites.
        std::vector<Vector3d> octahedron;
        const Vector3d o(5, 5, 5);
        const Vector3d axes[6] = {{3, 0, 0}, {-3, 0, 0}, {0, 3, 0}, {0, -3, 0}, {0, 0, 3}, {0, 0, -3}};
        for (int sx : {0, 1})
            for (int sy : {2, 3})
                for (int sz : {4, 5}) {
                    octahedron.push_back(o + axes[sx]);
                    octahedron.push_back(o + axes[sy]);
                    octahedron.push_back(o + axes[sz]);
                }
        TriangleMesh diamond;
        diamond.setTriangles(octahedron);
        QCOMPARE(diamond.openEdges(), std::size_t(0));
        for (double x = 0; x <= 10; x += 0.5)
            for (double y = 0; y <= 10; y += 0.5) {
                std::vector<double> heights;
                cube.columnCrossings(x, y, heights);
                QVERIFY2(heights.size() % 2 == 0, qPrintable(QString("cube %1 %2").arg(x).arg(y)));
                heights.clear();
                diamond.columnCrossings(x, y, heights);
                QVERIFY2(heights.size() % 2 == 0, qPrintable(QString("octahedron %1 %2").arg(x).arg(y)));
                for (double z = 0.25; z <= 10; z += 0.5) {
                    const Vector3d p(x, y, z);
                    const double d = std::abs(x - 5) + std::abs(y - 5) + std::abs(z - 5);
                    if (std::abs(d - 3.0) > 1e-9)
                        QCOMPARE(diamond.isInside(p), d < 3.0);
                    const bool onCube = x == 2 || x == 8 || y == 2 || y == 8;
                    if (!onCube)
                        QCOMPARE(cube.isInside(p), x > 2 && x < 8 && y > 2 && y < 8 && z > 2 && z < 8);
                }
            }
        // Segments through an edge or a corner still find the surface.
        QCOMPARE(cube.segmentCrossing(Vector3d(1, 1, 5), Vector3d(3, 3, 5)), 0.5);
        QCOMPARE(cube.segmentCrossing(Vector3d(1, 1, 1), Vector3d(3, 3, 3)), 0.5);
        QCOMPARE(diamond.segmentCrossing(Vector3d(9, 5, 5), Vector3d(7, 5, 5)), 0.5);
        QCOMPARE(cube.segmentCrossing(Vector3d(0, 0, 0), Vector3d(1, 1, 1)), -1.0);
    }

    // A fine triangulated sphere, turned and scaled into place, covers the
    // sites of the exact ball but for a thin layer at the surface, and cuts
    // the links within the facets' depth of it.
    void meshSphereMatchesBall()
    {
        const int subdivisions = 4;
        const double r = 6.3;
        MeshShape mesh(IcoSphere::corners(subdivisions));
        QCOMPARE(mesh.triangleCount(), std::size_t(20 * 256));
        QCOMPARE(mesh.openEdges(), std::size_t(0));
        const Vector3d c(10.4, 9.7, 10.1);
        mesh.setCentre(c);
        mesh.setScale(r);
        mesh.setRotation(Rotation::fromAngles(17, 31, 47));
        // The facets lie at most r (1 - cos(a)) inside the sphere, a the
        // largest angle from a facet's corner to its centre.
        const double depth = 0.01 * r;
        const ShapeVoxels voxels(mesh, 21, 20, 21, 19, false, true);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 21; ++x)
                for (int z = 0; z < 21; ++z) {
                    const double d = (Vector3d(x, y, z) - c).length();
                    if (d < r - depth || d > r)
                        QCOMPARE(voxels.isSolid(x, y, z), d < r);
                }
        QCOMPARE(voxels.missedLinks(), std::size_t(0));
        for (const ShapeVoxels::Boundary &b : voxels.boundary())
            for (int i = 1; i < 19; ++i)
                if (b.fraction[i] > 0.0) {
                    const Vector3i e = Lattice::direction(19, i);
                    const Vector3d from(b.x - e.x, b.y - e.y, b.z - e.z);
                    const double d = (from + (Vector3d(b.x, b.y, b.z) - from) * b.fraction[i] - c).length();
                    QVERIFY2(d <= r + 1e-9 && d >= r - depth, qPrintable(QString::number(d)));
                }
    }

    // Binary and ASCII files of the same surface read back alike; broken
    // files are refused with a message naming the file.
    void stlFiles()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const std::vector<Vector3d> sphere = IcoSphere::corners(2);
        const QString binary = dir.filePath("ball.stl"), ascii = dir.filePath("ball-text.stl");
        QVERIFY(StlWriter::writeBinary(binary, sphere));
        QVERIFY(StlWriter::writeAscii(ascii, sphere));
        QString error;
        std::unique_ptr<MeshShape> a = MeshShape::fromFile(binary, &error);
        QVERIFY2(a, qPrintable(error));
        std::unique_ptr<MeshShape> b = MeshShape::fromFile(ascii, &error);
        QVERIFY2(b, qPrintable(error));
        QCOMPARE(a->triangleCount(), sphere.size() / 3);
        QCOMPARE(b->triangleCount(), sphere.size() / 3);
        for (MeshShape *m : {a.get(), b.get()}) {
            m->setScale(5.0);
            m->setCentre(Vector3d(8, 8, 8));
        }
        const ShapeVoxels va(*a, 17, 17, 17, 19, false, false), vb(*b, 17, 17, 17, 19, false, false);
        QVERIFY(va.solid() == vb.solid());
        QVERIFY(va.solidCount() > 400);

        auto refused = [&](const QString &path, const QString &words) {
            QString message;
            QVERIFY(!MeshShape::fromFile(path, &message));
            QVERIFY2(message.contains(words) && message.contains(QFileInfo(path).fileName()), qPrintable(message));
        };
        refused(dir.filePath("missing.stl"), "Cannot open");
        auto write = [&](const QString &name, const QByteArray &bytes) {
            QFile f(dir.filePath(name));
            f.open(QIODevice::WriteOnly);
            f.write(bytes);
            return dir.filePath(name);
        };
        refused(write("empty.stl", QByteArray()), "empty");
        QByteArray noise(3000, '\0');
        for (int k = 0; k < noise.size(); ++k)
            noise[k] = char((k * 7919 + 13) % 251);
        refused(write("noise.stl", noise), "not a readable STL file");
        // The right size for its triangle count, but the corners are not numbers.
        QByteArray nan(84 + 50, '\xff');
        nan[80] = 1;
        nan[81] = nan[82] = nan[83] = 0;
        refused(write("nan.stl", nan), "not a finite number");
        refused(write("words.stl", "solid nothing\n  facet normal 0 0 1\n    outer loop\n      vertex 1 2\n"),
                "STL");
        // One triangle short of closed.
        std::vector<Vector3d> open(sphere.begin(), sphere.end() - 3);
        QVERIFY(StlWriter::writeBinary(dir.filePath("open.stl"), open));
        refused(dir.filePath("open.stl"), "not closed");
    }
};

QTEST_GUILESS_MAIN(TestShapeGeometry)
#include "tst_shapegeometry.moc"
