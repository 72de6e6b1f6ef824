#pragma once

#include <QByteArray>
#include <QString>
#include <QXmlStreamWriter>

class Grid;
class QIODevice;

// Writes the fluid cells of a grid as a VTK XML unstructured grid of voxels
// with the cell data "density" and "velocity" (component 0), in ASCII.
// Points are the lattice corners, numbered x outer, then y, z inner; cells
// are the fluid sites visited in the same order. The text goes to the device
// in bounded chunks, so the document is never held in memory as a whole.
class VtuWriter
{
public:
    VtuWriter(Grid &grid, QIODevice *device);
    // False when the stream writer reported an error.
    bool write();

    // The number of corner point (x, y, z), x in 0..width, y in 0..height,
    // z in 0..length.
    static qint64 pointNumber(const Grid &grid, int x, int y, int z);

private:
    template <typename Visit> void forEachFluidCell(Visit visit);
    void writePoints();
    void writeConnectivity();
    void writeOffsets();
    void writeTypes();
    void writeDensity();
    void writeVelocity();

    void startArray(const char *type, const char *name, int components, bool ascii);
    void appendInteger(qint64 value);
    void appendReal(double value);
    // Hands the collected text to the stream writer once it is large enough;
    // force empties it regardless.
    void flush(bool force = false);

    Grid &grid;
    QXmlStreamWriter xml;
    QByteArray chunk;
    qint64 fluidCells = 0;
};
