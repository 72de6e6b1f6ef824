#include "vtkbench.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/wallcell.h"
#include "persistence/exports.h"
#include "persistence/simulationparameters.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

} // namespace

void benchVtk()
{
    const int n = 1024;
    Grid grid;
    SimulationParameters *p = grid.getParameters();
    p->setModel(9);
    p->setEpsilon(0, 0.8);
    p->setMinP0Value(0.98);
    p->setMaxP0Value(1.02);
    grid.resize(n, n, 1);
    // A channel with a cylinder, stepped so that densities and velocities
    // carry full-precision values.
    for (int x = 0; x < n; ++x) {
        grid.setCell(x, 0, 0, new WallCell);
        grid.setCell(x, n - 1, 0, new WallCell);
    }
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            if ((x - n / 4) * (x - n / 4) + (y - n / 2) * (y - n / 2) < 50 * 50)
                grid.setCell(x, y, 0, new WallCell);
    grid.step(3);

    QTemporaryDir dir;
    std::printf("\nVTK export of a %d x %d D2Q9 grid (best of 3)\n", n, n);
    std::printf("%-10s %10s %10s %12s\n", "format", "write s", "cpu s", "size MB");
    const struct
    {
        const char *name;
        VtuWriter::Format format;
    } formats[] = {{"ascii", VtuWriter::Format::Ascii}, {"binary", VtuWriter::Format::Binary}};
    for (const auto &f : formats) {
        const QString path = dir.filePath(QStringLiteral("bench-%1.vtu").arg(QLatin1String(f.name)));
        double best = 1e30, bestCpu = 1e30;
        QString error;
        bool ok = true;
        for (int repeat = 0; repeat < 3 && ok; ++repeat) {
            const auto t0 = Clock::now();
            const std::clock_t c0 = std::clock();
            ok = Exports::exportVtk(grid, path, &error, f.format);
            bestCpu = std::min(bestCpu, double(std::clock() - c0) / CLOCKS_PER_SEC);
            best = std::min(best, since(t0));
        }
        if (!ok) {
            std::printf("%-10s failed: %s\n", f.name, qPrintable(error));
            continue;
        }
        std::printf("%-10s %10.2f %10.2f %12.1f\n", f.name, best, bestCpu, QFileInfo(path).size() / 1048576.0);
        std::fflush(stdout);
    }
}
