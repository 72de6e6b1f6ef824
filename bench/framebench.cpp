#include "framebench.h"

#include "benchchannel.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/multi/mccell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"
#include "view/flatfield.h"
#include "view/lbwidget.h"
#include "view/renderer.h"

#include <QApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

// One draw of the whole view, finished on the GPU.
double frameSeconds(LBWidget &view)
{
    const auto t0 = BenchClock::now();
    view.makeCurrent();
    view.updateGL();
    QOpenGLContext::currentContext()->functions()->glFinish();
    return secondsSince(t0);
}

// Processor seconds of the whole process (all threads, llvmpipe's too).
double processorSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + 1e-9 * t.tv_nsec;
}

// A periodic 2D channel of nx x ny between two walls with a cylinder of
// diameter ny / 4 a quarter of the way along, its fluid started with a
// parabolic profile and stepped, so every painter has a flow to show.
void makeFlowingChannel(Grid &grid, int nx, int ny)
{
    SimulationParameters *p = grid.getParameters();
    p->setModel(9);
    p->setEpsilon(0, 0.8);
    p->setPeriodicBoundaries(true);
    grid.resize(nx, ny, 1);
    const double cx = nx / 4.0, cy = ny / 2.0, r = ny / 8.0;
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) {
            if (y == 0 || y == ny - 1 || (x + 0.5 - cx) * (x + 0.5 - cx) + (y + 0.5 - cy) * (y + 0.5 - cy) <= r * r) {
                grid.setCell(x, y, 0, new WallCell);
            } else if (auto *cell = dynamic_cast<SCCell *>(grid.getCell(x, y, 0))) {
                const double s = (y - 0.5) / (ny - 2);
                cell->setEquilibrium(Vector3d(0.2 * s * (1 - s), 0, 0), 1.0);
            }
        }
    grid.step(200);
}

// The frame of every 2D painter on a 240 x 80 channel (the size of the
// channel example) against a step of that grid: the best of frames that
// alternate with steps, each painter for at most about two seconds. Beside
// the elapsed times, the processor time of frame and step (all threads),
// which a loaded machine disturbs less.
void benchPainters(LBWidget &view)
{
    Grid &grid = *view.getGrid();
    makeFlowingChannel(grid, 240, 80);
    grid.getParameters()->setMulticore(true);
    view.rebuildGeometry(false);
    Renderer &renderer = *view.getRenderer();
    renderer.setFastFlatDrawing(true);
    const char *names[] = {
        "velocity", "pressure",  "arrow",    "normal arrow", "stream function", "vorticity", "vorticity magnitude",
        "detail",   "microflux", "macroflux"};
    std::printf("\nOne frame of each painter on a 240 x 80 D2Q9 channel in an 800 x 800 view (best of several)\n");
    std::printf("%-22s %10s %8s %12s %10s %8s\n", "painter", "frame ms", "steps", "frame cpu ms", "cpu steps",
                "frames");
    const QString only = qEnvironmentVariable("ONDIX_BENCH_PAINTER");
    for (const char *name : names) {
        if (!only.isEmpty() && only != QLatin1String(name))
            continue;
        renderer.selectPainter(QLatin1String(name));
        grid.keepPlainValues(FlatField::keptValue(renderer));
        grid.step(1);
        view.grabFrame();
        double frame = 1e300, step = 1e300, frameCpu = 1e300, stepCpu = 1e300, spent = 0.0;
        int frames = 0;
        while (frames < 40 && (spent < 2.0 || frames < 3)) {
            grid.keepPlainValues(FlatField::keptValue(renderer));
            const auto t0 = BenchClock::now();
            const double c0 = processorSeconds();
            grid.step(1);
            const double c1 = processorSeconds();
            const double s = secondsSince(t0);
            step = std::min(step, s);
            stepCpu = std::min(stepCpu, c1 - c0);
            const double f = frameSeconds(view);
            frameCpu = std::min(frameCpu, processorSeconds() - c1);
            frame = std::min(frame, f);
            spent += s + f;
            ++frames;
        }
        std::printf("%-22s %10.2f %8.1f %12.2f %10.1f %8d\n", name, 1e3 * frame, frame / step, 1e3 * frameCpu,
                    frameCpu / stepCpu, frames);
        std::fflush(stdout);
    }
}

// A 512 x 512 periodic box of two Shan-Chen components (a square of the
// first in the second) drawn by the multicomponent painter, as a run with a
// render interval of 10 shows it: ten steps, then a frame. Prints the best
// frame, the best ten steps and the repaints a second they allow.
void benchMixture(LBWidget &view)
{
    Grid &grid = *view.getGrid();
    SimulationParameters *p = grid.getParameters();
    p->setModel(9);
    p->setEpsilon(0, 1.0);
    p->setPeriodicBoundaries(true);
    grid.resize(512, 512, 1);
    p->setMulticomponentValues(2, 0.9, 0.0, 0.0, 1);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            const bool inside = x >= 156 && x < 356 && y >= 156 && y < 356;
            auto *cell = new MCCell(*p);
            cell->reset(inside ? 1.95 : 0.05, inside ? 0.05 : 1.95);
            grid.setCell(x, y, 0, cell, true, false);
        }
    p->setMulticore(true);
    view.rebuildGeometry(false);
    Renderer &renderer = *view.getRenderer();
    renderer.selectPainter(QStringLiteral("multicomponent"));
    renderer.setFastFlatDrawing(true);
    view.grabFrame();
    double frame = 1e300, steps = 1e300;
    for (int i = 0; i < 3; ++i) {
        const auto t0 = BenchClock::now();
        grid.step(10);
        steps = std::min(steps, secondsSince(t0));
        frame = std::min(frame, frameSeconds(view));
    }
    std::printf("\nA 512 x 512 D2Q9 two-component box, multicomponent painter, render interval 10 (best of 3)\n");
    std::printf("frame %.1f ms (%s), ten steps %.0f ms: %.2f repaints a second\n", 1e3 * frame,
                renderer.lastFrameWasFlat() ? "textured" : "one quad per cell", 1e3 * steps, 1.0 / (frame + steps));
    std::fflush(stdout);
}

} // namespace

void benchFrame()
{
    LBWidget view;
    view.resize(800, 800);
    view.show();
    QApplication::processEvents();
    if (!qEnvironmentVariableIsEmpty("ONDIX_BENCH_PAINTER")) {
        benchPainters(view);
        return;
    }
    Grid &grid = *view.getGrid();
    makeBenchChannel(grid, 512);
    grid.getParameters()->setMulticore(true);
    view.rebuildGeometry(false);
    Renderer &renderer = *view.getRenderer();
    // As in a run: the step before a frame keeps what the frame reads.
    const Grid::PlainValue wanted = FlatField::keptValue(renderer);
    grid.keepPlainValues(wanted);
    grid.step(2);

    renderer.setFastFlatDrawing(false);
    view.grabFrame();
    double quads = 1e300;
    for (int i = 0; i < 5; ++i)
        quads = std::min(quads, frameSeconds(view));

    // Frames and steps alternate, so that both bests come from the same
    // stretch of time on a machine whose speed drifts; each frame follows a
    // step that kept its values, as in a run.
    renderer.setFastFlatDrawing(true);
    view.grabFrame();
    double texture = 1e300, step = 1e300, keepingStep = 1e300;
    auto timeStep = [&grid](Grid::PlainValue keep, double &best) {
        grid.keepPlainValues(keep);
        const auto t0 = BenchClock::now();
        grid.step(1);
        best = std::min(best, secondsSince(t0));
    };
    for (int i = 0; i < 400; ++i) {
        timeStep(Grid::PlainValue::None, step);
        timeStep(wanted, keepingStep);
        texture = std::min(texture, frameSeconds(view));
    }
    std::printf("\nOne frame of a 512 x 512 D2Q9 channel in an 800 x 800 view (best of several)\n");
    std::printf("drawing                  frame ms    steps\n");
    std::printf("%-22s %10.2f %8.2f\n", "flat, textured", 1e3 * texture, texture / step);
    std::printf("%-22s %10.2f %8.2f\n", "one quad per cell", 1e3 * quads, quads / step);
    std::printf("one step (all threads): %.2f ms; one that keeps the frame's values: %.2f ms\n", 1e3 * step,
                1e3 * keepingStep);
    std::fflush(stdout);
    benchPainters(view);
    benchMixture(view);
}
