#pragma once

// Plane Couette flow on D2Q9: h fluid rows between a resting wall and a
// moving-wall row sliding along x, periodic along x. The settled profile is
// linear between the half-way planes of the two walls.
class PlaneCouette
{
public:
    struct Result
    {
        double maxError = 0.0; // largest deviation, relative to the wall speed
        double massDrift = 0.0;
    };
    static Result run(int h, double tau = 0.8);
};
