#pragma once

#include "force.h"

// Weight of the fluid: F = (0, -g, 0) rho d, with d "density1" for the first
// component and "density2" for the others. Gravity always points along -y.
class Gravity : public Force
{
public:
    Vector3d force(BaseCell *cell, BaseCell **neighbours, int component, int x, int y, int z, Grid *grid) override;
    bool isActive(const SimulationParameters &parameters) override;
};
