#include "fluxfield.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"

#include <QtConcurrent>

#include <algorithm>
#include <cmath>

namespace {

// The distance between two points of a walk.
const double spacing = 0.01;

// The last point k (of o + k d, k > 0) whose truncated coordinate is still
// c, as far as this axis decides; a huge number when d is 0.
double lastPointIn(double o, double d, int c)
{
    const double limit = 1e15;
    if (d > 0.0)
        return std::min(limit, std::ceil((c + 1 - o) / d) - 1);
    if (d < 0.0)
        return std::min(limit, std::floor((o - c) / -d));
    return limit;
}

// The sum over the points of the walk from (x + 0.5, y + 0.5) by (dx, dy) of
// sites.weight at the site under each point, counting the points each site
// holds. Each turn moves on by at least one point, and the walk ends at the
// grid's edge, so it always ends.
template <typename Sites> double walk(const Sites &sites, int x, int y, double dx, double dy, const Vector3d &u, double uu)
{
    const double ox = x + 0.5, oy = y + 0.5;
    double sum = 0.0;
    double counted = 0.0;
    for (;;) {
        const double next = counted + 1;
        const double px = ox + next * dx, py = oy + next * dy;
        if (px < 0.0 || py < 0.0)
            break;
        const int ix = int(px), iy = int(py);
        if (!sites.fluid(ix, iy))
            break;
        const double last = std::max(next, std::min(lastPointIn(ox, dx, ix), lastPointIn(oy, dy, iy)));
        sum += (last - counted) * sites.weight(ix, iy, u, uu);
        counted = last;
    }
    return sum;
}

template <typename Sites> Vector3d fluxOf(const Sites &sites, int x, int y)
{
    if (!sites.fluid(x, y))
        return Vector3d();
    const Vector3d u = sites.velocity(x, y);
    const double uu = u.lengthSquared();
    if (uu == 0.0)
        return Vector3d();
    double along = 0.0;
    const double planar = std::sqrt(u.x * u.x + u.y * u.y);
    if (planar > 0.0) {
        const double dx = -u.y / planar * spacing, dy = u.x / planar * spacing;
        along = walk(sites, x, y, dx, dy, u, uu) + walk(sites, x, y, -dx, -dy, u, uu);
    }
    return (u * sites.density(x, y) + u * along) * spacing;
}

// The sites as the gathered arrays give them.
struct FromArrays
{
    int nx, ny;
    const double *densities;
    const Vector3d *velocities;
    const unsigned char *isFluid;

    std::size_t site(int x, int y) const { return std::size_t(y) * nx + x; }
    bool fluid(int x, int y) const { return x < nx && y < ny && isFluid[site(x, y)]; }
    Vector3d velocity(int x, int y) const { return velocities[site(x, y)]; }
    double density(int x, int y) const { return densities[site(x, y)]; }
    double weight(int x, int y, const Vector3d &u, double uu) const
    {
        const std::size_t s = site(x, y);
        return densities[s] * (velocities[s].dot(u) / uu);
    }
};

// The sites as the cells report them.
struct FromCells
{
    const Grid &grid;
    BaseCell *cell(int x, int y) const { return grid.getCell(x, y, 0); }
    bool fluid(int x, int y) const
    {
        BaseCell *c = cell(x, y);
        return c && c->isFluid();
    }
    Vector3d velocity(int x, int y) const { return cell(x, y)->getVelocity(0); }
    double density(int x, int y) const { return cell(x, y)->getP(0); }
    double weight(int x, int y, const Vector3d &u, double uu) const
    {
        BaseCell *c = cell(x, y);
        return c->getP(0) * (c->getVelocity(0).dot(u) / uu);
    }
};

} // namespace

const std::vector<Vector3d> &FluxField::compute(const Grid &grid)
{
    const int nx = grid.getWidth(), ny = grid.getHeight();
    const std::size_t n = std::size_t(nx) * std::size_t(ny);
    density.resize(n);
    velocity.resize(n);
    fluid.resize(n);
    flux.resize(n);
    // Rows in groups, a few per thread, for the gathering and the walks alike.
    QVector<int> groups;
    const int rowsPerGroup = std::max(1, ny / (8 * std::max(1, QThreadPool::globalInstance()->maxThreadCount())));
    for (int y = 0; y < ny; y += rowsPerGroup)
        groups << y;
    auto rows = [ny, rowsPerGroup](int first) { return std::min(ny, first + rowsPerGroup); };
    QtConcurrent::blockingMap(groups, [&](int first) {
        for (int y = first; y < rows(first); ++y)
            for (int x = 0; x < nx; ++x) {
                const std::size_t s = std::size_t(y) * nx + x;
                BaseCell *c = grid.getCell(x, y, 0);
                fluid[s] = c && c->isFluid();
                if (fluid[s]) {
                    density[s] = c->getP(0);
                    velocity[s] = c->getVelocity(0);
                }
            }
    });
    const FromArrays sites{nx, ny, density.data(), velocity.data(), fluid.data()};
    QtConcurrent::blockingMap(groups, [&](int first) {
        for (int y = first; y < rows(first); ++y)
            for (int x = 0; x < nx; ++x)
                flux[std::size_t(y) * nx + x] = fluxOf(sites, x, y);
    });
    return flux;
}

Vector3d FluxField::at(const Grid &grid, int x, int y)
{
    if (!grid.contains(x, y, 0))
        return Vector3d();
    return fluxOf(FromCells{grid}, x, y);
}
