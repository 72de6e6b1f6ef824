// Remakes the example geometries. Run from the top of the repository:
//   build/ondix-examples examples
// Each domain is built in a grid with the program's own cell codes and
// written with its own geometry writers, so the files are exactly what
// "Save" would produce.

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/passivescalar.h"
#include "model/latticeboltzmann/heat/thermalwall.h"
#include "model/latticeboltzmann/multi/mccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/geometryfiles.h"
#include "persistence/statedocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cmath>
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

// The state document of a grid set up for another physical model, which
// "Load All" opens with its parameters and its fluid as they are here
// (compressed: the populations as text take some megabytes).
bool saveState(Grid &g, const QString &path)
{
    QString error;
    StateDocument document(g);
    StateDocument::Options options;
    options.compress = true;
    if (!document.save(path, options, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    std::printf("wrote %s (%d x %d x %d)\n", qPrintable(path), g.getWidth(), g.getHeight(), g.getLength());
    return true;
}

// A periodic 2D box of width x height sites, all fluid at density 1, at
// relaxation time tau for the fluid and the second population set.
void periodicBox(Grid &g, double tau, int width = 100, int height = 100)
{
    SimulationParameters *p = g.getParameters();
    p->setModel(9);
    p->setEpsilon(0, tau);
    p->setEpsilon(1, tau);
    p->setPeriodicBoundaries(true);
    p->setMinP0(1.0);
    p->setMaxP0(1.0);
    g.resize(width, height, 1);
}

// Smoothly 1 inside a disc of radius r about the centre of an n x n box,
// 0 outside, across an interface about four sites wide.
double inDisc(int x, int y, int n, double r)
{
    const double d = std::hypot(x + 0.5 - n / 2.0, y + 0.5 - n / 2.0);
    return 0.5 * (1.0 - std::tanh((d - r) / 2.0));
}

// A liquid droplet in its vapour under the single-component pseudopotential
// force psi = 4 exp(-200 / rho) at G = -120, whose coexisting densities are
// about 89 and 528: the droplet keeps its shape and the pressure inside
// exceeds the pressure outside by the surface tension over the radius.
bool droplet(const QString &dir)
{
    Grid g;
    periodicBox(g, 1.0);
    g.getParameters()->setMultiphase(-120.0, 4.0, 200.0, 0.0);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            g.getCell(x, y, 0)->reset(89.0 + (528.0 - 89.0) * inDisc(x, y, 100, 20.0), -1);
    return saveState(g, dir + "/droplet-multiphase.lb2");
}

// Two Shan-Chen components that repel each other (G = 0.9): a square of the
// first in the second pulls itself round by surface tension.
bool twoComponents(const QString &dir)
{
    Grid g;
    periodicBox(g, 1.0);
    g.getParameters()->setMulticomponentValues(2, 0.9, 0.0, 0.0, 1);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            const bool inside = x >= 30 && x < 70 && y >= 30 && y < 70;
            MCCell *c = new MCCell(*g.getParameters());
            c->reset(inside ? 1.95 : 0.05, inside ? 0.05 : 1.95);
            g.setCell(x, y, 0, c, true, false);
        }
    return saveState(g, dir + "/two-components.lb2");
}

// Rayleigh-Benard convection: fluid between a hot floor (thermal wall 0 at
// temperature 1) and a cold lid (thermal wall 1 at 0), periodic along x,
// lifted by buoyancy at a Rayleigh number of 10^4, six times the onset of
// convection; a small bump in the temperature starts two pairs of rolls,
// each pair as wide as the height twice, near the most unstable width.
bool heatedBox(const QString &dir)
{
    const int length = 128, h = 32;
    const double tau = 0.6, nu = (tau - 0.5) / 3.0, rayleigh = 1e4;
    Grid g;
    periodicBox(g, tau, length, h + 2);
    SimulationParameters *p = g.getParameters();
    p->setMulticomponentValues(2, 0.0, 0.0, 0.0, 4);
    p->setThermal(0, 1.0);
    p->setThermal(1, 0.0);
    p->setPassiveScalarGravity(rayleigh * nu * nu / (double(h) * h * h));
    for (int x = 0; x < length; ++x) {
        g.setCell(x, 0, 0, new ThermalWall(0), true, false);
        g.setCell(x, h + 1, 0, new ThermalWall(1), true, false);
        for (int y = 1; y <= h; ++y) {
            const double base = 1.0 - (y - 0.5) / h;
            const double bump = 0.01 * std::sin(4 * M_PI * x / length) * std::sin(M_PI * (y - 0.5) / h);
            g.setCell(x, y, 0, new PassiveScalar(*p, 1.0, Vector3d(), base + bump), true, false);
        }
    }
    return saveState(g, dir + "/heated-box.lb2");
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
    const bool ok = channelWithObstacle(dir) && poiseuilleChannel(dir) && duct(dir) && droplet(dir) &&
                    twoComponents(dir) && heatedBox(dir);
    return ok ? 0 : 1;
}
