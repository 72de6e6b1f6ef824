#include "lbwidget.h"

#include "chart.h"
#include "executor.h"
#include "flatfield.h"
#include "renderer.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/exports.h"
#include "persistence/outputfolder.h"

#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>

LBWidget::LBWidget(QWidget *parent) : QGLWidget(parent)
{
    // A click on the view takes the focus from a text field of the docks.
    setFocusPolicy(Qt::ClickFocus);
    renderer = std::make_unique<Renderer>(this);
    executor = std::make_unique<Executor>(this);
}

LBWidget::~LBWidget()
{
    // The executor goes first: it refers to this widget.
    executor.reset();
    makeCurrent();
    renderer.reset();
}

Grid *LBWidget::getGrid() const
{
    return renderer->getGrid();
}

void LBWidget::setBurst(int iterations)
{
    burst = std::max(1, iterations);
}

void LBWidget::setOutputs(bool imagesOn, bool cellTablesOn, bool timeSeriesOn, int everyIterations)
{
    images = imagesOn;
    cellTables = cellTablesOn;
    timeSeries = timeSeriesOn;
    interval = std::max(1, everyIterations);
}

void LBWidget::registerChart(Chart *chart)
{
    charts << chart;
}

QList<Chart *> LBWidget::getCharts() const
{
    QList<Chart *> list;
    for (const QPointer<Chart> &chart : charts)
        if (chart)
            list << chart;
    return list;
}

void LBWidget::queueRun()
{
    // One pending call at a time: a second Begin must not start a second chain.
    if (queued)
        return;
    queued = true;
    QMetaObject::invokeMethod(this, "runQueued", Qt::QueuedConnection);
}

void LBWidget::runQueued()
{
    queued = false;
    run();
}

void LBWidget::startRun()
{
    running = true;
    startTime = QDateTime::currentDateTime();
    total = 0;
    lastPainted = 0;
    failureReported = false;
    endReported = false;
    queueRun();
}

void LBWidget::stopRun()
{
    running = false;
    outputFolder.clear();
    startTime = QDateTime();
}

void LBWidget::resetRunState()
{
    total = 0;
    lastPainted = 0;
    captureFrame = false;
    captureIteration = 0;
    failureReported = false;
    endReported = false;
    outputFolder.clear();
    // A run that goes on measures its throughput from here.
    if (startTime.isValid())
        startTime = QDateTime::currentDateTime();
    emit timesChanged(0, 0, 0.0);
}

void LBWidget::stepOnce()
{
    failureReported = false;
    running = false;
    run();
}

void LBWidget::stepMany(int n)
{
    failureReported = false;
    for (int i = 0; i < n; ++i) {
        running = false;
        run();
    }
}

void LBWidget::run()
{
    Grid *grid = getGrid();
    SimulationStats &stats = grid->getStatistics();

    // The frame painted at the end of the previous call, when that call
    // ended on a multiple of the interval. The flag, not the iteration count,
    // decides, so bursts longer than one iteration still capture their frames.
    if (images && captureFrame && !outputFolder.isEmpty()) {
        const QString name = QStringLiteral("/img_%1.png").arg(captureIteration, 6, 10, QLatin1Char('0'));
        if (!grabFrame().save(outputFolder + name, "PNG"))
            reportOutputFailure(tr("The image %1 could not be saved.").arg(outputFolder + name));
    }

    // When a frame follows this burst, its last step keeps what the frame
    // reads of the plain fluid, which spares the frame a pass over the
    // populations.
    // A refinement or a new grid restarts the grid's count: the frames
    // follow the new count from this burst on.
    if (stats.iterations < lastPainted)
        lastPainted = stats.iterations - renderUpdate;
    const int after = stats.iterations + burst;
    const bool paints =
        (renderer->anyLayerShown() && after - lastPainted >= renderUpdate) || (images && after % interval == 0);
    grid->keepPlainValues(paints ? FlatField::keptValue(*renderer) : Grid::PlainValue::None);
    const int g = grid->step(burst);
    const int iterations = stats.iterations;
    // Only a step that ran produces a new frame: a grid that refuses to step
    // keeps its count, and capturing it again would rewrite the same file on
    // every turn of the event loop.
    captureFrame = images && g > 0 && iterations % interval == 0;
    captureIteration = iterations;

    if ((renderer->anyLayerShown() && iterations - lastPainted >= renderUpdate) || captureFrame) {
        lastPainted = iterations;
        updateGL();
    }

    if (g > 0) {
        emit stepped();
        total += g;
        if (startTime.isValid()) {
            const QDateTime now = QDateTime::currentDateTime();
            const double sites = double(grid->getWidth()) * grid->getHeight() * grid->getLength();
            const qint64 elapsed = std::max<qint64>(1, startTime.msecsTo(now));
            const double mlups = sites * total / double(elapsed) / 1000.0;
            const int maxIterations = grid->getParameters()->getMaxIterations();
            int remaining = 0;
            if (maxIterations != 0 && mlups > 0)
                remaining = std::max(0, int((maxIterations - iterations) * sites / (mlups * 1000000.0)));
            stats.mlups = mlups;
            emit timesChanged(int(startTime.secsTo(now)), remaining, mlups);
        }
        if ((images || cellTables || timeSeries) && iterations % interval == 0)
            writeOutputs();
        if (!grid->getParameters()->getChartsDisabled())
            for (const QPointer<Chart> &chart : charts)
                if (chart && iterations % chart->interval() == 0)
                    chart->update(grid);
    }

    if (g == 0 && running && !endReported) {
        endReported = true;
        emit ended();
    }
    if (running)
        queueRun();
}

void LBWidget::writeOutputs()
{
    Grid *grid = getGrid();
    const int iterations = grid->getStatistics().iterations;
    QString error;
    if (outputFolder.isEmpty()) {
        outputFolder = folders.createRunFolder(currentFile, QDateTime::currentDateTime(), &error);
        // Without a folder nothing is written; the next multiple tries again.
        if (outputFolder.isEmpty()) {
            reportOutputFailure(error);
            return;
        }
    }
    if (cellTables) {
        const QString path = outputFolder + QStringLiteral("/vp_%1.csv").arg(iterations, 6, 10, QLatin1Char('0'));
        if (!Exports::writeCellTable(-1, -1, -1, *grid, path, &error))
            reportOutputFailure(error);
    }
    if (timeSeries) {
        if (!Exports::appendTimeSeries(*grid, outputFolder + QStringLiteral("/simulation.csv"), &error))
            reportOutputFailure(error);
    }
}

void LBWidget::reportOutputFailure(const QString &message)
{
    if (failureReported)
        return;
    failureReported = true;
    emit outputFailed(message);
}

QImage LBWidget::grabFrame()
{
    makeCurrent();
    paintGL();
    glFinish();
    return grabFrameBuffer();
}

void LBWidget::rebuildGeometry(bool keepPlanes, bool keepCamera)
{
    makeCurrent();
    renderer->rebuildGeometry(keepPlanes);
    if (!keepCamera)
        resetCamera();
}

void LBWidget::resetCamera()
{
    makeCurrent();
    Camera &camera = renderer->getCamera();
    camera.reset();
    // Reload the projection now, so the reset zoom is what the next frame shows.
    camera.resize(width(), height(), 0);
    emit zoomChanged(camera.getZoom());
    emit anglesChanged(0, 0, 0);
    emit translationChanged(0, 0, 0);
    update();
}

void LBWidget::resizeGL(int width, int height)
{
    renderer->getCamera().resize(width, height, 0);
    update();
}

void LBWidget::paintGL()
{
    renderer->frame();
}

void LBWidget::mousePressEvent(QMouseEvent *event)
{
    mouseButton = event->button() == Qt::LeftButton ? 1 : (event->button() == Qt::RightButton ? 2 : 0);
    const Vector3d point = Camera::trackballPoint(event->x(), event->y(), width(), height());
    if (mouseButton == 1) {
        lastX = event->x();
        lastY = event->y();
    } else if (mouseButton == 2) {
        lastTrackball = point;
    }
    pressed = true;
    moved = false;
}

void LBWidget::mouseMoveEvent(QMouseEvent *event)
{
    moved = true;
    if (!pressed)
        return;
    Camera &camera = renderer->getCamera();
    if (mouseButton == 1) {
        const int dx = event->x() - lastX, dy = lastY - event->y();
        camera.pan(dx * 0.001, dy * 0.001);
        const Vector3d t = camera.getTranslation();
        emit translationChanged(t.x, t.y, t.z);
        lastX = event->x();
        lastY = event->y();
    } else if (mouseButton == 2) {
        const Vector3d p = Camera::trackballPoint(event->x(), event->y(), width(), height());
        if ((p - lastTrackball).length() > 0.001) {
            camera.rotate(lastTrackball, p);
            emit anglesChanged(int(camera.getRoll()), int(camera.getPitch()), int(camera.getYaw()));
            lastTrackball = p;
        }
    } else {
        return;
    }
    updateGL();
}

void LBWidget::mouseReleaseEvent(QMouseEvent *)
{
    pressed = false;
}

void LBWidget::wheelEvent(QWheelEvent *event)
{
    const double step = -event->angleDelta().y() * 0.001;
    makeCurrent();
    Camera &camera = renderer->getCamera();
    camera.resize(width(), height(), step);
    emit zoomChanged(camera.getZoom());
    updateGL();
}
