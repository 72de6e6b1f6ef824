#pragma once

#include "model/latticeboltzmann/vector3d.h"
#include "persistence/outputfolder.h"

#include <QDateTime>
#include <QGLWidget>
#include <QList>
#include <QPointer>
#include <QString>

#include <memory>

class Chart;
class Executor;
class Grid;
class Renderer;

// The OpenGL view of the simulation. It owns the renderer (and through it the
// grid) and runs the simulation: each call of the slot run advances the grid
// by a burst of iterations, repaints when due, and writes the periodic frame
// captures and tables. While a run is active each call queues the next one on
// the event loop, so bursts alternate with painting and input.
class LBWidget : public QGLWidget
{
    Q_OBJECT

public:
    explicit LBWidget(QWidget *parent = nullptr);
    ~LBWidget() override;

    Renderer *getRenderer() const { return renderer.get(); }
    Grid *getGrid() const;

    // Run control.
    void startRun();
    void stopRun();
    void stepOnce();
    void stepMany(int n);
    void clearOutputFolder() { outputFolder.clear(); }
    // Forgets the run's counts, pending capture and folder: after a Reset or
    // a new geometry the iteration count starts again at 0, and the counts of
    // the earlier run would hold back repaints and name the wrong frames.
    void resetRunState();
    bool isRunning() const { return running; }
    int getTotal() const { return total; }
    int getLastPainted() const { return lastPainted; }
    QString getOutputFolder() const { return outputFolder; }
    // The folder of the periodic outputs of the coming run; by default each
    // run makes its own in the output folder on its first output.
    void setOutputFolder(const QString &path) { outputFolder = path; }
    // Where this view's runs make their folders (see OutputFolder).
    OutputFolder &runFolders() { return folders; }
    const OutputFolder &runFolders() const { return folders; }

    // Iterations per call of run (at least 1) and iterations between repaints.
    int getBurst() const { return burst; }
    void setBurst(int iterations);
    int getRenderUpdate() const { return renderUpdate; }
    void setRenderUpdate(int iterations) { renderUpdate = iterations; }
    // Periodic outputs: frame captures, per-cell tables and the run table,
    // every interval iterations (an interval below 1 counts as 1).
    void setOutputs(bool images, bool cellTables, bool timeSeries, int interval);
    bool imagesEnabled() const { return images; }
    bool cellTableEnabled() const { return cellTables; }
    bool timeSeriesEnabled() const { return timeSeries; }
    int getInterval() const { return interval; }
    // The loaded geometry or state file; names the run folder.
    void setCurrentFile(const QString &path) { currentFile = path; }
    QString getCurrentFile() const { return currentFile; }
    int getUpdatePeriod() const { return updatePeriod; }
    void setUpdatePeriod(int ms) { updatePeriod = ms; }

    // Charts the run loop samples every chart interval, unless the
    // parameters disable charts. The charts belong to their owner.
    void registerChart(Chart *chart);
    QList<Chart *> getCharts() const;

    // Renders the scene into the back buffer and returns it as an image.
    QImage grabFrame();
    // Rebuilds the renderer's display lists and draw list for the grid.
    // Unless keepCamera, the camera starts afresh: a new domain is seen whole.
    void rebuildGeometry(bool keepPlanes, bool keepCamera = true);
    // Identity orientation, zoom 1, no translation, applied at once.
    void resetCamera();

public slots:
    void run();

private slots:
    // The call queued by the run loop; only it may clear the pending flag.
    void runQueued();

signals:
    // Seconds since Begin, estimated seconds left, and the throughput.
    void timesChanged(int elapsedSeconds, int remainingSeconds, double mlups);
    // Read-backs of the camera for the view settings.
    void zoomChanged(double zoom);
    void anglesChanged(int roll, int pitch, int yaw);
    void translationChanged(double x, double y, double z);
    // A burst ran (at least one iteration).
    void stepped();
    // The running loop met a grid that no longer steps (its iteration limit
    // or convergence test ended the run); sent once per run, after the last
    // frame was captured.
    void ended();
    // A periodic output could not be written; sent once per run.
    void outputFailed(const QString &message);

protected:
    void initializeGL() override {}
    void resizeGL(int width, int height) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void queueRun();
    void writeOutputs();
    void reportOutputFailure(const QString &message);

    std::unique_ptr<Renderer> renderer;
    // Declared after the renderer so that it is destroyed first.
    std::unique_ptr<Executor> executor;

    int updatePeriod = 0;
    int burst = 1;
    int renderUpdate = 10;
    bool images = false;
    bool cellTables = false;
    bool timeSeries = false;
    int interval = 10;
    QString currentFile;
    QList<QPointer<Chart>> charts;

    QString outputFolder;
    OutputFolder folders;
    int total = 0;
    int lastPainted = 0;
    QDateTime startTime;
    bool captureFrame = false;
    int captureIteration = 0;
    bool running = false;
    bool queued = false;
    bool failureReported = false;
    bool endReported = false;

    int mouseButton = 0;
    int lastX = 0;
    int lastY = 0;
    Vector3d lastTrackball;
    bool pressed = false;
    bool moved = false;
};
