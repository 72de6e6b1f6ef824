#include "model/latticeboltzmann/forces/forcelist.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/shapes/boxshape.h"
#include "model/latticeboltzmann/shapes/cylindershape.h"
#include "model/latticeboltzmann/shapes/meshshape.h"
#include "model/latticeboltzmann/shapes/shapeset.h"
#include "model/latticeboltzmann/shapes/shapewallcell.h"
#include "model/latticeboltzmann/shapes/sphereshape.h"
#include "model/latticeboltzmann/wallcell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/statedocument.h"
#include "validate/icosphere.h"
#include "validate/stlwriter.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <functional>
#include <vector>

namespace {

// Every population, density and velocity of every site, and the statistics.
std::vector<double> snapshot(const Grid &g)
{
    std::vector<double> s;
    const int q = g.getParameters()->getModel();
    g.forEachCell([&](BaseCell *c, int, int, int) {
        for (int i = 0; i < q; ++i) {
            s.push_back(c->getF(i, 0));
            s.push_back(c->getNextF(i, 0));
        }
        s.push_back(c->getP(-1));
        const Vector3d u = c->getVelocity(0);
        s.insert(s.end(), {u.x, u.y, u.z});
    });
    s.push_back(g.getStatistics().iterations);
    s.push_back(g.getStatistics().totalP);
    s.push_back(g.getStatistics().deltaP);
    return s;
}

bool same(const std::vector<double> &a, const std::vector<double> &b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

bool sameVector(const Vector3d &a, const Vector3d &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void setUp(Grid &g, int q, int nx, int ny, int nz, bool periodic)
{
    SimulationParameters *p = g.getParameters();
    p->setModel(q);
    p->setEpsilon(0, 0.7312345678901234);
    p->setPeriodicBoundaries(periodic);
    g.resize(nx, ny, nz);
}

// A closed 2D channel with a turning cylinder and a box at an odd angle,
// the flow driven by the cylinder.
void channel2d(Grid &g, const QString &)
{
    setUp(g, 9, 44, 26, 1, false);
    for (int x = 0; x < 44; ++x) {
        g.setCell(x, 0, 0, new WallCell);
        g.setCell(x, 25, 0, new WallCell);
    }
    ShapeSet &shapes = *g.shapes();
    auto cylinder = std::make_unique<CylinderShape>(4.3);
    cylinder->setCentre(Vector3d(12.37, 12.71, 0.0));
    cylinder->setScheme(WallScheme::Quadratic);
    shapes.place(g, shapes.add(std::move(cylinder)));
    shapes.setMotion(g, 0, Vector3d(), Vector3d(0, 0, 0.01));
    auto box = std::make_unique<BoxShape>(Vector3d(5.1, 3.3, 4.0));
    box->setCentre(Vector3d(30.2, 13.9, 0.0));
    box->setRotation(Rotation::fromAngles(0, 0, 23.0));
    box->setScheme(WallScheme::Linear);
    shapes.place(g, shapes.add(std::move(box)));
}

// A periodic 3D box with a ball read from STL beside the document and an
// analytic sphere moving and turning in it.
void periodic3d(Grid &g, const QString &folder)
{
    setUp(g, 19, 14, 14, 16, true);
    const QString stl = folder + QStringLiteral("/ball.stl");
    if (!QFile::exists(stl))
        StlWriter::writeBinary(stl, IcoSphere::corners(2));
    ShapeSet &shapes = *g.shapes();
    QString error;
    std::unique_ptr<MeshShape> mesh = MeshShape::fromFile(stl, &error);
    QVERIFY2(mesh, qPrintable(error));
    mesh->setCentre(Vector3d(4.6, 6.9, 7.2));
    mesh->setScale(3.1);
    mesh->setRotation(Rotation::fromAngles(10, 20, 30));
    shapes.place(g, shapes.add(std::move(mesh)));
    // Across the periodic sides.
    auto sphere = std::make_unique<SphereShape>(2.2);
    sphere->setCentre(Vector3d(12.9, 7.3, 14.6));
    shapes.place(g, shapes.add(std::move(sphere)));
    shapes.setMotion(g, 1, Vector3d(0.002, 0, 0), Vector3d(0.001, 0, 0));
}

} // namespace

class TestShapeDocument : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return QString();
        return f.fileName();
    }

private slots:
    // Shapes saved with the state and read back: the load places them again
    // with their exact link fractions, the last forces come back as saved,
    // and the run goes on bitwise as the one that never stopped, in both
    // document versions. The STL beside the document is named relative to
    // it, so the folder can move.
    void resumeExactly_data()
    {
        QTest::addColumn<int>("setup");
        QTest::addColumn<int>("version");
        QTest::addRow("2D cylinder and box, v2") << 0 << 2;
        QTest::addRow("3D STL ball and sphere, v3") << 1 << 3;
        QTest::addRow("3D STL ball and sphere, v2, moved folder") << 1 << 2;
    }
    void resumeExactly()
    {
        QFETCH(int, setup);
        QFETCH(int, version);
        const std::function<void(Grid &, const QString &)> build = setup == 0 ? channel2d : periodic3d;
        const QString folder = dir.filePath(QStringLiteral("run%1%2").arg(setup).arg(version));
        QVERIFY(QDir().mkpath(folder));
        QString path = folder + QStringLiteral("/state.lb%1").arg(version);
        StateDocument::Options options;
        options.version = version;
        std::vector<double> uninterrupted;
        std::vector<Vector3d> loads;
        {
            Grid g;
            build(g, folder);
            QCOMPARE(g.shapes()->count(), 2);
            g.step(17);
            for (int i = 0; i < 2; ++i) {
                loads.push_back(g.shapes()->force(i));
                loads.push_back(g.shapes()->torque(i));
            }
            QVERIFY(g.shapes()->force(0).length() > 0.0);
            QString error;
            QVERIFY2(StateDocument(g).save(path, options, &error), qPrintable(error));
            g.step(13);
            uninterrupted = snapshot(g);
        }
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray text = saved.readAll();
        QVERIFY(text.contains("<shapes>"));
        if (setup == 1)
            QVERIFY(text.contains("file=\"ball.stl\""));
        saved.close();
        if (QTest::currentDataTag() == QLatin1String("3D STL ball and sphere, v2, moved folder")) {
            const QString moved = folder + QStringLiteral("-moved");
            QVERIFY(QDir().rename(folder, moved));
            path = moved + QStringLiteral("/state.lb2");
        }

        // Loaded over a grid that has a shape of its own, which goes, and
        // the other boundary setting, which the document's replaces before
        // the shapes are placed.
        Grid g;
        setUp(g, 9, 10, 10, 1, setup == 0);
        g.shapes()->place(g, g.shapes()->add(std::make_unique<SphereShape>(2.0)));
        StateDocument doc(g);
        QString error;
        QVERIFY2(doc.load(path, options, &error), qPrintable(error));
        QVERIFY2(doc.warnings().isEmpty(), qPrintable(doc.warnings().join("; ")));
        QCOMPARE(g.shapes()->count(), 2);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(sameVector(g.shapes()->force(i), loads[std::size_t(2 * i)]));
            QVERIFY(sameVector(g.shapes()->torque(i), loads[std::size_t(2 * i + 1)]));
            QVERIFY(g.shapes()->boundarySites(i) > 0);
        }
        g.step(13);
        QVERIFY(same(snapshot(g), uninterrupted));
    }

    // A shapes element that cannot be used refuses the whole document with a
    // message saying what is wrong, and the running simulation with its
    // shapes goes on as if nothing had happened.
    void badShapesRefused_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QString>("expected");
        QTest::addRow("unknown kind") << "<shape kind=\"torus\" radius=\"2\"/>" << "unknown shape kind \"torus\"";
        QTest::addRow("zero radius") << "<shape kind=\"sphere\" radius=\"0\"/>" << "\"radius\" is 0";
        QTest::addRow("negative scale") << "<shape kind=\"box\" scale=\"-2\"/>" << "\"scale\"";
        QTest::addRow("no axis") << "<shape kind=\"cylinder\" radius=\"2\" axisX=\"0\" axisY=\"0\" axisZ=\"0\"/>"
                                 << "no axis direction";
        QTest::addRow("not a rotation") << "<shape kind=\"sphere\" radius=\"2\" rotation=\"1 0 0 0 2 0 0 0 1\"/>"
                                        << "rotation matrix";
        QTest::addRow("bad number") << "<shape kind=\"sphere\" radius=\"2\" X=\"nan\"/>" << "attribute \"X\"";
        QTest::addRow("bad scheme") << "<shape kind=\"sphere\" radius=\"2\" scheme=\"cubic\"/>" << "\"cubic\"";
        QTest::addRow("missing STL") << "<shape kind=\"mesh\" file=\"nowhere.stl\"/>" << "nowhere.stl";
        QTest::addRow("no STL named") << "<shape kind=\"mesh\"/>" << "names no STL file";
        QTest::addRow("cut short") << "<shape kind=\"sphere\" radius=\"2\">" << "";
    }
    void badShapesRefused()
    {
        QFETCH(QString, shape);
        QFETCH(QString, expected);
        Grid g;
        channel2d(g, QString());
        g.step(7);
        QByteArray text = StateDocument(g).text(2);
        // A good first shape, the bad one second.
        const QByteArray good = "<shapes><shape kind=\"sphere\" radius=\"3\" X=\"20\" Y=\"12\"/>";
        text.replace("<shapes>", good + shape.toUtf8());
        const std::vector<double> before = snapshot(g);
        const Vector3d force = g.shapes()->force(0);
        StateDocument doc(g);
        QString error;
        QVERIFY(!doc.load(writeFile(QStringLiteral("bad.lb2"), text), StateDocument::Options(), &error));
        QVERIFY2(error.contains(expected), qPrintable(error));
        QVERIFY(same(snapshot(g), before));
        QCOMPARE(g.shapes()->count(), 2);
        QVERIFY(sameVector(g.shapes()->force(0), force));
        g.step(5);
        Grid h;
        channel2d(h, QString());
        h.step(12);
        QVERIFY(same(snapshot(g), snapshot(h)));
    }

    // The grid keeps its shapes' walls right when the grid changes under
    // them: a refinement moves and scales each shape with its sites and
    // places it with the fractions of a shape placed on the fine grid, and a
    // model change gives the copied walls the fractions of the new model's
    // links. A new domain drops the shapes.
    void gridChangesPlaceShapesAgain()
    {
        Grid g;
        setUp(g, 9, 20, 16, 1, true);
        auto sphere = std::make_unique<SphereShape>(3.4);
        sphere->setCentre(Vector3d(8.3, 7.6, 0));
        g.shapes()->place(g, g.shapes()->add(std::move(sphere)));
        g.refine(2);

        Grid fine;
        setUp(fine, 9, 40, 32, 1, true);
        auto big = std::make_unique<SphereShape>(3.4);
        // Old site x covers the new sites 2x and 2x + 1.
        big->setCentre(Vector3d(8.3 * 2 + 0.5, 7.6 * 2 + 0.5, 0));
        big->setScale(2.0);
        fine.shapes()->place(fine, fine.shapes()->add(std::move(big)));
        const auto fractions = [](const Grid &grid, int q) {
            std::vector<double> all;
            grid.forEachCell([&](BaseCell *c, int, int, int) {
                all.push_back(dynamic_cast<WallCell *>(c) ? 1.0 : 0.0);
                if (auto *w = dynamic_cast<ShapeWallCell *>(c))
                    for (int i = 1; i < q; ++i)
                        all.push_back(w->fraction(i));
            });
            return all;
        };
        QCOMPARE(g.shapes()->boundarySites(0), fine.shapes()->boundarySites(0));
        QVERIFY(same(fractions(g, 9), fractions(fine, 9)));

        // D2Q9 to D3Q19 on the same plane: the copies get the fractions
        // of a shape placed afresh under the new model.
        // (New plain walls still take their lattice from the grid made last:
        // both grids switch before either rebuilds.)
        g.getParameters()->setModel(19);
        fine.getParameters()->setModel(19);
        g.rebuildCellsForModel();
        Grid fresh;
        setUp(fresh, 19, 40, 32, 1, true);
        auto again = std::make_unique<SphereShape>(3.4);
        again->setCentre(Vector3d(8.3 * 2 + 0.5, 7.6 * 2 + 0.5, 0));
        again->setScale(2.0);
        fresh.shapes()->place(fresh, fresh.shapes()->add(std::move(again)));
        QVERIFY(same(fractions(g, 19), fractions(fresh, 19)));
        QVERIFY(g.step(1) == 1);

        g.resize(10, 10, 1);
        QCOMPARE(g.shapes()->count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestShapeDocument)
#include "tst_shapedocument.moc"
