#include "renderer.h"

#include "equallyspacedseeder.h"
#include "flatfield.h"
#include "fluxfield.h"
#include "immersedpainter.h"
#include "isolines.h"
#include "linebatch.h"
#include "painters.h"
#include "seedgenerator.h"
#include "shapepainter.h"

#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/dragwallcell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/thermalwall.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/partialslipboundary.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/latticeboltzmann/tracers/tracerset.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QMutexLocker>
#include <QtOpenGL>

#include <algorithm>
#include <array>
#include <cmath>
#include <typeinfo>

namespace {

// Colour of a static (non-fluid) cell in the static list, by its exact class.
enum class StaticColour { Own, Inherit, Skip };

StaticColour staticColour(BaseCell *cell, float rgb[3])
{
    // A colour wrapper is drawn as the cell it wraps.
    cell = PassiveScalarCell::innerOf(cell);
    const std::type_info &type = typeid(*cell);
    auto set = [rgb](float r, float g, float b) {
        rgb[0] = r;
        rgb[1] = g;
        rgb[2] = b;
        return StaticColour::Own;
    };
    if (type == typeid(SourceCell))
        return set(1.0f, 0.0f, 0.0f);
    if (type == typeid(WallCell) || type == typeid(ThermalWall) || type == typeid(DragWallCell) ||
        type == typeid(PartialSlipBoundary))
        return set(0.5f, 0.5f, 0.5f);
    if (type == typeid(OpenCell))
        return set(0.0f, 0.0f, 0.0f);
    if (type == typeid(NullCell) || type == typeid(MovingCell))
        return StaticColour::Skip;
    return StaticColour::Inherit;
}

} // namespace

Renderer::Renderer(QGLWidget *widget) : widget(widget), grid(std::make_unique<Grid>())
{
    selectPainter(QStringLiteral("velocity"));
    seeder = std::make_unique<EquallySpacedSeeder>(10, *this);
    generator = std::make_unique<SeedGenerator>(*grid);
    flat = std::make_unique<FlatField>();
    lines = std::make_unique<LineBatch>();
    flux = std::make_unique<FluxField>();
}

// The view makes its context current before it destroys the renderer.
Renderer::~Renderer()
{
    if (staticList)
        glDeleteLists(staticList, 1);
    if (axisList)
        glDeleteLists(axisList, 1);
    if (isolineList2D >= 0)
        glDeleteLists(GLuint(isolineList2D), 1);
    if (isolineList3D >= 0)
        glDeleteLists(GLuint(isolineList3D), 1);
    flat->release();
}

int Renderer::valueIndex(int x, int y, int z) const
{
    return x + y * grid->getWidth() + z * grid->getWidth() * grid->getHeight();
}

BaseCell *Renderer::cellOf(const DrawItem &item) const
{
    return grid->getCell(item.x, item.y, item.z);
}

Vector3d Renderer::cellCentre(int x, int y, int z) const
{
    return Vector3d(x0 + (x + 0.5) * cellSize, y0 + (y + 0.5) * cellSize, z0 + (z + 0.5) * cellSize);
}

void Renderer::layerCorner(const DrawItem &item, double &px, double &py, double &pz) const
{
    px = x0 + 1.1 * item.layer + item.x * cellSize;
    py = y0 + item.y * cellSize;
    pz = z0 + item.z * cellSize;
}

void Renderer::rebuildGeometry(bool keepPlanes)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    const int nx = grid->getWidth(), ny = grid->getHeight(), nz = grid->getLength();
    cellSize = std::min({1.0 / nx, 1.0 / ny, 1.0 / nz});
    x0 = -nx * cellSize / 2;
    y0 = -ny * cellSize / 2;
    z0 = -nz * cellSize / 2;

    compileAxis();
    if (!keepPlanes || !rangesSet) {
        ranges[0][0] = 0;
        ranges[0][1] = nx;
        ranges[1][0] = 0;
        ranges[1][1] = ny;
        ranges[2][0] = 0;
        ranges[2][1] = nz;
        rangesSet = true;
    }
    values.assign(std::size_t(nx) * ny * nz, 0.0);
    rebuildDrawList();
    compileStatic();
    staticStale = false;
}

void Renderer::compileAxis()
{
    if (axisList)
        glDeleteLists(axisList, 1);
    axisList = glGenLists(1);
    glNewList(axisList, GL_COMPILE);
    glBegin(GL_LINES);
    glColor3f(1, 0, 0);
    glVertex3d(x0, y0, z0);
    glVertex3d(1, y0, z0);
    glVertex3d(0.95, y0 + 0.02, z0);
    glVertex3d(1, y0, z0);
    glVertex3d(0.95, y0 - 0.02, z0);
    glVertex3d(1, y0, z0);
    glColor3f(0, 1, 0);
    glVertex3d(x0, y0, z0);
    glVertex3d(x0, 1, z0);
    glVertex3d(x0 + 0.02, 0.95, z0);
    glVertex3d(x0, 1, z0);
    glVertex3d(x0 - 0.02, 0.95, z0);
    glVertex3d(x0, 1, z0);
    glColor3f(0, 0, 1);
    glVertex3d(x0, y0, z0);
    glVertex3d(x0, y0, 1);
    glVertex3d(x0 + 0.02, y0 + 0.02, 0.95);
    glVertex3d(x0, y0, 1);
    glVertex3d(x0 - 0.02, y0 - 0.02, 0.95);
    glVertex3d(x0, y0, 1);
    glEnd();
    glEndList();
}

// The static cells, each as three faces: its square in the xy plane and two
// upright faces along x and along y. Neighbouring cells of one colour share
// their faces' edges, so each face kind is drawn as one quad per run of such
// cells (along x for the first two, along y for the third): the same
// surfaces with far fewer primitives, which a software renderer pays for
// one by one.
void Renderer::compileStatic()
{
    if (staticList)
        glDeleteLists(staticList, 1);
    staticList = glGenLists(1);
    glNewList(staticList, GL_COMPILE);
    const int nx = grid->getWidth(), ny = grid->getHeight(), nz = grid->getLength();
    const double s = cellSize, t = arrowSteps * cellSize;
    // Each site's colour as an index into colours, -1 where nothing is
    // drawn. Cells without a colour of their own take the one set last in
    // site order; index 0 is the colour current when the list is called.
    // staticColour knows only a few colours, so an index fits a byte.
    std::vector<std::array<float, 3>> colours(1);
    std::vector<signed char> colourOf(std::size_t(nx) * ny * nz, -1);
    int current = 0;
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z) {
                BaseCell *cell = grid->getCell(x, y, z);
                if (!cell || cell->isFluid() || !passesPlanes(x, y, z))
                    continue;
                float rgb[3];
                const StaticColour kind = staticColour(cell, rgb);
                if (kind == StaticColour::Skip)
                    continue;
                if (kind == StaticColour::Own) {
                    const std::array<float, 3> c{rgb[0], rgb[1], rgb[2]};
                    current = int(std::find(colours.begin() + 1, colours.end(), c) - colours.begin());
                    if (current == int(colours.size()))
                        colours.push_back(c);
                    Q_ASSERT(colours.size() <= 128);
                }
                colourOf[std::size_t(grid->siteIndex(x, y, z))] = static_cast<signed char>(current);
            }
    auto colourAt = [&](int x, int y, int z) { return colourOf[std::size_t(grid->siteIndex(x, y, z))]; };
    // Faces wider than a cell overlap their neighbours' and are merged the
    // same way; narrower ones would leave gaps, so they stay one per cell.
    const bool mergeUpright = t >= s;
    glBegin(GL_QUADS);
    for (int c = 0; c < int(colours.size()); ++c) {
        if (c > 0)
            glColor3f(colours[std::size_t(c)][0], colours[std::size_t(c)][1], colours[std::size_t(c)][2]);
        // Runs along x: the squares and the faces along x.
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y)
                for (int x = 0; x < nx; ++x) {
                    if (colourAt(x, y, z) != c)
                        continue;
                    int last = x;
                    while (last + 1 < nx && colourAt(last + 1, y, z) == c)
                        ++last;
                    const double px = x0 + x * s, py = y0 + y * s, pz = z0 + z * s, end = x0 + last * s;
                    glNormal3d(0, 0, 1);
                    glVertex3d(px, py, pz);
                    glVertex3d(end + s, py, pz);
                    glVertex3d(end + s, py + s, pz);
                    glVertex3d(px, py + s, pz);
                    glNormal3d(0, 1, 0);
                    // One face over the run, or one per cell.
                    for (int k = x; k <= (mergeUpright ? x : last); ++k) {
                        const double from = x0 + k * s, to = (mergeUpright ? end : from) + t;
                        glVertex3d(from, py, pz);
                        glVertex3d(to, py, pz);
                        glVertex3d(to, py, pz + t);
                        glVertex3d(from, py, pz + t);
                    }
                    x = last;
                }
        // Runs along y: the faces along y.
        for (int z = 0; z < nz; ++z)
            for (int x = 0; x < nx; ++x)
                for (int y = 0; y < ny; ++y) {
                    if (colourAt(x, y, z) != c)
                        continue;
                    int last = y;
                    while (mergeUpright && last + 1 < ny && colourAt(x, last + 1, z) == c)
                        ++last;
                    const double px = x0 + x * s, py = y0 + y * s, pz = z0 + z * s, end = y0 + last * s + t;
                    glNormal3d(1, 0, 0);
                    glVertex3d(px, py, pz);
                    glVertex3d(px, end, pz);
                    glVertex3d(px, end, pz + t);
                    glVertex3d(px, py, pz + t);
                    y = last;
                }
    }
    glEnd();
    glEndList();
}

bool Renderer::passesPlanes(int x, int y, int z) const
{
    auto inside = [this](int axis, int v) { return ranges[axis][0] <= v && v <= ranges[axis][1]; };
    const bool inBox = inside(0, x) && inside(1, y) && inside(2, z);
    return inBox || (planes[0] && inside(0, x)) || (planes[1] && inside(1, y)) || (planes[2] && inside(2, z));
}

void Renderer::rebuildDrawList()
{
    // The static cells follow the same filter, so narrowed ranges cut the
    // walls away and show the inside of a closed 3D domain. The list is
    // compiled in the next frame, where the GL context is current.
    staticStale = true;
    drawList.clear();
    const int nx = grid->getWidth(), ny = grid->getHeight(), nz = grid->getLength();
    const int layers = show2ndDistribution ? grid->getParameters()->getMcQuantity() + 1 : 1;
    const int step = std::max(1, arrowSteps);
    auto inside = [this](int axis, int v) { return ranges[axis][0] <= v && v <= ranges[axis][1]; };
    for (int layer = 0; layer < layers; ++layer)
        for (int y = 0; y < ny; y += step)
            for (int x = 0; x < nx; x += step)
                for (int z = 0; z < nz; z += step) {
                    const bool onYZ = planes[0] && inside(0, x);
                    const bool onXZ = planes[1] && inside(1, y);
                    const bool onXY = planes[2] && inside(2, z);
                    const bool inBox = inside(0, x) && inside(1, y) && inside(2, z);
                    if (!(onYZ || onXZ || onXY || inBox))
                        continue;
                    BaseCell *cell = grid->getCell(x, y, z);
                    if (!cell || !cell->isFluid())
                        continue;
                    DrawItem item{x, y, z, layer, defaultFaceMask};
                    if (!(onYZ || onXZ || onXY)) {
                        drawList.append(item);
                        continue;
                    }
                    const bool on[3] = {onYZ, onXZ, onXY};
                    for (int plane = 0; plane < 3; ++plane)
                        if (on[plane]) {
                            item.mask = 1 << plane;
                            drawList.append(item);
                        }
                }
}

void Renderer::toggleStatic()
{
    showStatic = !showStatic;
    if (showStatic)
        rebuildGeometry(true);
}

void Renderer::toggleDynamic()
{
    showDynamic = !showDynamic;
    dirty = true;
}

void Renderer::toggle2ndDistribution()
{
    show2ndDistribution = !show2ndDistribution;
    rebuildDrawList();
}

void Renderer::toggleStreamlines()
{
    showStreamlines = !showStreamlines;
    streamlinesBuiltAt = -1;
}

void Renderer::setSeeder(IsolineSeeder *newSeeder)
{
    seeder.reset(newSeeder);
    dirty = true;
}

void Renderer::setGenerator(StreamLineGenerator *newGenerator)
{
    generator.reset(newGenerator);
    streamlinesBuiltAt = -1;
}

void Renderer::toggleIsolines()
{
    showIsolines = !showIsolines;
    if (showIsolines)
        dirty = true;
}

void Renderer::setArrowSteps(int steps)
{
    arrowSteps = std::max(1, steps);
    rebuildDrawList();
}

int Renderer::lineGroup() const
{
    if (arrowSteps > 1)
        return arrowSteps;
    const int figures = 48;
    const int longest = std::max({grid->getWidth(), grid->getHeight(), grid->getLength()});
    return std::max(1, (longest + figures - 1) / figures);
}

void Renderer::setDefaultFaceMask(int mask)
{
    defaultFaceMask = mask;
    rebuildDrawList();
}

void Renderer::setRangeMin(int axis, int value)
{
    ranges[axis][0] = value;
    dirty = true;
    rebuildDrawList();
}

void Renderer::setRangeMax(int axis, int value)
{
    ranges[axis][1] = value;
    dirty = true;
    rebuildDrawList();
}

void Renderer::setPlanes(bool yz, bool xz, bool xy)
{
    planes[0] = yz;
    planes[1] = xz;
    planes[2] = xy;
    rebuildDrawList();
}

void Renderer::setProbePoint(int x, int y, int z, int index)
{
    probes[index & 1] = Vector3i(x, y, z);
}

void Renderer::selectPainter(const QString &name)
{
    PainterRoutine routine = Painters::find(name);
    dirty = true;
    if (!routine)
        return;
    painterName = name;
    painter = routine;
}

void Renderer::resetExtremes()
{
    minimum = 1e100;
    maximum = -1e100;
}

void Renderer::track(double v)
{
    minimum = std::min(minimum, v);
    maximum = std::max(maximum, v);
}

void Renderer::fitValueBuffer()
{
    const std::size_t sites = std::size_t(grid->getWidth()) * grid->getHeight() * grid->getLength();
    if (values.size() != sites)
        values.assign(sites, 0.0);
}

void Renderer::forgetFields()
{
    haveVorticity = haveStream = haveFlux = false;
}

const std::vector<Vector3d> &Renderer::vorticityField()
{
    if (!haveVorticity)
        vorticityValues = grid->vorticity();
    haveVorticity = true;
    return vorticityValues;
}

const std::vector<double> &Renderer::streamFunctionField()
{
    if (!haveStream)
        streamValues = grid->streamFunction(streamX, streamY);
    haveStream = true;
    return streamValues;
}

const std::vector<Vector3d> &Renderer::fluxField()
{
    if (!haveFlux)
        flux->compute(*grid);
    haveFlux = true;
    return flux->values();
}

void Renderer::painterPass(bool draw)
{
    fitValueBuffer();
    if (!draw) {
        arrowPeak = 0;
        forgetFields();
    }
    if (painter)
        painter(*this, draw);
    if (!draw)
        arrowReference = arrowPeak;
}

bool Renderer::accept(double v, bool trackValue)
{
    if (trackValue)
        track(v);
    const QColor c = map.color(v);
    if (ColorMap::isWhite(c))
        return false;
    glColor3ub(GLubyte(c.red()), GLubyte(c.green()), GLubyte(c.blue()));
    return true;
}

void Renderer::setRange(double centre, double halfWidth, bool quiet)
{
    map.centre = centre;
    map.halfWidth = halfWidth;
    dirty = true;
    if (!quiet)
        emit rangeChanged(centre, halfWidth);
}

void Renderer::autoAdjust()
{
    // A pass that tracked no value (no fluid, or a painter of another cell
    // kind) would give an inverted range that hides everything.
    if (!(minimum <= maximum))
        return;
    double centre = (minimum + maximum) / 2, halfWidth = (maximum - minimum) / 2 * 1.01;
    // The widening stops at 0 for a quantity that cannot be negative: a
    // speed range does not start below 0 (a value of exactly 0, at the edge,
    // is then not drawn).
    if (minimum >= 0.0 && centre - halfWidth < 0.0 && Painters::isNonNegative(painterName)) {
        const double top = centre + halfWidth;
        centre = top / 2;
        halfWidth = top / 2;
    }
    // An unchanged range keeps the cached isolines: with continuous auto
    // adjust on, every frame adjusts.
    if (centre != map.centre || halfWidth != map.halfWidth)
        dirty = true;
    map.centre = centre;
    map.halfWidth = halfWidth;
    emit rangeChanged(map.centre, map.halfWidth);
}

void Renderer::setColorSteps(int steps)
{
    map.steps = steps;
}

void Renderer::setStyle(int style)
{
    map.style = style;
    dirty = true;
}

void Renderer::setStreamIntegrationX(int v)
{
    streamX = v;
    dirty = true;
}

void Renderer::setStreamIntegrationY(int v)
{
    streamY = v;
    dirty = true;
}

void Renderer::drawCell(const DrawItem &item, double v)
{
    const double s = cellSize;
    const int step = std::max(1, arrowSteps);
    const double shift = (step - 1) / 2.0;
    const double lx = x0 + 1.1 * item.layer;
    if (item.mask & 4) {
        glNormal3d(0, 0, -1);
        if (!heightmap) {
            const double ax = lx + (item.x - shift) * s, ay = y0 + (item.y - shift) * s;
            const double z = z0 + (item.z + 0.5 - shift) * s;
            glVertex3d(ax, ay, z);
            glVertex3d(ax + step * s, ay, z);
            glVertex3d(ax + step * s, ay + step * s, z);
            glVertex3d(ax, ay + step * s, z);
        } else {
            const int nx = grid->getWidth();
            const double low = map.centre - map.halfWidth;
            auto height = [&](double w) { return (w - low) * (scale1 / 100) / (2 * map.halfWidth); };
            // A corner takes its neighbour's height only when that neighbour is fluid.
            auto cornerValue = [&](int dx, int dy) {
                BaseCell *n = grid->getCell(item.x + dx, item.y + dy, item.z);
                const std::size_t index = std::size_t(item.x + dx) + std::size_t(item.y + dy) * nx;
                if (!n || !n->isFluid() || index >= values.size())
                    return v;
                return values[index];
            };
            const double base = z0 + item.z * s;
            const double hx[4] = {0, double(step), double(step), 0}, hy[4] = {0, 0, double(step), double(step)};
            const double hv[4] = {v, cornerValue(1, 0), cornerValue(1, 1), cornerValue(0, 1)};
            for (int k = 0; k < 4; ++k)
                glVertex3d(lx + (item.x + hx[k]) * s, y0 + (item.y + hy[k]) * s, base + height(hv[k]));
        }
    }
    if (item.mask & 2) {
        glNormal3d(0, -1, 0);
        const double y = y0 + (item.y + 0.5) * s;
        const double ax = lx + item.x * s, az = z0 + item.z * s;
        glVertex3d(ax, y, az);
        glVertex3d(ax + step * s, y, az);
        glVertex3d(ax + step * s, y, az + step * s);
        glVertex3d(ax, y, az + step * s);
    }
    if (item.mask & 1) {
        glNormal3d(-1, 0, 0);
        const double x = lx + (item.x + 0.5) * s;
        const double ay = y0 + item.y * s, az = z0 + item.z * s;
        glVertex3d(x, ay, az);
        glVertex3d(x, ay + step * s, az);
        glVertex3d(x, ay + step * s, az + step * s);
        glVertex3d(x, ay, az + step * s);
    }
}

void Renderer::drawArrow(const DrawItem &item, const Vector3d &v, bool draw, bool colour)
{
    glLineWidth(GLfloat(scale2));
    glPointSize(1.0f);
    if (v.x == 0.0 && v.y == 0.0 && v.z == 0.0)
        return;
    if (colour)
        accept(v.length(), true);
    if (!draw) {
        arrowPeak = std::max(arrowPeak, v.length());
        return;
    }
    const double s = cellSize;
    const Vector3d p(x0 + 1.1 * item.layer + (item.x + 0.5) * s, y0 + (item.y + 0.5) * s, z0 + (item.z + 0.5) * s);
    // Lattice velocities are a few hundredths: scaled by the frame's largest
    // arrow, arrows stay readable whatever the flow's speed.
    const double reference = arrowReference > 0 ? arrowReference : v.length();
    const double k = arrowSpan * lineGroup() * s * scale1 / 10 / reference;
    const Vector3d tip = p + v * k;
    glBegin(GL_POINTS);
    glVertex3d(p.x, p.y, p.z);
    glEnd();
    glBegin(GL_LINES);
    glVertex3d(p.x, p.y, p.z);
    glVertex3d(tip.x, tip.y, tip.z);
    if (v.x != 0.0) {
        const double a = std::sqrt(0.0025 * (v.x * v.x + v.y * v.y) / (v.y * v.y / (v.x * v.x) + 1));
        const double nx = -v.y * a / v.x, ny = a;
        for (int sign = 1; sign >= -1; sign -= 2) {
            const Vector3d barb = p + Vector3d(0.75 * v.x + sign * nx, 0.75 * v.y + sign * ny, v.z) * k;
            glVertex3d(tip.x, tip.y, tip.z);
            glVertex3d(barb.x, barb.y, barb.z);
        }
    }
    glEnd();
}

void Renderer::drawArrows(bool draw, bool byMagnitude, const ArrowOf &arrowOf)
{
    const int group = lineGroup();
    if (!batchedLines) {
        for (const DrawItem &item : drawList) {
            if (!carriesFigure(item, group))
                continue;
            BaseCell *cell = cellOf(item);
            Vector3d v;
            float rgb[3] = {-1.0f, 0.0f, 0.0f};
            if (!cell || !arrowOf(item, cell, v, rgb))
                continue;
            if (rgb[0] >= 0.0f && !byMagnitude)
                glColor3f(rgb[0], rgb[1], rgb[2]);
            drawArrow(item, v, draw, byMagnitude);
        }
        return;
    }
    const double s = cellSize;
    const double reference = arrowReference;
    const double scale = arrowSpan * group * s * scale1 / 10;
    const DrawItem *items = drawList.constData();
    lines->collect(drawList.size(), [&](LineBatch::Chunk &chunk, int first, int end) {
        for (int i = first; i < end; ++i) {
            const DrawItem &item = items[i];
            if (!carriesFigure(item, group))
                continue;
            BaseCell *cell = cellOf(item);
            Vector3d v;
            float rgb[3] = {-1.0f, 0.0f, 0.0f};
            if (!cell || !arrowOf(item, cell, v, rgb))
                continue;
            if (v.x == 0.0 && v.y == 0.0 && v.z == 0.0)
                continue;
            const double length = v.length();
            if (byMagnitude) {
                chunk.track(length);
                const QColor c = map.color(length);
                if (!ColorMap::isWhite(c))
                    chunk.colour(c.red() / 255.0f, c.green() / 255.0f, c.blue() / 255.0f);
            } else if (rgb[0] >= 0.0f) {
                chunk.colour(rgb[0], rgb[1], rgb[2]);
            }
            if (!draw) {
                chunk.reach(length);
                continue;
            }
            // As drawArrow draws it.
            const Vector3d p(x0 + 1.1 * item.layer + (item.x + 0.5) * s, y0 + (item.y + 0.5) * s,
                             z0 + (item.z + 0.5) * s);
            const double k = scale / (reference > 0 ? reference : length);
            const Vector3d tip = p + v * k;
            chunk.point(p);
            chunk.line(p, tip);
            if (v.x != 0.0) {
                const double a = std::sqrt(0.0025 * (v.x * v.x + v.y * v.y) / (v.y * v.y / (v.x * v.x) + 1));
                const double nx = -v.y * a / v.x, ny = a;
                for (int sign = 1; sign >= -1; sign -= 2)
                    chunk.line(tip, p + Vector3d(0.75 * v.x + sign * nx, 0.75 * v.y + sign * ny, v.z) * k);
            }
        }
    });
    double low = 1e100, high = -1e100;
    if (lines->extremes(low, high)) {
        track(low);
        track(high);
    }
    if (draw) {
        lines->draw(GLfloat(scale2), 1.0f);
        return;
    }
    arrowPeak = std::max(arrowPeak, lines->peak());
    // The colours set item by item stay GL's current colour.
    float rgb[3];
    if (lines->lastColour(rgb))
        glColor3f(rgb[0], rgb[1], rgb[2]);
}

void Renderer::setBarGeometry(double x, double y, double width, double height, double capX, double capY, int capPoints)
{
    barX = x;
    barY = y;
    barWidth = width;
    barHeight = height;
    captionX = capX;
    captionY = capY;
    captionPoints = capPoints;
}

void Renderer::drawColorBar()
{
    const int bars = show2ndDistribution ? 3 : 1;
    const double low = map.centre - map.halfWidth, range = 2 * map.halfWidth;
    for (int k = 0; k < bars; ++k) {
        const double x = x0 + 1.1 * k + barX;
        const double y = y0 + barY;
        glBegin(GL_QUADS);
        for (int i = 0; i < 100; ++i) {
            const QColor c = map.color(low + (i + 0.5) / 100 * range);
            glColor3ub(GLubyte(c.red()), GLubyte(c.green()), GLubyte(c.blue()));
            glVertex3d(x + i * barWidth / 100, y, z0);
            glVertex3d(x + (i + 1) * barWidth / 100, y, z0);
            glVertex3d(x + (i + 1) * barWidth / 100, y + barHeight, z0);
            glVertex3d(x + i * barWidth / 100, y + barHeight, z0);
        }
        glEnd();
        if (widget) {
            QFont font;
            font.setPointSize(std::max(1, captionPoints));
            glColor3f(0, 0, 0);
            const double ty = y - barHeight + captionY;
            widget->renderText(x, ty, z0, QString::number(low, 'g', 6), font);
            widget->renderText(x + barWidth + captionX, ty, z0, QString::number(low + range, 'g', 6), font);
        }
    }
}

void Renderer::setUpLighting()
{
    if (!illumination) {
        glDisable(GL_LIGHTING);
        glDisable(GL_LIGHT0);
        glDisable(GL_COLOR_MATERIAL);
        return;
    }
    const GLfloat ambient[] = {1, 1, 1, 1}, diffuse[] = {0.75f, 0.75f, 0.75f, 1}, specular[] = {0.5f, 0.5f, 0.5f, 1};
    const GLfloat position[] = {0, -2, 0, 0};
    glShadeModel(GL_SMOOTH);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 25);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
}

void Renderer::drawForces()
{
    // Scaled by the largest force, in grey.
    const double painted = arrowReference, paintedPeak = arrowPeak;
    const ArrowOf force = [](const DrawItem &, BaseCell *cell, Vector3d &v, float rgb[3]) {
        v = cell->getForce(0);
        rgb[0] = rgb[1] = rgb[2] = 0.5f;
        return true;
    };
    arrowPeak = 0;
    if (batchedLines) {
        drawArrows(false, false, force);
    } else {
        for (const DrawItem &item : drawList)
            if (BaseCell *cell = cellOf(item); cell && carriesFigure(item, lineGroup()))
                arrowPeak = std::max(arrowPeak, cell->getForce(0).length());
    }
    arrowReference = arrowPeak;
    drawArrows(true, false, force);
    arrowReference = painted;
    arrowPeak = paintedPeak;
}

void Renderer::drawProbeMarkers()
{
    const int n[3] = {grid->getWidth(), grid->getHeight(), grid->getLength()};
    const double origin[3] = {x0, y0, z0};
    const double s = cellSize;
    glColor4f(0.5f, 0.5f, 0.5f, 0.5f);
    for (const Vector3i &probe : probes) {
        if (probe.x == 0 || probe.y == 0 || probe.z == 0)
            continue;
        const double p[3] = {x0 + (probe.x - 1) * s, y0 + (probe.y - 1) * s, z0 + (probe.z - 1) * s};
        glBegin(GL_QUADS);
        for (int a = 0; a < 3; ++a) {
            const double from = origin[a] - n[a] / 2.0 * s, to = origin[a] + 1.5 * n[a] * s;
            const int others[2] = {a == 0 ? 1 : 0, a == 2 ? 1 : 2};
            // One band across each of the other two axes: flat in the plane
            // through the cell centre perpendicular to the other one.
            for (int band = 0; band < 2; ++band) {
                const int across = others[band], normal = others[1 - band];
                const double corners[4][2] = {
                    {from, p[across]}, {to, p[across]}, {to, p[across] + s}, {from, p[across] + s}};
                for (const auto &corner : corners) {
                    double v[3];
                    v[a] = corner[0];
                    v[across] = corner[1];
                    v[normal] = p[normal] + s / 2;
                    glVertex3dv(v);
                }
            }
        }
        glEnd();
    }
}

void Renderer::drawIsolines()
{
    const bool flat2D = grid->getLength() == 1;
    int &list = flat2D ? isolineList2D : isolineList3D;
    const int iteration = grid->getStatistics().iterations;
    if (list < 0 || iteration != isolinesBuiltAt || dirty) {
        if (list >= 0)
            glDeleteLists(GLuint(list), 1);
        dirty = false;
        isolinesBuiltAt = iteration;
        list = int(glGenLists(1));
        glNewList(GLuint(list), GL_COMPILE);
        if (flat2D)
            compileIsolines2D();
        else
            compileIsolines3D();
        glEndList();
    }
    glCallList(GLuint(list));
}

void Renderer::compileIsolines2D()
{
    const int nx = grid->getWidth(), ny = grid->getHeight();
    if (values.size() < std::size_t(nx) * ny)
        return;
    const double s = cellSize, low = map.centre - map.halfWidth;
    // Flat, a lattice value belongs to the centre of its painted quad; on a
    // heightmap the values sit at the quads' corners.
    const double offset = heightmap ? 0.0 : 0.5;
    glLineWidth(GLfloat(scale2));
    glColor3f(0.5f, 0.5f, 0.5f);
    for (double c : seeder->values()) {
        if (!showDynamic)
            accept(c, true);
        const double d = heightmap ? (c - low) * (scale1 / 100) / (2 * map.halfWidth) : 0.0;
        const std::vector<Vector3d> segments = Isolines::segments2D(values, nx, ny, c);
        glBegin(GL_LINES);
        for (const Vector3d &p : segments)
            glVertex3d(x0 + (p.x + offset) * s, y0 + (p.y + offset) * s, z0 + s / 2 + d);
        glEnd();
    }
}

void Renderer::compileIsolines3D()
{
    const int nx = grid->getWidth(), ny = grid->getHeight(), nz = grid->getLength();
    if (values.size() < std::size_t(nx) * ny * nz)
        return;
    const double s = cellSize;
    const std::vector<double> isoValues = seeder->values();
    std::vector<std::vector<Vector3d>> strips;
    glColor3f(0.5f, 0.5f, 0.5f);
    for (double c : isoValues) {
        if (!showDynamic)
            accept(c, true);
        strips.clear();
        for (int z = 0; z < nz - 1; ++z)
            for (int y = 0; y < ny - 1; ++y)
                for (int x = 0; x < nx - 1; ++x) {
                    // Most cubes lie wholly on one side of the value.
                    double low = 1e300, high = -1e300;
                    for (int k = 0; k < 8; ++k) {
                        const double v = values[std::size_t(valueIndex(x + (k >> 2), y + ((k >> 1) & 1), z + (k & 1)))];
                        low = std::min(low, v);
                        high = std::max(high, v);
                    }
                    if (c < low || c > high)
                        continue;
                    Isolines::cube(values, nx, ny, x, y, z, c, strips);
                }
        for (const std::vector<Vector3d> &strip : strips) {
            glBegin(GL_TRIANGLE_STRIP);
            for (std::size_t k = 0; k < strip.size(); ++k) {
                if (k >= 2) {
                    const Vector3d n = (strip[k - 2] - strip[k]).cross(strip[k - 2] - strip[k - 1]);
                    glNormal3d(n.x, n.y, n.z);
                }
                glVertex3d(x0 + (strip[k].x + 0.5) * s, y0 + (strip[k].y + 0.5) * s, z0 + (strip[k].z + 0.5) * s);
            }
            glEnd();
        }
    }
}

void Renderer::drawStreamlines()
{
    const int iteration = grid->getStatistics().iterations;
    if (streamlinesBuiltAt != iteration) {
        streamlines = generator->generate();
        streamlinesBuiltAt = iteration;
    }
    const double s = cellSize;
    glLineWidth(GLfloat(scale2));
    glColor3f(0.1f, 0.1f, 0.1f);
    for (const StreamLine &line : streamlines) {
        glBegin(GL_LINE_STRIP);
        for (const Vector3d &p : line)
            glVertex3d(x0 + (p.x + 0.5) * s, y0 + (p.y + 0.5) * s, z0 + (p.z + 0.5) * s);
        glEnd();
    }
}

void Renderer::frame()
{
    QMutexLocker lock(&frameLock);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glClearColor(GLfloat(background.redF()), GLfloat(background.greenF()), GLfloat(background.blueF()), 1.0f);
    // The stencil is cleared with the depth it shares its words with, so the
    // words are filled whole instead of masked one by one.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    if (showColorBar)
        drawColorBar();
    setUpLighting();
    camera.apply();
    if (staticStale && staticList)
        compileStatic();
    staticStale = false;
    if (showAxis && axisList)
        glCallList(axisList);
    if (showStatic && staticList)
        glCallList(staticList);
    fitValueBuffer();
    forgetFields();
    lastFlat = fastFlat && flat->supports(*this);
    if (lastFlat)
        flat->pass(*this, false, showDynamic);
    else
        painterPass(false);
    if (showDynamic) {
        if (continuousAutoAdjust)
            autoAdjust();
        if (lastFlat)
            flat->pass(*this, true);
        else
            painterPass(true);
    }
    if (showParticles) {
        drawTrails();
        ImmersedPainter::draw(*this);
    }
    if (showIsolines)
        drawIsolines();
    if (showStreamlines)
        drawStreamlines();
    if (showForces)
        drawForces();
    ShapePainter::draw(*this);
    drawProbeMarkers();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void Renderer::drawTrails()
{
    const std::vector<TracerEmitter> &emitters = grid->getTracers()->emitters();
    if (emitters.empty())
        return;
    glLineWidth(GLfloat(scale2));
    const double s = cellSize, half = cellSize / 2.0;
    auto inside = [this](const TracerPoint &p) {
        return p.x >= ranges[0][0] && p.x <= ranges[0][1] && p.y >= ranges[1][0] && p.y <= ranges[1][1] &&
               p.z >= ranges[2][0] && p.z <= ranges[2][1];
    };
    for (const TracerEmitter &e : emitters) {
        glColor3d(e.red / 255.0, e.green / 255.0, e.blue / 255.0);
        glBegin(GL_LINES);
        for (const TracerPoint &p : e.trail) {
            if (!inside(p))
                continue;
            glVertex3d(x0 + p.px * s + half, y0 + p.py * s + half, z0 + p.pz * s + half + 0.01);
            glVertex3d(x0 + p.x * s + half, y0 + p.y * s + half, z0 + p.z * s + half + 0.01);
        }
        glEnd();
    }
}
