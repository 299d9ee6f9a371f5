#pragma once
#include <pthread.h>
#include <signal.h>

namespace quorvane {

// Holds signals back on this thread for the guard's lifetime, then restores the mask as it was:
// every signal, or the set given.
class CSignalsHeld {
public:
    CSignalsHeld() noexcept
    {
        sigset_t every;
        sigfillset(&every);
        ::pthread_sigmask(SIG_BLOCK, &every, &saved);
    }
    explicit CSignalsHeld(const sigset_t& set) noexcept { ::pthread_sigmask(SIG_BLOCK, &set, &saved); }
    ~CSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &saved, nullptr); }
    CSignalsHeld(const CSignalsHeld&) = delete;
    CSignalsHeld& operator=(const CSignalsHeld&) = delete;

private:
    sigset_t saved;
};

}  // namespace quorvane
