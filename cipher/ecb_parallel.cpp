#include "cipher/ecb_parallel.h"

namespace quorvane {

unsigned AutomaticThreadCount(std::uint32_t length) noexcept
{
    if (length < kParallelMinimumBytes) return 1;
    // hardware_concurrency may say 0 when it cannot tell.
    const unsigned hardware = std::max(std::thread::hardware_concurrency(), 1u);
    return std::min(hardware, static_cast<unsigned>(length / kMinimumBytesPerThread));
}

}  // namespace quorvane
