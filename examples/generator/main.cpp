// Remakes the example geometries. Run from the top of the repository:
//   build/ondix-examples examples
// Each domain is built in a grid with the program's own cell codes and
// written with its own geometry writers, so the files are exactly what
// "Save" would produce.

#include "model/latticeboltzmann/grid.h"
#include "persistence/geometryfiles.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

namespace {

bool save(const Grid &g, const QString &path)
{
    QString error;
    if (!GeometryFiles::saveGeometryImage(g, path, 1, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    std::printf("wrote %s (%d x %d x %d)\n", qPrintable(path), g.getWidth(), g.getHeight(), g.getLength());
    return true;
}

// Walls along the top and bottom rows, an inlet column on the left and an
// outlet column on the right.
void channel(Grid &g, int width, int height)
{
    g.getParameters()->setModel(9);
    g.resize(width, height, 1);
    g.fillRegion("w", 0, width - 1, 0, 0, 0, 0);
    g.fillRegion("w", 0, width - 1, height - 1, height - 1, 0, 0);
    g.fillRegion("s", 0, 0, 1, height - 2, 0, 0);
    g.fillRegion("o", width - 1, width - 1, 1, height - 2, 0, 0);
}

// A channel with a circular cylinder a little off the centre line, so the
// wake starts to shed vortices without waiting for round-off.
bool channelWithObstacle(const QString &dir)
{
    Grid g;
    channel(g, 240, 80);
    const double cx = 60.0, cy = 41.0, r = 8.0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 240; ++x)
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                g.fillRegion("w", x, x, y, y, 0, 0);
    return save(g, dir + "/channel-obstacle.png");
}

// The Poiseuille channel of the tests, as an image and as text geometry.
bool poiseuilleChannel(const QString &dir)
{
    const int width = 200, height = 41;
    Grid g;
    channel(g, width, height);
    if (!save(g, dir + "/poiseuille-channel.png"))
        return false;

    QString text;
    QTextStream out(&text);
    out << width << ' ' << height << " 1\n";
    out << height - 2 << '\n';
    for (int y = 1; y < height - 1; ++y)
        out << "0 " << y << " 0\n";
    out << height - 2 << '\n';
    for (int y = 1; y < height - 1; ++y)
        out << width - 1 << ' ' << y << " 0\n";
    out << 2 * width << '\n';
    for (int y : {0, height - 1})
        for (int x = 0; x < width; ++x)
            out << x << ' ' << y << " 0\n";
    out.flush();
    const QString path = dir + "/poiseuille-channel.txt";
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toLatin1()) < 0 || !file.commit()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("wrote %s\n", qPrintable(path));
    return true;
}

// A square duct along x: walls on all four long sides (the first and last
// layers and the top and bottom rows), inlet and outlet across the ends.
bool duct(const QString &dir)
{
    const int width = 80, height = 16, length = 16;
    Grid g;
    g.getParameters()->setModel(19);
    g.resize(width, height, length);
    g.fillRegion("s", 0, 0, 1, height - 2, 1, length - 2);
    g.fillRegion("o", width - 1, width - 1, 1, height - 2, 1, length - 2);
    g.fillRegion("w", 0, width - 1, 0, 0, 0, length - 1);
    g.fillRegion("w", 0, width - 1, height - 1, height - 1, 0, length - 1);
    g.fillRegion("w", 0, width - 1, 0, height - 1, 0, 0);
    g.fillRegion("w", 0, width - 1, 0, height - 1, length - 1, length - 1);
    return save(g, dir + "/duct-3d.png");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("examples");
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(dir));
        return 1;
    }
    const bool ok = channelWithObstacle(dir) && poiseuilleChannel(dir) && duct(dir);
    return ok ? 0 : 1;
}
