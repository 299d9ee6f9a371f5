#pragma once
// Steps both streaming directions share; internal to cli/.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/chunk_source.h"
#include "cli/stream_jobs.h"
#include "jobs/file_stream.h"

namespace quorvane::cli {

StreamFailure FromSourceStatus(SourceStatus status) noexcept;

// True when anything at all stands at the path, a dangling link included.
bool PathIsTaken(const std::u16string& path);

// Chunks are block multiples below 2 GiB; anything else is a caller's mistake.
std::size_t CheckedChunkBytes(std::size_t chunkBytes);

// Closes the input, then moves the finished output into place. Without
// `replaceExisting`, a file that appeared at the path meanwhile is kept and
// the output discarded.
StreamFailure CommitOutput(CChunkSource& source, CFileStream& output, const std::u16string& outputPath,
                           bool replaceExisting);

}  // namespace quorvane::cli
