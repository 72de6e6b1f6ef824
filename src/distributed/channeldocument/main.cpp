// ondix-channeldocument: writes the state document of a plain channel, the
// domain the scaling figures of runs on several processes are measured on.
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/statedocument.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool ok = args.size() == 6;
    int n[4] = {0, 0, 0, 0};
    for (int i = 0; ok && i < 4; ++i)
        n[i] = args[i + 1].toInt(&ok);
    const int q = n[0], nx = n[1], ny = n[2], nz = n[3];
    if (!ok || (q != 9 && q != 15 && q != 19 && q != 27) || nx < 3 || ny < 3 || nz < 1 || (q == 9) != (nz == 1)) {
        std::fprintf(stderr, "usage: ondix-channeldocument Q WIDTH HEIGHT LENGTH FILE\n"
                             "  a channel along y (periodic), walls at x = 0 and WIDTH - 1 (and z = 0 and\n"
                             "  LENGTH - 1 in 3D), fluid at random densities in [0.99, 1.01]; Q 9 needs LENGTH 1\n");
        return 2;
    }
    Grid grid;
    SimulationParameters *p = grid.getParameters();
    p->setModel(q);
    p->setEpsilon(0, 0.6);
    p->setPeriodicBoundaries(true);
    p->setMinP0(0.99);
    p->setMaxP0(1.01);
    grid.resize(nx, ny, nz);
    grid.fillRegion("w", 0, 0, 0, ny - 1, 0, nz - 1);
    grid.fillRegion("w", nx - 1, nx - 1, 0, ny - 1, 0, nz - 1);
    if (nz > 1) {
        grid.fillRegion("w", 0, nx - 1, 0, ny - 1, 0, 0);
        grid.fillRegion("w", 0, nx - 1, 0, ny - 1, nz - 1, nz - 1);
    }
    QString error;
    if (!StateDocument(grid).save(args[5], StateDocument::Options(), &error)) {
        std::fprintf(stderr, "ondix-channeldocument: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
