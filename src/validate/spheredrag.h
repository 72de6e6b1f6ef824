#pragma once

#include "model/latticeboltzmann/shapes/wallscheme.h"

#include <QString>

// Stokes drag on a fixed sphere in a periodic cubic box on D3Q19, the fluid
// driven by gravity along -y: at the steady state the drag coefficient
// K = F / (6 pi mu a U), U the mean velocity over the whole box (the solid
// counted at rest), is compared with Hasimoto's periodic array,
// 1 / K = 1 - 1.7601 c^(1/3) + c - 1.5593 c^2 for the solid fraction c.
class SphereDrag
{
public:
    struct Result
    {
        double drag = 0.0;       // |F| on the sphere by momentum exchange
        double bodyForce = 0.0;  // the gravity on all the fluid, which the drag balances
        double velocity = 0.0;   // U
        double k = 0.0;          // K measured
        double kHasimoto = 0.0;  // K of the periodic array
        double error = 0.0;      // K / K_Hasimoto - 1
        int iterations = 0;
    };

    // The sphere is analytic, or read from the STL file of a unit sphere
    // scaled to the radius.
    static Result run(double radius, int box, WallScheme scheme, const QString &stlFile = QString(), double tau = 1.0);
    static double hasimoto(double solidFraction);
};
