#pragma once

#include "slabplan.h"

#include "model/latticeboltzmann/vector3d.h"

#include <QByteArray>

#include <vector>

class CellRow;
class Grid;

// The derived fields of a slab's own rows as the grid of the whole domain
// forms them for its tables, bitwise: the vorticity, whose derivatives
// across the slab faces read the neighbours' edge rows (and, as in the whole
// grid, nothing past the domain's edge, periodic or not), and the stream
// function, whose sums up each column continue those of the slabs below.
// The neighbours' parts arrive as bytes; how they travel is the caller's.
class SlabFields
{
public:
    SlabFields(Grid &grid, const SlabPlan &plan, int slab);

    // What the slab below needs of the first own row (lower) and the slab
    // above of the last (upper): every site's fluid flag and velocity.
    QByteArray lowerEdgeVelocities() const { return edgeVelocities(plan.firstRow(slab)); }
    QByteArray upperEdgeVelocities() const { return edgeVelocities(plan.firstRow(slab) + plan.rowCount(slab) - 1); }
    // Forms the fields from the edge rows of the slab below and above
    // (empty for the first and last slab) and the stream function's column
    // sums at the row under the first own row (empty for the first slab);
    // false when the bytes do not fit the slab's rows.
    bool compute(const QByteArray &velocitiesBelow, const QByteArray &velocitiesAbove,
                 const std::vector<double> &columnSumsBelow);
    // The column sums at the last own row, for the slab above.
    const std::vector<double> &columnSums() const { return sums; }
    // The table rows of the own rows (moves the fields into it; call once
    // after compute).
    CellRow cellRow();

private:
    QByteArray edgeVelocities(int domainRow) const;
    // The derivative of a velocity component along an axis at a site of an
    // own row, as Grid::velocityDerivative forms it.
    double derivative(int component, int axis, int x, int y, int z) const;
    // Fluid flag and velocity of a site of the domain row next to the own
    // rows (side -1 below, +1 above); false when there is none.
    bool neighbourSite(int side, int x, int z, Vector3d &velocity) const;

    Grid &grid;
    const SlabPlan &plan;
    int slab;
    int width, length;
    // Grid row of the first own row.
    int first;
    QByteArray below, above;
    std::vector<Vector3d> vorticity;
    std::vector<double> stream, sums;
};
