#include "cellrow.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"

#include <utility>

CellRow::CellRow(Grid &grid) : grid(grid), vorticity(grid.vorticity()), stream(grid.streamFunction(0, 0)) {}

CellRow::CellRow(Grid &grid, std::vector<Vector3d> vorticity, std::vector<double> stream, int firstRow)
    : grid(grid), vorticity(std::move(vorticity)), stream(std::move(stream)), firstRow(firstRow)
{
}

void CellRow::append(QByteArray &line, int x, int y, int z) const
{
    BaseCell *cell = grid.getCell(x, y, z);
    const Vector3d v = cell->getVelocity(-1);
    // The stream function is planar (layer 0); the vorticity belongs to the
    // cell's own site, so rows of a 3D grid do not repeat layer 0.
    const double psi = stream[std::size_t(x) + std::size_t(y - firstRow) * grid.getWidth()];
    const Vector3d w = vorticity[grid.siteIndex(x, y, z) - grid.siteIndex(0, firstRow, 0)];
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

void CellRow::appendLine(QByteArray &line, int x, int y, int z, int domainY) const
{
    line += QByteArray::number(x + 1) + ',' + QByteArray::number(domainY + 1) + ',' + QByteArray::number(z + 1) + ',';
    append(line, x, y, z);
    line += '\n';
}

QByteArray CellRow::tableHeader()
{
    return QByteArray("x,y,z,") + header() + '\n';
}
