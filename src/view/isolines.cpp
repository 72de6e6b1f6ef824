#include "isolines.h"

#include <cstdlib>

bool Isolines::crossing(double a, double b, double c, double &t)
{
    t = a != 0.0 && b != 0.0 && a != b ? (c - a) / (b - a) : -1.0;
    return t >= 0.0 && t <= 1.0;
}

void Isolines::square(const std::vector<double> &buffer, int nx, int x, int y, double c,
                      std::vector<Vector3d> &segments)
{
    auto value = [&](int i, int j) { return buffer[std::size_t(i) + std::size_t(j) * std::size_t(nx)]; };
    const double v00 = value(x, y), v10 = value(x + 1, y), v11 = value(x + 1, y + 1), v01 = value(x, y + 1);
    Vector3d found[5];
    int count = 0;
    double t;
    // Bottom, right, top, left, and the bottom again: a square with an odd
    // number of crossings (an iso-value through a corner) pairs its third
    // crossing with the repeated bottom one.
    if (crossing(v00, v10, c, t))
        found[count++] = Vector3d(x + t, y, 0);
    if (crossing(v10, v11, c, t))
        found[count++] = Vector3d(x + 1, y + t, 0);
    if (crossing(v11, v01, c, t))
        found[count++] = Vector3d(x + 1 - t, y + 1, 0);
    if (crossing(v01, v00, c, t))
        found[count++] = Vector3d(x, y + 1 - t, 0);
    if (crossing(v00, v10, c, t))
        found[count++] = Vector3d(x + t, y, 0);
    for (int k = 0; k + 1 < count; k += 2) {
        segments.push_back(found[k]);
        segments.push_back(found[k + 1]);
    }
}

std::vector<Vector3d> Isolines::segments2D(const std::vector<double> &buffer, int nx, int ny, double c)
{
    std::vector<Vector3d> segments;
    for (int x = 0; x < nx - 1; ++x)
        for (int y = 0; y < ny - 1; ++y)
            square(buffer, nx, x, y, c, segments);
    return segments;
}

namespace {

struct Crossing
{
    int a, b;
    Vector3d point;
};

Vector3d cornerOffset(int k)
{
    return Vector3d((k >> 2) & 1, (k >> 1) & 1, k & 1);
}

bool near(const std::vector<Crossing> &p, const std::vector<Crossing> &r)
{
    for (const Crossing &u : p)
        for (const Crossing &v : r)
            for (int cu : {u.a, u.b})
                for (int cv : {v.a, v.b}) {
                    const int d = std::abs(cu - cv);
                    if (d == 0 || d == 1 || d == 2 || d == 4)
                        return true;
                }
    return false;
}

} // namespace

void Isolines::cube(const std::vector<double> &buffer, int nx, int ny, int x, int y, int z, double c,
                    std::vector<std::vector<Vector3d>> &strips)
{
    double v[8];
    for (int k = 0; k < 8; ++k) {
        const Vector3d o = cornerOffset(k);
        const std::size_t index = std::size_t(x + int(o.x)) + std::size_t(y + int(o.y)) * std::size_t(nx) +
                                  std::size_t(z + int(o.z)) * std::size_t(nx) * std::size_t(ny);
        v[k] = buffer[index];
    }
    std::vector<std::vector<Crossing>> polygons;
    auto test = [&](int a, int b) {
        double t;
        if (!crossing(v[a], v[b], c, t))
            return;
        const Vector3d pa = cornerOffset(a), pb = cornerOffset(b);
        const Vector3d p(x + pa.x + t * (pb.x - pa.x), y + pa.y + t * (pb.y - pa.y), z + pa.z + t * (pb.z - pa.z));
        polygons.push_back({v[a] <= v[b] ? Crossing{a, b, p} : Crossing{b, a, p}});
    };
    for (int gx = 0; gx < 2; ++gx)
        for (int gy = 0; gy < 2; ++gy)
            for (int gz = 0; gz < 2; ++gz) {
                if (gx == 0)
                    test(2 * gy + gz, 4 + 2 * gy + gz);
                if (gy == 0)
                    test(4 * gx + gz, 4 * gx + gz + 2);
                if (gz == 0)
                    test(4 * gx + 2 * gy, 4 * gx + 2 * gy + 1);
            }
    // Crossings on edges that share or neighbour a corner belong to one patch.
    bool merged = true;
    while (merged) {
        merged = false;
        for (std::size_t p = 0; p < polygons.size() && !merged; ++p)
            for (std::size_t r = p + 1; r < polygons.size() && !merged; ++r)
                if (near(polygons[p], polygons[r])) {
                    polygons[r].insert(polygons[r].end(), polygons[p].begin(), polygons[p].end());
                    polygons.erase(polygons.begin() + long(p));
                    merged = true;
                }
    }
    for (const std::vector<Crossing> &polygon : polygons) {
        if (polygon.size() <= 2)
            continue;
        std::vector<Vector3d> strip;
        for (const Crossing &crossingPoint : polygon)
            strip.push_back(crossingPoint.point);
        strips.push_back(std::move(strip));
    }
}
