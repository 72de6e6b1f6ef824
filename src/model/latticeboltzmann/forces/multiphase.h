#pragma once

#include "force.h"

#include <cmath>

// Single-component Shan-Chen pseudopotential force with wall adhesion. The
// pseudopotential of a fluid cell is psi = "mpPsi0" exp(-"mpP0" / rho); walls
// and missing neighbours have none. F = -G psi(x) sum w_i psi(x + e_i) e_i
// - Gads psi(x) sum over wall neighbours of w_i e_i.
class MultiPhase : public Force
{
public:
    Vector3d force(BaseCell *cell, BaseCell **neighbours, int component, int x, int y, int z, Grid *grid) override;
    bool isActive(const SimulationParameters &parameters) override;

    // The pseudopotential of a cell (0 for null or non-fluid cells).
    static double psi(BaseCell *cell, double psi0, double rho0);
    // The pseudopotential of fluid at density rho; an empty or negative
    // density has none rather than exp(-inf) of a NaN.
    static double psiOfDensity(double rho, double psi0, double rho0)
    {
        return rho > 0.0 ? psi0 * std::exp(-rho0 / rho) : 0.0;
    }
};
