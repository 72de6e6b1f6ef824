#include "meltingpainters.h"

#include "model/latticeboltzmann/meltingsolidification/meltingsolidificationcell.h"
#include "renderer.h"

#include <QtOpenGL>

#include <algorithm>

namespace {

MeltingSolidificationCell *meltingCell(BaseCell *cell)
{
    return dynamic_cast<MeltingSolidificationCell *>(cell);
}

// Colours the value of every melting cell through the colour range, keeps
// it in the value buffer and, when drawing, draws the cell.
template <typename Value> void rangePass(Renderer &r, bool draw, Value value)
{
    std::vector<double> &buffer = r.valueBuffer();
    if (!draw)
        std::fill(buffer.begin(), buffer.end(), 0.0);
    r.resetExtremes();
    if (draw)
        glBegin(GL_QUADS);
    for (const DrawItem &item : r.getDrawList()) {
        MeltingSolidificationCell *cell = meltingCell(r.cellOf(item));
        if (!cell)
            continue;
        const double v = value(cell);
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

bool MeltingPainters::isMeltingCell(BaseCell *cell)
{
    return meltingCell(cell) != nullptr;
}

void MeltingPainters::korner(Renderer &r, bool)
{
    std::vector<double> &buffer = r.valueBuffer();
    std::fill(buffer.begin(), buffer.end(), 0.0);
    r.resetExtremes();
    glBegin(GL_QUADS);
    for (const DrawItem &item : r.getDrawList()) {
        MeltingSolidificationCell *cell = meltingCell(r.cellOf(item));
        if (!cell)
            continue;
        switch (cell->getState()) {
        case 'G':
            glColor3ub(255, 0, 0);
            break;
        case 'I':
            glColor3ub(255, 128, 0);
            break;
        case 'L':
            glColor3ub(255, 255, 0);
            break;
        case 'S':
            glColor3ub(0, 0, 255);
            break;
        case 'W':
            glColor3ub(128, 128, 128);
            break;
        default:
            glColor3ub(0, 0, 0);
        }
        r.drawCell(item, cell->getP(item.layer - 1));
    }
    glEnd();
}

void MeltingPainters::temp(Renderer &r, bool draw)
{
    rangePass(r, draw, [](MeltingSolidificationCell *cell) { return cell->getBeam(); });
}
