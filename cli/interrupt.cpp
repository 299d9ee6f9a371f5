#include "cli/interrupt.h"

#include <csignal>
#include <iterator>

namespace quorvane::cli {

namespace {

volatile std::sig_atomic_t pendingSignal = 0;

#ifdef SIGHUP
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
#else
constexpr int kStopSignals[] = {SIGINT, SIGTERM};
#endif
using Handler = void (*)(int);
Handler previousHandlers[std::size(kStopSignals)] = {};

extern "C" void NoteInterrupt(int signalNumber)
{
    pendingSignal = signalNumber;
}

}  // namespace

CInterruptGuard::CInterruptGuard()
{
    pendingSignal = 0;
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
        previousHandlers[i] = std::signal(kStopSignals[i], NoteInterrupt);
}

CInterruptGuard::~CInterruptGuard()
{
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        if (previousHandlers[i] != SIG_ERR) std::signal(kStopSignals[i], previousHandlers[i]);
    }
}

void CInterruptGuard::RaisePending()
{
    const int signalNumber = pendingSignal;
    if (signalNumber == 0) return;
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

bool InterruptRequested() noexcept
{
    return pendingSignal != 0;
}

}  // namespace quorvane::cli
