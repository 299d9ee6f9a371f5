#pragma once
// The input and the output of a run that goes strictly in order, because one
// of them is "-": standard input or standard output, usually a pipe. Internal to cli/.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "cli/positional_file.h"
#include "cli/standard_stream.h"
#include "cli/stream_jobs.h"

namespace quorvane::cli {

// True when the output is written in order as a stream, never replaced: standard output, a character device or a FIFO.
bool WritesAsStream(const std::u16string& path);

class COrderedSource {
public:
    SourceStatus Open(const std::u16string& path);
    // The size of a file, or of what is left of a redirected file on standard input; none for a pipe.
    std::optional<std::uint64_t> Size() const { return size; }
    // Up to `length` bytes into `buffer`, fewer only at the end: `got` says how many.
    SourceStatus Read(std::uint8_t* buffer, std::size_t length, std::size_t& got);
    // After the end: ok when a file kept the size it had at open.
    SourceStatus CheckUnchanged() const { return standard ? SourceStatus::ok : file.CheckUnchanged(); }
    CInputFile& File() { return file; }

private:
    bool standard = false;
    CStandardInput input;
    CInputFile file;
    std::optional<std::uint64_t> size;
    std::uint64_t position = 0;
};

// Where the enciphered or deciphered bytes go, in order: standard output, or
// the temporary file of an output file. A container whose first block comes
// last (its size is known only at the end) goes to standard output through a spool.
class COrderedSink {
public:
    // For an output file, `path` is its destination; anything standing there is checked by the caller.
    StreamFailure Open(const std::u16string& path, bool firstBlockLast);
    bool IsStandardOutput() const { return standard; }
    // True once bytes have gone to standard output, which can't take them back.
    bool HasSent() const { return sent; }
    StreamFailure Write(std::uint64_t offset, const std::uint8_t* data, std::size_t length);
    // The first block, once its size is known; only after Open with firstBlockLast.
    StreamFailure WriteFirstBlock(const std::uint8_t* block);
    // Sends what was spooled, or moves the output file into place.
    StreamFailure Finish(CInputFile& input, const std::u16string& path, bool replaceExisting, std::size_t chunkBytes);

private:
    StreamFailure Send(const std::uint8_t* data, std::size_t length);

    bool standard = false;
    bool spooling = false;
    bool sent = false;
    std::uint64_t spooled = 0;
    CStandardOutput output;
    CSpoolFile spool;
    COutputFile file;
};

}  // namespace quorvane::cli
