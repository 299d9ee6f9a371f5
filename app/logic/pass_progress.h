#pragma once
// What a long pass and the window share while the pass runs on its own thread:
// how far it has got, whether the user asked it to stop, and when the window
// shows it. No platform calls, so the rules are checked on any machine.
#include <atomic>
#include <cstdint>

#include "jobs/job_window.h"

namespace quorvane::app {

// A pass still running after this long shows its progress; shorter ones show nothing.
constexpr std::uint64_t kProgressDelayMs = 500;

// The progress bar's range is 0 to this.
constexpr int kProgressRange = 1000;

// The bar's position for `done` of `total` bytes, from 0 to kProgressRange; full only when done.
int ProgressPosition(std::uint64_t done, std::uint64_t total) noexcept;

// Milliseconds left before a pass that began `elapsedMs` ago shows its progress; 0 means now.
constexpr std::uint64_t ProgressDelayLeft(std::uint64_t elapsedMs)
{
    return elapsedMs >= kProgressDelayMs ? 0 : kProgressDelayMs - elapsedMs;
}

// The monitor a pass reports to, from whichever threads run it.
class CPassProgress : public CPassMonitor {
public:
    // `moved` is called, from the reporting thread, each time the bar's position changes.
    using MovedFn = void (*)(void* context) noexcept;

    CPassProgress(std::uint64_t total, MovedFn moved, void* context) noexcept
        : total_(total), moved_(moved), context_(context)
    {
    }

    bool Report(std::uint64_t done) noexcept override;

    // Asked from the window's thread; the pass learns of it at its next report.
    void RequestStop() noexcept { stop_.store(true); }
    bool StopRequested() const noexcept { return stop_.load(); }
    // Never moves back: reports from several threads may arrive out of order.
    int Position() const noexcept { return ProgressPosition(done_.load(), total_); }

private:
    const std::uint64_t total_;
    const MovedFn moved_;
    void* const context_;
    std::atomic<std::uint64_t> done_{0};
    std::atomic<int> position_{0};
    std::atomic<bool> stop_{false};
};

}  // namespace quorvane::app
