#pragma once

// A column of fluid at rest between two walls under gravity g: the density
// falls with height as exp(-3 g y) (the isothermal lattice gas, c_s^2 = 1/3).
class Hydrostatics
{
public:
    struct Result
    {
        double ratio = 0.0;    // density at the top row over the bottom row
        double expected = 0.0; // exp(-3 g (h - 1))
        double error = 0.0;    // relative
        double fastest = 0.0;  // largest speed left
    };
    static Result run(int h);
};
