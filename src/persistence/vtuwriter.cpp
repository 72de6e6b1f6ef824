#include "vtuwriter.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"

#include <QIODevice>
#include <QtConcurrent>
#include <QtEndian>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {
// Text is passed to the stream writer in pieces of about this size.
constexpr int chunkBytes = 64 * 1024;
// The uncompressed size of a binary block, VTK's own default.
constexpr int blockBytes = 32 * 1024;
// Blocks are compressed side by side, this many at a time.
constexpr int batchBlocks = 64;
// zlib's fastest level: the export runs on the GUI thread or between bursts,
// and higher levels cost several times the time for a few per cent of size.
constexpr int compressionLevel = 1;
// VTK's cell type number of an axis-aligned voxel.
constexpr int voxelType = 11;

void appendUInt64(QByteArray &bytes, quint64 value)
{
    const quint64 le = qToLittleEndian(value);
    bytes.append(reinterpret_cast<const char *>(&le), sizeof le);
}
} // namespace

VtuWriter::VtuWriter(Grid &grid, QIODevice *device, Format format)
    : grid(grid), device(device), format(format), xml(device)
{
    xml.setAutoFormatting(false);
    chunk.reserve(chunkBytes + 256);
}

void VtuWriter::setRows(int firstRow, int rowCount, int yShift)
{
    rowFirst = firstRow;
    rows = rowCount;
    rowShift = yShift;
}

bool VtuWriter::writeHead(QIODevice *device, const QStringList &pieces)
{
    QXmlStreamWriter w(device);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("VTKFile"));
    w.writeAttribute(QStringLiteral("type"), QStringLiteral("PUnstructuredGrid"));
    w.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    w.writeAttribute(QStringLiteral("byte_order"), QStringLiteral("LittleEndian"));
    w.writeAttribute(QStringLiteral("header_type"), QStringLiteral("UInt64"));
    w.writeStartElement(QStringLiteral("PUnstructuredGrid"));
    w.writeAttribute(QStringLiteral("GhostLevel"), QStringLiteral("0"));
    // The types and names of the arrays as each piece writes them (points
    // are Int32 in either format).
    const auto array = [&w](const char *type, const char *name, int components) {
        w.writeStartElement(QStringLiteral("PDataArray"));
        w.writeAttribute(QStringLiteral("type"), QLatin1String(type));
        if (name)
            w.writeAttribute(QStringLiteral("Name"), QLatin1String(name));
        if (components > 0)
            w.writeAttribute(QStringLiteral("NumberOfComponents"), QString::number(components));
        w.writeEndElement();
    };
    w.writeStartElement(QStringLiteral("PPoints"));
    array("Int32", nullptr, 3);
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("PCellData"));
    w.writeAttribute(QStringLiteral("Scalars"), QStringLiteral("density"));
    w.writeAttribute(QStringLiteral("Vectors"), QStringLiteral("velocity"));
    array("Float64", "density", 0);
    array("Float64", "velocity", 3);
    w.writeEndElement();
    for (const QString &piece : pieces) {
        w.writeStartElement(QStringLiteral("Piece"));
        w.writeAttribute(QStringLiteral("Source"), piece);
        w.writeEndElement();
    }
    w.writeEndDocument();
    return !w.hasError();
}

qint64 VtuWriter::pointCount() const
{
    const int height = rows < 0 ? grid.getHeight() : rows;
    return qint64(grid.getWidth() + 1) * (height + 1) * (grid.getLength() + 1);
}

qint64 VtuWriter::pointNumber(const Grid &grid, int x, int y, int z)
{
    const qint64 py = grid.getHeight() + 1, pz = grid.getLength() + 1;
    return (qint64(x) * py + y) * pz + z;
}

template <typename Visit> void VtuWriter::forEachFluidCell(Visit visit)
{
    const int y0 = rows < 0 ? 0 : rowFirst, y1 = rows < 0 ? grid.getHeight() : rowFirst + rows;
    for (int x = 0; x < grid.getWidth(); ++x)
        for (int y = y0; y < y1; ++y)
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
    if (format == Format::Binary)
        return writeBinary();
    textFailed = false;
    writeAscii();
    return !xml.hasError() && !textFailed;
}

void VtuWriter::writeAscii()
{
    const qint64 points = pointCount();

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
}

template <typename Fill> QByteArray VtuWriter::encodeArray(const char *type, Fill fill)
{
    integerBytes = qstrcmp(type, "UInt8") == 0 ? 1 : (qstrcmp(type, "Int64") == 0 ? 8 : 4);
    compressed.resize(0);
    blockSizes.clear();
    rawBytes = 0;
    chunk.resize(0);
    (this->*fill)();
    QByteArray array;
    array.reserve(8 * (3 + blockSizes.size()) + compressed.size());
    appendUInt64(array, quint64(blockSizes.size()));
    appendUInt64(array, quint64(blockBytes));
    // The size of a last, partial block; 0 when every block is full.
    appendUInt64(array, quint64(rawBytes % blockBytes));
    for (quint64 size : qAsConst(blockSizes))
        appendUInt64(array, size);
    array += compressed;
    compressed = QByteArray();
    return array;
}

bool VtuWriter::writeBinary()
{
    const qint64 points = pointCount();
    // Point numbers and offsets of very large grids need eight bytes.
    const qint64 int32Max = std::numeric_limits<qint32>::max();
    const char *index = points > int32Max || 8 * fluidCells > int32Max ? "Int64" : "Int32";
    struct Array
    {
        const char *type;
        const char *name;
        int components;
        QByteArray data;
    };
    Array arrays[] = {{"Int32", nullptr, 3, encodeArray("Int32", &VtuWriter::writePoints)},
                      {index, "connectivity", 0, encodeArray(index, &VtuWriter::writeConnectivity)},
                      {index, "offsets", 0, encodeArray(index, &VtuWriter::writeOffsets)},
                      {"UInt8", "types", 0, encodeArray("UInt8", &VtuWriter::writeTypes)},
                      {"Float64", "density", 0, encodeArray("Float64", &VtuWriter::writeDensity)},
                      {"Float64", "velocity", 3, encodeArray("Float64", &VtuWriter::writeVelocity)}};

    QByteArray head;
    QXmlStreamWriter w(&head);
    w.setAutoFormatting(false);
    qint64 offset = 0;
    auto array = [&](const Array &a) {
        w.writeStartElement(QStringLiteral("DataArray"));
        w.writeAttribute(QStringLiteral("type"), QLatin1String(a.type));
        if (a.name)
            w.writeAttribute(QStringLiteral("Name"), QLatin1String(a.name));
        if (a.components > 0)
            w.writeAttribute(QStringLiteral("NumberOfComponents"), QString::number(a.components));
        w.writeAttribute(QStringLiteral("format"), QStringLiteral("appended"));
        w.writeAttribute(QStringLiteral("offset"), QString::number(offset));
        w.writeEndElement();
        offset += a.data.size();
    };
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("VTKFile"));
    w.writeAttribute(QStringLiteral("type"), QStringLiteral("UnstructuredGrid"));
    w.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    w.writeAttribute(QStringLiteral("byte_order"), QStringLiteral("LittleEndian"));
    w.writeAttribute(QStringLiteral("header_type"), QStringLiteral("UInt64"));
    w.writeAttribute(QStringLiteral("compressor"), QStringLiteral("vtkZLibDataCompressor"));
    w.writeStartElement(QStringLiteral("UnstructuredGrid"));
    w.writeStartElement(QStringLiteral("Piece"));
    w.writeAttribute(QStringLiteral("NumberOfPoints"), QString::number(points));
    w.writeAttribute(QStringLiteral("NumberOfCells"), QString::number(fluidCells));
    w.writeStartElement(QStringLiteral("Points"));
    array(arrays[0]);
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("Cells"));
    for (int i = 1; i <= 3; ++i)
        array(arrays[i]);
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("CellData"));
    w.writeAttribute(QStringLiteral("Scalars"), QStringLiteral("density"));
    w.writeAttribute(QStringLiteral("Vectors"), QStringLiteral("velocity"));
    array(arrays[4]);
    array(arrays[5]);
    w.writeEndElement(); // CellData
    w.writeEndElement(); // Piece
    w.writeEndElement(); // UnstructuredGrid
    w.writeStartElement(QStringLiteral("AppendedData"));
    w.writeAttribute(QStringLiteral("encoding"), QStringLiteral("raw"));
    // The underscore marks the start of the raw bytes; offsets count from after it.
    w.writeCharacters(QStringLiteral("_"));
    if (w.hasError())
        return false;

    bool ok = device->write(head) == head.size();
    for (const Array &a : arrays)
        ok = ok && device->write(a.data) == a.data.size();
    const QByteArray tail("</AppendedData></VTKFile>\n");
    return ok && device->write(tail) == tail.size();
}

void VtuWriter::compressBlocks(int bytes)
{
    std::vector<QByteArray> blocks(std::size_t((bytes + blockBytes - 1) / blockBytes));
    const char *raw = chunk.constData();
    QtConcurrent::blockingMap(blocks, [&](QByteArray &block) {
        const int first = int(&block - blocks.data()) * blockBytes;
        // qCompress puts the length in four bytes before the zlib stream;
        // VTK keeps lengths in its own header, so they are dropped later.
        block = qCompress(reinterpret_cast<const uchar *>(raw + first), std::min(blockBytes, bytes - first),
                          compressionLevel);
    });
    for (const QByteArray &block : blocks) {
        compressed.append(block.constData() + 4, block.size() - 4);
        blockSizes.append(quint64(block.size() - 4));
    }
    rawBytes += bytes;
    chunk.remove(0, bytes);
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
    const int y0 = rows < 0 ? 0 : rowFirst, y1 = rows < 0 ? grid.getHeight() : rowFirst + rows;
    for (int x = 0; x <= grid.getWidth(); ++x)
        for (int y = y0; y <= y1; ++y)
            for (int z = 0; z <= grid.getLength(); ++z) {
                appendInteger(x);
                appendInteger(y - (rows < 0 ? 0 : rowShift));
                appendInteger(z);
                flush();
            }
    flush(true);
}

void VtuWriter::writeConnectivity()
{
    // A piece numbers the corners of its own rows only.
    const qint64 py = (rows < 0 ? grid.getHeight() : rows) + 1, pz = grid.getLength() + 1;
    const int y0 = rows < 0 ? 0 : rowFirst;
    forEachFluidCell([this, py, pz, y0](BaseCell *, int x, int y, int z) {
        // VTK voxel order: x varies fastest, then y, then z.
        for (int corner = 0; corner < 8; ++corner)
            appendInteger((qint64(x + (corner & 1)) * py + (y - y0 + ((corner >> 1) & 1))) * pz + z +
                          ((corner >> 2) & 1));
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
    if (format == Format::Binary) {
        if (integerBytes == 1) {
            chunk += char(quint8(value));
        } else if (integerBytes == 4) {
            const qint32 le = qToLittleEndian(qint32(value));
            chunk.append(reinterpret_cast<const char *>(&le), sizeof le);
        } else {
            const qint64 le = qToLittleEndian(value);
            chunk.append(reinterpret_cast<const char *>(&le), sizeof le);
        }
        return;
    }
    char text[24];
    char *end = std::to_chars(text, text + sizeof text - 1, value).ptr;
    *end++ = ' ';
    chunk.append(text, int(end - text));
}

void VtuWriter::appendReal(double value)
{
    if (format == Format::Binary) {
        quint64 bits;
        std::memcpy(&bits, &value, sizeof bits);
        const quint64 le = qToLittleEndian(bits);
        chunk.append(reinterpret_cast<const char *>(&le), sizeof le);
        return;
    }
    // Six significant digits as printf's %g gives them, which is also what
    // QByteArray::number(value, 'g', 6) gives, except that any zero is "0"
    // and any NaN "nan".
    char text[32];
    char *end = text;
    if (std::isnan(value)) {
        std::memcpy(text, "nan", 3);
        end += 3;
    } else if (value == 0.0) {
        *end++ = '0';
    } else {
        end = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::general, 6).ptr;
    }
    *end++ = ' ';
    chunk.append(text, int(end - text));
}

void VtuWriter::flush(bool force)
{
    if (format == Format::Binary) {
        if (force && !chunk.isEmpty())
            compressBlocks(chunk.size());
        else if (chunk.size() >= batchBlocks * blockBytes)
            compressBlocks(chunk.size() / blockBytes * blockBytes);
        return;
    }
    if (chunk.size() < chunkBytes && !(force && !chunk.isEmpty()))
        return;
    // The text is plain ASCII (digits, signs, points, exponents, spaces): it
    // needs no escaping and is its own UTF-8, so it goes to the device as it
    // is. The stream writer writes through at once; an empty text makes it
    // close the array's start tag first.
    xml.writeCharacters(QString());
    if (device->write(chunk) != chunk.size())
        textFailed = true;
    chunk.resize(0); // keeps the reserved buffer
}
