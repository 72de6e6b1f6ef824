// ondix-shapebench: times reading a closed surface of 10^6 triangles from an
// STL file and covering a 256^3 box with it (covered sites, and the cut
// fraction of every link into them), on two threads.
#include "model/latticeboltzmann/shapes/meshshape.h"
#include "model/latticeboltzmann/shapes/shapevoxels.h"
#include "validate/stlwriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// A torus about the z axis: major radius a, tube radius b, split into n
// segments around the axis and m around the tube (2 n m triangles), every
// corner computed once so the surface is closed exactly.
std::vector<Vector3d> torus(double a, double b, int n, int m)
{
    std::vector<Vector3d> points(std::size_t(n) * m);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < m; ++j) {
            const double u = 2.0 * M_PI * i / n, v = 2.0 * M_PI * j / m;
            points[std::size_t(i) * m + j] =
                Vector3d((a + b * std::cos(v)) * std::cos(u), (a + b * std::cos(v)) * std::sin(u), b * std::sin(v));
        }
    auto at = [&](int i, int j) { return points[std::size_t((i + n) % n) * m + (j + m) % m]; };
    std::vector<Vector3d> corners;
    corners.reserve(std::size_t(6) * n * m);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < m; ++j) {
            for (const Vector3d &p : {at(i, j), at(i + 1, j), at(i + 1, j + 1)})
                corners.push_back(p);
            for (const Vector3d &p : {at(i, j), at(i + 1, j + 1), at(i, j + 1)})
                corners.push_back(p);
        }
    return corners;
}

// Wall-clock and processor seconds (all threads) since the last call.
struct Stopwatch
{
    QElapsedTimer wall;
    double cpu0 = cpu();
    Stopwatch() { wall.start(); }
    static double cpu()
    {
        timespec t;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return t.tv_sec + t.tv_nsec * 1e-9;
    }
    QString lap()
    {
        const double w = wall.nsecsElapsed() * 1e-9, c = cpu() - cpu0;
        wall.restart();
        cpu0 = cpu();
        return QStringLiteral("%1 s wall, %2 s processor").arg(w, 6, 'f', 2).arg(c, 6, 'f', 2);
    }
};

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(' ', 0, 0) : QStringLiteral("?");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times voxelising a 10^6-triangle STL surface into a 256^3 box."));
    parser.addHelpOption();
    QCommandLineOption threads(QStringLiteral("threads"), QStringLiteral("Worker threads (default 2)."),
                               QStringLiteral("n"), QStringLiteral("2"));
    QCommandLineOption size(QStringLiteral("size"), QStringLiteral("Sites along each side (default 256)."),
                            QStringLiteral("n"), QStringLiteral("256"));
    QCommandLineOption file(QStringLiteral("stl"), QStringLiteral("Times this STL file instead of the torus."),
                            QStringLiteral("file"));
    parser.addOptions({threads, size, file});
    parser.process(app);
    QThreadPool::globalInstance()->setMaxThreadCount(std::max(1, parser.value(threads).toInt()));
    const int n = std::max(8, parser.value(size).toInt());

    QTemporaryDir dir;
    QString path = parser.value(file);
    const bool own = path.isEmpty();
    // 1000 x 500 segments: 10^6 triangles, a tube 60 sites across at 256.
    const double scale = n / 256.0;
    if (own) {
        path = dir.filePath(QStringLiteral("torus.stl"));
        if (!StlWriter::writeBinary(path, torus(80.0, 30.0, 1000, 500))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    std::printf("threads %d, box %d^3, load average %s, %s (%.1f MB)\n",
                QThreadPool::globalInstance()->maxThreadCount(), n, qPrintable(loadAverage()),
                own ? "torus of 10^6 triangles, binary STL" : qPrintable(path), QFileInfo(path).size() / 1e6);

    Stopwatch clock, all;
    QString error;
    std::unique_ptr<MeshShape> shape = MeshShape::fromFile(path, &error);
    if (!shape) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QString read = clock.lap();
    Vector3d lo, hi;
    if (own) {
        shape->setScale(scale);
        shape->setCentre(Vector3d(0.5 * n - 0.37, 0.5 * n + 0.21, 0.5 * n + 0.13));
        shape->setRotation(Rotation::fromAngles(20, 10, 0));
    } else if (shape->bounds(lo, hi)) {
        // Fitted into the box with a margin of two sites.
        const Vector3d extent = hi - lo;
        const double largest = std::max({extent.x, extent.y, extent.z});
        shape->setScale((n - 4) / largest);
        shape->setCentre(Vector3d(0.5 * n, 0.5 * n, 0.5 * n) - (lo + extent * 0.5) * ((n - 4) / largest));
    }
    shape->bounds(lo, hi); // builds the lookup tables for the placement
    const QString tables = clock.lap();
    const ShapeVoxels voxels(*shape, n, n, n, 19, false, true);
    const QString cover = clock.lap();
    const QString total = all.lap();
    std::size_t links = 0;
    for (const ShapeVoxels::Boundary &b : voxels.boundary())
        for (int i = 1; i < 19; ++i)
            links += b.fraction[i] > 0.0 ? 1 : 0;
    std::printf("read and check closed: %s\n", qPrintable(read));
    std::printf("lookup tables:         %s\n", qPrintable(tables));
    std::printf("cover the box (D3Q19): %s\n", qPrintable(cover));
    std::printf("total:                 %s\n", qPrintable(total));
    std::printf("%zu sites covered, %zu of them next to uncovered ones, %zu links cut, %zu missed\n",
                voxels.solidCount(), voxels.boundary().size(), links, voxels.missedLinks());
    if (own) {
        // The torus' volume, 2 pi^2 a b^2, against the sites covered.
        const double volume = 2.0 * M_PI * M_PI * 80.0 * 30.0 * 30.0 * scale * scale * scale;
        std::printf("covered sites over the torus' volume: %.4f\n", voxels.solidCount() / volume);
    }
    return 0;
}
