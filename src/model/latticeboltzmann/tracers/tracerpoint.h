#pragma once

// One massless tracer point: where it is and where it was before its last
// move (both in lattice units). Colour and region are its emitter's.
struct TracerPoint
{
    double x = 0.0, y = 0.0, z = 0.0;
    double px = 0.0, py = 0.0, pz = 0.0;
};
