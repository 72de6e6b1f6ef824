#include "shapeset.h"

#include "shapevoxels.h"
#include "shapewallcell.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/latticeboltzmann/tracers/scalartracersettings.h"
#include "model/latticeboltzmann/wallcell.h"

ShapeSet::ShapeSet() = default;
ShapeSet::~ShapeSet() = default;

int ShapeSet::add(std::unique_ptr<Shape> shape)
{
    Entry e;
    e.shape = std::move(shape);
    entries.push_back(std::move(e));
    return int(entries.size()) - 1;
}

Shape *ShapeSet::shape(int index) const
{
    return index >= 0 && index < count() ? entries[std::size_t(index)].shape.get() : nullptr;
}

std::size_t ShapeSet::place(Grid &grid, int index)
{
    Shape *s = shape(index);
    if (!s)
        return 0;
    Entry &entry = entries[std::size_t(index)];
    SimulationParameters *p = grid.getParameters();
    const int q = p->getModel();
    const int nx = grid.getWidth(), ny = grid.getHeight(), nz = grid.getLength();
    const ShapeVoxels voxels(*s, nx, ny, nz, q, p->getPeriodicBoundaries(), p->getMulticore());
    const std::vector<std::uint8_t> &solid = voxels.solid();
    const ShapeMotion motion = s->motion();
    const ScalarTracerSettings *tracers = grid.getScalarTracers();
    entry.sites.clear();
    entry.sites.reserve(voxels.boundary().size());
    // The cells are built in site order, the order of the boundary list
    // too, so the grid's pool keeps them in that order in memory.
    const std::vector<ShapeVoxels::Boundary> &boundary = voxels.boundary();
    std::size_t next = 0;
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z) {
                const int site = grid.siteIndex(x, y, z);
                if (!solid[std::size_t(site)])
                    continue;
                BaseCell *cell;
                const ShapeVoxels::Boundary *b = nullptr;
                if (next < boundary.size() && grid.siteIndex(boundary[next].x, boundary[next].y, boundary[next].z) == site)
                    b = &boundary[next++];
                if (b) {
                    auto *wall = new ShapeWallCell(q, index, s->scheme(), motion);
                    for (int i = 1; i < q; ++i)
                        if (b->fraction[i] > 0.0)
                            wall->setFraction(i, b->fraction[i]);
                    cell = wall;
                    entry.sites.push_back(site);
                } else {
                    cell = new WallCell;
                }
                // With coloured scalar sources every cell is wrapped, the
                // shape's walls too, so the scalar meets them as other walls.
                grid.setCell(x, y, z, tracers->wrapNew(cell, x, y, z), true, false);
            }
    entry.force = entry.torque = Vector3d();
    return voxels.solidCount();
}

void ShapeSet::placeAll(Grid &grid)
{
    for (int index = 0; index < count(); ++index)
        place(grid, index);
}

void ShapeSet::refined(Grid &grid, int factor)
{
    if (factor < 1)
        return;
    // The copies of the old walls cover the old solid sites block by block;
    // they become fluid first, so the sites the finer surface leaves out
    // are fluid after placing again.
    SimulationParameters *p = grid.getParameters();
    const ScalarTracerSettings *tracers = grid.getScalarTracers();
    const int ox = grid.getWidth() / factor, oy = grid.getHeight() / factor, nz = grid.getLength();
    for (Entry &entry : entries) {
        const ShapeVoxels old(*entry.shape, ox, oy, nz, p->getModel(), p->getPeriodicBoundaries(), p->getMulticore());
        for (int y = 0; y < oy; ++y)
            for (int x = 0; x < ox; ++x)
                for (int z = 0; z < nz; ++z) {
                    if (!old.solid()[std::size_t((y * ox + x) * nz + z)])
                        continue;
                    for (int by = factor * y; by < factor * (y + 1); ++by)
                        for (int bx = factor * x; bx < factor * (x + 1); ++bx) {
                            // New fluid is the active model's, wrapped like
                            // every cell when coloured scalars are on.
                            BaseCell *fluid = grid.fluidForModel(grid.fillFromAverage(bx, by, z, Vector3d()), bx, by, z, true);
                            grid.setCell(bx, by, z, tracers->wrapNew(fluid, bx, by, z), true, false);
                        }
                }
    }
    // Old site x covers the new sites factor x .. factor x + factor - 1,
    // whose middle is at factor x + (factor - 1) / 2. The refinement leaves z
    // as it is, so does the move; the scale follows x and y.
    const double shift = 0.5 * (factor - 1);
    for (Entry &entry : entries) {
        Shape &s = *entry.shape;
        const Vector3d c = s.centre();
        s.setCentre(Vector3d(c.x * factor + shift, c.y * factor + shift, c.z));
        s.setScale(s.scale() * factor);
    }
    placeAll(grid);
}

std::size_t ShapeSet::boundarySites(int index) const
{
    return shape(index) ? entries[std::size_t(index)].sites.size() : 0;
}

void ShapeSet::setMotion(Grid &grid, int index, const Vector3d &velocity, const Vector3d &angularVelocity)
{
    Shape *s = shape(index);
    if (!s)
        return;
    s->setVelocity(velocity);
    s->setAngularVelocity(angularVelocity);
    const ShapeMotion motion = s->motion();
    const int nz = grid.getLength(), nx = grid.getWidth();
    for (int site : entries[std::size_t(index)].sites) {
        const int z = site % nz, x = (site / nz) % nx, y = site / nz / nx;
        auto *wall = dynamic_cast<ShapeWallCell *>(PassiveScalarCell::innerOf(grid.getCell(x, y, z)));
        if (wall && wall->shapeIndex() == index)
            wall->setMotion(motion);
    }
}

void ShapeSet::computeForces(Grid &grid)
{
    const int nz = grid.getLength(), nx = grid.getWidth();
    for (std::size_t index = 0; index < entries.size(); ++index) {
        Entry &entry = entries[index];
        entry.force = entry.torque = Vector3d();
        // Sites replaced since the shape was placed no longer count.
        for (int site : entry.sites) {
            const int z = site % nz, x = (site / nz) % nx, y = site / nz / nx;
            auto *wall = dynamic_cast<ShapeWallCell *>(PassiveScalarCell::innerOf(grid.getCell(x, y, z)));
            if (wall && wall->shapeIndex() == int(index))
                wall->addMomentumExchange(Vector3i(x, y, z), entry.force, entry.torque);
        }
    }
}

Vector3d ShapeSet::force(int index) const
{
    return shape(index) ? entries[std::size_t(index)].force : Vector3d();
}

Vector3d ShapeSet::torque(int index) const
{
    return shape(index) ? entries[std::size_t(index)].torque : Vector3d();
}

void ShapeSet::setLoad(int index, const Vector3d &force, const Vector3d &torque)
{
    if (shape(index)) {
        entries[std::size_t(index)].force = force;
        entries[std::size_t(index)].torque = torque;
    }
}
