#include "vtuwriter.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"

#include <QIODevice>

namespace {
// Text is passed to the stream writer in pieces of about this size.
constexpr int chunkBytes = 64 * 1024;
// VTK's cell type number of an axis-aligned voxel.
constexpr int voxelType = 11;
} // namespace

VtuWriter::VtuWriter(Grid &grid, QIODevice *device) : grid(grid), xml(device)
{
    xml.setAutoFormatting(false);
    chunk.reserve(chunkBytes + 256);
}

qint64 VtuWriter::pointNumber(const Grid &grid, int x, int y, int z)
{
    const qint64 py = grid.getHeight() + 1, pz = grid.getLength() + 1;
    return (qint64(x) * py + y) * pz + z;
}

template <typename Visit> void VtuWriter::forEachFluidCell(Visit visit)
{
    for (int x = 0; x < grid.getWidth(); ++x)
        for (int y = 0; y < grid.getHeight(); ++y)
            for (int z = 0; z < grid.getLength(); ++z) {
                BaseCell *cell = grid.getCell(x, y, z);
                if (cell && cell->isFluid())
                    visit(cell, x, y, z);
            }
}

bool VtuWriter::write()
{
    fluidCells = 0;
    forEachFluidCell([this](BaseCell *, int, int, int) { ++fluidCells; });
    const qint64 points = qint64(grid.getWidth() + 1) * (grid.getHeight() + 1) * (grid.getLength() + 1);

    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("VTKFile"));
    xml.writeAttribute(QStringLiteral("type"), QStringLiteral("UnstructuredGrid"));
    xml.writeStartElement(QStringLiteral("UnstructuredGrid"));
    xml.writeStartElement(QStringLiteral("Piece"));
    xml.writeAttribute(QStringLiteral("NumberOfPoints"), QString::number(points));
    xml.writeAttribute(QStringLiteral("NumberOfCells"), QString::number(fluidCells));

    xml.writeStartElement(QStringLiteral("Points"));
    startArray("Int32", nullptr, 3, true);
    writePoints();
    xml.writeEndElement(); // DataArray
    xml.writeEndElement(); // Points

    xml.writeStartElement(QStringLiteral("Cells"));
    startArray("Int32", "connectivity", 0, false);
    writeConnectivity();
    xml.writeEndElement();
    startArray("Int32", "offsets", 0, false);
    writeOffsets();
    xml.writeEndElement();
    startArray("UInt8", "types", 0, false);
    writeTypes();
    xml.writeEndElement();
    xml.writeEndElement(); // Cells

    xml.writeStartElement(QStringLiteral("CellData"));
    xml.writeAttribute(QStringLiteral("Scalars"), QStringLiteral("density"));
    xml.writeAttribute(QStringLiteral("Vectors"), QStringLiteral("velocity"));
    startArray("Float64", "density", 0, true);
    writeDensity();
    xml.writeEndElement();
    startArray("Float64", "velocity", 3, true);
    writeVelocity();
    xml.writeEndElement();
    xml.writeEndElement(); // CellData

    xml.writeEndDocument(); // closes Piece, UnstructuredGrid and VTKFile
    return !xml.hasError();
}

void VtuWriter::startArray(const char *type, const char *name, int components, bool ascii)
{
    xml.writeStartElement(QStringLiteral("DataArray"));
    xml.writeAttribute(QStringLiteral("type"), QLatin1String(type));
    if (name)
        xml.writeAttribute(QStringLiteral("Name"), QLatin1String(name));
    if (components > 0)
        xml.writeAttribute(QStringLiteral("NumberOfComponents"), QString::number(components));
    if (ascii)
        xml.writeAttribute(QStringLiteral("format"), QStringLiteral("ascii"));
}

void VtuWriter::writePoints()
{
    for (int x = 0; x <= grid.getWidth(); ++x)
        for (int y = 0; y <= grid.getHeight(); ++y)
            for (int z = 0; z <= grid.getLength(); ++z) {
                appendInteger(x);
                appendInteger(y);
                appendInteger(z);
                flush();
            }
    flush(true);
}

void VtuWriter::writeConnectivity()
{
    forEachFluidCell([this](BaseCell *, int x, int y, int z) {
        // VTK voxel order: x varies fastest, then y, then z.
        for (int corner = 0; corner < 8; ++corner)
            appendInteger(pointNumber(grid, x + (corner & 1), y + ((corner >> 1) & 1), z + ((corner >> 2) & 1)));
        flush();
    });
    flush(true);
}

void VtuWriter::writeOffsets()
{
    for (qint64 i = 1; i <= fluidCells; ++i) {
        appendInteger(8 * i);
        flush();
    }
    flush(true);
}

void VtuWriter::writeTypes()
{
    for (qint64 i = 0; i < fluidCells; ++i) {
        appendInteger(voxelType);
        flush();
    }
    flush(true);
}

void VtuWriter::writeDensity()
{
    forEachFluidCell([this](BaseCell *cell, int, int, int) {
        appendReal(cell->getP(0));
        flush();
    });
    flush(true);
}

void VtuWriter::writeVelocity()
{
    forEachFluidCell([this](BaseCell *cell, int, int, int) {
        const Vector3d u = cell->getVelocity(0);
        appendReal(u.x);
        appendReal(u.y);
        appendReal(u.z);
        flush();
    });
    flush(true);
}

void VtuWriter::appendInteger(qint64 value)
{
    char digits[24];
    int n = 0;
    const bool negative = value < 0;
    quint64 v = negative ? quint64(-(value + 1)) + 1 : quint64(value);
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v);
    if (negative)
        chunk += '-';
    while (n)
        chunk += digits[--n];
    chunk += ' ';
}

void VtuWriter::appendReal(double value)
{
    chunk += QByteArray::number(value, 'g', 6);
    chunk += ' ';
}

void VtuWriter::flush(bool force)
{
    if (chunk.size() < chunkBytes && !(force && !chunk.isEmpty()))
        return;
    // The text is plain ASCII (digits, signs, points, exponents, spaces), so
    // the writer needs no escaping.
    xml.writeCharacters(QString::fromLatin1(chunk));
    chunk.resize(0); // keeps the reserved buffer
}
