#include "painters.h"

#include "model/latticeboltzmann/basecell.h"

#include <QtOpenGL>

namespace {

struct Entry
{
    const char *name;
    PainterRoutine routine;
};

const Entry table[] = {
    {"velocity", &Painters::velocity},
};

// The general form: track and colour the value of every accepted cell, keep
// it in the value buffer and, when drawing, draw the cell's quad.
template <typename Value, typename Accepts> void generalPass(Renderer &r, bool draw, Value value, Accepts accepts)
{
    std::vector<double> &buffer = r.valueBuffer();
    if (!draw)
        std::fill(buffer.begin(), buffer.end(), 0.0);
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

bool anyCell(BaseCell *)
{
    return true;
}

} // namespace

QStringList Painters::names()
{
    QStringList list;
    for (const Entry &e : table)
        list << QLatin1String(e.name);
    return list;
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
