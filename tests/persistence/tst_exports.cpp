#include "model/latticeboltzmann/dragwallcell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/moving/movingparticle.h"
#include "model/latticeboltzmann/moving/particlemanager.h"
#include "model/latticeboltzmann/plainsite.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"
#include "persistence/exports.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <memory>

namespace {

// A drag wall with a fixed share of its group's drag, so the table columns can
// be checked before the real drag walls exist.
class FixedDragWall : public DragWallCell
{
public:
    explicit FixedDragWall(const Vector3d &share) : share(share) {}
    Vector3d dragContribution(Grid *, int, int, int) override { return share; }

private:
    Vector3d share;
};

// Gives every fluid cell its own density and velocity, varying along all
// three axes, with signs, small magnitudes and exponents among them.
void fillDistinctState(Grid &grid)
{
    const int q = grid.getParameters()->getModel();
    double f[27];
    for (int x = 0; x < grid.getWidth(); ++x)
        for (int y = 0; y < grid.getHeight(); ++y)
            for (int z = 0; z < grid.getLength(); ++z) {
                BaseCell *cell = grid.getCell(x, y, z);
                if (!PlainSite::isPlainFluid(cell))
                    continue;
                const double rho = 1.0 + 0.0123457 * x - 0.00711 * y + 0.0271828 * z + 1e-7 * (x * y + 1);
                const Vector3d u(0.031 * std::sin(1.3 * x + 0.7 * y + 0.3 * z), -0.0217 * std::cos(0.9 * x - 1.1 * y),
                                 grid.getLength() > 1 ? 0.019 * std::sin(0.5 * x + 1.7 * z) : 0.0);
                Lattice::equilibriumArray(u, rho, q, f);
                cell->setF(f);
            }
}

enum Layout { AllFluid, WallsInside, AllWalls };

std::unique_ptr<Grid> makeGrid(int q, int nx, int ny, int nz, Layout layout)
{
    auto grid = std::make_unique<Grid>();
    grid->getParameters()->setModel(q);
    grid->resize(nx, ny, nz);
    for (int x = 0; x < nx; ++x)
        for (int y = 0; y < ny; ++y)
            for (int z = 0; z < nz; ++z) {
                const bool wall = layout == AllWalls || (layout == WallsInside && (x + 2 * y + z) % 3 == 0);
                if (wall)
                    grid->setCell(x, y, z, new WallCell);
            }
    fillDistinctState(*grid);
    return grid;
}

struct Site
{
    int x, y, z;
};

// Fluid sites in the order of every exported list: x outer, y, z inner.
QVector<Site> fluidSites(Grid &grid)
{
    QVector<Site> sites;
    for (int x = 0; x < grid.getWidth(); ++x)
        for (int y = 0; y < grid.getHeight(); ++y)
            for (int z = 0; z < grid.getLength(); ++z)
                if (grid.getCell(x, y, z)->isFluid())
                    sites.append({x, y, z});
    return sites;
}

// Six significant digits: the written text is within half a unit of the
// sixth digit of the value.
bool sameToSixDigits(double written, double value)
{
    return std::abs(written - value) <= 5.01e-6 * std::max(std::abs(value), 1e-300);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

// The parsed content of a ".vtu" as this program writes it.
struct Vtu
{
    QStringList elements;             // "Name attr=value ..." in document order, attributes in file order
    QMap<QString, QString> arrayText; // "Points", "connectivity", ... -> raw text
    QString error;
    QString version;
};

Vtu parseVtu(const QByteArray &bytes)
{
    Vtu vtu;
    QXmlStreamReader reader(bytes);
    QString currentArray;
    QString parent;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartDocument())
            vtu.version = reader.documentVersion().toString();
        if (reader.isStartElement()) {
            QString line = reader.name().toString();
            for (const QXmlStreamAttribute &a : reader.attributes())
                line += QLatin1Char(' ') + a.name().toString() + QLatin1Char('=') + a.value().toString();
            vtu.elements.append(line);
            if (reader.name() == QLatin1String("DataArray")) {
                const QString name = reader.attributes().value(QLatin1String("Name")).toString();
                currentArray = name.isEmpty() ? parent : name;
                vtu.arrayText[currentArray] = QString();
            } else {
                parent = reader.name().toString();
            }
        } else if (reader.isCharacters() && !currentArray.isEmpty()) {
            vtu.arrayText[currentArray] += reader.text().toString();
        } else if (reader.isEndElement()) {
            currentArray.clear();
        }
    }
    if (reader.hasError())
        vtu.error = reader.errorString();
    return vtu;
}

// Numbers of an array whose every entry is followed by exactly one space.
bool splitArray(const QString &text, QStringList &tokens)
{
    tokens = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return text == (tokens.isEmpty() ? QString() : tokens.join(QLatin1Char(' ')) + QLatin1Char(' '));
}

QList<QByteArray> csvLines(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Keeps files below the given size for the lifetime of the guard, so writes
// beyond it fail as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = bytes;
        active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }
    bool active = false;

private:
    rlimit saved{};
    void (*previousHandler)(int) = nullptr;
};

} // namespace

class TestExports : public QObject
{
    Q_OBJECT

private slots:
    void vtkTwoCellGrid()
    {
        auto grid = makeGrid(9, 2, 1, 1, AllFluid);
        QTemporaryDir dir;
        const QString path = dir.filePath("two.vtu");
        QString error;
        QVERIFY2(Exports::exportVtk(*grid, path, &error), qPrintable(error));
        const Vtu vtu = parseVtu(readAll(path));
        QVERIFY2(vtu.error.isEmpty(), qPrintable(vtu.error));
        QCOMPARE(vtu.elements.value(2), QString("Piece NumberOfPoints=12 NumberOfCells=2"));
        QCOMPARE(vtu.arrayText.value("offsets"), QString("8 16 "));
        QCOMPARE(vtu.arrayText.value("types"), QString("11 11 "));
        // Corners numbered x outer, y, z inner: (x, y, z) is 4 x + 2 y + z.
        QCOMPARE(vtu.arrayText.value("connectivity"), QString("0 4 2 6 1 5 3 7 4 8 6 10 5 9 7 11 "));
    }

    void vtkStructure_data()
    {
        QTest::addColumn<int>("q");
        QTest::addColumn<int>("nx");
        QTest::addColumn<int>("ny");
        QTest::addColumn<int>("nz");
        QTest::addColumn<int>("layout");
        QTest::newRow("2D fluid") << 9 << 3 << 2 << 1 << int(AllFluid);
        QTest::newRow("2D walls") << 9 << 5 << 4 << 1 << int(WallsInside);
        QTest::newRow("3D walls") << 19 << 4 << 3 << 3 << int(WallsInside);
        QTest::newRow("only walls") << 9 << 3 << 2 << 1 << int(AllWalls);
    }

    // Checks a written file against the rules of VTK's XML unstructured grid:
    // element order and attributes, counts, array lengths, offsets, types,
    // corner numbering and voxel corner order, and the cell data values.
    void vtkStructure()
    {
        QFETCH(int, q);
        QFETCH(int, nx);
        QFETCH(int, ny);
        QFETCH(int, nz);
        QFETCH(int, layout);
        auto grid = makeGrid(q, nx, ny, nz, Layout(layout));
        QTemporaryDir dir;
        const QString path = dir.filePath("grid.vtu");
        QString error;
        QVERIFY2(Exports::exportVtk(*grid, path, &error), qPrintable(error));

        const QByteArray bytes = readAll(path);
        QVERIFY(bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
        QVERIFY2(bytes.indexOf('\n') == bytes.size() - 1, "the document is one line");
        const Vtu vtu = parseVtu(bytes);
        QVERIFY2(vtu.error.isEmpty(), qPrintable(vtu.error));
        QCOMPARE(vtu.version, QString("1.0"));

        const QVector<Site> sites = fluidSites(*grid);
        const int cells = sites.size();
        const int points = (nx + 1) * (ny + 1) * (nz + 1);
        const QStringList expectedElements = {
            "VTKFile type=UnstructuredGrid",
            "UnstructuredGrid",
            QString("Piece NumberOfPoints=%1 NumberOfCells=%2").arg(points).arg(cells),
            "Points",
            "DataArray type=Int32 NumberOfComponents=3 format=ascii",
            "Cells",
            "DataArray type=Int32 Name=connectivity",
            "DataArray type=Int32 Name=offsets",
            "DataArray type=UInt8 Name=types",
            "CellData Scalars=density Vectors=velocity",
            "DataArray type=Float64 Name=density format=ascii",
            "DataArray type=Float64 Name=velocity NumberOfComponents=3 format=ascii",
        };
        QCOMPARE(vtu.elements, expectedElements);

        QStringList pointTokens, connectivity, offsets, types, density, velocity;
        QVERIFY(splitArray(vtu.arrayText.value("Points"), pointTokens));
        QVERIFY(splitArray(vtu.arrayText.value("connectivity"), connectivity));
        QVERIFY(splitArray(vtu.arrayText.value("offsets"), offsets));
        QVERIFY(splitArray(vtu.arrayText.value("types"), types));
        QVERIFY(splitArray(vtu.arrayText.value("density"), density));
        QVERIFY(splitArray(vtu.arrayText.value("velocity"), velocity));
        QCOMPARE(pointTokens.size(), 3 * points);
        QCOMPARE(connectivity.size(), 8 * cells);
        QCOMPARE(offsets.size(), cells);
        QCOMPARE(types.size(), cells);
        QCOMPARE(density.size(), cells);
        QCOMPARE(velocity.size(), 3 * cells);

        // Every lattice corner, walls' corners included, x outer, z inner.
        QVector<Vector3i> pointAt;
        for (int x = 0; x <= nx; ++x)
            for (int y = 0; y <= ny; ++y)
                for (int z = 0; z <= nz; ++z) {
                    const int k = pointAt.size();
                    QCOMPARE(Vector3i(pointTokens[3 * k].toInt(), pointTokens[3 * k + 1].toInt(),
                                      pointTokens[3 * k + 2].toInt()),
                             Vector3i(x, y, z));
                    pointAt.append(Vector3i(x, y, z));
                }

        for (int c = 0; c < cells; ++c) {
            QCOMPARE(offsets[c].toInt(), 8 * (c + 1));
            QCOMPARE(types[c], QString("11"));
            const Site s = sites[c];
            // VTK voxel order: x fastest, then y, then z.
            for (int corner = 0; corner < 8; ++corner) {
                bool ok = false;
                const int number = connectivity[8 * c + corner].toInt(&ok);
                QVERIFY(ok && number >= 0 && number < points);
                QCOMPARE(pointAt[number],
                         Vector3i(s.x + (corner & 1), s.y + ((corner >> 1) & 1), s.z + ((corner >> 2) & 1)));
            }
            BaseCell *cell = grid->getCell(s.x, s.y, s.z);
            const Vector3d u = cell->getVelocity(0);
            // Six significant digits, exactly as %g writes them.
            auto text = [](double v) { return QString::fromLatin1(QByteArray::number(v, 'g', 6)); };
            QCOMPARE(density[c], text(cell->getP(0)));
            QCOMPARE(velocity[3 * c], text(u.x));
            QCOMPARE(velocity[3 * c + 1], text(u.y));
            QCOMPARE(velocity[3 * c + 2], text(u.z));
        }
    }

    void unwritableFilesAreReported()
    {
        auto grid = makeGrid(9, 2, 2, 1, AllFluid);
        QTemporaryDir dir;
        const QString path = dir.filePath("missing/folder/out");
        QString error;
        QVERIFY(!Exports::exportVtk(*grid, path + ".vtu", &error));
        QVERIFY(error.contains("out.vtu"));
        error.clear();
        QVERIFY(!Exports::writeCellTable(-1, -1, -1, *grid, path + ".csv", &error));
        QVERIFY(error.contains("out.csv"));
        error.clear();
        QVERIFY(!Exports::appendTimeSeries(*grid, path + ".ts", &error));
        QVERIFY(error.contains("out.ts"));
        QVERIFY(!QFileInfo::exists(dir.filePath("missing")));
    }

    void failedWritesKeepTheOldFile_data()
    {
        QTest::addColumn<int>("nx");
        QTest::addColumn<int>("ny");
        QTest::addColumn<int>("limit");
        // Large files fail in the middle of writing, small ones only when
        // the last buffered text goes out.
        QTest::newRow("large") << 40 << 30 << 4096;
        QTest::newRow("small") << 3 << 2 << 256;
    }

    // A write that fails half-way (a full disk, here a file size limit)
    // leaves an existing file as it was and leaves no temporary behind.
    void failedWritesKeepTheOldFile()
    {
        QFETCH(int, nx);
        QFETCH(int, ny);
        QFETCH(int, limit);
        auto grid = makeGrid(9, nx, ny, 1, WallsInside);
        QTemporaryDir dir;
        const QString vtu = dir.filePath("old.vtu"), table = dir.filePath("old.csv");
        const QByteArray oldContent("previous export\n");
        for (const QString &path : {vtu, table}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(oldContent);
        }
        QString vtuError, tableError;
        bool vtuWritten = true, tableWritten = true;
        {
            FileSizeLimit sizeLimit(limit);
            if (!sizeLimit.active)
                QSKIP("cannot limit the file size here");
            vtuWritten = Exports::exportVtk(*grid, vtu, &vtuError);
            tableWritten = Exports::writeCellTable(-1, -1, -1, *grid, table, &tableError);
        }
        QVERIFY(!vtuWritten);
        QVERIFY(!tableWritten);
        QVERIFY(vtuError.contains("old.vtu"));
        QVERIFY(tableError.contains("old.csv"));
        QCOMPARE(readAll(vtu), oldContent);
        QCOMPARE(readAll(table), oldContent);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);

        // Without the limit the same calls replace the files.
        QVERIFY(Exports::exportVtk(*grid, vtu));
        QVERIFY(readAll(vtu).startsWith("<?xml"));
        QVERIFY(Exports::writeCellTable(-1, -1, -1, *grid, table));
        QVERIFY(readAll(table).startsWith("x,y,z,"));
    }

    void cellTableOfOneCell()
    {
        auto grid = makeGrid(9, 1, 1, 1, AllFluid);
        QTemporaryDir dir;
        const QString path = dir.filePath("vp_000010.csv");
        QVERIFY(Exports::writeCellTable(-1, -1, -1, *grid, path));
        const QList<QByteArray> lines = csvLines(readAll(path));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QByteArray("x,y,z,|V|,Vx,Vy,Vz,p,stream,|W|,Wx,Wy,Wz,p1,p10,p11"));
        QVERIFY(lines[1].startsWith("1,1,1,"));
        QVERIFY(readAll(path).endsWith('\n'));
    }

    void cellTableSelection_data()
    {
        QTest::addColumn<int>("q");
        QTest::addColumn<int>("nz");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("z");
        QTest::newRow("2D all") << 9 << 1 << -1 << -1 << -1;
        QTest::newRow("2D column") << 9 << 1 << 2 << -1 << -1;
        QTest::newRow("2D row") << 9 << 1 << -1 << 1 << -1;
        QTest::newRow("2D wall site") << 9 << 1 << 0 << 0 << -1;
        QTest::newRow("3D all") << 19 << 3 << -1 << -1 << -1;
        QTest::newRow("3D layer") << 19 << 3 << -1 << -1 << 2;
        QTest::newRow("3D outside") << 19 << 3 << 9 << -1 << -1;
    }

    // Every fluid cell of the selection, in order, with values that read back
    // to the cell's own velocity, density and derived fields.
    void cellTableSelection()
    {
        QFETCH(int, q);
        QFETCH(int, nz);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, z);
        auto grid = makeGrid(q, 5, 4, nz, WallsInside);
        QTemporaryDir dir;
        const QString path = dir.filePath("table.csv");
        QString error;
        QVERIFY2(Exports::writeCellTable(x, y, z, *grid, path, &error), qPrintable(error));
        const QList<QByteArray> lines = csvLines(readAll(path));
        QVERIFY(!lines.isEmpty());
        QCOMPARE(lines[0].count(',') + 1, 16);

        QVector<Site> expected;
        for (const Site &s : fluidSites(*grid))
            if ((x < 0 || s.x == x) && (y < 0 || s.y == y) && (z < 0 || s.z == z))
                expected.append(s);
        QCOMPARE(lines.size() - 1, expected.size());

        const std::vector<Vector3d> w = grid->vorticity();
        const std::vector<double> psi = grid->streamFunction(0, 0);
        for (int i = 0; i < expected.size(); ++i) {
            const QList<QByteArray> fields = lines[i + 1].split(',');
            QCOMPARE(fields.size(), 16);
            const Site s = expected[i];
            QCOMPARE(fields[0].toInt(), s.x + 1);
            QCOMPARE(fields[1].toInt(), s.y + 1);
            QCOMPARE(fields[2].toInt(), s.z + 1);
            BaseCell *cell = grid->getCell(s.x, s.y, s.z);
            const Vector3d v = cell->getVelocity(-1);
            const Vector3d ws = w[grid->siteIndex(s.x, s.y, s.z)];
            const double values[13] = {v.length(),    v.x,  v.y,  v.z,  cell->getP(-1), psi[s.x + s.y * 5],
                                       ws.length(),   ws.x, ws.y, ws.z, cell->getP(1),  cell->getP(10),
                                       cell->getP(11)};
            for (int k = 0; k < 13; ++k) {
                bool ok = false;
                const double read = fields[3 + k].toDouble(&ok);
                QVERIFY2(ok && sameToSixDigits(read, values[k]), qPrintable(QString("line %1 column %2: %3 vs %4")
                                                                                .arg(i + 1)
                                                                                .arg(k + 3)
                                                                                .arg(QString(fields[3 + k]))
                                                                                .arg(values[k], 0, 'g', 17)));
            }
        }
    }

    void timeSeries()
    {
        auto grid = makeGrid(9, 4, 3, 1, AllFluid);
        grid->setCell(0, 0, 0, new WallCell);
        grid->setCell(3, 2, 0, new FixedDragWall(Vector3d(0.5, -0.25, 0)));
        grid->setCell(3, 0, 0, new FixedDragWall(Vector3d(1e-7, 2, 0)));
        SimulationParameters *parameters = grid->getParameters();
        parameters->addProbePoint(Vector3i(1, 2, 0));
        parameters->addProbePoint(Vector3i(0, 0, 0)); // a wall
        parameters->addProbePoint(Vector3i(7, 1, 0)); // outside the grid
        SimulationStats &stats = grid->getStatistics();
        stats.iterations = 100;
        stats.mlups = 12.5;
        stats.deltaP = 3.25e-5;

        QTemporaryDir dir;
        const QString path = dir.filePath("simulation.csv");
        QString error;
        QVERIFY2(Exports::appendTimeSeries(*grid, path, &error), qPrintable(error));
        stats.iterations = 200;
        stats.mlups = 13;
        QVERIFY2(Exports::appendTimeSeries(*grid, path, &error), qPrintable(error));

        const QList<QByteArray> lines = csvLines(readAll(path));
        QCOMPARE(lines.size(), 3);
        const QByteArray probeColumns = ",|V|,Vx,Vy,Vz,p,stream,|W|,Wx,Wy,Wz,p1,p10,p11";
        QCOMPARE(lines[0], "iterations,performance,deltaP,(1;2;0)" + probeColumns + ",(0;0;0)" + probeColumns +
                               ",(7;1;0)" + probeColumns + ",drag0x,drag0y,drag0z,drag1x,drag1y,drag1z");
        const int fieldCount = 3 + 3 * 14 + 6;
        for (const QByteArray &line : lines)
            QCOMPARE(line.split(',').size(), fieldCount);

        const QList<QByteArray> first = lines[1].split(','), second = lines[2].split(',');
        QCOMPARE(first[0], QByteArray("100"));
        QCOMPARE(first[1].toDouble(), 12.5);
        QCOMPARE(first[2].toDouble(), 3.25e-5);
        QCOMPARE(second[0], QByteArray("200"));
        QCOMPARE(second[1].toDouble(), 13.0);

        // The fluid probe: an empty field under its coordinates, then values.
        QVERIFY(first[3].isEmpty());
        BaseCell *cell = grid->getCell(1, 2, 0);
        QVERIFY(sameToSixDigits(first[4].toDouble(), cell->getVelocity(-1).length()));
        QVERIFY(sameToSixDigits(first[5].toDouble(), cell->getVelocity(-1).x));
        QVERIFY(sameToSixDigits(first[8].toDouble(), cell->getP(-1)));
        QVERIFY(sameToSixDigits(first[9].toDouble(), grid->streamFunction(0, 0)[1 + 2 * 4]));
        QVERIFY(sameToSixDigits(first[13].toDouble(), grid->vorticity()[grid->siteIndex(1, 2, 0)].z));
        // The wall and the outside probe: fourteen empty fields each.
        QVERIFY(lines[1].contains(",,,,,,,,,,,,,,,,,,,,,,,,,,,,,"));
        for (int i = 17; i < 45; ++i)
            QVERIFY(first[i].isEmpty());

        // The two separate drag walls form the groups 0 and 1, each with its
        // wall's share, written as a standard stream writes doubles.
        QCOMPARE(grid->dragTable().keys(), (QList<int>{0, 1}));
        QCOMPARE(grid->dragTable().value(0), Vector3d(0.5, -0.25, 0));
        QCOMPARE(first.mid(45), (QList<QByteArray>{"0.5", "-0.25", "0", "1e-07", "2", "0"}));
        QCOMPARE(first[2], QByteArray("3.25e-05"));
    }

    // Moving particles add their velocity and centre, then the mean squared
    // speed and the mean potential times the coupling, before the drag.
    void timeSeriesParticles()
    {
        auto grid = makeGrid(9, 12, 10, 1, AllFluid);
        grid->getParameters()->setPeriodicBoundaries(false);
        grid->fillRegion("p", 2, 3, 2, 3, 0, 0);
        grid->fillRegion("n", 8, 8, 6, 6, 0, 0);
        grid->setCell(11, 9, 0, new FixedDragWall(Vector3d(0.5, 0, 0)));
        ParticleManager *manager = grid->getParticleManager();
        manager->formParticles();
        QCOMPARE(manager->count(), 2);
        manager->setElectrostatic(0.75);
        MovingParticle *a = manager->particle(0), *b = manager->particle(1);
        if (a->cells.size() != 4)
            std::swap(a, b);
        a->velocity = Vector3d(0.01, -0.02, 0.0);
        a->displacement = Vector3d(0.25, 0.0, 0.0);
        b->velocity = Vector3d(-0.003, 0.004, 0.0);
        b->displacement = Vector3d(0.0, -0.375, 0.0);
        manager->electrostatics();

        QTemporaryDir dir;
        const QString path = dir.filePath("simulation.csv");
        QString error;
        QVERIFY2(Exports::appendTimeSeries(*grid, path, &error), qPrintable(error));
        const QList<QByteArray> lines = csvLines(readAll(path));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QByteArray("iterations,performance,deltaP,mVx1,mVy1,mVz1,mx1,my1,mz1,"
                                      "mVx2,mVy2,mVz2,mx2,my2,mz2,Vi2/N,ElecPot,drag0x,drag0y,drag0z"));
        const QList<QByteArray> fields = lines[1].split(',');
        QCOMPARE(fields.size(), 20);
        // The centres: the mean of the cells' positions plus the displacement.
        const Vector3d ca(2.5 + 0.25, 2.5, 0.0), cb(8.0, 6.0 - 0.375, 0.0);
        const int first = manager->particle(0) == a ? 3 : 9, second = first == 3 ? 9 : 3;
        const double expectedA[] = {0.01, -0.02, 0.0, ca.x, ca.y, ca.z};
        const double expectedB[] = {-0.003, 0.004, 0.0, cb.x, cb.y, cb.z};
        for (int k = 0; k < 6; ++k) {
            QVERIFY2(sameToSixDigits(fields[first + k].toDouble(), expectedA[k]), fields[first + k].constData());
            QVERIFY2(sameToSixDigits(fields[second + k].toDouble(), expectedB[k]), fields[second + k].constData());
        }
        // Charges +1 per cell (4 cells) and -1 (1 cell): each particle's
        // potential is n q n' q' / r + 1 / (12 r^12) of the pair.
        const Vector3d d = ca - cb;
        const double f = d.dot(d);
        const double pairPotential = 4.0 * 1.0 * 1.0 * -1.0 / std::sqrt(f) + 1.0 / (12.0 * std::pow(f, 6));
        const double meanSquare = (0.01 * 0.01 + 0.02 * 0.02 + 0.003 * 0.003 + 0.004 * 0.004) / 2.0;
        QVERIFY2(sameToSixDigits(fields[15].toDouble(), meanSquare), fields[15].constData());
        QVERIFY2(sameToSixDigits(fields[16].toDouble(), 0.75 * (2.0 * pairPotential) / 2.0), fields[16].constData());
        QCOMPARE(fields.mid(17), (QList<QByteArray>{"0.5", "0", "0"}));
    }

    void timeSeriesWithoutProbesOrDrag()
    {
        auto grid = makeGrid(9, 2, 2, 1, AllFluid);
        QTemporaryDir dir;
        const QString path = dir.filePath("simulation.csv");
        QVERIFY(Exports::appendTimeSeries(*grid, path));
        QCOMPARE(csvLines(readAll(path)), (QList<QByteArray>{"iterations,performance,deltaP", "0,0,0"}));
    }

    // Appending to an existing file adds a line and no header; an empty
    // file gets the header; a failed append takes its partial line back.
    void timeSeriesAppend()
    {
        auto grid = makeGrid(9, 3, 3, 1, AllFluid);
        grid->getParameters()->addProbePoint(Vector3i(1, 1, 0));
        QTemporaryDir dir;
        const QString existing = dir.filePath("existing.csv"), empty = dir.filePath("empty.csv");
        const QByteArray earlier("iterations,performance,deltaP\n5,1,0.5\n");
        {
            QFile f(existing);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(earlier);
            QFile e(empty);
            QVERIFY(e.open(QIODevice::WriteOnly));
        }
        QVERIFY(Exports::appendTimeSeries(*grid, existing));
        QVERIFY(Exports::appendTimeSeries(*grid, empty));
        QByteArray content = readAll(existing);
        QVERIFY(content.startsWith(earlier));
        QCOMPARE(csvLines(content).size(), 3);
        QVERIFY(!content.mid(earlier.size()).contains("iterations"));
        QCOMPARE(csvLines(readAll(empty)).size(), 2);
        QVERIFY(readAll(empty).startsWith("iterations,performance,deltaP,(1;1;0),|V|"));

        content = readAll(existing);
        QString error;
        bool appended = true;
        {
            FileSizeLimit limit(content.size() + 10);
            if (!limit.active)
                QSKIP("cannot limit the file size here");
            appended = Exports::appendTimeSeries(*grid, existing, &error);
        }
        QVERIFY(!appended);
        QVERIFY(error.contains("existing.csv"));
        QCOMPARE(readAll(existing), content);
    }

    // The figure for large grids: a 512 x 512 fluid grid, with the time of
    // the export and the growth of the process's peak memory, which stays far
    // below the size of the file because the text is streamed.
    void largeGridExport()
    {
        Grid grid;
        grid.getParameters()->setModel(9);
        grid.resize(512, 512, 1);
        QTemporaryDir dir;
        const QString path = dir.filePath("large.vtu");

        const long before = peakMemoryKiB(true);
        QElapsedTimer timer;
        timer.start();
        QString error;
        QVERIFY2(Exports::exportVtk(grid, path, &error), qPrintable(error));
        const qint64 ms = timer.elapsed();
        const long peakGrowth = peakMemoryKiB(false) - before;
        const qint64 bytes = QFileInfo(path).size();
        qInfo("512x512 export: %lld ms, %.1f MB written, peak memory growth %ld KiB", ms, bytes / 1e6,
              before > 0 ? peakGrowth : -1L);

        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.read(200).contains("NumberOfPoints=\"526338\" NumberOfCells=\"262144\""));
        QVERIFY(bytes > 10000000);
#if !defined(__SANITIZE_ADDRESS__)
        // Sanitizer builds keep freed memory in quarantine, so the peak says
        // nothing about the writer there.
        if (before > 0)
            QVERIFY2(peakGrowth * 1024 < bytes / 4, "the export holds a large part of the document in memory");
#endif
    }

    // Not a check of its own: writes sample files and the values they must
    // hold for the script that reads them back with VTK's own reader. Runs
    // only when that script asks for it.
    void writeSamplesForVtkReader()
    {
        const QString out = qEnvironmentVariable("ONDIX_VTU_SAMPLE_DIR");
        if (out.isEmpty())
            QSKIP("ONDIX_VTU_SAMPLE_DIR not set");
        struct Sample
        {
            const char *name;
            int q, nx, ny, nz;
            Layout layout;
        };
        const Sample samples[] = {{"fluid2d", 9, 2, 1, 1, AllFluid},
                                  {"walls2d", 9, 6, 5, 1, WallsInside},
                                  {"walls3d", 19, 4, 3, 3, WallsInside},
                                  {"nofluid", 9, 3, 2, 1, AllWalls},
                                  // Arrays of several compressed blocks, the last one partial.
                                  {"blocks2d", 9, 70, 50, 1, WallsInside}};
        for (const Sample &s : samples) {
            auto grid = makeGrid(s.q, s.nx, s.ny, s.nz, s.layout);
            const QString base = QDir(out).filePath(s.name);
            QVERIFY(Exports::exportVtk(*grid, base + ".vtu"));
            QVERIFY(Exports::exportVtk(*grid, base + "-binary.vtu", nullptr, VtuWriter::Format::Binary));
            // One line per cell: x y z density vx vy vz at full precision.
            QFile expected(base + ".expected");
            QVERIFY(expected.open(QIODevice::WriteOnly));
            expected.write(QByteArray::number(grid->getWidth()) + ' ' + QByteArray::number(grid->getHeight()) + ' ' +
                           QByteArray::number(grid->getLength()) + '\n');
            for (const Site &site : fluidSites(*grid)) {
                BaseCell *cell = grid->getCell(site.x, site.y, site.z);
                const Vector3d u = cell->getVelocity(0);
                expected.write(QString("%1 %2 %3 %4 %5 %6 %7\n")
                                   .arg(site.x)
                                   .arg(site.y)
                                   .arg(site.z)
                                   .arg(cell->getP(0), 0, 'g', 17)
                                   .arg(u.x, 0, 'g', 17)
                                   .arg(u.y, 0, 'g', 17)
                                   .arg(u.z, 0, 'g', 17)
                                   .toLatin1());
            }
        }
    }

private:
    // The process's peak resident memory in KiB; with reset, the peak is
    // first brought down to the current use. -1 where it cannot be read.
    static long peakMemoryKiB(bool reset)
    {
        if (reset) {
            QFile clear("/proc/self/clear_refs");
            if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
                return -1;
        }
        QFile status("/proc/self/status");
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        const QRegularExpression peak("VmHWM:\\s*(\\d+)");
        const QRegularExpressionMatch m = peak.match(QString::fromLatin1(status.readAll()));
        return m.hasMatch() ? m.captured(1).toLong() : -1;
    }
};

QTEST_GUILESS_MAIN(TestExports)
#include "tst_exports.moc"
