#pragma once

#include "model/latticeboltzmann/shapes/wallscheme.h"

// The fluid mass in a closed D2Q9 box (plain walls all round) holding a
// cylinder shape, the fluid sloshing from a uniform start velocity, over a
// number of iterations; the cylinder at rest or turning.
class ShapeMass
{
public:
    struct Result
    {
        double drift = 0.0;   // relative change of the fluid mass
        double largest = 0.0; // largest relative deviation on the way
    };
    static Result run(WallScheme scheme, bool turning, int iterations);
};
