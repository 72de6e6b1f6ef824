#pragma once

#include "tracerpoint.h"

#include "model/latticeboltzmann/vector3i.h"

#include <vector>

// A lattice point that releases one tracer point per iteration, and the
// trail of the points it released that are still in the fluid. The trail is
// stored oldest first (the newest point is at the back) in storage reserved
// for the set's trail cap, so stepping never allocates.
struct TracerEmitter
{
    Vector3i origin;
    int red = 255, green = 0, blue = 0;
    int regionId = 0;
    std::vector<TracerPoint> trail;

    // Drops the trail and starts again from one point at the origin.
    void restart()
    {
        trail.clear();
        TracerPoint p;
        p.x = p.px = origin.x;
        p.y = p.py = origin.y;
        p.z = p.pz = origin.z;
        trail.push_back(p);
    }
};
