#pragma once

// A decaying Taylor-Green vortex on an n x n periodic D2Q9 grid, the
// velocity amplitude falling as 1 / n (so the Reynolds number stays), the
// density carrying the vortex's pressure from the start. After the time
// 1 / (2 nu k^2), in which the amplitude falls by e, the velocity field is
// compared with the exact one, and the viscosity is fitted to the decay of
// the kinetic energy.
class TaylorGreen
{
public:
    struct Result
    {
        double viscosity = 0.0;         // fitted
        double viscosityExpected = 0.0; // (tau - 1/2) / 3
        double l2Error = 0.0;           // velocity at the end, relative (L2)
        int iterations = 0;
    };

    // With single, the populations are kept in single precision.
    static Result run(int n, double tau = 0.8, bool single = false);
};
