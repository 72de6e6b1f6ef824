#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "view/customseeder.h"
#include "view/euler.h"
#include "view/isolines.h"
#include "view/lbwidget.h"
#include "view/renderer.h"
#include "view/rungekutta.h"
#include "view/seedgenerator.h"

#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

class TestIsolines : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LBWidget> view;
    Renderer &renderer() { return *view->getRenderer(); }
    Grid &grid() { return *view->getGrid(); }

    void makeGrid(int nx, int ny, int nz)
    {
        view = std::make_unique<LBWidget>();
        view->resize(480, 360);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        grid().getParameters()->setModel(nz == 1 ? 9 : 19);
        grid().getParameters()->setPeriodicBoundaries(false);
        grid().resize(nx, ny, nz);
        view->rebuildGeometry(false);
    }

    void setFlow(const std::function<Vector3d(int, int)> &velocity)
    {
        for (int y = 0; y < grid().getHeight(); ++y)
            for (int x = 0; x < grid().getWidth(); ++x)
                if (auto *cell = dynamic_cast<SCCell *>(grid().materialise(x, y, 0))) {
                    cell->reset(1.0, -1);
                    cell->setEquilibrium(velocity(x, y), 1.0);
                }
    }

private slots:
    void cleanup() { view.reset(); }

    void linearFieldGivesStraightLines()
    {
        const int nx = 16, ny = 12;
        std::vector<double> buffer(nx * ny);
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                buffer[std::size_t(x + y * nx)] = 1 + 0.1 * x + 0.05 * y;
        for (double c : {1.25, 1.6, 1.3}) {
            const std::vector<Vector3d> segments = Isolines::segments2D(buffer, nx, ny, c);
            QVERIFY(!segments.empty());
            QCOMPARE(segments.size() % 2, std::size_t(0));
            for (const Vector3d &p : segments)
                QVERIFY2(std::abs(0.1 * p.x + 0.05 * p.y - (c - 1)) < 1e-12,
                         qPrintable(QString("%1: %2 %3").arg(c).arg(p.x).arg(p.y)));
        }
        // A level through lattice points meets them exactly.
        std::vector<double> columns(nx * ny);
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                columns[std::size_t(x + y * nx)] = 1 + 0.1 * x;
        for (const Vector3d &p : Isolines::segments2D(columns, nx, ny, 1.3))
            QCOMPARE(p.x, 3.0);
        // A square with an unpainted corner (0) draws nothing on its edges.
        columns[std::size_t(3 + 5 * nx)] = 0;
        std::vector<Vector3d> around;
        Isolines::square(columns, nx, 2, 5, 1.25, around);
        QVERIFY(around.empty());
    }

    void planeInACube()
    {
        const int n = 4;
        std::vector<double> buffer(n * n * n);
        auto f = [](double x, double y, double z) { return 1 + 0.1 * x + 0.2 * y + 0.3 * z; };
        for (int z = 0; z < n; ++z)
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x)
                    buffer[std::size_t(x + y * n + z * n * n)] = f(x, y, z);
        std::vector<std::vector<Vector3d>> strips;
        const double c = f(1.5, 1.25, 1.4);
        Isolines::cube(buffer, n, n, 1, 1, 1, c, strips);
        QVERIFY(!strips.empty());
        for (const auto &strip : strips) {
            QVERIFY(strip.size() >= 3);
            for (const Vector3d &p : strip) {
                QVERIFY(std::abs(f(p.x, p.y, p.z) - c) < 1e-12);
                QVERIFY(p.x >= 1 && p.x <= 2 && p.y >= 1 && p.y <= 2 && p.z >= 1 && p.z <= 2);
            }
        }
    }

    void isolineDrawnWhereTheFieldHasItsValue()
    {
        makeGrid(16, 12, 1);
        setFlow([](int x, int) { return Vector3d(0.001 * (x + 1), 0, 0); });
        renderer().setRange(0.008, 0.0085, true);
        renderer().toggleDynamic();
        renderer().toggleIsolines();
        renderer().setScale2(3);
        renderer().setSeeder(new CustomSeeder({0.0055}));
        const QImage frame = view->grabFrame();
        double b[4];
        renderer().getCamera().projectionBounds(b);
        auto column = [&](double mx) { return int((mx - b[0]) / (b[1] - b[0]) * view->width()); };
        const int row = int((b[3] - renderer().cellCentre(0, 6, 0).y) / (b[3] - b[2]) * view->height());
        // The value 0.0055 lies halfway between the cells x = 4 and x = 5,
        // that is on their common edge.
        const Vector3d o = renderer().getOrigin();
        const double s = renderer().getCellSize();
        // With the field hidden, the line takes the colour of its value.
        const QColor on = frame.pixelColor(column(o.x + 5 * s), row);
        QCOMPARE(on.rgb(), renderer().color(0.0055).rgb());
        for (double off : {3.0, 4.5, 5.5, 7.0})
            QCOMPARE(frame.pixelColor(column(o.x + off * s), row), QColor(Qt::white));
    }

    void uniformFlowGivesStraightStreamlines_data()
    {
        QTest::addColumn<bool>("rungeKutta");
        QTest::newRow("next cell") << false;
        QTest::newRow("Runge-Kutta") << true;
    }

    void uniformFlowGivesStraightStreamlines()
    {
        QFETCH(bool, rungeKutta);
        makeGrid(40, 20, 1);
        const Vector3d u(0.05, 0.02, 0);
        setFlow([u](int, int) { return u; });
        SeedGenerator generator(grid(), rungeKutta ? new RungeKutta : nullptr);
        generator.changeProperty("spacing", "7");
        generator.changeProperty("forward", "30");
        generator.changeProperty("backward", "0");
        const QVector<StreamLine> lines = generator.generate();
        // Seeds at x = 0, 7, ..., 35 (up to the width, inclusive) and y = 0, 7, 14.
        QCOMPARE(lines.size(), 6 * 3);
        for (const StreamLine &line : lines) {
            QCOMPARE(line.size(), 31);
            const Vector3d seed = line.first();
            for (const Vector3d &p : line) {
                const Vector3d d = p - seed;
                QVERIFY(std::abs(d.x * u.y - d.y * u.x) < 1e-9);
                QCOMPARE(p.z, 0.0);
            }
            // Inside the grid every step reaches another cell.
            if (seed.x < 20 && seed.y < 5)
                QVERIFY(line[10].x > seed.x + 5);
        }
    }

    // Each line runs with the flow through its seed: the backward points come
    // first. The fixed-step schemes are exact in a uniform flow.
    void backwardPointsRunAgainstTheFlow()
    {
        makeGrid(40, 20, 1);
        const Vector3d u(0.05, 0.02, 0), along = u * (1 / u.length());
        setFlow([u](int, int) { return u; });
        for (int kind = 0; kind < 3; ++kind) {
            StreamLineAlgorithm *algorithm = kind == 0   ? nullptr
                                             : kind == 1 ? static_cast<StreamLineAlgorithm *>(new RungeKutta)
                                                         : new Euler;
            SeedGenerator generator(grid(), algorithm);
            for (const char *name : {"minx", "maxx"})
                generator.changeProperty(name, "15");
            for (const char *name : {"miny", "maxy"})
                generator.changeProperty(name, "10");
            generator.changeProperty("forward", "5");
            generator.changeProperty("backward", "4");
            generator.changeProperty("eulerIntegrationStep", "0.7");
            const StreamLine line = generator.generate().value(0);
            QCOMPARE(line.size(), 10);
            const Vector3d seed(15, 10, 0);
            QCOMPARE(line[4].x, seed.x);
            for (int k = 1; k < line.size(); ++k)
                QVERIFY((line[k] - line[k - 1]).dot(u) > 0);
            if (kind == 0)
                continue;
            for (int k = 0; k < line.size(); ++k)
                QVERIFY((line[k] - (seed + along * (0.7 * (k - 4)))).length() < 1e-9);
        }
    }

    void rotationGivesClosedStreamlines()
    {
        makeGrid(41, 41, 1);
        const double omega = 0.01;
        setFlow([omega](int x, int y) { return Vector3d(-omega * (y - 20), omega * (x - 20), 0); });
        SeedGenerator generator(grid(), new RungeKutta);
        for (const char *name : {"minx", "maxx"})
            generator.changeProperty(name, "30");
        for (const char *name : {"miny", "maxy"})
            generator.changeProperty(name, "20");
        generator.changeProperty("forward", "80");
        generator.changeProperty("eulerIntegrationStep", "0.9");
        const QVector<StreamLine> lines = generator.generate();
        QCOMPARE(lines.size(), 1);
        const StreamLine &line = lines.first();
        // The path keeps its radius through more than one turn, so it
        // closes on itself; each step is the chosen length.
        double turned = 0;
        for (int k = 1; k < line.size(); ++k) {
            const Vector3d a = line[k - 1] - Vector3d(20, 20, 0), p = line[k] - Vector3d(20, 20, 0);
            QVERIFY2(std::abs(p.length() - 10) < 1e-3, qPrintable(QString::number(p.length())));
            QVERIFY(std::abs((p - a).length() - 0.9) < 0.01);
            turned += std::atan2(a.x * p.y - a.y * p.x, a.dot(p));
        }
        QVERIFY2(turned > 2 * M_PI, qPrintable(QString::number(turned)));
    }
};

QTEST_MAIN(TestIsolines)
#include "tst_isolines.moc"
