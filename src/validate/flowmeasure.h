#pragma once

#include "model/latticeboltzmann/vector3d.h"

#include <functional>

class BaseCell;
class Grid;
class SimulationParameters;

// Measurements shared by the validation cases.
class FlowMeasure
{
public:
    // Sets the grid up for a case: the model of q directions, relaxation
    // time tau, density 1 everywhere, periodic or closed, rows on the
    // thread pool or not. Returns the grid's parameters for the rest.
    static SimulationParameters *setUp(Grid &grid, int q, double tau, bool periodic, bool multicore);
    // The fluid's velocity with the half force step of the shifted
    // equilibrium, u + F / (2 rho) = u + shift / (2 tau): what the fluid
    // cell itself reports as its velocity.
    static Vector3d physicalVelocity(BaseCell *cell);
    // The sum of the densities of the fluid sites.
    static double fluidMass(const Grid &grid);
    // Smoothly 1 inside a disc of the given radius about the centre of an
    // n x n box and 0 outside, across an interface some four sites wide.
    static double disc(int x, int y, int n, double radius);
    struct Drop
    {
        double radius = 0.0;  // from the drop's area
        double inside = 0.0;  // pressure at the centre
        double outside = 0.0; // pressure at the far corner
        double jump = 0.0;    // inside - outside
        int iterations = 0;
    };
    // Steps a drop at the centre of a periodic n x n box until the pressure
    // jump settles (relative change below tolerance over 500 iterations, at
    // most `most` iterations), then measures it; the drop's area is the sum
    // of `share` (the drop's density, or its share of the density) scaled
    // between its far-corner and centre values.
    static Drop settleDrop(Grid &grid, int n, const std::function<double(BaseCell *)> &pressure,
                           const std::function<double(BaseCell *)> &share, double tolerance, int most);
    // Steps the grid in bursts until measure() changes by less than
    // tolerance (relative to its size) over a burst, or until most
    // iterations; returns the iterations run.
    static int runToSteadyState(Grid &grid, const std::function<double()> &measure, double tolerance, int burst,
                                int most);
};
