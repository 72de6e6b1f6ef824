#pragma once

#include "model/latticeboltzmann/shapes/wallscheme.h"

// Circular Couette flow on D2Q9: fluid between a cylinder of radius R
// turning about its axis and a resting cylinder of radius 2R around it (both
// shapes, the outer one inverted), started from the exact profile
// u(r) = A r + B / r and run to its steady state. The wall speed falls as 1/R
// at a fixed relaxation time, so the Reynolds number is the same at every R.
class CircularCouette
{
public:
    struct Result
    {
        double l2Error = 0.0;     // velocity error over the fluid, relative (L2)
        double torque = 0.0;      // z-torque of the fluid on the inner cylinder
        double torqueExact = 0.0; // -4 pi mu omega R1^2 R2^2 / (R2^2 - R1^2)
        double massDrift = 0.0;
        int iterations = 0;
    };

    static Result run(int innerRadius, WallScheme scheme, double tau = 0.8);
};
