#include "vtkbench.h"

#include "benchchannel.h"

#include "model/latticeboltzmann/grid.h"
#include "persistence/exports.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>

void benchVtk()
{
    const int n = 1024;
    Grid grid;
    makeBenchChannel(grid, n);

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
            const auto t0 = BenchClock::now();
            const std::clock_t c0 = std::clock();
            ok = Exports::exportVtk(grid, path, &error, f.format);
            bestCpu = std::min(bestCpu, double(std::clock() - c0) / CLOCKS_PER_SEC);
            best = std::min(best, secondsSince(t0));
        }
        if (!ok) {
            std::printf("%-10s failed: %s\n", f.name, qPrintable(error));
            continue;
        }
        std::printf("%-10s %10.2f %10.2f %12.1f\n", f.name, best, bestCpu, QFileInfo(path).size() / 1048576.0);
        std::fflush(stdout);
    }
}
