#include "stopsignals.h"

#include <csignal>

namespace {

std::atomic<bool> stopRequested{false};
std::atomic<int> stopSignal{0};

extern "C" void requestStop(int signal)
{
    stopSignal = signal;
    stopRequested = true;
}

} // namespace

void StopSignals::install()
{
    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

std::atomic<bool> &StopSignals::requested()
{
    return stopRequested;
}

int StopSignals::received()
{
    return stopSignal;
}

const char *StopSignals::name()
{
    const int signal = stopSignal;
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal";
}
