// Throughput and memory benchmark of the grid's stepping, then the time to
// write a VTK file and to save and load a state document. Run by hand:
//   build/ondix-bench [iterations-scale [vector-level]]
// With a display it also times a frame of the OpenGL view.
// ONDIX_BENCH_ONLY=step, models, vtk, document or frame runs that part alone;
// ONDIX_BENCH_CASE=n runs only the n-th stepping case (from 1);
// ONDIX_BENCH_MODEL=text only plain fluid and the models whose name has it.
// ONDIX_BENCH_CUBE=n steps a periodic D3Q19 cube of n^3 sites and prints its
// bytes per site, as the grid counts them and as the process's peak
// resident memory shows them, to check how large a domain fits;
// ONDIX_BENCH_SINGLE=1 keeps its populations in single precision.
// ONDIX_BENCH_LEAN=0 gives the plain fluid sites of the stepping cases and
// the cube cell objects of their own, for comparison with the handles the
// grid keeps by default (see Grid::setLeanSites).
// (vector level: 1 baseline, 2 AVX2, 3 AVX-512, default the best available)
// Run it on an otherwise idle machine.
// For each case it prints MLUPS with multicore off and on, the serial run's
// MLUPS per second of processor time, the bytes of memory
// per site, the limit that the machine's memory bandwidth sets and the
// fraction of that limit the parallel run reached.

#include "documentbench.h"
#include "modelbench.h"
#ifdef ONDIX_BENCH_FRAME
#include "framebench.h"
#include <QApplication>
#endif
#include "vtkbench.h"

#include "model/latticeboltzmann/blockpool.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/scalartracersettings.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// In-place bandwidth in bytes per second with every thread of the pool, each
// reading and rewriting its own slice of an array far larger than cache:
// the access pattern of a stepping sweep. Both the bytes read and the bytes
// written count; best of several passes.
double inPlaceBandwidth(int threads)
{
    const std::size_t n = (std::size_t(512) << 20) / sizeof(double);
    std::vector<double> a(n, 1.0);
    double best = 0.0;
    for (int pass = 0; pass < 6; ++pass) {
        const auto t0 = Clock::now();
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([&a, n, t, threads] {
                double *p = a.data() + n * t / threads;
                const std::size_t m = n * (t + 1) / threads - n * t / threads;
                for (std::size_t i = 0; i < m; ++i)
                    p[i] = p[i] * 0.5 + 1.0;
            });
        for (std::thread &w : workers)
            w.join();
        const auto t1 = Clock::now();
        best = std::max(best, 2.0 * n * sizeof(double) / seconds(t0, t1));
    }
    return best;
}

struct Case
{
    const char *name;
    int q, nx, ny, nz;
    bool channel;
    int cylinder; // diameter, 0 for none
    int iterations;
    // 0 none; with a coloured scalar source of this type (1 lattice-Boltzmann
    // colours, 2 moment propagation) every cell carries a colour.
    int tracerType = 0;
    // Without periodic boundaries: the fluid touches every face of the box
    // and what streams out of it is lost.
    bool closed = false;
    // Single-precision populations.
    bool single = false;
};

double processSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + 1e-9 * t.tv_nsec;
}

// Best of three timed runs, after a warm-up that also rebuilds the
// neighbour table: the machine is shared, and the best run is the one least
// disturbed by others. Also the updates per second of processor time, which
// other processes on a shared machine disturb far less than the wall clock.
double run(Grid &grid, int iterations, bool multicore, double *perCpuSecond = nullptr)
{
    grid.getParameters()->setMulticore(multicore);
    grid.step(2);
    double best = 0.0, bestCpu = 0.0;
    for (int repeat = 0; repeat < 3; ++repeat) {
        const auto t0 = Clock::now();
        const double c0 = processSeconds();
        grid.step(iterations);
        const double c1 = processSeconds();
        const auto t1 = Clock::now();
        const double updates = double(grid.siteCount()) * iterations / 1e6;
        best = std::max(best, updates / seconds(t0, t1));
        bestCpu = std::max(bestCpu, updates / (c1 - c0));
    }
    if (perCpuSecond)
        *perCpuSecond = bestCpu;
    return best;
}

// Whether plain fluid sites go without cell objects (unless ONDIX_BENCH_LEAN=0).
bool leanSites()
{
    bool set = false;
    const int value = qEnvironmentVariableIntValue("ONDIX_BENCH_LEAN", &set);
    return !set || value != 0;
}

// One periodic D3Q19 cube of n^3 sites, stepped a few times in parallel.
void benchCube(int n, int vectorLevel, bool single)
{
    Grid grid;
    SimulationParameters *p = grid.getParameters();
    p->setModel(19);
    p->setEpsilon(0, 0.8);
    p->setPeriodicBoundaries(true);
    p->setSinglePopulations(single);
    grid.setLeanSites(leanSites());
    grid.resize(n, n, n);
    grid.setVectorLevel(vectorLevel);
    const double mlups = run(grid, 2, true);
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    const double sites = double(grid.siteCount());
    const double total = grid.memoryBytes() / sites, populations = grid.getPopulations().bytes() / sites,
                 objects = BlockPool::reservedBytes() / sites;
    std::printf("D3Q19 periodic %d^3%s%s: %.0f bytes/site counted (populations %.0f, cell objects %.0f, tables %.0f), "
                "%.0f bytes/site peak resident, %.1f MLUPS mc\n",
                n, single ? " single" : "", grid.getLeanSites() ? " lean" : "", total, populations, objects, total - populations - objects, usage.ru_maxrss * 1024.0 / sites, mlups);
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef ONDIX_BENCH_FRAME
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    std::unique_ptr<QCoreApplication> app(display ? new QApplication(argc, argv) : new QCoreApplication(argc, argv));
#else
    const bool display = false;
    QCoreApplication app(argc, argv);
#endif
    const QString only = qEnvironmentVariable("ONDIX_BENCH_ONLY");
    auto frame = [display] {
#ifdef ONDIX_BENCH_FRAME
        if (display) {
            benchFrame();
            return;
        }
#endif
        std::printf("\nNo display: the frame time is not measured.\n");
    };
    if (only == QLatin1String("frame")) {
        frame();
        return 0;
    }
    if (only == QLatin1String("vtk")) {
        benchVtk();
        return 0;
    }
    if (only == QLatin1String("document")) {
        benchDocument();
        return 0;
    }
    const double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
    const int vectorLevel = argc > 2 ? std::atoi(argv[2]) : 0;
    if (const int cube = qEnvironmentVariableIntValue("ONDIX_BENCH_CUBE"); cube > 0) {
        benchCube(cube, vectorLevel, qEnvironmentVariableIntValue("ONDIX_BENCH_SINGLE") > 0);
        return 0;
    }
    if (only == QLatin1String("models")) {
        benchModels(scale, vectorLevel);
        return 0;
    }
    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    const double bandwidth = inPlaceBandwidth(threads);
    std::printf("threads in pool: %d\n", threads);
    {
        Grid probe;
        probe.setVectorLevel(vectorLevel);
        std::printf("kernel vector level: %d (1 baseline, 2 AVX2, 3 AVX-512)\n", probe.getVectorLevel());
    }
    std::printf("in-place bandwidth, all threads: %.2f GB/s (bytes read + written)\n", bandwidth / 1e9);
    std::printf("limit: 24 Q bytes per update (read current, write next with its line fill), 12 Q in single "
                "precision\n\n");

    const Case cases[] = {
        {"D2Q9 periodic 1024x1024", 9, 1024, 1024, 1, false, 0, 20},
        {"D2Q9 channel 1024x256", 9, 1024, 256, 1, true, 0, 80},
        {"D2Q9 channel+cylinder d40", 9, 1024, 256, 1, true, 40, 80},
        {"D3Q19 periodic 128x128x128", 19, 128, 128, 128, false, 0, 8},
        {"D2Q9 channel 512x512 colours", 9, 512, 512, 1, true, 0, 4, 1},
        {"D2Q9 channel 512x512 moments", 9, 512, 512, 1, true, 0, 4, 2},
        {"D2Q9 closed 1024x1024", 9, 1024, 1024, 1, false, 0, 20, 0, true},
        {"D3Q19 closed 128x128x128", 19, 128, 128, 128, false, 0, 8, 0, true},
        {"D2Q9 periodic 1024^2 single", 9, 1024, 1024, 1, false, 0, 20, 0, false, true},
        {"D3Q19 periodic 128^3 single", 19, 128, 128, 128, false, 0, 8, 0, false, true},
    };
    std::printf("%-28s %10s %10s %12s %12s %14s %10s\n", "case", "MLUPS 1", "MLUPS mc", "per cpu-s", "bytes/site",
                "limit MLUPS", "fraction");
    const int onlyCase = qEnvironmentVariableIntValue("ONDIX_BENCH_CASE");
    int index = 0;
    for (const Case &c : cases) {
        if (onlyCase > 0 && ++index != onlyCase)
            continue;
        Grid grid;
        SimulationParameters *p = grid.getParameters();
        p->setModel(c.q);
        p->setEpsilon(0, 0.8);
        p->setPeriodicBoundaries(!c.closed);
        p->setSinglePopulations(c.single);
        grid.setLeanSites(leanSites());
        grid.resize(c.nx, c.ny, c.nz);
        grid.setVectorLevel(vectorLevel);
        if (c.channel)
            for (int x = 0; x < c.nx; ++x) {
                grid.setCell(x, 0, 0, new WallCell);
                grid.setCell(x, c.ny - 1, 0, new WallCell);
            }
        if (c.cylinder > 0) {
            const double cx = c.nx / 4.0, cy = c.ny / 2.0, r = c.cylinder / 2.0;
            for (int y = 0; y < c.ny; ++y)
                for (int x = 0; x < c.nx; ++x)
                    if ((x + 0.5 - cx) * (x + 0.5 - cx) + (y + 0.5 - cy) * (y + 0.5 - cy) <= r * r)
                        grid.setCell(x, y, 0, new WallCell);
        }
        if (c.tracerType > 0) {
            ScalarSource source;
            source.id = 1;
            source.minx = source.maxx = 2;
            source.miny = c.ny / 2 - 8;
            source.maxy = c.ny / 2 + 8;
            grid.getScalarTracers()->addSource(source, c.tracerType);
        }
        const int iterations = std::max(1, int(c.iterations * scale));
        double perCpu = 0.0;
        const double serial = run(grid, iterations, false, &perCpu);
        const double parallel = run(grid, iterations, true);
        const double perSite = double(grid.memoryBytes()) / grid.siteCount();
        const double bytesPerUpdate = (c.single ? 12.0 : 24.0) * c.q;
        const double limit = bandwidth / bytesPerUpdate / 1e6;
        std::printf("%-28s %10.1f %10.1f %12.1f %12.0f %14.1f %9.0f%%\n", c.name, serial, parallel, perCpu, perSite,
                    limit, 100.0 * parallel / limit);
    }
    std::printf("\n");
    if (only == QLatin1String("step"))
        return 0;
    benchModels(scale, vectorLevel);
    frame();
    benchVtk();
    benchDocument();
    return 0;
}
