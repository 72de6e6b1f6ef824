#include "shapevoxels.h"

#include "shape.h"

#include <QList>
#include <QtConcurrent>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace {

// Runs work(k) for k = 0 .. count - 1, on the thread pool when asked.
template <typename Work> void forEach(int count, bool parallel, Work work)
{
    if (!parallel || count < 2) {
        for (int k = 0; k < count; ++k)
            work(k);
        return;
    }
    QList<int> items;
    items.reserve(count);
    for (int k = 0; k < count; ++k)
        items.append(k);
    QtConcurrent::blockingMap(items, [&work](int k) { work(k); });
}

// The smallest fraction a link keeps: a surface through the fluid site
// itself is moved off it by this much.
constexpr double SmallestFraction = 1e-6;

} // namespace

ShapeVoxels::ShapeVoxels(const Shape &shape, int width, int height, int length, int q, bool periodic, bool parallel)
    : nx(std::max(1, width)), ny(std::max(1, height)), nz(std::max(1, length))
{
    mask.assign(std::size_t(nx) * ny * nz, 0);
    const int n[3] = {nx, ny, nz};
    // On a periodic box a bounded shape that reaches over a side covers the
    // sites of its image on the other side as well: the shifts of the images
    // that meet the box, the shape itself first.
    Vector3d low, high;
    const bool bounded = shape.bounds(low, high);
    std::vector<Vector3i> shifts{Vector3i(0, 0, 0)};
    if (periodic && bounded) {
        const double l[3] = {low.x, low.y, low.z}, h[3] = {high.x, high.y, high.z};
        for (int a = 0; a < 3; ++a) {
            std::vector<Vector3i> more;
            for (const Vector3i &s : shifts)
                for (int side : {-1, 1}) {
                    // Sites near the low side see the part beyond the high
                    // side (shift +n), and the other way round.
                    if ((side > 0 && h[a] > n[a] - 1) || (side < 0 && l[a] < 0.0)) {
                        Vector3i t = s;
                        (a == 0 ? t.x : a == 1 ? t.y : t.z) = side * n[a];
                        more.push_back(t);
                    }
                }
            shifts.insert(shifts.end(), more.begin(), more.end());
        }
    }
    for (const Vector3i &s : shifts) {
        // The sites that the image moved by s may cover, where s is the
        // shift from a site to the shape's own frame.
        int lo[3] = {0, 0, 0}, hi[3] = {nx - 1, ny - 1, nz - 1};
        if (bounded) {
            const double l[3] = {low.x - s.x, low.y - s.y, low.z - s.z}, h[3] = {high.x - s.x, high.y - s.y, high.z - s.z};
            for (int a = 0; a < 3; ++a) {
                const double top = hi[a] + 1.0;
                lo[a] = std::max(lo[a], int(std::ceil(std::min(std::max(l[a], -1.0), top))));
                hi[a] = std::min(hi[a], int(std::floor(std::min(std::max(h[a], -1.0), top))));
            }
        }
        if (lo[0] > hi[0] || lo[1] > hi[1] || lo[2] > hi[2])
            continue;
        const int depth = hi[2] - lo[2] + 1;
        forEach(hi[1] - lo[1] + 1, parallel, [&](int r) {
            const int y = lo[1] + r;
            std::vector<std::uint8_t> column(std::size_t(depth), 0);
            for (int x = lo[0]; x <= hi[0]; ++x) {
                shape.solidColumn(x + s.x, y + s.y, lo[2] + s.z, hi[2] + 1 + s.z, column.data());
                std::uint8_t *out = &mask[(std::size_t(y) * nx + x) * nz + lo[2]];
                for (int k = 0; k < depth; ++k)
                    out[k] |= column[std::size_t(k)];
            }
        });
    }
    for (std::uint8_t m : mask)
        covered += m;
    if (covered == 0)
        return;
    const int rows = ny;
    const int lo[3] = {0, 0, 0}, hi[3] = {nx - 1, ny - 1, nz - 1};

    // Covered sites with an uncovered neighbour, row by row.
    auto perRow = std::vector<std::vector<Boundary>>(std::size_t(rows));
    forEach(rows, parallel, [&](int r) {
        const int y = lo[1] + r;
        for (int x = lo[0]; x <= hi[0]; ++x)
            for (int z = lo[2]; z <= hi[2]; ++z) {
                if (!isSolid(x, y, z))
                    continue;
                Boundary b{x, y, z, {}};
                bool any = false;
                for (int i = 0; i < Lattice::MaxQ; ++i) {
                    b.fraction[i] = -1.0;
                    if (i == 0 || i >= q || !Lattice::isActive(q, i))
                        continue;
                    const int *e = Lattice::tables.e[q][i];
                    int px = x - e[0], py = y - e[1], pz = z - e[2];
                    if (periodic) {
                        px = (px + nx) % nx;
                        py = (py + ny) % ny;
                        pz = (pz + nz) % nz;
                    }
                    if (px < 0 || px >= nx || py < 0 || py >= ny || pz < 0 || pz >= nz || isSolid(px, py, pz))
                        continue;
                    b.fraction[i] = 0.0; // to be measured
                    any = true;
                }
                if (any)
                    perRow[std::size_t(r)].push_back(b);
            }
    });
    std::size_t total = 0;
    for (const auto &row : perRow)
        total += row.size();
    sites.reserve(total);
    for (auto &row : perRow) {
        sites.insert(sites.end(), row.begin(), row.end());
        row.clear();
        row.shrink_to_fit();
    }

    // The crossings, measured from the uncovered end of each link (taken on
    // this side of a periodic seam).
    std::atomic<std::size_t> misses{0};
    const int chunk = 256;
    const int chunks = int((sites.size() + chunk - 1) / chunk);
    forEach(chunks, parallel, [&](int c) {
        std::size_t local = 0;
        const std::size_t end = std::min(sites.size(), std::size_t(c + 1) * chunk);
        for (std::size_t k = std::size_t(c) * chunk; k < end; ++k) {
            Boundary &b = sites[k];
            const Vector3d to(b.x, b.y, b.z);
            for (int i = 1; i < q; ++i) {
                if (b.fraction[i] < 0.0)
                    continue;
                const int *e = Lattice::tables.e[q][i];
                const Vector3d from(b.x - e[0], b.y - e[1], b.z - e[2]);
                // Measured on the image that covers the site.
                double t = -1.0;
                for (const Vector3i &s : shifts) {
                    const Vector3d d(s.x, s.y, s.z);
                    if (shifts.size() > 1 && !shape.contains(to + d))
                        continue;
                    t = shape.crossing(from + d, to + d);
                    if (t >= 0.0)
                        break;
                }
                if (t < 0.0) {
                    t = 0.5;
                    ++local;
                }
                b.fraction[i] = std::max(SmallestFraction, std::min(1.0, t));
            }
        }
        misses += local;
    });
    missed = misses;
}
