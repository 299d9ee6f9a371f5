#pragma once
// Splitting the ECB loops across threads. Blocks are independent, so any split
// on block boundaries gives the same bytes as one thread.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "cipher/blowfish_cipher.h"

namespace quorvane {

// Below this a buffer stays on the calling thread: starting a thread costs
// tens of microseconds, a megabyte takes about a millisecond and a half.
inline constexpr std::uint32_t kParallelMinimumBytes = 1u << 20;
// No thread gets a smaller share than this, however many cores there are.
inline constexpr std::uint32_t kMinimumBytesPerThread = 256u << 10;

// The thread count that EncodeBlocks and DecodeBlocks choose for a length in bytes.
unsigned AutomaticThreadCount(std::uint32_t length) noexcept;

// EncodeBlocks and DecodeBlocks with the thread count fixed by the caller
// (the calling thread counts as one; no more threads than blocks), whatever
// the length. Tests and benchmarks pin the count here.
std::uint32_t EncodeBlocksOnThreads(const CBlowfishCipher& cipher, const std::uint8_t* input, std::uint8_t* output,
                                    std::uint32_t length, unsigned threadCount);
void DecodeBlocksOnThreads(const CBlowfishCipher& cipher, const std::uint8_t* input, std::uint8_t* output,
                           std::uint32_t length, unsigned threadCount);

// Calls work(firstBlock, blockCount) over [0, blocks) in threadCount contiguous
// pieces, one on the calling thread and the others on threads of their own.
// A piece whose thread cannot be started runs on the calling thread instead,
// so the work is always done in full; returns when every piece is done.
template <class Work>
void SplitBlocks(std::size_t blocks, unsigned threadCount, const Work& work)
{
    const std::size_t pieces = std::min<std::size_t>(std::max(threadCount, 1u), blocks);
    if (pieces <= 1) {
        if (blocks != 0) work(std::size_t{0}, blocks);
        return;
    }
    const std::size_t per = (blocks + pieces - 1) / pieces;
    const auto sizeAt = [&](std::size_t first) { return std::min(per, blocks - first); };
    std::size_t next = per;  // piece 0 is the calling thread's
    {
        std::vector<std::jthread> helpers;  // joined on the way out of this scope
        try {
            helpers.reserve(pieces - 1);
            for (; next < blocks; next += per)
                helpers.emplace_back([&work, next, count = sizeAt(next)] { work(next, count); });
        } catch (const std::system_error&) {
        } catch (const std::bad_alloc&) {
        }
        for (; next < blocks; next += per) work(next, sizeAt(next));  // pieces no thread could take
        work(std::size_t{0}, per);
    }
}

}  // namespace quorvane
