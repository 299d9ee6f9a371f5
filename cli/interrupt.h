#pragma once
// Ctrl+C or a termination request while a file is streamed: the run stops
// between two chunks, so that the temporary output is removed as on any
// failure, and the process then ends by the same signal as it would have.

namespace quorvane::cli {

class CInterruptGuard {
public:
    CInterruptGuard();
    ~CInterruptGuard();  // puts the previous handlers back
    CInterruptGuard(const CInterruptGuard&) = delete;
    CInterruptGuard& operator=(const CInterruptGuard&) = delete;

    // Ends the process by the signal that arrived, if one did.
    static void RaisePending();
};

bool InterruptRequested() noexcept;

}  // namespace quorvane::cli
