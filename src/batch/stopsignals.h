#pragma once

#include <atomic>

// SIGINT and SIGTERM ask a run without a window to stop at its next whole
// iteration and save its state. The handler is reset at once, so a second
// signal ends the program without waiting.
class StopSignals
{
public:
    static void install();
    // Set by the first signal; runs poll it between iterations.
    static std::atomic<bool> &requested();
    // The signal received (0 before one arrives) and its name.
    static int received();
    static const char *name();
};
