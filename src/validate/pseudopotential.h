#pragma once

#include "flowmeasure.h"

#include <utility>

// The single-component pseudopotential fluid, psi = psi0 exp(-rho0 / rho),
// with the equation of state p = rho / 3 + G psi^2 / 6 of that force:
// the coexisting densities of a flat interface against the
// mechanical-stability construction, and the pressure jump across drops.
class Pseudopotential
{
public:
    struct Fluid
    {
        double g = -120.0, psi0 = 4.0, rho0 = 200.0;
        double tau = 1.0; // relaxation time of the run
        double psi(double rho) const;
        double pressure(double rho) const;
    };

    // Gas and liquid densities of equal pressure for which the integral of
    // (p0 - p) psi' / psi^2 between them vanishes.
    static std::pair<double, double> coexistence(const Fluid &fluid);

    struct Flat
    {
        double gas = 0.0, liquid = 0.0;
        int iterations = 0;
    };
    // A liquid slab in its vapour in a periodic column of the given height.
    static Flat flat(const Fluid &fluid, int height, int most);

    // A drop of the given start radius at the centre of a periodic n x n box.
    static FlowMeasure::Drop drop(const Fluid &fluid, int n, double radius, int most);
};
