#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QXmlStreamWriter>

class Grid;
class QIODevice;

// Writes the fluid cells of a grid as a VTK XML unstructured grid of voxels
// with the cell data "density" and "velocity" (component 0). Points are the
// lattice corners, numbered x outer, then y, z inner; cells are the fluid
// sites visited in the same order.
//
// Ascii writes every array as text in the element, in bounded chunks, so the
// document is never held in memory as a whole. Binary writes the arrays as
// appended raw data, zlib-compressed in blocks the way VTK's own writer does
// (UInt64 block headers: block count, block size, size of the last block,
// then the compressed size of each block), up to 64 blocks compressed side
// by side; the compressed arrays are held in memory until the head with
// their offsets is written. Binary values are exact; ASCII reals carry six
// significant digits.
class VtuWriter
{
public:
    enum class Format { Ascii, Binary };

    VtuWriter(Grid &grid, QIODevice *device, Format format = Format::Ascii);
    // Writes only the rows [firstRow, firstRow + rowCount) of the grid, as
    // one piece of a larger domain whose row y is the grid's row y - yShift:
    // the piece's points are the corners of those rows, at their places in
    // the larger domain, numbered as in a grid of those rows alone.
    void setRows(int firstRow, int rowCount, int yShift);
    // False when a write to the device failed.
    bool write();

    // The head of a domain written in pieces (a parallel unstructured grid,
    // .pvtu): the arrays every piece holds and the pieces' file names,
    // relative to the head. False when a write failed.
    static bool writeHead(QIODevice *device, const QStringList &pieces);

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

    void writeAscii();
    bool writeBinary();
    // Runs one array's writer and returns its compressed blocks with header.
    template <typename Fill> QByteArray encodeArray(const char *type, Fill fill);
    // Compresses the first bytes of the chunk, block by block side by side,
    // and drops them.
    void compressBlocks(int bytes);

    void startArray(const char *type, const char *name, int components, bool ascii);
    void appendInteger(qint64 value);
    void appendReal(double value);
    // Hands the collected text to the stream writer once it is large enough;
    // force empties it regardless.
    void flush(bool force = false);

    qint64 pointCount() const;

    Grid &grid;
    QIODevice *device;
    // The rows written and the shift of their coordinates.
    int rowFirst = 0;
    int rows = -1;
    int rowShift = 0;
    Format format;
    QXmlStreamWriter xml;
    QByteArray chunk;
    // A write of array text to the device failed.
    bool textFailed = false;
    qint64 fluidCells = 0;
    // Binary: the byte width of the integers of the array being encoded, the
    // compressed blocks so far and their sizes.
    int integerBytes = 4;
    QByteArray compressed;
    QVector<quint64> blockSizes;
    qint64 rawBytes = 0;
};
