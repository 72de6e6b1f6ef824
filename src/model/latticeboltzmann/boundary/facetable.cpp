#include "facetable.h"

#include "model/latticeboltzmann/basecell.h"

namespace {

struct Faces
{
    FaceTable::Face faces[Lattice::MaxQ + 1][FaceTable::SideCount];
};

int directionOf(int q, int x, int y, int z)
{
    for (int i = 0; i < q; ++i)
        if (Lattice::direction(q, i) == Vector3i(x, y, z))
            return i;
    return 0;
}

// The faces follow from the lattice tables: the normal is the axis direction,
// the incoming directions are all those with a +1 component along it.
Faces build()
{
    Faces t;
    static const int models[] = {9, 15, 19, 27};
    static const int axes[FaceTable::SideCount][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    for (int q : models) {
        for (int side = 0; side < FaceTable::SideCount; ++side) {
            FaceTable::Face &f = t.faces[q][side];
            const int ax = axes[side][0], ay = axes[side][1];
            const int normal = directionOf(q, ax, ay, 0);
            f.front = normal;
            f.behind = Lattice::opposite(q, normal);
            f.normal = Vector3d(ax, ay, 0.0);
            f.incoming[f.count++] = normal;
            for (int i = 0; i < q; ++i) {
                const Vector3i e = Lattice::direction(q, i);
                if (i != normal && e.x * ax + e.y * ay == 1)
                    f.incoming[f.count++] = i;
            }
        }
    }
    return t;
}

} // namespace

const FaceTable::Face &FaceTable::face(int q, int side)
{
    // Built on first use, so it never depends on the order of static
    // initialisation.
    static const Faces table = build();
    if (q != 15 && q != 19 && q != 27)
        q = 9;
    return table.faces[q][side];
}

int FaceTable::select(int q, BaseCell *neighbours[])
{
    for (int side = 0; side < SideCount; ++side) {
        const Face &f = face(q, side);
        BaseCell *behind = neighbours[f.behind];
        if (!behind)
            return side;
        BaseCell *front = neighbours[f.front];
        if (!behind->isFluid() && front && front->isFluid())
            return side;
    }
    return -1;
}
