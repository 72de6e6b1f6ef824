#include "documentbench.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/wallcell.h"
#include "persistence/simulationparameters.h"
#include "persistence/statedocument.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

qint64 bytesOf(const QString &path, bool chunks)
{
    qint64 total = QFileInfo(path).size();
    if (chunks)
        for (int k = 0; k < StateDocument::Chunks; ++k)
            total += QFileInfo(StateDocument::chunkPath(path, k)).size();
    return total;
}

} // namespace

void benchDocument()
{
    const int n = 1024;
    Grid grid;
    SimulationParameters *p = grid.getParameters();
    p->setModel(9);
    p->setEpsilon(0, 0.8);
    p->setMinP0Value(0.98);
    p->setMaxP0Value(1.02);
    grid.resize(n, n, 1);
    // A channel with a cylinder, run long enough that the populations carry
    // full-precision values.
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
    StateDocument document(grid);
    std::printf("\nState document of a %d x %d D2Q9 grid\n", n, n);
    std::printf("%-22s %10s %10s %12s\n", "form", "save s", "load s", "size MB");
    struct Form
    {
        const char *name;
        int version;
        bool compress;
    };
    const Form forms[] = {{"version 2", 2, false}, {"version 2, compressed", 2, true}, {"version 3", 3, false}};
    {
        auto t0 = Clock::now();
        const std::clock_t c0 = std::clock();
        const QByteArray text = document.text(2);
        std::printf("text of version 2: %.2f s (cpu %.2f s), %.1f MB\n", since(t0),
                    double(std::clock() - c0) / CLOCKS_PER_SEC, text.size() / 1048576.0);
        std::fflush(stdout);
        if (qEnvironmentVariableIsSet("ONDIX_TEXT_ONLY"))
            return;
    }
    for (const Form &form : forms) {
        const QString path = dir.filePath(QStringLiteral("bench.lb%1").arg(form.version));
        StateDocument::Options options;
        options.version = form.version;
        options.compress = form.compress;
        QString error;
        auto t0 = Clock::now();
        const bool saved = document.save(path, options, &error);
        const double save = since(t0);
        std::printf("%-22s saved in %.2f s, %.1f MB\n", form.name, save, bytesOf(path, form.version == 3) / 1048576.0);
        std::fflush(stdout);
        t0 = Clock::now();
        const std::clock_t c0 = std::clock();
        const bool loaded = saved && document.load(path, options, &error);
        const double load = since(t0);
        std::printf("%-22s loaded in %.2f s (cpu %.2f s)\n", form.name, load,
                    double(std::clock() - c0) / CLOCKS_PER_SEC);
        if (!saved || !loaded) {
            std::printf("%-22s failed: %s\n", form.name, qPrintable(error));
            continue;
        }
        std::printf("%-22s %10.2f %10.2f %12.1f\n", form.name, save, load,
                    bytesOf(path, form.version == 3) / 1048576.0);
    }
}
