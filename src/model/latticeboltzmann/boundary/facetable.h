#pragma once

#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/vector3d.h"

class BaseCell;

// The faces across which an inlet or outlet feeds its fluid neighbour, per
// lattice model. Face +x means the fluid lies in +x of the boundary cell.
// There is no z face: in 3D a boundary acts only across x or y.
class FaceTable
{
public:
    enum Side { PlusX = 0, MinusX, PlusY, MinusY, SideCount };

    struct Face
    {
        // Neighbour-block entries of the cell behind the boundary cell and of
        // the target in front of it.
        int behind = 0;
        int front = 0;
        // The target's incoming directions, the face normal first, then the
        // others in increasing order.
        int incoming[Lattice::MaxQ] = {};
        int count = 0;
        // Unit inward normal.
        Vector3d normal;
    };

    // The face of one side for model q (9, 15, 19 or 27).
    static const Face &face(int q, int side);

    // Tests the sides in the order +x, -x, +y, -y: a side is chosen when the
    // cell behind is missing, or when it is not fluid while the cell in front
    // is. Returns the first chosen side, or -1 when there is none.
    static int select(int q, BaseCell *neighbours[]);
};
