#pragma once

#include <cstdint>
#include <cstring>

// h^(-1/3) of a positive normal h (the bed friction's depth factor), formed
// from integer and basic floating-point operations only: a vector loop over
// many sites and the scalar code of one site round every step alike and give
// the same bits, which a library power does not promise, and the loop
// vectorises where a call to pow does not.
//
// The first guess divides the high word's exponent and leading mantissa
// bits by -3 (within 3.5 % of the root); four Newton steps
// y <- y (4 - h y^3) / 3, formed as a product by 1/3, then reach double
// precision (the relative error goes as 2 e^2 per step: 3.5e-2, 2.4e-3,
// 1.2e-5, 3e-10, below the rounding), within a few units in the last place
// of the exact root.
inline double inverseCubeRoot(double h)
{
    std::uint64_t bits;
    std::memcpy(&bits, &h, sizeof bits);
    const std::uint32_t high = std::uint32_t(bits >> 32);
    const std::uint64_t guessBits = std::uint64_t(0x553EF0FFu - high / 3u) << 32;
    double y;
    std::memcpy(&y, &guessBits, sizeof y);
    for (int step = 0; step < 4; ++step)
        y = y * (4.0 - h * (y * y * y)) * (1.0 / 3.0);
    return y;
}
