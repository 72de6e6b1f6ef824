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
    // Steps the grid in bursts until measure() changes by less than
    // tolerance (relative to its size) over a burst, or until most
    // iterations; returns the iterations run.
    static int runToSteadyState(Grid &grid, const std::function<double()> &measure, double tolerance, int burst,
                                int most);
};
