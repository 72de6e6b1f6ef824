#pragma once

#include "lattice.h"

#include <cstddef>

class Populations;

// The density or the speed of sites whose populations lie in one of the
// grid's arrays (current or next), summed in the order and with the
// arithmetic of Lattice::moments, so the values are bitwise those the cells
// report. The view reads them from the current array; a step keeps them
// from the next array when the view asks.
class PlainMoments
{
public:
    PlainMoments(const Populations &populations, const double *array, bool speed);

    // The values of the n consecutive sites from first, into out, with the
    // sites side by side so the additions of different sites overlap
    // instead of waiting on each other. Sites without an attached cell get
    // meaningless values.
    void values(std::size_t first, int n, double *out) const;

private:
    struct Direction
    {
        const double *values;
        double ex, ey, ez;
    };
    Direction directions[Lattice::MaxQ];
    int count = 0;
    bool speed;
};
