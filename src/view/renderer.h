#pragma once

#include "camera.h"
#include "colormap.h"
#include "drawitem.h"
#include "streamlinegenerator.h"

#include "model/latticeboltzmann/vector3d.h"
#include "model/latticeboltzmann/vector3i.h"

#include <QColor>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>
#include <vector>

class BaseCell;
class FlatField;
class FluxField;
class LineBatch;
class Grid;
class IsolineSeeder;
class QGLWidget;
class Renderer;

using PainterRoutine = void (*)(Renderer &renderer, bool draw);
// The arrow of a draw item: false for none; rgb its colour, or red < 0 to
// leave the colour as it is (or to the magnitude, when arrows are coloured
// by it). Called on several threads at once.
using ArrowOf = std::function<bool(const DrawItem &item, BaseCell *cell, Vector3d &v, float rgb[3])>;

// The scene of the OpenGL view: owns the grid and the camera, keeps the
// display lists of the axes and the static cells, the list of cells to paint,
// the current painter with its colour range and value buffer, and draws one
// frame. Everything here runs on the GUI thread with the view's GL context
// current whenever GL is touched.
class Renderer : public QObject
{
    Q_OBJECT

public:
    // widget is used for text in the colour bar; it may be null.
    explicit Renderer(QGLWidget *widget = nullptr);
    ~Renderer() override;

    Grid *getGrid() const { return grid.get(); }
    Camera &getCamera() { return camera; }

    // The frame: clears, draws the colour bar, lights, applies the camera and
    // draws the layers, the painted field, the overlays and the probe markers.
    void frame();

    // Recomputes the cell size and origin for the grid's extents, recompiles
    // the axis and static-cell lists, reallocates the value buffer and
    // rebuilds the draw list. Unless keepPlanes, the plane ranges become the
    // whole grid.
    void rebuildGeometry(bool keepPlanes);
    void rebuildDrawList();
    const QVector<DrawItem> &getDrawList() const { return drawList; }
    // The cell of a draw item, or null when the grid no longer has it.
    BaseCell *cellOf(const DrawItem &item) const;

    double getCellSize() const { return cellSize; }
    Vector3d getOrigin() const { return Vector3d(x0, y0, z0); }
    // The model position of the centre of lattice cell (x, y, z) in layer 0.
    Vector3d cellCentre(int x, int y, int z) const;

    // Display layers and options; each toggle inverts its flag.
    bool isStaticShown() const { return showStatic; }
    bool isDynamicShown() const { return showDynamic; }
    bool areParticlesShown() const { return showParticles; }
    bool isAxisShown() const { return showAxis; }
    bool isColorBarShown() const { return showColorBar; }
    bool isSecondDistributionShown() const { return show2ndDistribution; }
    bool areIsolinesShown() const { return showIsolines; }
    bool isHeightmap() const { return heightmap; }
    bool isIlluminated() const { return illumination; }
    bool areForcesShown() const { return showForces; }
    bool areStreamlinesShown() const { return showStreamlines; }
    // True when any of the axis, static, dynamic and particle layers is on.
    bool anyLayerShown() const { return showAxis || showStatic || showDynamic || showParticles; }
    void toggleStatic();
    void toggleDynamic();
    void toggleParticles() { showParticles = !showParticles; }
    void toggleAxis() { showAxis = !showAxis; }
    void toggleColorBar() { showColorBar = !showColorBar; }
    void toggle2ndDistribution();
    void toggleIsolines();
    void toggleHeightmap() { heightmap = !heightmap; }
    void toggleIllumination() { illumination = !illumination; }
    void toggleForces() { showForces = !showForces; }
    void toggleStreamlines();

    QColor getBackground() const { return background; }
    void setBackground(const QColor &c) { background = c; }

    int getArrowSteps() const { return arrowSteps; }
    void setArrowSteps(int steps);
    // The cells per arrow (and per figure of the other line painters) along
    // each axis: the group when it is above 1, otherwise one chosen from the
    // grid size so that the longest side carries at most 48 figures, which
    // keeps them readable and their drawing cheap.
    int lineGroup() const;
    // Whether a draw item carries a figure of the line painters.
    bool carriesFigure(const DrawItem &item, int group) const
    {
        return group <= arrowSteps || (item.x % group == 0 && item.y % group == 0 && item.z % group == 0);
    }
    int getDefaultFaceMask() const { return defaultFaceMask; }
    void setDefaultFaceMask(int mask);
    // Inclusive plane ranges: axis 0 x, 1 y, 2 z.
    int rangeMin(int axis) const { return ranges[axis][0]; }
    int rangeMax(int axis) const { return ranges[axis][1]; }
    void setRangeMin(int axis, int value);
    void setRangeMax(int axis, int value);
    void setPlanes(bool yz, bool xz, bool xy);
    bool planeYZ() const { return planes[0]; }
    bool planeXZ() const { return planes[1]; }
    bool planeXY() const { return planes[2]; }

    // Probe markers at one-based coordinates; a zero coordinate hides the marker.
    void setProbePoint(int x, int y, int z, int index);
    Vector3i getProbePoint(int index) const { return probes[index & 1]; }

    bool isDirty() const { return dirty; }
    void setDirty(bool value) { dirty = value; }

    // Isolines: the seeder gives the iso-values; replacing it makes the
    // cached isolines rebuild. The renderer owns the seeder.
    void setSeeder(IsolineSeeder *seeder);
    IsolineSeeder *getSeeder() const { return seeder.get(); }
    // The segments (2D) or strips (3D) last compiled, in lattice units.
    int isolineIteration() const { return isolinesBuiltAt; }

    // Streamlines of the current generator, drawn when shown; they are traced
    // again after every step and whenever the generator changes.
    void setGenerator(StreamLineGenerator *generator);
    StreamLineGenerator *getGenerator() const { return generator.get(); }
    void invalidateStreamlines() { streamlinesBuiltAt = -1; }
    const QVector<StreamLine> &getStreamlines() const { return streamlines; }

    // The flat 2D field is drawn as one texture filled in parallel when the
    // painter and the options allow it; off, every cell is a quad of its own.
    void setFastFlatDrawing(bool on) { fastFlat = on; }
    bool isFastFlatDrawing() const { return fastFlat; }
    // Whether the last frame took the texture path.
    bool lastFrameWasFlat() const { return lastFlat; }
    // Arrows and line painters are formed in parallel and drawn from vertex
    // arrays; off, each item is drawn by GL calls of its own.
    void setBatchedLines(bool on) { batchedLines = on; }
    bool isBatchedLines() const { return batchedLines; }
    LineBatch &lineBatch() { return *lines; }

    // The grid's derived fields as the painters read them, computed at most
    // once per frame: each computing pass forgets them.
    const std::vector<Vector3d> &vorticityField();
    const std::vector<double> &streamFunctionField();
    // The cross-section flux of the layer z = 0, at x + y nx.
    const std::vector<Vector3d> &fluxField();
    void forgetFields();

    // Painters. An unknown name keeps the current painter.
    void selectPainter(const QString &name);
    QString getPainterName() const { return painterName; }
    void painterPass(bool draw);
    // Tracks v into the minimum and maximum when track is set; returns whether
    // v lies inside the colour range and, when it does, sets its colour.
    bool accept(double v, bool track);
    void setRange(double centre, double halfWidth, bool quiet = false);
    void autoAdjust();
    double getCentre() const { return map.centre; }
    double getHalfWidth() const { return map.halfWidth; }
    double getMinimum() const { return minimum; }
    double getMaximum() const { return maximum; }
    void resetExtremes();
    void track(double v);
    double getScale1() const { return scale1; }
    void setScale1(double v) { scale1 = v; }
    double getScale2() const { return scale2; }
    void setScale2(double v) { scale2 = v; }
    bool isContinuousAutoAdjust() const { return continuousAutoAdjust; }
    void toggleContinuousAutoAdjust() { continuousAutoAdjust = !continuousAutoAdjust; }
    int getColorSteps() const { return map.steps; }
    void setColorSteps(int steps);
    int getColorStyle() const { return map.style; }
    void setStyle(int style);
    int getComponent() const { return component; }
    void setComponent(int c) { component = c; }
    int getStreamIntegrationX() const { return streamX; }
    int getStreamIntegrationY() const { return streamY; }
    void setStreamIntegrationX(int v);
    void setStreamIntegrationY(int v);

    // The colour map with the current range, style and steps.
    QColor color(double v) const { return map.color(v); }
    double quantise(double t) const { return map.quantise(t); }
    const ColorMap &colorMap() const { return map; }

    // Last painted value per lattice point, index x + y nx + z nx ny.
    std::vector<double> &valueBuffer() { return values; }
    int valueIndex(int x, int y, int z) const;

    // Drawing primitives of the painters (inside a painter's draw pass).
    void drawCell(const DrawItem &item, double v);
    // Arrows are scaled so that the longest arrow of the frame spans 0.6 of
    // a line group of cells when scale1 is 10, leaving room between one
    // arrow's head and the next one's tail.
    void drawArrow(const DrawItem &item, const Vector3d &v, bool draw, bool colour);
    // An arrow per draw item, as drawArrow draws them one by one: coloured by
    // magnitude (tracked) when byMagnitude, else as arrowOf says.
    void drawArrows(bool draw, bool byMagnitude, const ArrowOf &arrowOf);

    // Colour bar geometry, in model units.
    void setBarGeometry(double x, double y, double width, double height, double captionX, double captionY,
                        int captionPoints);
    double getBarX() const { return barX; }
    double getBarY() const { return barY; }
    double getBarWidth() const { return barWidth; }
    double getBarHeight() const { return barHeight; }
    double getCaptionX() const { return captionX; }
    double getCaptionY() const { return captionY; }
    int getCaptionPoints() const { return captionPoints; }

    // Held while a frame draws: code on another thread that reads the scene
    // takes it to see a whole frame's state.
    QMutex &renderMutex() { return frameLock; }

signals:
    // The colour range changed (painters, auto adjust or a direct setting).
    void rangeChanged(double centre, double halfWidth);

private:
    QMutex frameLock;
    void fitValueBuffer();
    void compileAxis();
    void compileStatic();
    // Whether lattice point (x, y, z) passes the plane filters.
    bool passesPlanes(int x, int y, int z) const;
    void drawIsolines();
    void compileIsolines2D();
    void compileIsolines3D();
    void drawStreamlines();
    void drawColorBar();
    void setUpLighting();
    void drawForces();
    // The tracer trails: one segment per point from where it was to where it
    // is, in its emitter's colour, when it lies inside the plane ranges.
    void drawTrails();
    void drawProbeMarkers();
    void layerCorner(const DrawItem &item, double &px, double &py, double &pz) const;

    QGLWidget *widget;
    std::unique_ptr<Grid> grid;
    Camera camera;

    unsigned staticList = 0;
    unsigned axisList = 0;
    int isolineList2D = -1;
    int isolineList3D = -1;
    int isolinesBuiltAt = -1;
    std::unique_ptr<IsolineSeeder> seeder;
    std::unique_ptr<StreamLineGenerator> generator;
    QVector<StreamLine> streamlines;
    int streamlinesBuiltAt = -1;
    bool showStreamlines = false;
    bool staticStale = false;
    bool fastFlat = true;
    bool lastFlat = false;
    std::unique_ptr<FlatField> flat;
    bool batchedLines = true;
    std::unique_ptr<LineBatch> lines;
    std::unique_ptr<FluxField> flux;
    // The derived fields of this frame, and whether each is computed.
    std::vector<Vector3d> vorticityValues;
    std::vector<double> streamValues;
    bool haveVorticity = false;
    bool haveStream = false;
    bool haveFlux = false;
    // Largest arrow of the running compute pass and of the last one.
    double arrowPeak = 0.0;
    double arrowReference = 0.0;
    static constexpr double arrowSpan = 0.6;
    double cellSize = 1.0;
    double x0 = -0.5, y0 = -0.5, z0 = -0.5;
    int ranges[3][2] = {{0, 0}, {0, 0}, {0, 0}};
    bool rangesSet = false;

    bool showStatic = true;
    bool showDynamic = true;
    bool showParticles = true;
    bool showAxis = false;
    bool showColorBar = false;
    bool show2ndDistribution = false;
    bool showIsolines = false;
    bool heightmap = false;
    bool illumination = false;
    bool showForces = false;
    QColor background = QColor(255, 255, 255);
    int arrowSteps = 1;
    int defaultFaceMask = 4;
    bool planes[3] = {false, false, false};
    QVector<DrawItem> drawList;
    // No marker until the user places one (0 means unset on every axis).
    Vector3i probes[2] = {Vector3i(0, 0, 0), Vector3i(0, 0, 0)};
    bool dirty = true;

    QString painterName;
    PainterRoutine painter = nullptr;
    double minimum = 1e100;
    double maximum = -1e100;
    ColorMap map;
    double scale1 = 10.0;
    double scale2 = 1.0;
    bool continuousAutoAdjust = true;
    int component = 0;
    int streamX = 0;
    int streamY = 0;
    std::vector<double> values;

    double barX = 0.0;
    double barY = -0.1;
    double barWidth = 1.0;
    double barHeight = 0.01;
    double captionX = 0.0;
    double captionY = 0.0;
    int captionPoints = 12;
};
