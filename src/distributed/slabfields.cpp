#include "slabfields.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "persistence/cellrow.h"

#include <cstring>
#include <utility>

namespace {

// Per site of an edge row: the fluid flag, then the velocity.
constexpr int PerSite = 4;

} // namespace

SlabFields::SlabFields(Grid &grid, const SlabPlan &plan, int slab)
    : grid(grid), plan(plan), slab(slab), width(grid.getWidth()), length(grid.getLength()),
      first(plan.ghostBelow(slab))
{
}

QByteArray SlabFields::edgeVelocities(int domainRow) const
{
    const int y = domainRow - plan.firstRow(slab) + first;
    std::vector<double> values(std::size_t(width) * length * PerSite, 0.0);
    double *v = values.data();
    for (int x = 0; x < width; ++x)
        for (int z = 0; z < length; ++z, v += PerSite) {
            BaseCell *cell = grid.getCell(x, y, z);
            if (!cell || !cell->isFluid())
                continue;
            const Vector3d u = cell->getVelocity(0);
            v[0] = 1.0;
            v[1] = u.x;
            v[2] = u.y;
            v[3] = u.z;
        }
    return QByteArray(reinterpret_cast<const char *>(values.data()), int(values.size() * sizeof(double)));
}

bool SlabFields::neighbourSite(int side, int x, int z, Vector3d &velocity) const
{
    const QByteArray &edge = side < 0 ? below : above;
    if (edge.isEmpty())
        return false;
    double v[PerSite];
    std::memcpy(v, edge.constData() + (std::size_t(x) * length + z) * PerSite * sizeof(double), sizeof v);
    velocity = Vector3d(v[1], v[2], v[3]);
    return v[0] != 0.0;
}

double SlabFields::derivative(int component, int axis, int x, int y, int z) const
{
    const int dx = axis == 0, dy = axis == 1, dz = axis == 2;
    Vector3d upper, lower;
    const int last = first + plan.rowCount(slab) - 1;
    // Across the slab faces the neighbours' edge rows stand in for the
    // grid's ghost rows; at the domain's edge there is no neighbour.
    for (int side : {1, -1}) {
        Vector3d &u = side > 0 ? upper : lower;
        const int ny = y + side * dy;
        if (ny < first || ny > last) {
            if (!neighbourSite(side, x, z, u))
                return 0.0;
            continue;
        }
        BaseCell *cell = grid.getCell(x + side * dx, ny, z + side * dz);
        if (!cell || !cell->isFluid())
            return 0.0;
        u = cell->getVelocity(0);
    }
    return (upper[component] - lower[component]) * 0.5;
}

bool SlabFields::compute(const QByteArray &velocitiesBelow, const QByteArray &velocitiesAbove,
                         const std::vector<double> &columnSumsBelow)
{
    const int rows = plan.rowCount(slab);
    const int edgeBytes = int(std::size_t(width) * length * PerSite * sizeof(double));
    const bool firstSlab = plan.firstRow(slab) == 0;
    const bool lastSlab = plan.firstRow(slab) + rows == plan.height();
    if ((firstSlab ? !velocitiesBelow.isEmpty() : velocitiesBelow.size() != edgeBytes) ||
        (lastSlab ? !velocitiesAbove.isEmpty() : velocitiesAbove.size() != edgeBytes) ||
        (firstSlab ? !columnSumsBelow.empty() : columnSumsBelow.size() != std::size_t(width)))
        return false;
    below = velocitiesBelow;
    above = velocitiesAbove;

    vorticity.assign(std::size_t(width) * rows * length, Vector3d());
    const std::size_t base = std::size_t(grid.siteIndex(0, first, 0));
    for (int y = first; y < first + rows; ++y)
        for (int x = 0; x < width; ++x)
            for (int z = 0; z < length; ++z) {
                Vector3d v;
                if (length > 1) {
                    v.x = derivative(2, 1, x, y, z) - derivative(1, 2, x, y, z);
                    v.y = derivative(0, 2, x, y, z) - derivative(2, 0, x, y, z);
                }
                v.z = derivative(1, 0, x, y, z) - derivative(0, 1, x, y, z);
                vorticity[std::size_t(grid.siteIndex(x, y, z)) - base] = v;
            }
    below.clear();
    above.clear();

    // Down each column from the sums of the slabs below; along each row
    // from its first site; the difference, as one grid forms it.
    stream.assign(std::size_t(width) * rows, 0.0);
    sums = firstSlab ? std::vector<double>(std::size_t(width), 0.0) : columnSumsBelow;
    for (int k = 0; k < rows; ++k) {
        const int y = first + k;
        double *a = stream.data() + std::size_t(k) * width;
        for (int x = 0; x < width; ++x) {
            BaseCell *c = grid.getCell(x, y, 0);
            // The domain's first row starts every column at zero.
            if (!(firstSlab && k == 0))
                sums[std::size_t(x)] = sums[std::size_t(x)] + (c && c->isFluid() ? c->getVelocity(0).x : 0.0);
            a[x] = sums[std::size_t(x)];
        }
        double b = 0.0;
        for (int x = 1; x < width; ++x) {
            BaseCell *c = grid.getCell(x, y, 0);
            b = b + (c && c->isFluid() ? c->getVelocity(0).y : 0.0);
            a[x] -= b;
        }
    }
    return true;
}

CellRow SlabFields::cellRow()
{
    return CellRow(grid, std::move(vorticity), std::move(stream), first);
}
