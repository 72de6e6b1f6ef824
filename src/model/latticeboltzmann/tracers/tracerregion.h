#pragma once

#include "model/latticeboltzmann/vector3i.h"

// A box of emitters of tracer points: every lattice point from "from" to
// "to" (inclusive, 0-based) at the set's grid spacing. Points take the
// first colour; the second one is for the painters.
struct TracerRegion
{
    int id = 0;
    Vector3i from;
    Vector3i to;
    int red = 255, green = 0, blue = 0;
    int red2 = 0, green2 = 0, blue2 = 255;
};
