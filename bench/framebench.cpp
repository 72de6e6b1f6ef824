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

// One draw of the whole view, finished on the GPU.
double frameSeconds(LBWidget &view)
{
    const auto t0 = BenchClock::now();
    view.makeCurrent();
    view.updateGL();
    QOpenGLContext::currentContext()->functions()->glFinish();
    return secondsSince(t0);
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
}
