#include "flatfield.h"

#include "painters.h"
#include "renderer.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/plainmoments.h"
#include "model/latticeboltzmann/populations.h"

#include <QtConcurrent>
#include <QtOpenGL>

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

// The painters whose value is one number per cell, with the quantity they
// paint and the cells they paint; the general painter pass computes the same.
struct CellValue
{
    std::function<double(const DrawItem &, BaseCell *)> of;
    // Whether the painter paints a cell at all; null paints every cell.
    bool (*paints)(BaseCell *) = nullptr;
    explicit operator bool() const { return bool(of); }
};

CellValue valueOf(Renderer &r)
{
    Grid *grid = r.getGrid();
    const QString name = r.getPainterName();
    if (name == QLatin1String("velocity"))
        return {[](const DrawItem &item, BaseCell *cell) { return cell->getVelocity(item.layer - 1).length(); }};
    if (name == QLatin1String("pressure"))
        return {[](const DrawItem &item, BaseCell *cell) { return cell->getP(item.layer - 1); }};
    if (name == QLatin1String("temperature"))
        return {[](const DrawItem &, BaseCell *cell) { return cell->getP(1); }, &Painters::carriesTemperature};
    if (name == QLatin1String("permeability"))
        return {[](const DrawItem &, BaseCell *cell) { return Painters::solidFraction(cell); }, &Painters::isPorous};
    if (name == QLatin1String("passive scalar") && r.getComponent() >= 0) {
        const int component = r.getComponent();
        return {[component](const DrawItem &, BaseCell *cell) { return cell->getP(component + 10); },
                &Painters::carriesScalars};
    }
    if (name == QLatin1String("stream function")) {
        const std::vector<double> &psi = r.streamFunctionField();
        const std::size_t nx = std::size_t(grid->getWidth());
        return {[&psi, nx](const DrawItem &item, BaseCell *) {
            return psi[std::size_t(item.x) + std::size_t(item.y) * nx];
        }};
    }
    if (name == QLatin1String("vorticity magnitude")) {
        const std::vector<Vector3d> &omega = r.vorticityField();
        return {[grid, &omega](const DrawItem &item, BaseCell *) {
            return omega[std::size_t(grid->siteIndex(item.x, item.y, item.z))].z;
        }};
    }
    if (name == QLatin1String("microflux"))
        return {
            [grid](const DrawItem &item, BaseCell *) { return Painters::microfluxAt(*grid, item.x, item.y, item.z); }};
    if (name == QLatin1String("macroflux")) {
        const std::vector<Vector3d> &flux = r.fluxField();
        const std::size_t nx = std::size_t(grid->getWidth());
        return {[&flux, nx](const DrawItem &item, BaseCell *) {
            return flux[std::size_t(item.y) * nx + std::size_t(item.x)].length();
        }};
    }
    return CellValue();
}

bool isPlainScalar(const Renderer &r)
{
    static const char *names[] = {"velocity",  "pressure",  "stream function", "vorticity magnitude",
                                  "microflux", "macroflux", "temperature",     "permeability"};
    const QString name = r.getPainterName();
    if (name == QLatin1String("passive scalar"))
        return r.getComponent() >= 0;
    return std::any_of(std::begin(names), std::end(names), [&name](const char *n) { return name == QLatin1String(n); });
}

struct Chunk
{
    int begin = 0;
    int end = 0;
    // The value indices the chunk owns.
    int regionBegin = 0;
    int regionEnd = 0;
    // The plain fluid values of the chunk's span of sites.
    std::vector<double> span;
    double minimum = 1e100;
    double maximum = -1e100;
    bool tracked = false;
};

// The draw items cut into chunks of 4096 that the threads work on.
std::vector<Chunk> chunksOf(int count)
{
    const int chunkSize = 4096;
    std::vector<Chunk> chunks;
    for (int begin = 0; begin < count; begin += chunkSize) {
        chunks.emplace_back();
        chunks.back().begin = begin;
        chunks.back().end = std::min(count, begin + chunkSize);
    }
    return chunks;
}

// The chunks' extremes tracked in chunk order, as the items would be.
void trackChunks(Renderer &r, const std::vector<Chunk> &chunks)
{
    for (const Chunk &chunk : chunks)
        if (chunk.tracked) {
            r.track(chunk.minimum);
            r.track(chunk.maximum);
        }
}

// The item's value from its cell into value, and whether it has a cell
// the painter paints into has.
void fromCell(Renderer &r, const CellValue &cellValue, const DrawItem &item, double &value, unsigned char &has)
{
    BaseCell *cell = r.cellOf(item);
    has = cell && (!cellValue.paints || cellValue.paints(cell));
    if (has)
        value = cellValue.of(item, cell);
}

// The values of the chunk's items, and whether each has a cell, into
// values[j] and has[j] for item begin + j. Plain fluid values (plain set)
// come from what the last step kept or, for a span of sites the items
// mostly fill, are formed for the whole span at once; the others from the
// cell.
void gather(Renderer &r, const CellValue &value, const PlainMoments &moments, const double *kept, bool plain,
            Chunk &chunk, int first, int n, double *values, unsigned char *has)
{
    const Grid *grid = r.getGrid();
    const DrawItem *list = r.getDrawList().constData() + chunk.begin;
    const int count = chunk.end - chunk.begin;
    const double *source = nullptr;
    if (plain && kept) {
        source = kept + first;
    } else if (plain && n > 0 && n <= 2 * count) {
        chunk.span.resize(std::size_t(n));
        moments.values(std::size_t(first), n, chunk.span.data());
        source = chunk.span.data();
    }
    if (n == count && source) {
        // Item j is site first + j.
        for (int j = 0; j < count; ++j) {
            if (grid->isPlainFluidSite(first + j)) {
                has[j] = 1;
                values[j] = source[j];
            } else {
                fromCell(r, value, list[j], values[j], has[j]);
            }
        }
        return;
    }
    for (int j = 0; j < count; ++j) {
        const int site = grid->siteIndex(list[j].x, list[j].y, list[j].z);
        if (plain && grid->isPlainFluidSite(site)) {
            has[j] = 1;
            if (source)
                values[j] = source[site - first];
            else
                moments.values(std::size_t(site), 1, &values[j]);
        } else {
            fromCell(r, value, list[j], values[j], has[j]);
        }
    }
}

// The smallest and largest of n values, as the per-item comparisons in site
// order give them: four lanes, each keeping a value only when it is smaller
// (larger) than the lane's, so a NaN never enters. Pairs of lanes fit the
// baseline's vector registers.
void spanExtremes(const double *values, int n, double &minimum, double &maximum)
{
    using Pair = double __attribute__((vector_size(16)));
    Pair low0 = {minimum, minimum}, low1 = low0, high0 = {maximum, maximum}, high1 = high0;
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        Pair a, b;
        std::memcpy(&a, values + j, sizeof a);
        std::memcpy(&b, values + j + 2, sizeof b);
        low0 = a < low0 ? a : low0;
        low1 = b < low1 ? b : low1;
        high0 = a > high0 ? a : high0;
        high1 = b > high1 ? b : high1;
    }
    for (const Pair &low : {low0, low1})
        minimum = std::min({minimum, low[0], low[1]});
    for (const Pair &high : {high0, high1})
        maximum = std::max({maximum, high[0], high[1]});
    for (; j < n; ++j) {
        minimum = std::min(minimum, values[j]);
        maximum = std::max(maximum, values[j]);
    }
}

// What colours a span of sites that all have a value, for a colour map of a
// known style.
struct SpanColouring
{
    // The map's fraction is (v - low) / width, with the map's own arithmetic.
    double low, width;
    // With two ranges, a value the earlier range shows is written too.
    bool twoRanges;
    double earlierLow, earlierWidth;
    bool writesValues, ownsValues;
    const std::uint32_t *ramp;
    int rampSize;
};

// Values and colours of n sites with a value each, as the item by item
// painting gives them, except that a pixel whose ramp slot has no single
// colour is left 0 for the caller to colour exactly. Written so that the
// compiler vectorises it for the wider instruction sets.
__attribute__((target_clones("avx512f", "avx2", "default"))) void
colourSpan(const double *__restrict values, int n, const SpanColouring &c, double *__restrict out,
           std::uint32_t *__restrict pixels)
{
    const double low = c.low, width = c.width, earlierLow = c.earlierLow, earlierWidth = c.earlierWidth;
    const double rampSlots = c.rampSize;
    const bool twoRanges = c.twoRanges, owns = c.ownsValues;
    // The slot of each site's colour, 0 where the value is not shown (the
    // first slot is 0 as well); the value where either range shows it.
    auto slotOf = [&](double f) {
        const bool shown = (f > 0.0) & (f < 1.0);
        return std::uint32_t((shown ? f : 0.0) * rampSlots);
    };
    auto valueOf = [&](double v, double f, double old) {
        const double e = (v - earlierLow) / earlierWidth;
        const bool keep = ((f > 0.0) & (f < 1.0)) | (twoRanges & (e > 0.0) & (e < 1.0));
        return keep ? v : owns ? 0.0 : old;
    };
    if (pixels)
        for (int j = 0; j < n; ++j)
            pixels[j] = slotOf((values[j] - low) / width);
    if (c.writesValues)
        for (int j = 0; j < n; ++j) {
            const double v = values[j];
            out[j] = valueOf(v, (v - low) / width, out[j]);
        }
    // The slots' colours.
    const std::uint32_t *ramp = c.ramp;
    if (pixels)
        for (int j = 0; j < n; ++j)
            pixels[j] = ramp[pixels[j]];
}

int powerOfTwo(int n)
{
    int p = 1;
    while (p < n)
        p *= 2;
    return p;
}

// The quantity of plain fluid a painter shows, which the grid's populations
// give directly: the speed for "velocity", the density for "pressure".
Grid::PlainValue plainQuantity(const QString &painter)
{
    if (painter == QLatin1String("velocity"))
        return Grid::PlainValue::Speed;
    if (painter == QLatin1String("pressure"))
        return Grid::PlainValue::Density;
    return Grid::PlainValue::None;
}

} // namespace

Grid::PlainValue FlatField::keptValue(const Renderer &r)
{
    if (!r.isFastFlatDrawing() || !supports(r))
        return Grid::PlainValue::None;
    return plainQuantity(r.getPainterName());
}

bool FlatField::supports(const Renderer &r)
{
    const Grid *grid = r.getGrid();
    return grid->getLength() == 1 && !r.isHeightmap() && !r.isSecondDistributionShown() && !r.isIlluminated() &&
           !r.planeYZ() && !r.planeXZ() && !r.planeXY() && r.getDefaultFaceMask() == 4 &&
           (isPlainScalar(r) || r.getPainterName() == QLatin1String("multicomponent"));
}

void FlatField::pass(Renderer &r, bool draw, bool drawFollows)
{
    if (r.getPainterName() == QLatin1String("multicomponent")) {
        computed = coloured = deferred = false;
        mixturePass(r, draw);
        return;
    }
    mixtureComputed = false;
    std::vector<double> &buffer = r.valueBuffer();
    const QVector<DrawItem> &items = r.getDrawList();
    // Nothing changes between the two passes of a frame, so the drawing pass
    // reuses the values of the computing pass.
    const bool reuse = draw && computed && cached.size() == std::size_t(items.size());
    const ColorMap &map = r.colorMap();
    const bool knownStyle = map.style >= ColorMap::Wavelength && map.style <= ColorMap::BlueGreenRed;
    Grid *grid = r.getGrid();
    const int step = std::max(1, r.getArrowSteps());
    const int width = (grid->getWidth() + step - 1) / step;
    const int height = (grid->getHeight() + step - 1) / step;
    // The computing pass coloured the field with the range the drawing pass
    // has: it wrote the same value buffer and extremes as this pass would,
    // and only the drawing is left.
    if (reuse && coloured && computedWith.centre == map.centre && computedWith.halfWidth == map.halfWidth &&
        computedWith.style == map.style && computedWith.steps == map.steps) {
        computed = coloured = deferred = false;
        upload(width, height);
        drawQuad(r, width, height);
        return;
    }
    r.resetExtremes();
    // Colours are formed when drawing, and ahead of it where the range stays
    // and the ramp gives them.
    const bool colour = draw || (drawFollows && knownStyle && !r.isContinuousAutoAdjust());
    // A computing pass that does not colour and is followed by a drawing
    // pass leaves the value buffer to it. The pass that writes the buffer
    // also clears what its items do not write.
    const bool defer = !draw && drawFollows && !colour;
    const bool writesValues = !defer;
    const bool ownsValues = draw ? deferred : !defer;
    const ColorMap earlier = computedWith;
    const bool twoRanges = draw && deferred;
    computed = coloured = deferred = false;
    const CellValue value = reuse ? CellValue() : valueOf(r);
    if (!reuse && !value) {
        std::fill(buffer.begin(), buffer.end(), 0.0);
        return;
    }
    if (!reuse) {
        cached.resize(std::size_t(items.size()));
        present.resize(std::size_t(items.size()));
    }
    const Grid::PlainValue quantity = plainQuantity(r.getPainterName());
    const bool speed = quantity == Grid::PlainValue::Speed;
    const bool plainMoments = !reuse && quantity != Grid::PlainValue::None;
    // Plain fluid values come from the populations, or from what the last
    // step kept of them while that still holds.
    const Populations &populations = grid->getPopulations();
    const PlainMoments moments(populations, populations.cur, speed);
    const bool populated = populations.q > 0 && populations.q <= Lattice::MaxQ;
    const double *kept = plainMoments ? grid->keptPlainValues(quantity) : nullptr;

    // One pixel per site: pixel and value index are the site index, and each
    // chunk clears its own part of the image. Otherwise the image is cleared
    // here.
    const bool pixelPerSite = step == 1;
    if (colour) {
        image.resize(std::size_t(width) * std::size_t(height));
        if (!pixelPerSite)
            std::fill(image.begin(), image.end(), 0u);
    }

    // Chunk c owns the value indices (and, one pixel per site, the pixels)
    // from its first site up to the next chunk's first site, the first chunk
    // from 0 and the last to the end: its items lie there, and it clears
    // what they do not write.
    std::vector<Chunk> chunks = chunksOf(int(items.size()));
    const DrawItem *list = items.constData();
    auto siteOf = [grid, list](int k) { return grid->siteIndex(list[k].x, list[k].y, list[k].z); };
    for (std::size_t c = 0; c < chunks.size(); ++c) {
        chunks[c].regionBegin = c == 0 ? 0 : siteOf(chunks[c].begin);
        chunks[c].regionEnd = c + 1 < chunks.size() ? siteOf(chunks[c + 1].begin) : int(buffer.size());
    }
    if (chunks.empty()) {
        if (colour)
            std::fill(image.begin(), image.end(), 0u);
        if (ownsValues)
            std::fill(buffer.begin(), buffer.end(), 0.0);
    }
    if (colour && knownStyle)
        prepareRamp(map);
    if (!reuse)
        aliasSource = populated && plainMoments ? kept : nullptr;
    QtConcurrent::blockingMap(chunks, [&](Chunk &chunk) {
        const int count = chunk.end - chunk.begin;
        // The list runs in site order, one item per site on this path.
        const int first = siteOf(chunk.begin);
        const int n = siteOf(chunk.end - 1) - first + 1;
        // Dense: the chunk's items are exactly the sites of their span, so
        // item begin + j is site, value index and pixel first + j, and the
        // list need not be read.
        const bool dense = pixelPerSite && n == count;
        double *values = cached.data() + chunk.begin;
        unsigned char *has = present.data() + chunk.begin;
        double *out = buffer.data();
        Texel *pixels = colour ? image.data() : nullptr;

        // What the chunk's items do not write of its region is cleared: the
        // whole region, or around the span of a dense chunk, which writes
        // every value index and pixel of it.
        auto clear = [&](int from, int to) {
            if (from >= to)
                return;
            if (ownsValues)
                std::fill(out + from, out + to, 0.0);
            if (pixels && pixelPerSite)
                std::fill(pixels + from, pixels + to, 0u);
        };
        if (dense) {
            clear(chunk.regionBegin, first);
            clear(first + n, chunk.regionEnd);
        } else {
            clear(chunk.regionBegin, chunk.regionEnd);
        }

        // With what the step kept, runs of items at consecutive plain fluid
        // sites read it in place and are painted span-wise; the other items
        // take their cell's value.
        const bool runs = aliasSource && pixelPerSite;
        if (!reuse && !runs)
            gather(r, value, moments, kept, populated && plainMoments, chunk, first, n, values, has);
        double minimum = chunk.minimum, maximum = chunk.maximum;
        bool tracked = false;
        // Whether map shows v: inside the range, or any value with an unknown
        // style.
        auto shows = [knownStyle](const ColorMap &m, double v) {
            if (knownStyle) {
                const double f = m.fraction(v);
                return f > 0.0 && f < 1.0;
            }
            return !ColorMap::isWhite(m.color(v));
        };
        // An item's colour and value v at value index at and pixel: white and
        // a value of 0 where it is not shown, untouched there unless
        // zeroOutside. A value shown by the earlier range of a deferred
        // computing pass is written too.
        auto paint = [&](double v, std::size_t at, std::size_t pixel, bool zeroOutside) __attribute__((always_inline)) {
            minimum = std::min(minimum, v);
            maximum = std::max(maximum, v);
            tracked = true;
            if (!writesValues && !pixels)
                return;
            bool shown;
            Texel t = 0u;
            if (knownStyle) {
                const double f = map.fraction(v);
                shown = f > 0.0 && f < 1.0;
                if (shown && pixels)
                    t = rampColor(map, f);
            } else {
                const QColor c = map.color(v);
                shown = !ColorMap::isWhite(c);
                t = texel(c);
            }
            if (writesValues) {
                if (shown || (twoRanges && shows(earlier, v)))
                    out[at] = v;
                else if (zeroOutside && ownsValues)
                    out[at] = 0.0;
            }
            if (pixels) {
                if (shown)
                    pixels[pixel] = t;
                else if (zeroOutside)
                    pixels[pixel] = 0u;
            }
        };
        // An item without a cell.
        auto paintEmpty = [&](std::size_t at, std::size_t pixel, bool zeroOutside) {
            if (!zeroOutside)
                return;
            if (ownsValues)
                out[at] = 0.0;
            if (pixels)
                pixels[pixel] = 0u;
        };
        // Item k of the chunk, whose value the computing pass gathered.
        auto paintItem = [&](int k, std::size_t at, std::size_t pixel, bool zeroOutside) __attribute__((always_inline)) {
            if (has[k])
                paint(values[k], at, pixel, zeroOutside);
            else
                paintEmpty(at, pixel, zeroOutside);
        };
        // The plain fluid sites from site on, value index and pixel alike,
        // with the values the step kept.
        auto paintRun = [&](int site, int length) {
            const double *v = aliasSource + site;
            if (!knownStyle && (writesValues || pixels)) {
                for (int k = 0; k < length; ++k)
                    paint(v[k], std::size_t(site + k), std::size_t(site + k), true);
                return;
            }
            spanExtremes(v, length, minimum, maximum);
            tracked = true;
            if (!writesValues && !pixels)
                return;
            const SpanColouring how{map.centre - map.halfWidth,
                                    2 * map.halfWidth,
                                    twoRanges,
                                    earlier.centre - earlier.halfWidth,
                                    2 * earlier.halfWidth,
                                    writesValues,
                                    ownsValues,
                                    ramp.data(),
                                    RampSize};
            Texel *runPixels = pixels ? pixels + site : nullptr;
            colourSpan(v, length, how, out + site, runPixels);
            // Sites outside the range, and those in a ramp slot without one
            // colour, which take the exact colour.
            if (runPixels)
                for (int k = 0; k < length; ++k)
                    if (!runPixels[k]) {
                        const double f = map.fraction(v[k]);
                        if (f > 0.0 && f < 1.0)
                            runPixels[k] = exactColor(map, f);
                    }
        };
        if (runs && dense && grid->arePlainFluidSites(first, n)) {
            paintRun(first, n);
        } else if (runs) {
            auto siteAt = [&](int j) { return dense ? first + j : siteOf(chunk.begin + j); };
            for (int j = 0; j < count;) {
                const int site = siteAt(j);
                if (!grid->isPlainFluidSite(site)) {
                    if (!reuse)
                        fromCell(r, value, list[chunk.begin + j], values[j], has[j]);
                    paintItem(j, std::size_t(site), std::size_t(site), dense);
                    ++j;
                    continue;
                }
                int end = j + 1;
                while (end < count && siteAt(end) == site + (end - j) && grid->isPlainFluidSite(site + (end - j)))
                    ++end;
                paintRun(site, end - j);
                j = end;
            }
        } else if (dense) {
            for (int j = 0; j < count; ++j)
                paintItem(j, std::size_t(first + j), std::size_t(first + j), true);
        } else {
            const std::size_t gridWidth = std::size_t(grid->getWidth());
            for (int j = 0; j < count; ++j) {
                const DrawItem &item = list[chunk.begin + j];
                paintItem(j, std::size_t(item.x) + std::size_t(item.y) * gridWidth,
                          std::size_t(item.x / step) + std::size_t(item.y / step) * std::size_t(width), false);
            }
        }
        chunk.minimum = minimum;
        chunk.maximum = maximum;
        chunk.tracked = tracked;
    });
    trackChunks(r, chunks);
    computed = !draw;
    coloured = colour && !draw;
    deferred = defer;
    computedWith = map;
    if (draw) {
        upload(width, height);
        drawQuad(r, width, height);
    }
}

FlatField::Texel FlatField::channel(double c)
{
    // The colour reaches the GL as a float, clamped to [0, 1] and rounded to
    // the nearest byte; NaN is taken as 0.
    const float f = float(c);
    const float clamped = f > 0.0f ? std::min(f, 1.0f) : 0.0f;
    return Texel(clamped * 255.0f + 0.5f);
}

void FlatField::mixturePass(Renderer &r, bool draw)
{
    std::vector<double> &buffer = r.valueBuffer();
    const QVector<DrawItem> &items = r.getDrawList();
    const std::size_t count = std::size_t(items.size());
    // The cells do not change between the two passes of a frame, so the
    // drawing pass reuses what the computing pass read from them.
    const bool reuse = draw && mixtureComputed && cached.size() == count;
    mixtureComputed = !draw;
    if (!draw)
        std::fill(buffer.begin(), buffer.end(), 0.0);
    if (!reuse) {
        cached.resize(count);
        present.resize(count);
        shares.resize(2 * count);
    }
    const ColorMap &map = r.colorMap();
    const Grid *grid = r.getGrid();
    const int step = std::max(1, r.getArrowSteps());
    const int width = (grid->getWidth() + step - 1) / step;
    const int height = (grid->getHeight() + step - 1) / step;
    const double top = r.getCentre() + r.getHalfWidth();
    if (draw) {
        image.resize(std::size_t(width) * std::size_t(height));
        std::fill(image.begin(), image.end(), 0u);
    }
    // The painter keeps widening the extremes while it is on: each chunk
    // tracks its values and the chunks are tracked in order.
    std::vector<Chunk> chunks = chunksOf(int(items.size()));
    const DrawItem *list = items.constData();
    QtConcurrent::blockingMap(chunks, [&](Chunk &chunk) {
        double minimum = chunk.minimum, maximum = chunk.maximum;
        for (int k = chunk.begin; k < chunk.end; ++k) {
            const DrawItem &item = list[k];
            if (!reuse) {
                BaseCell *cell = r.cellOf(item);
                present[std::size_t(k)] = cell != nullptr;
                if (!cell)
                    continue;
                cached[std::size_t(k)] = cell->getP(-1);
                shares[2 * std::size_t(k)] = cell->getP(0);
                shares[2 * std::size_t(k) + 1] = cell->getP(1);
            } else if (!present[std::size_t(k)]) {
                continue;
            }
            const double v = cached[std::size_t(k)];
            minimum = std::min(minimum, v);
            maximum = std::max(maximum, v);
            chunk.tracked = true;
            if (ColorMap::isWhite(map.color(v)))
                continue;
            buffer[std::size_t(r.valueIndex(item.x, item.y, item.z))] = v;
            if (draw)
                image[std::size_t(item.x / step) + std::size_t(item.y / step) * std::size_t(width)] =
                    channel(shares[2 * std::size_t(k)] / top) | channel(shares[2 * std::size_t(k) + 1] / top) << 16 |
                    Texel(255) << 24;
        }
        chunk.minimum = minimum;
        chunk.maximum = maximum;
    });
    trackChunks(r, chunks);
    if (draw) {
        upload(width, height);
        drawQuad(r, width, height);
    }
}

void FlatField::prepareRamp(const ColorMap &map)
{
    if (ramp.size() == std::size_t(RampSize) && rampStyle == map.style && rampSteps == map.steps)
        return;
    rampStyle = map.style;
    rampSteps = map.steps;
    ramp.resize(std::size_t(RampSize));
    // Every channel of a ramp piece is monotonic in f, so a slot whose two
    // ends have the same colour has that colour throughout. Slots whose ends
    // differ, that hold a piece edge, or that touch the range ends (where the
    // arithmetic may step just outside a channel's range) stay 0 and are
    // computed exactly.
    Texel left = exactColor(map, 0.0);
    for (int i = 0; i < RampSize; ++i) {
        const Texel right = exactColor(map, double(i + 1) / RampSize);
        ramp[std::size_t(i)] = left == right ? left : 0u;
        left = right;
    }
    ramp.front() = ramp.back() = 0u;
    for (double edge : map.pieceEdges()) {
        const int i = int(edge * RampSize);
        for (int j = std::max(0, i - 1); j <= std::min(RampSize - 1, i + 1); ++j)
            ramp[std::size_t(j)] = 0u;
    }
}

FlatField::Texel FlatField::exactColor(const ColorMap &map, double f)
{
    return texel(map.colorAt(f));
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
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    // Texels in the texture's own order: a plain copy, where a swizzled
    // upload costs a software renderer several times as much.
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8_REV, image.data());
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
    // Texels are opaque or dropped by the alpha test, so blending would give
    // the same colours; a software renderer would read every pixel for it.
    const GLboolean blend = glIsEnabled(GL_BLEND);
    glDisable(GL_BLEND);
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
    if (blend)
        glEnable(GL_BLEND);
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
