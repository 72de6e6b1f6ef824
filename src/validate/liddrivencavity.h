#pragma once

#include <QVector>

#include <cmath>

// The square cavity with a lid moving along x (D2Q9, bounce-back walls on
// the half-way planes, n - 2 fluid sites across) at Reynolds number
// U (n - 2) / nu, against the centreline profiles tabulated by Ghia, Ghia
// and Shin (J. Comput. Phys. 48, 1982) for Re = 100 and 400.
class LidDrivenCavity
{
public:
    struct Result
    {
        // At the tabulated points: y, u/U on the vertical centreline, and
        // x, v/U on the horizontal one; the published values beside them.
        QVector<double> y, u, uGhia, x, v, vGhia;
        double largestU = 0.0, largestV = 0.0; // largest |deviation| / U
        double vOutlier = NAN; // this run's v where the Re = 400 table is off its own curve
        int iterations = 0;
    };
    // Re must be 100 or 400 (the tables held here).
    static Result run(int reynolds, int n, double lid, int most);
};
