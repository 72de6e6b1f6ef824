#pragma once

#include <QString>

class Grid;

// Results that leave the program for other programs: the VTK unstructured
// grid of the fluid cells, the per-cell table and the time-series table.
// Each writer returns false with a message in *error when the file cannot be
// written; an existing file is replaced only by a completely written one.
class Exports
{
public:
    static bool exportVtk(Grid &grid, const QString &path, QString *error = nullptr);
    // x, y, z select one index each, or -1 for all.
    static bool writeCellTable(int x, int y, int z, Grid &grid, const QString &path, QString *error = nullptr);
    // Appends one line, with a header first when the file is new.
    static bool appendTimeSeries(Grid &grid, const QString &path, QString *error = nullptr);
};
