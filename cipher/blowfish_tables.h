#pragma once
#include <cstdint>

namespace quorvane {

// The published initial state: P-array, then S-boxes 0 to 3, 1042 words of pi.
extern const std::uint32_t kInitialPArray[18];
extern const std::uint32_t kInitialSBoxes[1024];

}  // namespace quorvane
