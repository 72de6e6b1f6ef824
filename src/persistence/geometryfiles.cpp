#include "geometryfiles.h"

#include "cellcodes.h"
#include "model/latticeboltzmann/grid.h"
#include "simulationparameters.h"

#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>
#include <QStringList>
#include <QVector>

#include <new>

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

bool readWhole(const QString &path, QByteArray &data, QString *error)
{
    QFileInfo info(path);
    if (!info.exists())
        return fail(error, QStringLiteral("The file %1 does not exist.").arg(path));
    if (!info.isFile())
        return fail(error, QStringLiteral("%1 is not a file.").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(error, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    return true;
}

// Writes through a temporary file that replaces the target only once it is
// complete.
bool writeWhole(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    if (file.write(data) != data.size()) {
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

// Reads one layer, which must be a PNG file that decodes.
bool readPng(const QString &path, QImage &image, QString *error)
{
    QFileInfo info(path);
    if (!info.exists())
        return fail(error, QStringLiteral("The file %1 does not exist.").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (file.peek(8) != signature)
        return fail(error, QStringLiteral("%1 is not a PNG image.").arg(shown(path)));
    QImageReader reader(&file, "png");
    image = reader.read();
    if (image.isNull())
        return fail(error, QStringLiteral("Cannot decode the PNG image %1: %2").arg(shown(path), reader.errorString()));
    return true;
}

} // namespace

bool GeometryFiles::loadImageGeometry(Grid &grid, const QString &path, const QString &mode, QString *error)
{
    if (!mode.isEmpty() && mode != QLatin1String("korner"))
        return fail(error, QStringLiteral("Unknown colour table \"%1\".").arg(mode));
    QImage first;
    if (!readPng(path, first, error))
        return false;
    const int width = first.width(), height = first.height();
    int layers = 1;
    while (QFileInfo::exists(layerFileName(path, layers)))
        ++layers;
    if (!sizeAllowed(width, height, layers))
        return fail(error, QStringLiteral("%1 describes %2 x %3 x %4 sites, more than the %5 a geometry may have.")
                               .arg(shown(path))
                               .arg(width)
                               .arg(height)
                               .arg(layers)
                               .arg(MaxSites));

    // Every layer is read and translated before the grid is touched.
    QStringList codes;
    codes.reserve(width * height * layers);
    for (int i = 0; i < width * height * layers; ++i)
        codes.append(QString());
    for (int z = 0; z < layers; ++z) {
        QImage layer;
        const QString layerPath = z == 0 ? path : layerFileName(path, z);
        if (z == 0)
            layer = first;
        else if (!readPng(layerPath, layer, error))
            return false;
        if (layer.width() != width || layer.height() != height)
            return fail(error, QStringLiteral("Layer %1 is %2 x %3 pixels, but %4 is %5 x %6.")
                                   .arg(shown(layerPath))
                                   .arg(layer.width())
                                   .arg(layer.height())
                                   .arg(shown(path))
                                   .arg(width)
                                   .arg(height));
        if (layer.format() != QImage::Format_RGB32 && layer.format() != QImage::Format_ARGB32)
            layer = layer.convertToFormat(QImage::Format_ARGB32);
        for (int row = height - 1; row >= 0; --row) {
            const int y = height - 1 - row;
            const QRgb *pixels = reinterpret_cast<const QRgb *>(layer.constScanLine(row));
            for (int x = 0; x < width; ++x) {
                const QString code = CellCodes::codeForColour(pixels[x], mode);
                if (code.isEmpty())
                    return fail(error, QStringLiteral("Pixel (%1, %2) of %3 has the colour %4, which the free-surface "
                                                      "colour table does not list.")
                                           .arg(x)
                                           .arg(row)
                                           .arg(shown(layerPath))
                                           .arg(QColor(pixels[x]).name()));
                codes[(y * width + x) * layers + z] = code;
            }
        }
    }

    SimulationParameters *sp = grid.getParameters();
    if (layers > 1 && sp->getModel() == 9)
        sp->setModel(19);
    grid.loadTypes(codes, width, height, layers);
    return true;
}

bool GeometryFiles::loadTextGeometry(Grid &grid, const QString &path, QString *error)
{
    QByteArray data;
    if (!readWhole(path, data, error))
        return false;

    // All numbers are read and checked before the grid is touched.
    const QList<QByteArray> tokens = data.simplified().split(' ');
    QVector<long long> numbers;
    numbers.reserve(tokens.size());
    for (const QByteArray &token : tokens) {
        if (token.isEmpty())
            continue;
        bool ok = false;
        const long long v = token.toLongLong(&ok, 10);
        if (!ok)
            return fail(error, QStringLiteral("%1: \"%2\" (number %3) is not a whole number.")
                                   .arg(shown(path), QString::fromLatin1(token.left(40)))
                                   .arg(numbers.size() + 1));
        numbers.append(v);
    }
    if (numbers.size() < 3)
        return fail(error, QStringLiteral("%1 ends before the width, height and length.").arg(shown(path)));
    const long long width = numbers[0], height = numbers[1], length = numbers[2];
    if (!sizeAllowed(width, height, length))
        return fail(error, QStringLiteral("%1: the size %2 x %3 x %4 is not possible (each at least 1, at most %5 "
                                          "sites in all).")
                               .arg(shown(path))
                               .arg(width)
                               .arg(height)
                               .arg(length)
                               .arg(MaxSites));

    static const char *const sections[] = {"inlets", "outlets", "walls"};
    struct Section
    {
        QString code;
        int first;
        int count;
    };
    QVector<Section> listed;
    int at = 3;
    for (int s = 0; s < 3; ++s) {
        if (at >= numbers.size())
            return fail(error, QStringLiteral("%1 ends before the number of %2.").arg(shown(path), sections[s]));
        const long long count = numbers[at++];
        if (count < 0)
            return fail(
                error,
                QStringLiteral("%1: the number of %2 is negative (%3).").arg(shown(path), sections[s]).arg(count));
        if (count > (numbers.size() - at) / 3)
            return fail(error, QStringLiteral("%1 ends early: it announces %2 %3 but holds fewer positions.")
                                   .arg(shown(path))
                                   .arg(count)
                                   .arg(sections[s]));
        listed.append(Section{QStringLiteral("sow").mid(s, 1), at, int(count)});
        at += int(count) * 3;
    }

    const int nx = int(width), ny = int(height), nz = int(length);
    QStringList codes;
    codes.reserve(nx * ny * nz);
    const QString fluid = QStringLiteral("x");
    for (int i = 0; i < nx * ny * nz; ++i)
        codes.append(fluid);
    for (const Section &section : qAsConst(listed))
        for (int k = 0; k < section.count; ++k) {
            const long long x = numbers[section.first + 3 * k], y = numbers[section.first + 3 * k + 1],
                            z = numbers[section.first + 3 * k + 2];
            // Positions outside the box are skipped.
            if (x < 0 || y < 0 || z < 0 || x >= nx || y >= ny || z >= nz)
                continue;
            codes[int((y * nx + x) * nz + z)] = section.code;
        }
    grid.loadTypes(codes, nx, ny, nz);
    return true;
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
        QSaveFile file(layerPath);
        if (!file.open(QIODevice::WriteOnly))
            return fail(error, QStringLiteral("Cannot write %1: %2").arg(layerPath, file.errorString()));
        if (!image.save(&file, "PNG")) {
            file.cancelWriting();
            return fail(error, QStringLiteral("Cannot write the PNG image %1.").arg(layerPath));
        }
        if (!file.commit())
            return fail(error, QStringLiteral("Cannot write %1: %2").arg(layerPath, file.errorString()));
    }
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

bool GeometryFiles::convertLbToLb2(const QString &path, QString *error)
{
    QByteArray data;
    if (!readWhole(path, data, error))
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
    QByteArray data;
    if (!readWhole(path, data, error))
        return false;
    const QString corrupt = QStringLiteral("%1 is not a compressed .lb2 file, or it is damaged.").arg(shown(path));
    if (data.size() < 4)
        return fail(error, corrupt);
    // The first four bytes give the uncompressed size; deflate cannot shrink
    // data by more than about 1032 : 1, so a larger claim is damage, and
    // refusing it avoids a huge allocation.
    const quint32 claimed = (quint32(uchar(data[0])) << 24) | (quint32(uchar(data[1])) << 16) |
                            (quint32(uchar(data[2])) << 8) | quint32(uchar(data[3]));
    if (double(claimed) > 1100.0 * double(data.size() - 4) + 64.0)
        return fail(error, corrupt);
    // An empty file compresses to exactly four zero bytes.
    if (claimed == 0)
        return data.size() == 4 ? writeWhole(lbPathFor(path), QByteArray(), error) : fail(error, corrupt);
    QByteArray plain;
    try {
        plain = qUncompress(data);
    } catch (const std::bad_alloc &) {
        return fail(error, QStringLiteral("Not enough memory to decompress %1.").arg(shown(path)));
    }
    if (plain.isEmpty() || quint32(plain.size()) != claimed)
        return fail(error, corrupt);
    return writeWhole(lbPathFor(path), plain, error);
}
