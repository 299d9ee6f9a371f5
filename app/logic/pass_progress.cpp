#include "app/logic/pass_progress.h"

#include <limits>

namespace quorvane::app {

int ProgressPosition(std::uint64_t done, std::uint64_t total) noexcept
{
    if (done >= total) return kProgressRange;
    // Scaled down together until the product cannot overflow; only totals past 2^54 lose any precision.
    while (total > std::numeric_limits<std::uint64_t>::max() / kProgressRange) {
        total >>= 1;
        done >>= 1;
    }
    const int position = static_cast<int>(done * kProgressRange / total);
    return position < kProgressRange ? position : kProgressRange - 1;  // full only when every byte is through
}

bool CPassProgress::Report(std::uint64_t done) noexcept
{
    std::uint64_t seen = done_.load();
    while (seen < done && !done_.compare_exchange_weak(seen, done)) {}
    const int position = Position();
    if (position_.exchange(position) != position && moved_ != nullptr) moved_(context_);
    return !stop_.load();
}

}  // namespace quorvane::app
