#pragma once
// Times several Blowfish implementations side by side on one buffer and prints
// one table. Rounds alternate between the contestants, so a burst of other
// load on the machine hits all of them alike.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvane::bench {

using BufferOperation = std::function<void(const std::uint8_t* in, std::uint8_t* out, std::size_t bytes)>;

struct CContestant {
    std::string name;
    BufferOperation encrypt;
    BufferOperation decrypt;
    std::function<void(const std::uint8_t* key, int keyLength)> setKey;  // empty: no key (memcpy)
};

struct CFigures {
    double encryptBest = 0, encryptMedian = 0;  // MB/s, 10^6 bytes per second
    double decryptBest = 0, decryptMedian = 0;
    double setKeyMicros = -1;  // best of the rounds, mean per call; -1 when not applicable
};

std::vector<CFigures> MeasureSideBySide(const std::vector<CContestant>& contestants, const std::uint8_t* in,
                                        std::uint8_t* out, std::size_t bytes, const std::uint8_t* key, int keyLength,
                                        int rounds);

void PrintTable(const std::vector<CContestant>& contestants, const std::vector<CFigures>& figures, std::size_t bytes,
                int rounds);

}  // namespace quorvane::bench
