#include "trianglemesh.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

bool lessXY(const Vector3d &a, const Vector3d &b)
{
    return a.x < b.x || (a.x == b.x && a.y < b.y);
}

// Twice the signed area of (p, q, point) in the xy-plane. Evaluated with the
// ends in a fixed order, so the two triangles that share an edge get values
// of exactly opposite sign from it.
double edgeFunction(const Vector3d &p, const Vector3d &q, double x, double y)
{
    return (q.x - p.x) * (y - p.y) - (q.y - p.y) * (x - p.x);
}

int binOf(double value, double origin, double size, int count)
{
    const double b = std::floor((value - origin) / size);
    return b < 0.0 ? 0 : (b >= count ? count - 1 : int(b));
}

// The size of the bins for a mean extent of the triangles (each triangle
// then meets a few bins) and the whole extent (at most `most` bins a side).
double binSize(double meanExtent, double extent, int most)
{
    double size = std::max(meanExtent, extent / most);
    if (!(size > 0.0))
        size = 1.0;
    return size;
}

} // namespace

void TriangleMesh::setTriangles(std::vector<Vector3d> corners)
{
    v = std::move(corners);
    v.resize(v.size() / 3 * 3);
    lo = hi = Vector3d();
    if (!v.empty()) {
        lo = hi = v[0];
        for (const Vector3d &p : v) {
            lo = Vector3d(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
            hi = Vector3d(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
        }
    }
    buildColumns();
    buildCells();
}

void TriangleMesh::buildColumns()
{
    const std::size_t n = triangleCount();
    columnStart.assign(1, 0);
    columnItems.clear();
    columnsX = columnsY = 0;
    if (n == 0)
        return;
    double mean = 0.0;
    for (std::size_t t = 0; t < n; ++t) {
        const Vector3d &a = v[3 * t], &b = v[3 * t + 1], &c = v[3 * t + 2];
        mean += std::max(std::max({a.x, b.x, c.x}) - std::min({a.x, b.x, c.x}),
                         std::max({a.y, b.y, c.y}) - std::min({a.y, b.y, c.y}));
    }
    columnSize = binSize(mean / n, std::max(hi.x - lo.x, hi.y - lo.y), 1024);
    columnsX = std::max(1, int(std::ceil((hi.x - lo.x) / columnSize)) + 1);
    columnsY = std::max(1, int(std::ceil((hi.y - lo.y) / columnSize)) + 1);
    columnStart.assign(std::size_t(columnsX) * columnsY + 1, 0);
    auto range = [&](std::size_t t, int &x0, int &x1, int &y0, int &y1) {
        const Vector3d &a = v[3 * t], &b = v[3 * t + 1], &c = v[3 * t + 2];
        x0 = binOf(std::min({a.x, b.x, c.x}), lo.x, columnSize, columnsX);
        x1 = binOf(std::max({a.x, b.x, c.x}), lo.x, columnSize, columnsX);
        y0 = binOf(std::min({a.y, b.y, c.y}), lo.y, columnSize, columnsY);
        y1 = binOf(std::max({a.y, b.y, c.y}), lo.y, columnSize, columnsY);
    };
    for (std::size_t t = 0; t < n; ++t) {
        int x0, x1, y0, y1;
        range(t, x0, x1, y0, y1);
        for (int j = y0; j <= y1; ++j)
            for (int i = x0; i <= x1; ++i)
                ++columnStart[std::size_t(j) * columnsX + i + 1];
    }
    for (std::size_t k = 1; k < columnStart.size(); ++k)
        columnStart[k] += columnStart[k - 1];
    columnItems.assign(columnStart.back(), 0);
    std::vector<std::uint32_t> fill(columnStart.begin(), columnStart.end() - 1);
    for (std::size_t t = 0; t < n; ++t) {
        int x0, x1, y0, y1;
        range(t, x0, x1, y0, y1);
        for (int j = y0; j <= y1; ++j)
            for (int i = x0; i <= x1; ++i)
                columnItems[fill[std::size_t(j) * columnsX + i]++] = std::uint32_t(t);
    }
}

void TriangleMesh::buildCells()
{
    const std::size_t n = triangleCount();
    cellStart.assign(1, 0);
    cellItems.clear();
    cellsX = cellsY = cellsZ = 0;
    if (n == 0)
        return;
    double mean = 0.0;
    for (std::size_t t = 0; t < n; ++t) {
        const Vector3d &a = v[3 * t], &b = v[3 * t + 1], &c = v[3 * t + 2];
        double extent = 0.0;
        for (int axis = 0; axis < 3; ++axis)
            extent = std::max(extent, std::max({a[axis], b[axis], c[axis]}) - std::min({a[axis], b[axis], c[axis]}));
        mean += extent;
    }
    cellSize = binSize(mean / n, std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z}), 256);
    cellsX = std::max(1, int(std::ceil((hi.x - lo.x) / cellSize)) + 1);
    cellsY = std::max(1, int(std::ceil((hi.y - lo.y) / cellSize)) + 1);
    cellsZ = std::max(1, int(std::ceil((hi.z - lo.z) / cellSize)) + 1);
    cellStart.assign(std::size_t(cellsX) * cellsY * cellsZ + 1, 0);
    auto range = [&](std::size_t t, int r[3][2]) {
        const Vector3d &a = v[3 * t], &b = v[3 * t + 1], &c = v[3 * t + 2];
        const int counts[3] = {cellsX, cellsY, cellsZ};
        for (int axis = 0; axis < 3; ++axis) {
            r[axis][0] = binOf(std::min({a[axis], b[axis], c[axis]}), lo[axis], cellSize, counts[axis]);
            r[axis][1] = binOf(std::max({a[axis], b[axis], c[axis]}), lo[axis], cellSize, counts[axis]);
        }
    };
    auto cellIndex = [&](int i, int j, int k) { return (std::size_t(k) * cellsY + j) * cellsX + i; };
    for (std::size_t t = 0; t < n; ++t) {
        int r[3][2];
        range(t, r);
        for (int k = r[2][0]; k <= r[2][1]; ++k)
            for (int j = r[1][0]; j <= r[1][1]; ++j)
                for (int i = r[0][0]; i <= r[0][1]; ++i)
                    ++cellStart[cellIndex(i, j, k) + 1];
    }
    for (std::size_t k = 1; k < cellStart.size(); ++k)
        cellStart[k] += cellStart[k - 1];
    cellItems.assign(cellStart.back(), 0);
    std::vector<std::uint32_t> fill(cellStart.begin(), cellStart.end() - 1);
    for (std::size_t t = 0; t < n; ++t) {
        int r[3][2];
        range(t, r);
        for (int k = r[2][0]; k <= r[2][1]; ++k)
            for (int j = r[1][0]; j <= r[1][1]; ++j)
                for (int i = r[0][0]; i <= r[0][1]; ++i)
                    cellItems[fill[cellIndex(i, j, k)]++] = std::uint32_t(t);
    }
}

std::size_t TriangleMesh::openEdges() const
{
    // Corners numbered by exact position, then every edge as a pair of numbers.
    const std::size_t m = v.size();
    std::vector<std::uint32_t> order(m);
    for (std::size_t i = 0; i < m; ++i)
        order[i] = std::uint32_t(i);
    auto less = [this](std::uint32_t a, std::uint32_t b) {
        const Vector3d &p = v[a], &q = v[b];
        return p.x < q.x || (p.x == q.x && (p.y < q.y || (p.y == q.y && p.z < q.z)));
    };
    std::sort(order.begin(), order.end(), less);
    std::vector<std::uint32_t> id(m);
    std::uint32_t next = 0;
    for (std::size_t k = 0; k < m; ++k) {
        if (k > 0 && less(order[k - 1], order[k]))
            ++next;
        id[order[k]] = next;
    }
    std::vector<std::uint64_t> edges;
    edges.reserve(m);
    for (std::size_t t = 0; t < m / 3; ++t)
        for (int e = 0; e < 3; ++e) {
            std::uint64_t a = id[3 * t + e], b = id[3 * t + (e + 1) % 3];
            if (a > b)
                std::swap(a, b);
            edges.push_back(a << 32 | b);
        }
    std::sort(edges.begin(), edges.end());
    std::size_t open = 0;
    for (std::size_t k = 0; k < edges.size();) {
        std::size_t run = k;
        while (run < edges.size() && edges[run] == edges[k])
            ++run;
        if ((run - k) % 2 != 0)
            ++open;
        k = run;
    }
    return open;
}

void TriangleMesh::columnCrossings(double px, double py, std::vector<double> &heights) const
{
    if (columnsX == 0 || px < lo.x || px > hi.x || py < lo.y || py > hi.y)
        return;
    const std::size_t bin =
        std::size_t(binOf(py, lo.y, columnSize, columnsY)) * columnsX + binOf(px, lo.x, columnSize, columnsX);
    for (std::uint32_t k = columnStart[bin]; k < columnStart[bin + 1]; ++k) {
        const Vector3d *c = &v[3 * std::size_t(columnItems[k])];
        double z = 0.0;
        bool in = true;
        for (int e = 0; e < 3 && in; ++e) {
            const Vector3d &a = c[e], &b = c[(e + 1) % 3], &third = c[(e + 2) % 3];
            const bool swap = lessXY(b, a);
            const Vector3d &p = swap ? b : a, &q = swap ? a : b;
            const double side = edgeFunction(p, q, third.x, third.y);
            const double value = edgeFunction(p, q, px, py);
            // A triangle seen edge-on from above is crossed by no vertical
            // line; on an edge, the triangle to the left of the edge's fixed
            // direction takes the point.
            if (side == 0.0 || (side > 0.0 ? value < 0.0 : value >= 0.0))
                in = false;
            else
                z += value / side * third.z;
        }
        if (in)
            heights.push_back(z);
    }
}

bool TriangleMesh::isInside(const Vector3d &p) const
{
    std::vector<double> heights;
    columnCrossings(p.x, p.y, heights);
    std::size_t above = 0;
    for (double h : heights)
        if (h >= p.z)
            ++above;
    return above % 2 == 1;
}

double TriangleMesh::segmentCrossing(const Vector3d &a, const Vector3d &b) const
{
    if (cellsX == 0)
        return -1.0;
    const Vector3d d = b - a;
    const double eps = 1e-9;
    int r[3][2];
    const int counts[3] = {cellsX, cellsY, cellsZ};
    for (int axis = 0; axis < 3; ++axis) {
        const double s0 = std::min(a[axis], b[axis]), s1 = std::max(a[axis], b[axis]);
        if (s1 < lo[axis] - eps || s0 > hi[axis] + eps)
            return -1.0;
        r[axis][0] = binOf(s0, lo[axis], cellSize, counts[axis]);
        r[axis][1] = binOf(s1, lo[axis], cellSize, counts[axis]);
    }
    double best = std::numeric_limits<double>::infinity();
    for (int k = r[2][0]; k <= r[2][1]; ++k)
        for (int j = r[1][0]; j <= r[1][1]; ++j)
            for (int i = r[0][0]; i <= r[0][1]; ++i) {
                const std::size_t cell = (std::size_t(k) * cellsY + j) * cellsX + i;
                for (std::uint32_t m = cellStart[cell]; m < cellStart[cell + 1]; ++m) {
                    // Moller and Trumbore's test, a little generous at the
                    // edges so a segment through an edge meets a triangle.
                    const Vector3d *c = &v[3 * std::size_t(cellItems[m])];
                    const Vector3d e1 = c[1] - c[0], e2 = c[2] - c[0];
                    const Vector3d h = d.cross(e2);
                    const double det = e1.dot(h);
                    if (std::abs(det) <= 1e-14 * std::sqrt(e1.lengthSquared() * e2.lengthSquared() * d.lengthSquared()))
                        continue;
                    const double inv = 1.0 / det;
                    const Vector3d s = a - c[0];
                    const double u = s.dot(h) * inv;
                    if (u < -eps || u > 1.0 + eps)
                        continue;
                    const Vector3d qv = s.cross(e1);
                    const double w = d.dot(qv) * inv;
                    if (w < -eps || u + w > 1.0 + eps)
                        continue;
                    const double t = e2.dot(qv) * inv;
                    if (t >= -eps && t <= 1.0 + eps)
                        best = std::min(best, t);
                }
            }
    if (!std::isfinite(best))
        return -1.0;
    return std::min(1.0, std::max(0.0, best));
}
