#include "fluxfield.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"

#include <QThreadPool>
#include <QtConcurrent>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// The distance between two points of a walk.
const double spacing = 0.01;
// No walk has this many points: far beyond any grid's diagonal / spacing.
const double endless = 1e15;

// Where the walk o + k d (k > 0, d = 1 / inverse) leaves the cell c of one
// axis: the last point k whose truncated coordinate is still c; endless when
// the walk never moves along the axis.
inline double lastPointIn(double o, double inverse, int c)
{
    if (inverse > 0.0) {
        // The largest k below (c + 1 - o) / d.
        const double t = std::min(endless, (c + 1 - o) * inverse);
        const double k = double(std::int64_t(t));
        return k == t ? k - 1 : k;
    }
    if (inverse < 0.0) {
        // The largest k up to (o - c) / |d|.
        const double t = std::min(endless, (c - o) * inverse);
        return double(std::int64_t(t));
    }
    return endless;
}

// The sum over the points of the walk from (x + 0.5, y + 0.5) by (dx, dy) of
// the momentum of the site under each point, counting the points each site
// holds. The walk goes row by row of the axis it moves along faster (a):
// within a row it moves less than a site along the other axis (b), so a row
// holds the points of one or two sites, and where each row ends depends on
// the row alone, not on the rows before it. The walk ends at the grid's
// edge or at a site that is not fluid.
template <typename Sites> Vector3d walk(const Sites &sites, int x, int y, double dx, double dy)
{
    const bool alongX = std::abs(dx) >= std::abs(dy);
    const double oa = alongX ? x + 0.5 : y + 0.5, ob = alongX ? y + 0.5 : x + 0.5;
    const double da = alongX ? dx : dy, db = alongX ? dy : dx;
    const double ia = 1.0 / da, ib = db != 0.0 ? 1.0 / db : 0.0;
    const int step = da > 0.0 ? 1 : -1;
    auto fluid = [&](int a, int b) { return alongX ? sites.fluid(a, b) : sites.fluid(b, a); };
    auto momentum = [&](int a, int b) { return alongX ? sites.momentum(a, b) : sites.momentum(b, a); };
    // The site of a point along b, -1 before the grid's edge.
    auto siteB = [ob, db](double k) {
        const double p = ob + k * db;
        return p < 0.0 ? -1 : int(p);
    };
    Vector3d sum;
    double counted = 0.0;
    for (int a = int(oa);; a += step) {
        if (a < 0)
            break;
        const double rowEnd = lastPointIn(oa, ia, a);
        if (rowEnd <= counted)
            continue;
        const int first = siteB(counted + 1), last = siteB(rowEnd);
        if (first < 0 || !fluid(a, first))
            break;
        if (first == last) {
            sum += momentum(a, first) * (rowEnd - counted);
            counted = rowEnd;
            continue;
        }
        const double split = std::max(counted + 1, std::min(rowEnd, lastPointIn(ob, ib, first)));
        sum += momentum(a, first) * (split - counted);
        counted = split;
        if (last < 0 || !fluid(a, last))
            break;
        sum += momentum(a, last) * (rowEnd - counted);
        counted = rowEnd;
    }
    return sum;
}

// R U + (M . U / |U|^2) U, M the momentum summed along the line, all times
// the spacing.
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
        const Vector3d m = walk(sites, x, y, dx, dy) + walk(sites, x, y, -dx, -dy);
        along = m.dot(u) / uu;
    }
    return (u * sites.density(x, y) + u * along) * spacing;
}

// The sites as the gathered arrays give them.
struct FromArrays
{
    int nx, ny;
    const double *densities;
    const Vector3d *velocities;
    const Vector3d *momenta;
    const unsigned char *isFluid;

    std::size_t site(int x, int y) const { return std::size_t(y) * nx + x; }
    bool fluid(int x, int y) const { return x < nx && y < ny && isFluid[site(x, y)]; }
    Vector3d velocity(int x, int y) const { return velocities[site(x, y)]; }
    double density(int x, int y) const { return densities[site(x, y)]; }
    const Vector3d &momentum(int x, int y) const { return momenta[site(x, y)]; }
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
    Vector3d momentum(int x, int y) const { return velocity(x, y) * density(x, y); }
};

} // namespace

const std::vector<Vector3d> &FluxField::compute(const Grid &grid)
{
    const int nx = grid.getWidth(), ny = grid.getHeight();
    const std::size_t n = std::size_t(nx) * std::size_t(ny);
    density.resize(n);
    velocity.resize(n);
    momentum.resize(n);
    fluid.resize(n);
    flux.resize(n);
    // Rows in groups, a few per thread, for the gathering and the walks alike.
    groups.clear();
    const int rowsPerGroup = std::max(1, ny / (8 * std::max(1, QThreadPool::globalInstance()->maxThreadCount())));
    for (int y = 0; y < ny; y += rowsPerGroup)
        groups.push_back(y);
    auto rowsEnd = [ny, rowsPerGroup](int first) { return std::min(ny, first + rowsPerGroup); };
    QtConcurrent::blockingMap(groups, [&](int first) {
        for (int y = first; y < rowsEnd(first); ++y)
            for (int x = 0; x < nx; ++x) {
                const std::size_t s = std::size_t(y) * nx + x;
                BaseCell *c = grid.getCell(x, y, 0);
                fluid[s] = c && c->isFluid();
                if (fluid[s]) {
                    density[s] = c->getP(0);
                    velocity[s] = c->getVelocity(0);
                    momentum[s] = velocity[s] * density[s];
                }
            }
    });
    const FromArrays sites{nx, ny, density.data(), velocity.data(), momentum.data(), fluid.data()};
    QtConcurrent::blockingMap(groups, [&](int first) {
        for (int y = first; y < rowsEnd(first); ++y)
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
