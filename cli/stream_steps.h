#pragma once
// Steps both streaming directions share; internal to cli/.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/positional_file.h"
#include "cli/stream_jobs.h"

namespace quorvane::cli {

StreamFailure FromSourceStatus(SourceStatus status) noexcept;

// True when anything at all stands at the path, a dangling link included.
bool PathIsTaken(const std::u16string& path);

// What an output path shows before anything is made there: a file name longer
// than the file system takes (255 bytes of UTF-8 here, 255 UTF-16 units on
// Windows), or a folder (also through a link) standing at the path.
StreamFailure CheckOutputPath(const std::u16string& path);

// Chunks are block multiples below 2 GiB; anything else is a caller's mistake.
std::size_t CheckedChunkBytes(std::size_t chunkBytes);

// Closes the input, then moves the finished output into place. Without
// `replaceExisting`, a file that appeared at the path meanwhile is kept and
// the output discarded.
StreamFailure CommitOutput(CInputFile& input, COutputFile& output, const std::u16string& outputPath,
                           bool replaceExisting);

// The number of chunks of `chunkBytes` in `length` bytes, the last one maybe shorter.
std::uint64_t ChunkCount(std::uint64_t length, std::size_t chunkBytes) noexcept;

}  // namespace quorvane::cli
