#pragma once

#include "flowmeasure.h"

// A red drop in blue under the colour-gradient model (D2Q9), both colours
// of density 1: the pressure is the total density over 3.
class ColourDrop
{
public:
    static FlowMeasure::Drop run(double amplitude, double beta, double tau, int n, double radius, int most);
};
