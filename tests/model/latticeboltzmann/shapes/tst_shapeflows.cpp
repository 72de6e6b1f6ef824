#include "validate/circularcouette.h"
#include "validate/icosphere.h"
#include "validate/spheredrag.h"
#include "validate/stlwriter.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

class TestShapeFlows : public QObject
{
    Q_OBJECT

private slots:
    // Circular Couette flow between a turning cylinder and a resting one
    // around it, at three resolutions: the velocity error of the
    // interpolated walls falls at second order, that of staircase walls at
    // about first order and stays several times larger; the torque on the
    // turning cylinder, by momentum exchange on the moving wall, matches
    // -4 pi mu omega R1^2 R2^2 / (R2^2 - R1^2).
    void circularCouette()
    {
        const int radii[3] = {4, 8, 16};
        double errors[3][3];
        const WallScheme schemes[3] = {WallScheme::Staircase, WallScheme::Linear, WallScheme::Quadratic};
        for (int s = 0; s < 3; ++s)
            for (int k = 0; k < 3; ++k) {
                const CircularCouette::Result r = CircularCouette::run(radii[k], schemes[s]);
                errors[s][k] = r.l2Error;
                const double torque = r.torque / r.torqueExact - 1.0;
                qInfo("%s walls, R %d: L2 error %.3e, torque %+.2f %%", qPrintable(wallSchemeName(schemes[s])),
                      radii[k], r.l2Error, 100.0 * torque);
                if (schemes[s] != WallScheme::Staircase && radii[k] == 16)
                    QVERIFY2(std::abs(torque) < 0.005, qPrintable(QString::number(torque)));
            }
        for (int s = 0; s < 3; ++s) {
            const double first = std::log2(errors[s][0] / errors[s][1]), second = std::log2(errors[s][1] / errors[s][2]);
            qInfo("%s walls: observed orders %.2f and %.2f", qPrintable(wallSchemeName(schemes[s])), first, second);
            if (schemes[s] == WallScheme::Staircase) {
                QVERIFY(first > 0.5 && first < 1.5 && second > 0.5 && second < 1.5);
            } else {
                QVERIFY(first >= 1.8 && second >= 1.8);
                for (int k = 0; k < 3; ++k)
                    QVERIFY(errors[s][k] * 4 < errors[0][k]);
            }
        }
    }

    // Stokes drag on a sphere of radius 3 in a periodic box of 18 sites:
    // the drag by momentum exchange balances the gravity on the fluid, the
    // drag coefficient is within 3 % of Hasimoto's periodic array (2.7 % low
    // at this radius; the validation program's full mode checks 3 % at
    // radius 8), and a sphere read from an STL file (1280 triangles) gives
    // the analytic sphere's coefficient within 1 %.
    void sphereDrag()
    {
        const double radius = 3.0, tau = 0.8;
        const int box = 18;
        const SphereDrag::Result exact = SphereDrag::run(radius, box, WallScheme::Quadratic, QString(), tau);
        QTemporaryDir dir;
        const QString stl = dir.filePath("ball.stl");
        QVERIFY(StlWriter::writeBinary(stl, IcoSphere::corners(3)));
        const SphereDrag::Result mesh = SphereDrag::run(radius, box, WallScheme::Quadratic, stl, tau);
        qInfo("K %.5f against Hasimoto's %.5f (%+.2f %%), drag over gravity %.6f; STL sphere K %.5f (%+.2f %%)",
              exact.k, exact.kHasimoto, 100 * exact.error, exact.drag / exact.bodyForce, mesh.k,
              100 * (mesh.k / exact.k - 1));
        QVERIFY(std::abs(exact.drag / exact.bodyForce - 1.0) < 1e-3);
        QVERIFY(std::abs(mesh.drag / mesh.bodyForce - 1.0) < 1e-3);
        QVERIFY2(std::abs(exact.error) < 0.03, qPrintable(QString::number(exact.error)));
        QVERIFY2(std::abs(mesh.k / exact.k - 1.0) < 0.01, qPrintable(QString::number(mesh.k / exact.k)));
    }
};

QTEST_GUILESS_MAIN(TestShapeFlows)
#include "tst_shapeflows.moc"
