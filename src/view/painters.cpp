#include "painters.h"

#include "linebatch.h"
#include "meltingpainters.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/passivescalar.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/latticeboltzmann/tracers/scalartracersettings.h"

#include <QtOpenGL>

#include <algorithm>

namespace {

struct Entry
{
    const char *name;
    PainterRoutine routine;
    // Whether the values it tracks are lengths or fractions, never negative.
    bool nonNegative;
};

// The painter list; its order is the order users choose from.
const Entry table[] = {
    {"velocity", &Painters::velocity, true},
    {"pressure", &Painters::pressure, false},
    {"temperature", &Painters::temperature, false},
    {"arrow", &Painters::arrow, true},
    {"passive scalar", &Painters::passiveScalar, false},
    {"multicomponent", &Painters::multicomponent, false},
    {"normal arrow", &Painters::normalArrow, true},
    {"stream function", &Painters::streamFunction, false},
    {"vorticity", &Painters::vorticity, false},
    {"vorticity magnitude", &Painters::vorticityMagnitude, false},
    {"detail", &Painters::detail, true},
    {"permeability", &Painters::permeability, true},
    {"microflux", &Painters::microflux, false},
    {"macroflux", &Painters::macroflux, true},
    {"korner", &Painters::korner, false},
    {"temp", &Painters::temp, false},
};

bool anyCell(BaseCell *)
{
    return true;
}

bool isMeltingCell(BaseCell *cell)
{
    return MeltingPainters::isMeltingCell(cell);
}

void clearBuffer(Renderer &r)
{
    std::vector<double> &buffer = r.valueBuffer();
    std::fill(buffer.begin(), buffer.end(), 0.0);
}

// The general form: track and colour the value of every accepted cell, keep
// it in the value buffer and, when drawing, draw the cell's quad.
template <typename Value, typename Accepts>
void generalPass(Renderer &r, bool draw, Value value, Accepts accepts, bool resetExtremes = true)
{
    std::vector<double> &buffer = r.valueBuffer();
    if (!draw)
        clearBuffer(r);
    if (resetExtremes)
        r.resetExtremes();
    if (draw)
        glBegin(GL_QUADS);
    for (const DrawItem &item : r.getDrawList()) {
        BaseCell *cell = r.cellOf(item);
        if (!cell || !accepts(cell))
            continue;
        const double v = value(item, cell);
        if (!r.accept(v, true))
            continue;
        buffer[std::size_t(r.valueIndex(item.x, item.y, item.z))] = v;
        if (draw)
            r.drawCell(item, v);
    }
    if (draw)
        glEnd();
}

} // namespace

QStringList Painters::names()
{
    QStringList list;
    for (const Entry &e : table)
        list << QLatin1String(e.name);
    return list;
}

bool Painters::isNonNegative(const QString &name)
{
    for (const Entry &e : table)
        if (name == QLatin1String(e.name))
            return e.nonNegative;
    return false;
}

PainterRoutine Painters::find(const QString &name)
{
    for (const Entry &e : table)
        if (name == QLatin1String(e.name))
            return e.routine;
    return nullptr;
}

void Painters::velocity(Renderer &r, bool draw)
{
    generalPass(
        r, draw, [](const DrawItem &item, BaseCell *cell) { return cell->getVelocity(item.layer - 1).length(); },
        anyCell);
}

void Painters::pressure(Renderer &r, bool draw)
{
    generalPass(
        r, draw, [](const DrawItem &item, BaseCell *cell) { return cell->getP(item.layer - 1); }, anyCell);
}

bool Painters::carriesTemperature(BaseCell *cell)
{
    return dynamic_cast<PassiveScalar *>(PassiveScalarCell::innerOf(cell)) || isMeltingCell(cell);
}

bool Painters::carriesScalars(BaseCell *cell)
{
    return dynamic_cast<PassiveScalarCell *>(cell) != nullptr;
}

bool Painters::isPorous(BaseCell *cell)
{
    return dynamic_cast<PorousCell *>(PassiveScalarCell::innerOf(cell)) != nullptr;
}

double Painters::solidFraction(BaseCell *cell)
{
    return static_cast<PorousCell *>(PassiveScalarCell::innerOf(cell))->getSolidDensity();
}

void Painters::temperature(Renderer &r, bool draw)
{
    generalPass(
        r, draw, [](const DrawItem &, BaseCell *cell) { return cell->getP(1); }, carriesTemperature);
}

// The arrow painters store no values, yet they own the value buffer while
// they are selected: they clear it, so isolines and the heightmap never read
// what the previous painter left there.
void Painters::arrow(Renderer &r, bool draw)
{
    if (!draw)
        clearBuffer(r);
    r.resetExtremes();
    r.drawArrows(draw, true, [](const DrawItem &item, BaseCell *cell, Vector3d &v, float *) {
        v = cell->getVelocity(item.layer - 1);
        return true;
    });
}

void Painters::passiveScalar(Renderer &r, bool draw)
{
    const int component = r.getComponent();
    if (component >= 0) {
        generalPass(
            r, draw, [component](const DrawItem &, BaseCell *cell) { return cell->getP(component + 10); },
            carriesScalars);
        return;
    }
    // The species mix: each cell takes the sum of the species colours
    // weighted by their concentrations relative to the largest one anywhere,
    // and stores the concentration of the species whose colour is nearest
    // that mix. Nothing is tracked.
    if (!draw)
        clearBuffer(r);
    r.resetExtremes();
    const QList<QRgb> &colours = r.getGrid()->getScalarTracers()->colourTable();
    const int n = colours.size();
    double largest = 0.0;
    for (const DrawItem &item : r.getDrawList())
        if (BaseCell *cell = r.cellOf(item); cell && carriesScalars(cell))
            for (int i = 0; i < n; ++i)
                largest = std::max(largest, cell->getP(i + 10));
    // With no colour anywhere every mix is black and shows nothing.
    if (n == 0 || !(largest > 0.0))
        return;
    std::vector<double> &buffer = r.valueBuffer();
    if (draw)
        glBegin(GL_QUADS);
    for (const DrawItem &item : r.getDrawList()) {
        BaseCell *cell = r.cellOf(item);
        if (!cell || !carriesScalars(cell))
            continue;
        double mix[3] = {0.0, 0.0, 0.0};
        for (int i = 0; i < n; ++i) {
            const double share = cell->getP(i + 10) / largest;
            mix[0] += qRed(colours[i]) * share;
            mix[1] += qGreen(colours[i]) * share;
            mix[2] += qBlue(colours[i]) * share;
        }
        int nearest = 0;
        double best = 0.0;
        for (int i = 0; i < n; ++i) {
            const double dr = mix[0] - qRed(colours[i]), dg = mix[1] - qGreen(colours[i]),
                         db = mix[2] - qBlue(colours[i]);
            const double d = dr * dr + dg * dg + db * db;
            if (i == 0 || d < best) {
                best = d;
                nearest = i;
            }
        }
        const double v = cell->getP(nearest + 10);
        buffer[std::size_t(r.valueIndex(item.x, item.y, item.z))] = v;
        if (draw) {
            glColor3d(mix[0] / 255.0, mix[1] / 255.0, mix[2] / 255.0);
            r.drawCell(item, v);
        }
    }
    if (draw)
        glEnd();
}

void Painters::multicomponent(Renderer &r, bool draw)
{
    // The extremes are not reset: they keep widening while this painter is on.
    std::vector<double> &buffer = r.valueBuffer();
    if (!draw)
        clearBuffer(r);
    if (draw)
        glBegin(GL_QUADS);
    const double top = r.getCentre() + r.getHalfWidth();
    for (const DrawItem &item : r.getDrawList()) {
        BaseCell *cell = r.cellOf(item);
        if (!cell)
            continue;
        const double v = cell->getP(-1);
        if (!r.accept(v, true))
            continue;
        buffer[std::size_t(r.valueIndex(item.x, item.y, item.z))] = v;
        if (draw) {
            glColor3d(cell->getP(0) / top, 0.0, cell->getP(1) / top);
            r.drawCell(item, v);
        }
    }
    if (draw)
        glEnd();
}

void Painters::normalArrow(Renderer &r, bool draw)
{
    if (!draw)
        clearBuffer(r);
    r.resetExtremes();
    r.drawArrows(draw, false, [](const DrawItem &item, BaseCell *cell, Vector3d &v, float rgb[3]) {
        v = cell->getVelocity(item.layer - 1).normalized();
        rgb[0] = rgb[1] = rgb[2] = 0.5f;
        return true;
    });
}

void Painters::streamFunction(Renderer &r, bool draw)
{
    Grid *grid = r.getGrid();
    const std::vector<double> &psi = r.streamFunctionField();
    const int nx = grid->getWidth();
    generalPass(
        r, draw,
        [&psi, nx](const DrawItem &item, BaseCell *) { return psi[std::size_t(item.x) + std::size_t(item.y) * nx]; },
        anyCell);
}

void Painters::vorticity(Renderer &r, bool draw)
{
    Grid *grid = r.getGrid();
    const std::vector<Vector3d> &omega = r.vorticityField();
    if (!draw)
        clearBuffer(r);
    r.resetExtremes();
    r.drawArrows(draw, false, [grid, &omega](const DrawItem &item, BaseCell *, Vector3d &v, float rgb[3]) {
        v = omega[std::size_t(grid->siteIndex(item.x, item.y, item.z))];
        if (v.x == 0.0 && v.y == 0.0 && v.z == 0.0)
            return false;
        // Red turns clockwise, blue anticlockwise.
        rgb[0] = v.z <= 0 ? 1.0f : 0.0f;
        rgb[1] = 0.0f;
        rgb[2] = v.z <= 0 ? 0.0f : 1.0f;
        return true;
    });
}

void Painters::vorticityMagnitude(Renderer &r, bool draw)
{
    Grid *grid = r.getGrid();
    const std::vector<Vector3d> &omega = r.vorticityField();
    generalPass(
        r, draw,
        [grid, &omega](const DrawItem &item, BaseCell *) {
            return omega[std::size_t(grid->siteIndex(item.x, item.y, item.z))].z;
        },
        anyCell);
}

void Painters::detail(Renderer &r, bool draw)
{
    // Drawn in both passes, whatever the draw flag says; the drawing pass
    // draws the same segments over the computing pass's, so when one
    // follows the computing pass only tracks.
    clearBuffer(r);
    r.resetExtremes();
    const bool drawing = draw || !r.isDynamicShown();
    const int group = r.lineGroup();
    const int q = r.getGrid()->getParameters()->getModel();
    const double length = r.getCellSize() / 2 * r.getScale1();
    if (!r.isBatchedLines()) {
        glLineWidth(GLfloat(r.getScale2()));
        for (const DrawItem &item : r.getDrawList()) {
            BaseCell *cell = r.cellOf(item);
            if (!cell || !r.carriesFigure(item, group))
                continue;
            const Vector3d p = r.cellCentre(item.x, item.y, item.z) + Vector3d(1.1 * item.layer, 0, 0);
            if (drawing)
                glBegin(GL_LINES);
            for (int i = 0; i < q; ++i) {
                if (!Lattice::isActive(q, i))
                    continue;
                const Vector3i d = Lattice::direction(q, i);
                const double f = cell->getF(i, 10);
                const Vector3d e(d.x * f, d.y * f, d.z * f);
                r.accept(e.length(), true);
                if (!drawing)
                    continue;
                const Vector3d end = p + e * length;
                glVertex3d(p.x, p.y, p.z);
                glVertex3d(end.x, end.y, end.z);
            }
            if (drawing)
                glEnd();
        }
        return;
    }
    const QVector<DrawItem> &items = r.getDrawList();
    const ColorMap &map = r.colorMap();
    LineBatch &lines = r.lineBatch();
    lines.collect(items.size(), [&](LineBatch::Chunk &chunk, int first, int end) {
        for (int k = first; k < end; ++k) {
            const DrawItem &item = items[k];
            BaseCell *cell = r.cellOf(item);
            if (!cell || !r.carriesFigure(item, group))
                continue;
            const Vector3d p = r.cellCentre(item.x, item.y, item.z) + Vector3d(1.1 * item.layer, 0, 0);
            for (int i = 0; i < q; ++i) {
                if (!Lattice::isActive(q, i))
                    continue;
                const Vector3i d = Lattice::direction(q, i);
                const double f = cell->getF(i, 10);
                const Vector3d e(d.x * f, d.y * f, d.z * f);
                // As accept: tracked, and coloured when inside the range.
                const double v = e.length();
                chunk.track(v);
                const QColor c = map.color(v);
                if (!ColorMap::isWhite(c))
                    chunk.colour(c.red() / 255.0f, c.green() / 255.0f, c.blue() / 255.0f);
                if (drawing)
                    chunk.line(p, p + e * length);
            }
        }
    });
    double low = 1e100, high = -1e100;
    if (lines.extremes(low, high)) {
        r.track(low);
        r.track(high);
    }
    if (drawing) {
        lines.draw(GLfloat(r.getScale2()), 1.0f);
    } else {
        float rgb[3];
        if (lines.lastColour(rgb))
            glColor3f(rgb[0], rgb[1], rgb[2]);
    }
}

void Painters::permeability(Renderer &r, bool draw)
{
    generalPass(
        r, draw, [](const DrawItem &, BaseCell *cell) { return solidFraction(cell); }, isPorous);
}

double Painters::microfluxAt(Grid &grid, int x, int y, int z)
{
    BaseCell *cell = grid.getCell(x, y, z);
    if (!cell)
        return 0.0;
    const int q = grid.getParameters()->getModel();
    const bool periodic = grid.getParameters()->getPeriodicBoundaries();
    double sum = 0.0;
    for (int i = 0; i < q; ++i) {
        if (!Lattice::isActive(q, i))
            continue;
        // The neighbour as the neighbour table resolves it, read from the grid
        // so that a table not yet rebuilt after an edit is never followed.
        Vector3i t = Vector3i(x, y, z) + Lattice::direction(q, i);
        if (periodic)
            t = t.wrapped(grid.getWidth(), grid.getHeight(), grid.getLength());
        BaseCell *n = grid.getCell(t);
        if (!n || !n->isFluid())
            continue;
        sum += n->getF(Lattice::opposite(q, i), 0) - cell->getF(i, 0);
    }
    return sum;
}

void Painters::microflux(Renderer &r, bool draw)
{
    Grid *grid = r.getGrid();
    generalPass(
        r, draw, [grid](const DrawItem &item, BaseCell *) { return microfluxAt(*grid, item.x, item.y, item.z); },
        anyCell);
}

void Painters::macroflux(Renderer &r, bool draw)
{
    // Every layer of a 3D grid shows the flux of the layer z = 0.
    const std::vector<Vector3d> &flux = r.fluxField();
    const std::size_t nx = std::size_t(r.getGrid()->getWidth());
    generalPass(
        r, draw,
        [&flux, nx](const DrawItem &item, BaseCell *) { return flux[std::size_t(item.y) * nx + item.x].length(); },
        anyCell);
}

void Painters::korner(Renderer &r, bool draw)
{
    MeltingPainters::korner(r, draw);
}

void Painters::temp(Renderer &r, bool draw)
{
    MeltingPainters::temp(r, draw);
}
