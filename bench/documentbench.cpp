#include "documentbench.h"

#include "benchchannel.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/geometryfiles.h"
#include "persistence/statedocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {

qint64 bytesOf(const QString &path, bool chunks)
{
    qint64 total = QFileInfo(path).size();
    if (chunks)
        for (int k = 0; k < StateDocument::Chunks; ++k)
            total += QFileInfo(StateDocument::chunkPath(path, k)).size();
    return total;
}

// Times loading a text geometry of width x height plain fluid sites with
// walls along the top, the form whose load once took a system call per site.
void benchTextGeometry(const QString &dir, int width, int height)
{
    const QString path = QDir(dir).filePath(QStringLiteral("geometry.txt"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return;
        f.write(QStringLiteral("%1 %2 1\n1 0 0 0\n1 %3 0 0\n%1\n").arg(width).arg(height).arg(width - 1).toUtf8());
        for (int x = 0; x < width; ++x)
            f.write(QStringLiteral("%1 %2 0\n").arg(x).arg(height - 1).toUtf8());
    }
    Grid grid;
    grid.getParameters()->setModel(9);
    QString error;
    const auto t0 = BenchClock::now();
    const std::clock_t c0 = std::clock();
    const bool loaded = GeometryFiles::loadTextGeometry(grid, path, &error);
    const double wall = secondsSince(t0), cpu = double(std::clock() - c0) / CLOCKS_PER_SEC;
    const double sites = double(width) * height;
    if (!loaded) {
        std::printf("text geometry failed: %s\n", qPrintable(error));
        return;
    }
    std::printf("text geometry of %.1f million D2Q9 sites loaded in %.2f s (cpu %.2f s), %.2f us per site\n",
                sites / 1e6, wall, cpu, wall * 1e6 / sites);
}

} // namespace

void benchDocument()
{
    QTemporaryDir dir;
    // Before the channel's grid: a grid registers its parameters as the
    // current ones while it lives.
    benchTextGeometry(dir.path(), 2000, 1000);
    const int n = 1024;
    Grid grid;
    makeBenchChannel(grid, n);

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
        auto t0 = BenchClock::now();
        const std::clock_t c0 = std::clock();
        const QByteArray text = document.text(2);
        std::printf("text of version 2: %.2f s (cpu %.2f s), %.1f MB\n", secondsSince(t0),
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
        auto t0 = BenchClock::now();
        const bool saved = document.save(path, options, &error);
        const double save = secondsSince(t0);
        std::printf("%-22s saved in %.2f s, %.1f MB\n", form.name, save, bytesOf(path, form.version == 3) / 1048576.0);
        std::fflush(stdout);
        t0 = BenchClock::now();
        const std::clock_t c0 = std::clock();
        const bool loaded = saved && document.load(path, options, &error);
        const double load = secondsSince(t0);
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
