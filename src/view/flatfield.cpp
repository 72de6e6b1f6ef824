#include "flatfield.h"

#include "painters.h"
#include "renderer.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"

#include <QtConcurrent>
#include <QtOpenGL>

#include <algorithm>
#include <functional>

namespace {

// The painters whose value is one number per cell of any kind, with the
// quantity they paint; the general painter pass computes the same.
using CellValue = std::function<double(const DrawItem &, BaseCell *)>;

CellValue valueOf(Renderer &r, std::vector<double> &psi, std::vector<Vector3d> &omega)
{
    Grid *grid = r.getGrid();
    const QString name = r.getPainterName();
    if (name == QLatin1String("velocity"))
        return [](const DrawItem &item, BaseCell *cell) { return cell->getVelocity(item.layer - 1).length(); };
    if (name == QLatin1String("pressure"))
        return [](const DrawItem &item, BaseCell *cell) { return cell->getP(item.layer - 1); };
    if (name == QLatin1String("stream function")) {
        psi = grid->streamFunction(r.getStreamIntegrationX(), r.getStreamIntegrationY());
        const std::size_t nx = std::size_t(grid->getWidth());
        return [&psi, nx](const DrawItem &item, BaseCell *) {
            return psi[std::size_t(item.x) + std::size_t(item.y) * nx];
        };
    }
    if (name == QLatin1String("vorticity magnitude")) {
        omega = grid->vorticity();
        return [grid, &omega](const DrawItem &item, BaseCell *) {
            return omega[std::size_t(grid->siteIndex(item.x, item.y, item.z))].z;
        };
    }
    if (name == QLatin1String("microflux"))
        return
            [grid](const DrawItem &item, BaseCell *) { return Painters::microfluxAt(*grid, item.x, item.y, item.z); };
    if (name == QLatin1String("macroflux")) {
        const std::vector<Vector3d> &flux = grid->crossSectionFlux();
        const std::size_t nx = std::size_t(grid->getWidth()), ny = std::size_t(grid->getHeight());
        return [&flux, nx, ny](const DrawItem &item, BaseCell *) {
            return flux[(std::size_t(item.z) * ny + std::size_t(item.y)) * nx + std::size_t(item.x)].length();
        };
    }
    return CellValue();
}

bool isPlainScalar(const QString &name)
{
    static const char *names[] = {"velocity",  "pressure", "stream function", "vorticity magnitude",
                                  "microflux", "macroflux"};
    return std::any_of(std::begin(names), std::end(names), [&name](const char *n) { return name == QLatin1String(n); });
}

struct Chunk
{
    int begin = 0;
    int end = 0;
    double minimum = 1e100;
    double maximum = -1e100;
    bool tracked = false;
};

int powerOfTwo(int n)
{
    int p = 1;
    while (p < n)
        p *= 2;
    return p;
}

} // namespace

bool FlatField::supports(const Renderer &r)
{
    const Grid *grid = r.getGrid();
    return grid->getLength() == 1 && !r.isHeightmap() && !r.isSecondDistributionShown() && !r.isIlluminated() &&
           !r.planeYZ() && !r.planeXZ() && !r.planeXY() && r.getDefaultFaceMask() == 4 &&
           isPlainScalar(r.getPainterName());
}

void FlatField::pass(Renderer &r, bool draw)
{
    std::vector<double> &buffer = r.valueBuffer();
    if (!draw)
        std::fill(buffer.begin(), buffer.end(), 0.0);
    r.resetExtremes();
    const QVector<DrawItem> &items = r.getDrawList();
    // Nothing changes between the two passes of a frame, so the drawing pass
    // reuses the values of the computing pass.
    const bool reuse = draw && computed && cached.size() == std::size_t(items.size());
    computed = false;
    std::vector<double> psi;
    std::vector<Vector3d> omega;
    const CellValue value = reuse ? CellValue() : valueOf(r, psi, omega);
    if (!reuse && !value)
        return;
    if (!reuse) {
        cached.resize(std::size_t(items.size()));
        present.resize(std::size_t(items.size()));
    }

    const int step = std::max(1, r.getArrowSteps());
    const int width = (r.getGrid()->getWidth() + step - 1) / step;
    const int height = (r.getGrid()->getHeight() + step - 1) / step;
    if (draw)
        image.assign(std::size_t(width) * std::size_t(height), 0u);

    const int chunkSize = 4096;
    std::vector<Chunk> chunks;
    for (int begin = 0; begin < items.size(); begin += chunkSize)
        chunks.push_back(Chunk{begin, std::min(int(items.size()), begin + chunkSize)});
    const ColorMap &map = r.colorMap();
    const bool knownStyle = map.style >= ColorMap::Wavelength && map.style <= ColorMap::BlueGreenRed;
    QtConcurrent::blockingMap(chunks, [&](Chunk &chunk) {
        for (int k = chunk.begin; k < chunk.end; ++k) {
            const DrawItem &item = items[k];
            if (!reuse) {
                BaseCell *cell = r.cellOf(item);
                present[std::size_t(k)] = cell != nullptr;
                if (cell)
                    cached[std::size_t(k)] = value(item, cell);
            }
            if (!present[std::size_t(k)])
                continue;
            const double v = cached[std::size_t(k)];
            chunk.minimum = std::min(chunk.minimum, v);
            chunk.maximum = std::max(chunk.maximum, v);
            chunk.tracked = true;
            if (!draw) {
                // Only values outside the range come out white, and only
                // for the known styles, so the colour itself is not needed.
                const double f = map.fraction(v);
                if (knownStyle && !(f > 0.0 && f < 1.0))
                    continue;
                buffer[std::size_t(r.valueIndex(item.x, item.y, item.z))] = v;
                continue;
            }
            const QColor c = map.color(v);
            if (ColorMap::isWhite(c))
                continue;
            buffer[std::size_t(r.valueIndex(item.x, item.y, item.z))] = v;
            image[std::size_t(item.x / step) + std::size_t(item.y / step) * std::size_t(width)] =
                qRgba(c.red(), c.green(), c.blue(), 255);
        }
    });
    for (const Chunk &chunk : chunks)
        if (chunk.tracked) {
            r.track(chunk.minimum);
            r.track(chunk.maximum);
        }
    computed = !draw;
    if (draw) {
        upload(width, height);
        drawQuad(r, width, height);
    }
}

void FlatField::upload(int width, int height)
{
    if (!texture)
        glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    const int w = powerOfTwo(width), h = powerOfTwo(height);
    if (w != textureWidth || h != textureHeight) {
        textureWidth = w;
        textureHeight = h;
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, image.data());
}

void FlatField::drawQuad(const Renderer &r, int width, int height)
{
    const double s = r.getCellSize();
    const int step = std::max(1, r.getArrowSteps());
    const double shift = (step - 1) / 2.0;
    const Vector3d o = r.getOrigin();
    const double left = o.x - shift * s, right = o.x + (width * step - shift) * s;
    const double bottom = o.y - shift * s, top = o.y + (height * step - shift) * s;
    const double z = o.z + (0.5 - shift) * s;
    const double u = double(width) / textureWidth, v = double(height) / textureHeight;

    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    // Cells that are not painted are transparent and must not hide what lies
    // behind them in the depth buffer either.
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.5f);
    glBegin(GL_QUADS);
    glNormal3d(0, 0, -1);
    glTexCoord2d(0, 0);
    glVertex3d(left, bottom, z);
    glTexCoord2d(u, 0);
    glVertex3d(right, bottom, z);
    glTexCoord2d(u, v);
    glVertex3d(right, top, z);
    glTexCoord2d(0, v);
    glVertex3d(left, top, z);
    glEnd();
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void FlatField::release()
{
    if (texture)
        glDeleteTextures(1, &texture);
    texture = 0;
    textureWidth = textureHeight = 0;
}
