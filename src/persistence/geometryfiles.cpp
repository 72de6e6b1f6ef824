#include "geometryfiles.h"

#include "compression.h"
#include "model/latticeboltzmann/cellcodes.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>
#include <QStringList>
#include <QVector>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

QString shown(const QString &path)
{
    return QFileInfo(path).fileName();
}

// A regular file, or a link to one: a pipe or a device would block the
// reader or never end.
bool regularFile(const QString &path, QString *error)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::stat(native.constData(), &st) != 0)
        return fail(error, QStringLiteral("The file %1 does not exist.").arg(path));
    if (!S_ISREG(st.st_mode))
        return fail(error, QStringLiteral("%1 is not a regular file.").arg(path));
    return true;
}

QString tooLarge(const QString &path, qint64 size)
{
    return QStringLiteral("%1 holds %2 bytes, more than the %3 a file may have.")
        .arg(shown(path))
        .arg(size)
        .arg(GeometryFiles::MaxFileBytes);
}

// Writes through a temporary file that replaces the target only once it is
// complete.
bool writeWhole(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    // The last buffered bytes are written and checked before the commit,
    // which does not report a failed final write.
    if (file.write(data) != data.size() || !file.flush()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, why));
    }
    if (!file.commit())
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

bool sizeAllowed(long long width, long long height, long long length)
{
    const long long limit = GeometryFiles::MaxSites;
    return width >= 1 && height >= 1 && length >= 1 && width <= limit && height <= limit && length <= limit &&
           width * height <= limit && width * height * length <= limit;
}

// Refuses a domain that the machine cannot hold. The grid's present cells
// are freed before the new ones are made, so their memory counts as free.
bool memoryAllows(const Grid &grid, const QString &path, long long sites, int q, QString *error)
{
    const double needed = GeometryFiles::estimatedBytes(sites, q);
    const double available = GeometryFiles::availableBytes();
    if (available < 0.0)
        return true;
    // A margin for the rest of the program and for the system.
    const double usable = 0.8 * (available + double(grid.memoryBytes()));
    if (needed <= usable)
        return true;
    return fail(error, QStringLiteral("%1 describes %2 sites, which need about %3 MB of memory; the machine "
                                      "has about %4 MB free.")
                           .arg(shown(path))
                           .arg(sites)
                           .arg(qint64(needed / 1048576.0))
                           .arg(qint64(available / 1048576.0)));
}

// The model the grid will have once a geometry of the given length is loaded.
int modelFor(const Grid &grid, int length)
{
    const int q = grid.getParameters()->getModel();
    return length > 1 && q == 9 ? 19 : q;
}

// Opens one layer, which must be a regular PNG file, and reads its size
// from the header without decoding it.
bool openPng(const QString &path, QFile &file, QImageReader &reader, QSize &size, QString *error)
{
    if (!regularFile(path, error))
        return false;
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    if (file.size() > GeometryFiles::MaxFileBytes)
        return fail(error, tooLarge(path, file.size()));
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (file.peek(8) != signature)
        return fail(error, QStringLiteral("%1 is not a PNG image.").arg(shown(path)));
    reader.setDevice(&file);
    reader.setFormat("png");
    size = reader.size();
    if (!size.isValid())
        return fail(error, QStringLiteral("Cannot decode the PNG image %1: %2").arg(shown(path), reader.errorString()));
    return true;
}

// Hands the code map to the grid. The grid builds the new cells before it
// gives up the old ones, so when memory runs out the running grid (and its
// model) stay as they were.
bool build(Grid &grid, const QStringList &codes, int width, int height, int length, bool switchModel,
           const QString &path, QString *error)
{
    SimulationParameters *sp = grid.getParameters();
    const int model = sp->getModel();
    try {
        if (switchModel && length > 1 && model == 9)
            sp->setModel(19);
        grid.loadTypes(codes, width, height, length);
        return true;
    } catch (const std::bad_alloc &) {
        if (sp->getModel() != model)
            sp->setModel(model);
        return fail(
            error,
            QStringLiteral("Not enough memory to build the grid of %1; the simulation is unchanged.").arg(shown(path)));
    }
}

} // namespace

namespace {

// The codes of a layered PNG geometry; the memory for its cells is asked
// of the machine when checkMemory is set.
bool imageSites(const Grid &grid, const QString &path, const QString &mode, bool checkMemory, GeometryFiles::Sites &out,
                QString *error)
{
    constexpr long long MaxSites = GeometryFiles::MaxSites;
    if (!mode.isEmpty() && mode != QLatin1String("korner"))
        return fail(error, QStringLiteral("Unknown colour table \"%1\".").arg(mode));
    QSize size;
    {
        QFile file;
        QImageReader reader;
        if (!openPng(path, file, reader, size, error))
            return false;
    }
    const int width = size.width(), height = size.height();
    // The geometry is the unbroken run of layers from the named file; files
    // numbered beyond a gap are not part of it (a save writes and removes
    // exactly such a run).
    int layers = 1;
    while (QFileInfo::exists(GeometryFiles::layerFileName(path, layers)))
        ++layers;
    // The free-surface cells are defined for D2Q9 on one plane.
    const bool korner = mode == QLatin1String("korner");
    if (korner && layers > 1)
        return fail(error, QStringLiteral("The free-surface model is two-dimensional, but %1 has %2 layers.")
                               .arg(shown(path))
                               .arg(layers));
    if (!sizeAllowed(width, height, layers))
        return fail(error, QStringLiteral("%1 describes %2 x %3 x %4 sites, more than the %5 a geometry may have.")
                               .arg(shown(path))
                               .arg(width)
                               .arg(height)
                               .arg(layers)
                               .arg(MaxSites));
    const long long sites = (long long)width * height * layers;
    if (checkMemory && !memoryAllows(grid, path, sites, modelFor(grid, layers), error))
        return false;

    try {
        // Every layer is read and translated before the grid is touched.
        QStringList codes;
        codes.reserve(int(sites));
        for (long long i = 0; i < sites; ++i)
            codes.append(QString());
        for (int z = 0; z < layers; ++z) {
            const QString layerPath = z == 0 ? path : GeometryFiles::layerFileName(path, z);
            QFile file;
            QImageReader reader;
            QSize layerSize;
            if (!openPng(layerPath, file, reader, layerSize, error))
                return false;
            if (layerSize != size)
                return fail(error, QStringLiteral("Layer %1 is %2 x %3 pixels, but %4 is %5 x %6.")
                                       .arg(shown(layerPath))
                                       .arg(layerSize.width())
                                       .arg(layerSize.height())
                                       .arg(shown(path))
                                       .arg(width)
                                       .arg(height));
            QImage layer = reader.read();
            if (layer.isNull())
                return fail(
                    error,
                    QStringLiteral("Cannot decode the PNG image %1: %2").arg(shown(layerPath), reader.errorString()));
            if (layer.size() != size)
                return fail(error,
                            QStringLiteral("%1 decodes to another size than its header gives.").arg(shown(layerPath)));
            if (layer.format() != QImage::Format_RGB32 && layer.format() != QImage::Format_ARGB32)
                layer = layer.convertToFormat(QImage::Format_ARGB32);
            if (layer.isNull())
                throw std::bad_alloc();
            for (int row = height - 1; row >= 0; --row) {
                const int y = height - 1 - row;
                const QRgb *pixels = reinterpret_cast<const QRgb *>(layer.constScanLine(row));
                for (int x = 0; x < width; ++x) {
                    const QString code = CellCodes::codeForColour(pixels[x], mode);
                    if (code.isEmpty())
                        return fail(error, QStringLiteral("Pixel (%1, %2) of %3 has the colour %4, which the "
                                                          "free-surface colour table does not list.")
                                               .arg(x)
                                               .arg(row)
                                               .arg(shown(layerPath))
                                               .arg(QColor(pixels[x]).name()));
                    codes[(y * width + x) * layers + z] = code;
                }
            }
        }
        out.codes.swap(codes);
        out.width = width;
        out.height = height;
        out.length = layers;
        out.model = korner ? 9 : modelFor(grid, layers);
        return true;
    } catch (const std::bad_alloc &) {
        return fail(error, QStringLiteral("Not enough memory to read %1; the grid is unchanged.").arg(shown(path)));
    }
}

} // namespace

bool GeometryFiles::loadImageGeometry(Grid &grid, const QString &path, const QString &mode, QString *error)
{
    Sites sites;
    if (!imageSites(grid, path, mode, true, sites, error))
        return false;
    if (mode == QLatin1String("korner") && grid.getParameters()->getModel() != 9)
        grid.getParameters()->setModel(9);
    return build(grid, sites.codes, sites.width, sites.height, sites.length, true, path, error);
}

namespace {

// Reads the whitespace-separated whole numbers of a text geometry one at a
// time, so a large file costs no more than its bytes.
class NumberReader
{
public:
    explicit NumberReader(const QByteArray &data) : at(data.constData()), end(data.constData() + data.size()) {}

    enum Result { Number, End, Bad };
    Result next(long long &value, QByteArray &token)
    {
        while (at < end && isSpace(*at))
            ++at;
        if (at == end)
            return End;
        const char *begin = at;
        while (at < end && !isSpace(*at))
            ++at;
        ++count;
        token = QByteArray(begin, int(std::min<std::ptrdiff_t>(at - begin, 40)));
        const char *c = begin;
        const bool negative = *c == '-';
        if (*c == '-' || *c == '+')
            ++c;
        if (c == at)
            return Bad;
        unsigned long long magnitude = 0;
        for (; c < at; ++c) {
            if (*c < '0' || *c > '9')
                return Bad;
            // Far beyond any size or position; checked before the
            // multiplication, so it never wraps.
            if (magnitude > (1ULL << 62) / 10)
                return Bad;
            magnitude = magnitude * 10 + unsigned(*c - '0');
        }
        value = negative ? -(long long)magnitude : (long long)magnitude;
        return Number;
    }
    // The ordinal of the last token read.
    long long ordinal() const { return count; }

private:
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
    const char *at;
    const char *end;
    long long count = 0;
};

} // namespace

namespace {

// The codes of a text geometry; the memory for its cells is asked of the
// machine when checkMemory is set.
bool textSites(const Grid &grid, const QString &path, bool checkMemory, GeometryFiles::Sites &out, QString *error)
{
    constexpr long long MaxSites = GeometryFiles::MaxSites;
    QByteArray data;
    if (!GeometryFiles::readFile(path, data, error))
        return false;

    // All numbers are read and checked, in one pass, before the grid is
    // touched.
    NumberReader numbers(data);
    QByteArray token;
    // ended is the message for a file that ends before the number.
    auto read = [&](long long &value, const QString &ended) {
        switch (numbers.next(value, token)) {
        case NumberReader::Number:
            return true;
        case NumberReader::End:
            return fail(error, ended);
        case NumberReader::Bad:
            break;
        }
        return fail(error, QStringLiteral("%1: \"%2\" (number %3) is not a whole number.")
                               .arg(shown(path), QString::fromLatin1(token))
                               .arg(numbers.ordinal()));
    };
    long long width = 0, height = 0, length = 0;
    const QString size = QStringLiteral("%1 ends before the width, height and length.").arg(shown(path));
    if (!read(width, size) || !read(height, size) || !read(length, size))
        return false;
    if (!sizeAllowed(width, height, length))
        return fail(error, QStringLiteral("%1: the size %2 x %3 x %4 is not possible (each at least 1, at most %5 "
                                          "sites in all).")
                               .arg(shown(path))
                               .arg(width)
                               .arg(height)
                               .arg(length)
                               .arg(MaxSites));
    const int nx = int(width), ny = int(height), nz = int(length);
    const long long sites = width * height * length;
    if (checkMemory && !memoryAllows(grid, path, sites, grid.getParameters()->getModel(), error))
        return false;

    try {
        QStringList codes;
        codes.reserve(int(sites));
        const QString fluid = QStringLiteral("x");
        for (long long i = 0; i < sites; ++i)
            codes.append(fluid);
        static const char *const sections[] = {"inlets", "outlets", "walls"};
        for (int s = 0; s < 3; ++s) {
            const QString code = QStringLiteral("sow").mid(s, 1);
            long long count = 0;
            if (!read(count, QStringLiteral("%1 ends before the number of %2.").arg(shown(path), sections[s])))
                return false;
            if (count < 0)
                return fail(
                    error,
                    QStringLiteral("%1: the number of %2 is negative (%3).").arg(shown(path), sections[s]).arg(count));
            const QString early = QStringLiteral("%1 ends early: it announces %2 %3 but holds fewer positions.")
                                      .arg(shown(path))
                                      .arg(count)
                                      .arg(sections[s]);
            for (long long k = 0; k < count; ++k) {
                long long x = 0, y = 0, z = 0;
                if (!read(x, early) || !read(y, early) || !read(z, early))
                    return false;
                // Positions outside the box are skipped.
                if (x < 0 || y < 0 || z < 0 || x >= nx || y >= ny || z >= nz)
                    continue;
                codes[int((y * nx + x) * nz + z)] = code;
            }
        }
        out.codes.swap(codes);
        out.width = nx;
        out.height = ny;
        out.length = nz;
        out.model = grid.getParameters()->getModel();
        return true;
    } catch (const std::bad_alloc &) {
        return fail(error, QStringLiteral("Not enough memory to read %1; the grid is unchanged.").arg(shown(path)));
    }
}

} // namespace

bool GeometryFiles::loadTextGeometry(Grid &grid, const QString &path, QString *error)
{
    Sites sites;
    if (!textSites(grid, path, true, sites, error))
        return false;
    return build(grid, sites.codes, sites.width, sites.height, sites.length, false, path, error);
}

bool GeometryFiles::readSites(const Grid &grid, const QString &path, bool korner, Sites &sites, QString *error)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return imageSites(grid, path, korner ? QStringLiteral("korner") : QString(), false, sites, error);
    if (suffix == QLatin1String("txt") || suffix == QLatin1String("lb"))
        return textSites(grid, path, false, sites, error);
    return fail(error, QStringLiteral("%1 is not a geometry file (.png, .txt or .lb).").arg(shown(path)));
}

bool GeometryFiles::load(Grid &grid, const QString &path, bool korner, QString *error)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return loadImageGeometry(grid, path, korner ? QStringLiteral("korner") : QString(), error);
    if (suffix == QLatin1String("txt") || suffix == QLatin1String("lb"))
        return loadTextGeometry(grid, path, error);
    return fail(error, QStringLiteral("%1 is not a geometry file (.png, .txt or .lb).").arg(shown(path)));
}

bool GeometryFiles::saveGeometryImage(const Grid &grid, const QString &path, int scale, QString *error)
{
    if (scale < 1 || scale > 16)
        return fail(error, QStringLiteral("The image scale must be between 1 and 16, not %1.").arg(scale));
    const int nx = grid.getWidth(), ny = grid.getHeight(), nz = grid.getLength();
    // Every layer is written aside and completed first; the files replace
    // the old ones only when all of them are complete.
    std::vector<std::unique_ptr<QSaveFile>> files;
    for (int z = 0; z < nz; ++z) {
        QImage image(nx * scale, ny * scale, QImage::Format_RGB32);
        if (image.isNull())
            return fail(error,
                        QStringLiteral("The grid is too large for a %1 x %2 image.").arg(nx * scale).arg(ny * scale));
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) {
                const QRgb colour = CellCodes::colourForCode(CellCodes::codeForCell(grid.getCell(x, y, z)));
                const int top = (ny - 1 - y) * scale;
                for (int r = 0; r < scale; ++r) {
                    QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(top + r));
                    for (int c = 0; c < scale; ++c)
                        line[x * scale + c] = colour;
                }
            }
        const QString layerPath = z == 0 ? path : layerFileName(path, z);
        files.push_back(std::make_unique<QSaveFile>(layerPath));
        QSaveFile &file = *files.back();
        if (!file.open(QIODevice::WriteOnly))
            return fail(error, QStringLiteral("Cannot write %1: %2").arg(layerPath, file.errorString()));
        if (!image.save(&file, "PNG") || !file.flush()) {
            const QString why = file.error() != QFileDevice::NoError ? file.errorString()
                                                                     : QStringLiteral("the image could not be encoded");
            file.cancelWriting();
            return fail(error, QStringLiteral("Cannot write the PNG image %1: %2").arg(layerPath, why));
        }
    }
    for (auto &file : files)
        if (!file->commit())
            return fail(error, QStringLiteral("Cannot write %1: %2").arg(file->fileName(), file->errorString()));
    // Layers of this name right after the new last one would make the saved
    // geometry load back longer than it is: that unbroken run goes, and no
    // other file (a layer beyond a gap belongs to no geometry of this name).
    for (int layer = nz; QFileInfo::exists(layerFileName(path, layer)); ++layer)
        if (!QFile::remove(layerFileName(path, layer)))
            return fail(error, QStringLiteral("Cannot remove the old layer %1.").arg(layerFileName(path, layer)));
    return true;
}

QString GeometryFiles::layerFileName(const QString &path, int layer)
{
    return path.left(path.size() - 4) + "_" + QString::number(layer + 1) + path.right(4);
}

QString GeometryFiles::lb2PathFor(const QString &lbPath)
{
    if (lbPath.endsWith(QLatin1String(".lb")))
        return lbPath + QLatin1Char('2');
    return lbPath + QLatin1String(".lb2");
}

QString GeometryFiles::lbPathFor(const QString &lb2Path)
{
    if (lb2Path.endsWith(QLatin1String(".lb2")))
        return lb2Path.left(lb2Path.size() - 1);
    return lb2Path + QLatin1String(".lb");
}

bool GeometryFiles::readFile(const QString &path, QByteArray &data, QString *error)
{
    if (!regularFile(path, error))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    const qint64 size = file.size();
    if (size > MaxFileBytes)
        return fail(error, tooLarge(path, size));
    try {
        QByteArray bytes = file.read(size);
        if (file.error() != QFileDevice::NoError)
            return fail(error, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
        // A short read (a file that shrank, or a failing disk) is an error,
        // never a shorter file.
        if (bytes.size() != size)
            return fail(
                error,
                QStringLiteral("Cannot read %1: %2 of its %3 bytes arrived.").arg(path).arg(bytes.size()).arg(size));
        data = bytes;
    } catch (const std::bad_alloc &) {
        return fail(error, QStringLiteral("Not enough memory to read %1.").arg(shown(path)));
    }
    return true;
}

bool GeometryFiles::unpackLb2(const QByteArray &packed, QByteArray &plain, const QString &name, QString *error)
{
    const QString corrupt = QStringLiteral("%1 is not a compressed .lb2 file, or it is damaged.").arg(name);
    if (packed.size() < Compression::NarrowHeader)
        return fail(error, corrupt);
    // The header gives the uncompressed size: four bytes, or the marker
    // FF FF FF FF and eight bytes for a text of 2 GiB or more.
    const auto *b = reinterpret_cast<const uchar *>(packed.constData());
    const auto bigEndian = [b](int from, int count) {
        quint64 n = 0;
        for (int k = 0; k < count; ++k)
            n = n << 8 | b[from + k];
        return n;
    };
    int header = Compression::NarrowHeader;
    quint64 claimed = bigEndian(0, 4);
    if (claimed == 0xffffffffu && packed.size() >= Compression::WideHeader) {
        header = Compression::WideHeader;
        claimed = bigEndian(4, 8);
    }
    // Deflate cannot shrink data by more than about 1032 : 1, so a larger
    // claim is damage, and refusing it avoids a huge allocation.
    if (double(claimed) > 1100.0 * double(packed.size() - header) + 64.0)
        return fail(error, corrupt);
    if (claimed > quint64(MaxFileBytes))
        return fail(error, QStringLiteral("%1 unpacks to %2 bytes, more than the %3 a file may have.")
                               .arg(name)
                               .arg(claimed)
                               .arg(MaxFileBytes));
    // An empty file compresses to exactly four zero bytes.
    if (claimed == 0 && header == Compression::NarrowHeader) {
        if (packed.size() != Compression::NarrowHeader)
            return fail(error, corrupt);
        plain = QByteArray();
        return true;
    }
    QByteArray bytes;
    if (header == Compression::WideHeader) {
        QString why;
        if (!Compression::inflate(packed, MaxFileBytes, &bytes, &why))
            return fail(error, why.startsWith(QLatin1String("not enough memory"))
                                   ? QStringLiteral("Not enough memory to decompress %1.").arg(name)
                                   : corrupt);
        plain = bytes;
        return true;
    }
    try {
        bytes = qUncompress(packed);
    } catch (const std::bad_alloc &) {
        return fail(error, QStringLiteral("Not enough memory to decompress %1.").arg(name));
    }
    if (bytes.isEmpty() || quint64(bytes.size()) != claimed)
        return fail(error, corrupt);
    plain = bytes;
    return true;
}

double GeometryFiles::estimatedBytes(long long sites, int q)
{
    // Per site: the fluid cell and its two population arrays, the cell and
    // neighbour table entries, the stepping mode, and the code map entry;
    // a quarter more for allocator overhead and the companions.
    const double perSite = double(sizeof(SCCell)) + 2.0 * sizeof(double) * q + sizeof(void *) * (q + 1) +
                           sizeof(std::uint32_t) + sizeof(QString) + sizeof(void *);
    return 1.25 * perSite * double(sites);
}

double GeometryFiles::availableBytes()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = meminfo.readAll().split('\n');
        for (const QByteArray &line : lines)
            if (line.startsWith("MemAvailable:")) {
                bool ok = false;
                const double kb = line.mid(13).trimmed().split(' ').value(0).toDouble(&ok);
                if (ok)
                    return kb * 1024.0;
            }
    }
#if defined(_SC_PHYS_PAGES) && defined(_SC_PAGESIZE)
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page > 0)
        return double(pages) * double(page);
#endif
    return -1.0;
}

bool GeometryFiles::convertLbToLb2(const QString &path, QString *error)
{
    QByteArray data;
    if (!readFile(path, data, error))
        return false;
    QByteArray compressed;
    try {
        compressed = qCompress(data, -1);
    } catch (const std::bad_alloc &) {
        return fail(error, QStringLiteral("Not enough memory to compress %1.").arg(shown(path)));
    }
    if (compressed.isEmpty())
        return fail(error, QStringLiteral("Cannot compress %1.").arg(shown(path)));
    return writeWhole(lb2PathFor(path), compressed, error);
}

bool GeometryFiles::convertLb2ToLb(const QString &path, QString *error)
{
    QByteArray data, plain;
    if (!readFile(path, data, error) || !unpackLb2(data, plain, shown(path), error))
        return false;
    return writeWhole(lbPathFor(path), plain, error);
}
