#include "cellrow.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"

CellRow::CellRow(Grid &grid) : grid(grid), vorticity(grid.vorticity()), stream(grid.streamFunction(0, 0)) {}

void CellRow::append(QByteArray &line, int x, int y, int z) const
{
    BaseCell *cell = grid.getCell(x, y, z);
    const Vector3d v = cell->getVelocity(-1);
    // The stream function is planar (layer 0); the vorticity belongs to the
    // cell's own site, so rows of a 3D grid do not repeat layer 0.
    const double psi = stream[std::size_t(x) + std::size_t(y) * grid.getWidth()];
    const Vector3d w = vorticity[grid.siteIndex(x, y, z)];
    const double values[columns] = {v.length(), v.x, v.y, v.z,           cell->getP(-1), psi,           w.length(),
                                    w.x,        w.y, w.z, cell->getP(1), cell->getP(10), cell->getP(11)};
    for (int i = 0; i < columns; ++i) {
        if (i > 0)
            line += ',';
        appendNumber(line, values[i]);
    }
}

void CellRow::appendNumber(QByteArray &line, double value)
{
    line += QByteArray::number(value, 'g', 6);
}
