#pragma once

#include "model/latticeboltzmann/shapes/wallscheme.h"

// Plane Poiseuille flow: fluid columns x = 1 .. width between two walls
// across x, driven along -y by gravity on a grid periodic along y. The walls
// are box shapes whose faces cut the links beyond the outermost fluid
// columns at the fraction q (walls at x = 1 - q and x = width + q), or plain
// walls on columns 0 and width + 1 (the half-way plane, q = 1/2).
class ChannelFlow
{
public:
    struct Result
    {
        double maxError = 0.0; // largest deviation from the parabola, relative to its peak
        double l2Error = 0.0;  // root-mean-square deviation relative to the rms of the parabola
        double massDrift = 0.0; // relative change of the fluid mass over the run
        int iterations = 0;
    };

    // The relaxation time at which the linear interpolated wall at fraction q
    // gives the parabola exactly with the BGK collision and a body force:
    // tau = 1/2 + (sqrt(9 (2q - 1)^2 + 48 q^2) - 3 |2q - 1|) / 8.
    static double matchingTau(double q);
    // With single, the populations are kept in single precision; with
    // iterations > 0 the run takes that many iterations instead of running
    // to the steady state.
    static Result run(double q, double tau, WallScheme scheme, int width, bool plainWalls = false, bool single = false,
                      int iterations = 0);
};
