#pragma once

#include "flowmeasure.h"

// A drop of one Shan-Chen component in the other (D2Q9, both relaxation
// times tau), the pressure p = (rho_a + rho_b) / 3 + G rho_a rho_b / 3.
class TwoComponentDrop
{
public:
    static double pressure(double a, double b, double g);
    static FlowMeasure::Drop run(double g, double tau, int n, double radius, int most);
};
