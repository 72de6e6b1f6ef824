#pragma once

#include <cstdint>
#include <mutex>

// A simulation's own stream of pseudo-random integers in [0, 2^31 - 1]: the
// additive feedback generator of the C library's rand, so a seed gives the
// same sequence std::srand and std::rand gave, but two simulations drawing at
// the same time do not take numbers from each other. Threads of one
// simulation (a document read in parallel) may draw at once.
class RandomSource
{
public:
    explicit RandomSource(unsigned seed = 1) { setSeed(seed); }

    // Seed 0 is taken as 1, as the C library does.
    void setSeed(unsigned seed);
    int next();

private:
    int draw();

    // The last 34 words of r[i] = r[i - 31] + r[i - 3] as a ring: word r[j]
    // lies in slot j mod 34, and position is the slot of the next word.
    static constexpr int Size = 34;
    std::uint32_t state[Size];
    int position = 0;
    std::mutex mutex;
};
