#include "randomsource.h"

int RandomSource::next()
{
    const std::lock_guard<std::mutex> lock(mutex);
    return draw();
}

void RandomSource::setSeed(unsigned seed)
{
    const std::lock_guard<std::mutex> lock(mutex);
    std::int32_t r[Size];
    r[0] = std::int32_t(seed == 0 ? 1u : seed);
    // 16807 r mod (2^31 - 1) by Schrage's method, in the C library's signed
    // arithmetic, so seeds above 2^31 give its sequence too.
    for (int i = 1; i < 31; ++i) {
        const std::int32_t hi = r[i - 1] / 127773, lo = r[i - 1] % 127773;
        std::int32_t word = 16807 * lo - 2836 * hi;
        if (word < 0)
            word += 2147483647;
        r[i] = word;
    }
    for (int i = 31; i < Size; ++i)
        r[i] = r[i - 31];
    for (int i = 0; i < Size; ++i)
        state[i] = std::uint32_t(r[i]);
    position = 0;
    // The first 310 words after the seeding are discarded.
    for (int i = Size; i < 344; ++i)
        draw();
}

int RandomSource::draw()
{
    const std::uint32_t v = state[(position + 3) % Size] + state[(position + 31) % Size];
    state[position] = v;
    position = (position + 1) % Size;
    return int(v >> 1);
}
