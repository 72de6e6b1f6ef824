#pragma once

#include "model/latticeboltzmann/vector3d.h"

#include <QByteArray>

#include <vector>

class Grid;

// The thirteen values that the per-cell table and the time-series table write
// for one fluid cell: velocity magnitude and components, density, stream
// function, vorticity magnitude and components, and the densities of the
// components 1, 10 and 11. The derived fields are computed once, when the row
// is built, and then read for as many cells as the caller writes.
class CellRow
{
public:
    explicit CellRow(Grid &grid);
    // The same with the derived fields computed elsewhere, for the rows
    // [firstRow, firstRow + n) of the grid that they cover: the vorticity
    // of each of their sites in site order, and the stream function of
    // their layer 0, x fastest (see SlabFields, which forms them for a slab
    // of a domain no one grid holds).
    CellRow(Grid &grid, std::vector<Vector3d> vorticity, std::vector<double> stream, int firstRow);

    // The column names, in the order append writes the values.
    static const char *header() { return "|V|,Vx,Vy,Vz,p,stream,|W|,Wx,Wy,Wz,p1,p10,p11"; }
    static constexpr int columns = 13;

    // Appends the values of the cell at (x, y, z), separated by ",", with no
    // leading or trailing separator. The site must hold a cell.
    void append(QByteArray &line, int x, int y, int z) const;

    // One line of the per-cell table: the site's 1-based indices, its row
    // given as domainY (the grid may hold a slab of a larger domain), the
    // values and a line end.
    void appendLine(QByteArray &line, int x, int y, int z, int domainY) const;
    // The per-cell table's first line, line end included.
    static QByteArray tableHeader();

    // Six significant digits in general form, as a standard stream writes a
    // double.
    static void appendNumber(QByteArray &line, double value);

private:
    Grid &grid;
    std::vector<Vector3d> vorticity;
    std::vector<double> stream;
    int firstRow = 0;
};
