#include "model/latticeboltzmann/shapes/boxshape.h"
#include "model/latticeboltzmann/shapes/meshshape.h"
#include "model/latticeboltzmann/shapes/sphereshape.h"
#include "view/shapepainter.h"

#include <QtTest>

#include <cmath>

// The outlines the view draws lie on the exact surfaces: a circle of the
// placed radius, the sides of a turned rectangle, the cut of a triangulated
// surface with the plane.
class TestShapePainter : public QObject
{
    Q_OBJECT

private slots:
    void outlinesLieOnTheSurface()
    {
        SphereShape ball(3.0);
        ball.setCentre(Vector3d(5.2, 6.1, 0.0));
        ball.setScale(1.5);
        const std::vector<Vector3d> circle =
            ShapePainter::section(ball, Vector3d(1, 0, 0), Vector3d(0, 1, 0), 90, 100.0);
        QCOMPARE(int(circle.size()), 90);
        for (const Vector3d &p : circle) {
            QVERIFY(std::abs((p - ball.centre()).length() - 4.5) < 1e-9);
            QCOMPARE(p.z, 0.0);
        }

        BoxShape box(Vector3d(4.0, 2.0, 2.0));
        box.setCentre(Vector3d(10.0, 10.0, 0.0));
        box.setRotation(Rotation::fromAngles(0, 0, 30));
        const std::vector<Vector3d> rectangle =
            ShapePainter::section(box, Vector3d(1, 0, 0), Vector3d(0, 1, 0), 72, 100.0);
        QCOMPARE(int(rectangle.size()), 72);
        const double c = std::cos(M_PI / 6), s = std::sin(M_PI / 6);
        for (const Vector3d &p : rectangle) {
            // In the box's frame, on a side: |x| = 2 with |y| <= 1, or |y| = 1 with |x| <= 2.
            const double dx = p.x - 10.0, dy = p.y - 10.0;
            const double x = c * dx + s * dy, y = -s * dx + c * dy;
            const bool onSide = (std::abs(std::abs(x) - 2.0) < 1e-9 && std::abs(y) <= 1.0 + 1e-9) ||
                                (std::abs(std::abs(y) - 1.0) < 1e-9 && std::abs(x) <= 2.0 + 1e-9);
            QVERIFY2(onSide, qPrintable(QStringLiteral("%1 %2").arg(x).arg(y)));
        }

        // An octahedron |x| + |y| + |z| = 1, cut at z = 0.25: a square of
        // four segments with |x| + |y| = 0.75.
        const Vector3d v[6] = {{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
        std::vector<Vector3d> corners;
        for (int k = 0; k < 4; ++k) {
            corners.insert(corners.end(), {v[k], v[(k + 1) % 4], v[4]});
            corners.insert(corners.end(), {v[(k + 1) % 4], v[k], v[5]});
        }
        MeshShape octahedron(corners);
        QCOMPARE(int(octahedron.openEdges()), 0);
        const std::vector<Vector3d> cut = ShapePainter::meshSection(octahedron.placedCorners(), 0.25);
        QCOMPARE(int(cut.size()), 8);
        for (const Vector3d &p : cut) {
            QVERIFY(std::abs(std::abs(p.x) + std::abs(p.y) - 0.75) < 1e-12);
            QCOMPARE(p.z, 0.25);
        }
    }
};

QTEST_GUILESS_MAIN(TestShapePainter)
#include "tst_shapepainter.moc"
