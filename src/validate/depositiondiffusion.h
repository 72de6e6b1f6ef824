#pragma once

// A sine mode of concentration in the deposition model with no growth
// (rate 0) on a periodic D2Q9 row: it decays as exp(-D k^2 t) with the
// diffusivity D = (tau - 1/2) / 3 of the relaxation time tau.
class DepositionDiffusion
{
public:
    struct Result
    {
        double diffusivity = 0.0; // from the decay
        double expected = 0.0;    // (tau - 1/2) / 3
    };
    static Result run(int n, double tau);
};
