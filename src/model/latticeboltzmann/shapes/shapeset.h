#pragma once

#include "shape.h"

#include "model/latticeboltzmann/vector3d.h"

#include <memory>
#include <vector>

class Grid;

// The shapes placed on one grid, and the force and torque the fluid exerts
// on each. Placing a shape turns the grid's sites inside it into walls: those
// next to fluid into shape walls that know where the surface cuts their
// links, the rest into plain walls.
class ShapeSet
{
public:
    ShapeSet();
    ~ShapeSet();
    ShapeSet(const ShapeSet &) = delete;
    ShapeSet &operator=(const ShapeSet &) = delete;

    // Takes the shape and returns its index.
    int add(std::unique_ptr<Shape> shape);
    int count() const { return int(entries.size()); }
    // Forgets every shape; the walls they placed stay on the grid.
    void clear() { entries.clear(); }
    Shape *shape(int index) const;

    // Turns the sites inside the shape into walls (through the grid's
    // setCell) and returns how many sites it covers. Sites of the box that
    // the shape misses are left as they are.
    std::size_t place(Grid &grid, int index);
    // Places every shape again, in order (after a refinement or a model
    // change, whose copies of shape walls do not know their fractions).
    void placeAll(Grid &grid);
    // After the grid was refined by factor in x and y (each old site became
    // a factor x factor block): moves and scales every shape with the sites
    // and places it again. A shape keeps its proportions, so on a 3D grid,
    // whose length the refinement keeps, it grows along z as well.
    void refined(Grid &grid, int factor);
    // The sites of the shape next to fluid when it was last placed.
    std::size_t boundarySites(int index) const;
    // Sets the shape's motion and that of its walls on the grid.
    void setMotion(Grid &grid, int index, const Vector3d &velocity, const Vector3d &angularVelocity);

    // Sums, for every shape, what the fluid gave its walls in the last
    // iteration: the force and its torque about the shape's centre.
    void computeForces(Grid &grid);
    Vector3d force(int index) const;
    Vector3d torque(int index) const;
    // Restores the last force and torque (of a saved state) until the next
    // computeForces.
    void setLoad(int index, const Vector3d &force, const Vector3d &torque);

private:
    struct Entry
    {
        std::unique_ptr<Shape> shape;
        // Site indices of the shape's walls next to fluid.
        std::vector<int> sites;
        Vector3d force, torque;
    };
    std::vector<Entry> entries;
};
