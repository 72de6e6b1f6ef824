#pragma once

#include <chrono>

class Grid;

using BenchClock = std::chrono::steady_clock;

// Seconds since t0.
inline double secondsSince(BenchClock::time_point t0)
{
    return std::chrono::duration<double>(BenchClock::now() - t0).count();
}

// An n x n D2Q9 channel with a cylinder of radius 50, stepped a few times so
// that its populations, densities and velocities carry full-precision values:
// the grid the export and document benchmarks write.
void makeBenchChannel(Grid &grid, int n);
