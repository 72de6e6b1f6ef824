#pragma once

#include "force.h"

class ComponentField;
class Vector3i;

// Shan-Chen interaction between the components of a multicomponent cell,
// with adhesion to walls: for component m of density rho_m,
// F = -rho_m G sum_i w_i e_i sum_{j != m} rho_j(x + e_i) - rho_m Gads_m sum
// over wall neighbours of w_i e_i, with Gads_0 = "mcGads", Gads_1 = "mcGads2"
// and no adhesion for further components.
class MultiComponent : public Force
{
public:
    Vector3d force(BaseCell *cell, BaseCell **neighbours, int component, int x, int y, int z, Grid *grid) override;
    // The forces on components first to last - 1 (at most three) of the
    // cell, into out[0...], walking the neighbours once: each the same as
    // force() gives for that component alone.
    void forces(BaseCell *cell, BaseCell **neighbours, int first, int last, Grid *grid, Vector3d out[]);
    // The same forces for the mixture at position, its own and its
    // neighbours' densities and kinds read from the grid's field at fixed
    // offsets; neighbours serves only to tell which are absent. Bitwise the
    // same as forces() where every neighbour is a mixture, a plain wall or
    // absent and the field holds every component.
    void fieldForces(const ComponentField &field, const Grid &grid, const Vector3i &position,
                     BaseCell *const *neighbours, int first, int last, Vector3d out[]);
    bool isActive(const SimulationParameters &) override { return true; }
};
