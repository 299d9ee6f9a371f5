#pragma once
// Runs the chunks of one file on one worker per processor. Each worker takes
// the next chunk index, reads that chunk into a buffer of its own, enciphers
// it in place and writes it at its own offset: no chunk waits for another,
// and memory stays at one chunk per worker whatever the file's size.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "cipher/secure_memory.h"
#include "cli/stream_jobs.h"

namespace quorvane::cli {

struct ChunkPlan {
    std::uint64_t first = 0;  // the chunk indexes [first, last)
    std::uint64_t last = 0;
    std::size_t bufferBytes = 0;
    unsigned workers = 0;  // 0: one per usable processor
};

// Does one chunk in `buffer` (bufferBytes long); none, or why it failed.
using ChunkWork = std::function<StreamFailure(std::uint64_t index, CSecureBuffer& buffer)>;

// Runs `work` once for every chunk of the plan until one fails; returns that
// failure (the first one noted) or none. The calling thread is one of the
// workers. With one worker the chunks go strictly in ascending order, which
// is what a source or sink that can't seek (a pipe) needs. A worker that
// can't be started leaves its share to the others. Throws std::bad_alloc
// when the buffers can't be had, or when a worker ran out of memory.
StreamFailure RunChunks(const ChunkPlan& plan, const ChunkWork& work);

}  // namespace quorvane::cli
