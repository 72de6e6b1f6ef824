#pragma once

// One lattice point to paint: its coordinates, its layer (0 the whole cell,
// k >= 1 fluid component k - 1) and the faces to draw (bit 1 the YZ face,
// bit 2 the XZ face, bit 4 the XY face). The cell itself is looked up in the
// grid when painting, so a replaced cell is never touched through a stale
// pointer.
struct DrawItem
{
    int x = 0;
    int y = 0;
    int z = 0;
    int layer = 0;
    int mask = 4;
};
