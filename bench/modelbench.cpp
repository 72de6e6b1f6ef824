#include "modelbench.h"

#include "benchchannel.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/scalarsource.h"
#include "model/latticeboltzmann/tracers/scalartracersettings.h"

#include <QString>

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

enum class Model { Plain, Gravity, Multiphase, ShanChen, ColourGradient, Heat, Deposition, Porous, Shallow, Colour };

struct ModelCase
{
    const char *name;
    Model model;
    // Whether the model runs on D3Q19 as well.
    bool in3D;
};

const ModelCase modelCases[] = {
    {"plain fluid", Model::Plain, true},
    {"gravity", Model::Gravity, true},
    {"multiphase (psi force)", Model::Multiphase, true},
    {"two components", Model::ShanChen, true},
    {"colour gradient", Model::ColourGradient, true},
    {"heat", Model::Heat, true},
    {"deposition", Model::Deposition, false},
    {"porous (every site)", Model::Porous, true},
    {"shallow water", Model::Shallow, false},
    {"one coloured scalar", Model::Colour, true},
};

// Bytes the heap holds for the process (small blocks and mapped ones).
std::size_t heapBytes()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

void setUp(Grid &grid, Model model, int q, int n, int nz)
{
    SimulationParameters *p = grid.getParameters();
    p->setModel(q);
    p->setEpsilon(0, 0.8);
    p->setEpsilon(1, 0.8);
    p->setPeriodicBoundaries(true);
    p->setMinP0Value(0.98);
    p->setMaxP0Value(1.02);
    grid.resize(n, n, nz);
    switch (model) {
    case Model::Plain:
        break;
    case Model::Gravity:
        p->setGravity(1e-5);
        break;
    case Model::Multiphase:
        p->setMultiphase(-1.0, 1.0, 1.0, 0.0);
        break;
    case Model::ShanChen:
        p->setMulticomponent(2, 0.9, 0.0, 0.0, 1);
        break;
    case Model::ColourGradient:
        p->setMulticomponent(2, 0.0, 0.0, 0.0, 2);
        break;
    case Model::Heat:
        p->setMulticomponent(2, 0.0, 0.0, 0.0, 4);
        break;
    case Model::Deposition:
        p->setMulticomponent(2, 0.0, 0.0, 0.0, 5);
        break;
    case Model::Porous:
        p->setPorousSolidDensityValue(0.1);
        grid.fillRegion("*", 0, n - 1, 0, n - 1, 0, nz - 1);
        break;
    case Model::Shallow:
        grid.fillRegion("h", 0, n - 1, 0, n - 1, 0, nz - 1);
        break;
    case Model::Colour: {
        ScalarSource source;
        source.id = 1;
        source.minx = source.maxx = 2;
        source.miny = n / 2 - 8;
        source.maxy = n / 2 + 8;
        grid.getScalarTracers()->addSource(source, 1);
        break;
    }
    }
}

// Processor time of the whole process (every thread), in seconds.
double processSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// MLUPS with multicore on: one warm-up iteration (which also builds the
// neighbour table) sizes the runs to about `budget` seconds each; best of
// three, as the machine is shared. cpuNs gets the least processor time per
// site update of the three (less sensitive to other loads than the wall
// clock, though waits of the threads count in it).
double measure(Grid &grid, double budget, double &cpuNs)
{
    grid.getParameters()->setMulticore(true);
    auto t0 = BenchClock::now();
    grid.step(1);
    const double once = std::max(1e-4, secondsSince(t0));
    const int iterations = std::max(1, std::min(400, int(std::ceil(budget / once))));
    double best = 0.0;
    cpuNs = 0.0;
    for (int repeat = 0; repeat < 3; ++repeat) {
        t0 = BenchClock::now();
        const double c0 = processSeconds();
        grid.step(iterations);
        const double updates = double(grid.siteCount()) * iterations;
        best = std::max(best, updates / 1e6 / secondsSince(t0));
        const double ns = (processSeconds() - c0) * 1e9 / updates;
        cpuNs = repeat == 0 ? ns : std::min(cpuNs, ns);
    }
    return best;
}

void runLattice(int q, int n, int nz, double timeScale, int vectorLevel)
{
    std::printf("%s %dx%d%s\n", q == 9 ? "D2Q9" : "D3Q19", n, n, nz > 1 ? QString("x%1").arg(nz).toLatin1().constData() : "");
    std::printf("%-26s %10s %12s %12s %12s\n", "model", "MLUPS mc", "bytes/site", "x plain", "cpu ns/LU");
    double plain = 0.0;
    // ONDIX_BENCH_MODEL=text: plain fluid (for the ratio) and the models
    // whose name contains the text.
    const QString only = qEnvironmentVariable("ONDIX_BENCH_MODEL");
    for (const ModelCase &c : modelCases) {
        if (nz > 1 && !c.in3D)
            continue;
        if (!only.isEmpty() && c.model != Model::Plain && !QString(c.name).contains(only))
            continue;
        const std::size_t before = heapBytes();
        auto grid = std::make_unique<Grid>();
        grid->setVectorLevel(vectorLevel);
        setUp(*grid, c.model, q, n, nz);
        double cpuNs = 0.0;
        const double mlups = measure(*grid, 0.4 * timeScale, cpuNs);
        const double perSite = double(heapBytes() - std::min(before, heapBytes())) / grid->siteCount();
        if (c.model == Model::Plain)
            plain = mlups;
        std::printf("%-26s %10.2f %12.0f %12.3f %12.1f\n", c.name, mlups, perSite, plain > 0.0 ? mlups / plain : 0.0,
                    cpuNs);
        std::fflush(stdout);
    }
    std::printf("\n");
}

} // namespace

void benchModels(double timeScale, int vectorLevel)
{
    std::printf("Models, periodic, tau = 0.8, every site of the model's kind, multicore on\n");
    runLattice(9, 512, 1, timeScale, vectorLevel);
    runLattice(19, 64, 64, timeScale, vectorLevel);
}
