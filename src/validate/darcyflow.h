#pragma once

// A uniform porous medium of solid fraction s, periodic, under a body force
// F = rho g: the fluid settles at the Darcy speed u = (1 - s) g / (2 s).
class DarcyFlow
{
public:
    struct Result
    {
        double speed = 0.0;
        double expected = 0.0;
        double error = 0.0; // relative
    };
    static Result run(double solidFraction);
};
