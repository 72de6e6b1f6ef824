#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class BaseCell;

// What the Shan-Chen interaction reads of a grid's sites, in the grid's site
// order: each component's density (one array per component) and what kind
// of neighbour the site is to the interaction. The grid forms it from the
// cells once per call to step and the mixture cells keep it current as they
// commit, so a mixture site whose neighbours are all mixtures, plain walls
// or absent takes its interaction force from here at fixed offsets instead
// of asking each neighbour cell.
class ComponentField
{
public:
    enum Kind : std::uint8_t {
        Other = 0,         // a cell the fast interaction does not read
        Wall = 1,          // exactly a WallCell: full adhesion
        Mixture = 2,       // exactly an MCCell
        PorousMixture = 3, // an MCCell whose first component is porous medium
    };

    // Arrays for the given number of components (at most three) and sites,
    // zeroed; kept when already of that size.
    void allocate(int components, std::size_t sites);
    void release();
    // The values of site s from its cell: a mixture's component densities
    // (zero for components it lacks), any other cell's getP(j).
    void formSite(BaseCell *cell, std::size_t s);

    int components() const { return count; }
    std::size_t sites() const { return stride; }
    double density(int j, std::size_t s) const { return values[std::size_t(j) * stride + s]; }
    void setDensity(int j, std::size_t s, double value) { values[std::size_t(j) * stride + s] = value; }
    Kind kind(std::size_t s) const { return Kind(kinds[s]); }
    void setKind(std::size_t s, Kind k) { kinds[s] = k; }
    std::size_t bytes() const { return values.capacity() * sizeof(double) + kinds.capacity(); }

private:
    int count = 0;
    std::size_t stride = 0;
    std::vector<double> values;
    std::vector<std::uint8_t> kinds;
};
