#pragma once

// Shallow water (D2Q9) at rest at depth h0 with a small Gaussian hump: the
// hump splits into two waves running at the celerity sqrt(g h0).
class ShallowWave
{
public:
    struct Result
    {
        double speed = 0.0;    // of the right-going crest
        double expected = 0.0; // sqrt(g h0)
    };
    static Result run(double g, double depth);
};
