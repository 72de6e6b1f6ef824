#pragma once

// Steady conduction on D2Q9 between a hot thermal wall (row 0) and a cold
// one (row h + 1) across h rows of fluid at rest carrying heat: the
// temperature falls linearly between the walls' half-way planes,
// T(y) = T_hot + (T_cold - T_hot) (y - 1/2) / h.
class Conduction
{
public:
    struct Result
    {
        double maxError = 0.0; // largest deviation, relative to T_hot - T_cold
        int iterations = 0;
    };
    static Result run(int h);
};
