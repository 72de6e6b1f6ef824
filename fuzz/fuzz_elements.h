#pragma once

#include <QString>

class BaseCell;
class Grid;
class QXmlStreamReader;

// Drives one element reader: every "lattice" element of the input is read
// into a fresh cell made by make(), which the grid then steps with.
namespace FuzzElements {

void readCells(const char *data, int size, BaseCell *(*make)(Grid &grid));

} // namespace FuzzElements
