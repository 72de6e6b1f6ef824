#include "framebench.h"

#include "benchchannel.h"
#include "model/latticeboltzmann/grid.h"
#include "persistence/simulationparameters.h"
#include "view/flatfield.h"
#include "view/lbwidget.h"
#include "view/renderer.h"

#include <QApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <algorithm>
#include <cstdio>

namespace {

// The best of several draws of the whole view, each finished on the GPU.
double frameSeconds(LBWidget &view, bool textured, int repeats)
{
    view.getRenderer()->setFastFlatDrawing(textured);
    view.grabFrame();
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        const auto t0 = BenchClock::now();
        view.makeCurrent();
        view.updateGL();
        QOpenGLContext::currentContext()->functions()->glFinish();
        best = std::min(best, secondsSince(t0));
    }
    return best;
}

} // namespace

void benchFrame()
{
    LBWidget view;
    view.resize(800, 800);
    view.show();
    QApplication::processEvents();
    Grid &grid = *view.getGrid();
    makeBenchChannel(grid, 512);
    grid.getParameters()->setMulticore(true);
    view.rebuildGeometry(false);
    // As in a run: the step before a frame keeps what the frame reads.
    const Grid::PlainValue wanted = FlatField::keptValue(*view.getRenderer());
    grid.keepPlainValues(wanted);
    grid.step(2);
    const double quads = frameSeconds(view, false, 5);
    const double texture = frameSeconds(view, true, 1000);
    double step = 1e300, keepingStep = 1e300;
    for (int i = 0; i < 40; ++i) {
        grid.keepPlainValues(i % 2 ? wanted : Grid::PlainValue::None);
        const auto t0 = BenchClock::now();
        grid.step(1);
        double &best = i % 2 ? keepingStep : step;
        best = std::min(best, secondsSince(t0));
    }
    std::printf("\nOne frame of a 512 x 512 D2Q9 channel in an 800 x 800 view (best of several)\n");
    std::printf("drawing                  frame ms    steps\n");
    std::printf("%-22s %10.2f %8.2f\n", "flat, textured", 1e3 * texture, texture / step);
    std::printf("%-22s %10.2f %8.2f\n", "one quad per cell", 1e3 * quads, quads / step);
    std::printf("one step (all threads): %.2f ms; one that keeps the frame's values: %.2f ms\n", 1e3 * step,
                1e3 * keepingStep);
}
