#pragma once

#include <QStringList>

#include <vector>

class Grid;

// The group numbers a grid gives its inlets, thermal walls and drag walls
// when it builds a whole domain from a geometry's codes, worked out from the
// codes alone. A grid built from only some rows numbers the groups it sees
// from nothing; these numbers put back the whole domain's, so a slab built
// from its rows holds the cells the whole domain's grid would hold there.
class SiteGroups
{
public:
    // codes in site order (y slowest, then x, then z) of a domain of the
    // given size. The grid places the cells in site order and numbers each
    // on arrival from the cells already placed around it; the same rules
    // run here on the codes.
    void number(const QStringList &codes, int width, int height, int length);
    // Gives the cells of grid, which holds rows [firstRow, firstRow +
    // grid height) of the domain (wrapped round its height), their groups.
    void apply(Grid &grid, int firstRow) const;

private:
    enum Kind : unsigned char { Other, Source, Thermal, Drag };
    std::vector<unsigned char> kinds;
    std::vector<int> groups;
    int nx = 0, ny = 0, nz = 0;
};
