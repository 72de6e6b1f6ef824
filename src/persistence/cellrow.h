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

    // The column names, in the order append writes the values.
    static const char *header() { return "|V|,Vx,Vy,Vz,p,stream,|W|,Wx,Wy,Wz,p1,p10,p11"; }
    static constexpr int columns = 13;

    // Appends the values of the cell at (x, y, z), separated by ",", with no
    // leading or trailing separator. The site must hold a cell.
    void append(QByteArray &line, int x, int y, int z) const;

    // Six significant digits in general form, as a standard stream writes a
    // double.
    static void appendNumber(QByteArray &line, double value);

private:
    Grid &grid;
    std::vector<Vector3d> vorticity;
    std::vector<double> stream;
};
