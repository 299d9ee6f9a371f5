#pragma once
// Where a run's bytes come from and where they go, and the workers that carry
// a file's chunks between them; internal to cli/. The data is a file read or
// written by offset (from any thread), or, strictly in order, standard input,
// standard output, a device or a FIFO.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "cipher/secure_memory.h"
#include "cli/stream_jobs.h"
#include "jobs/platform_file.h"

namespace quorvane::cli {

class CSource {
public:
    CSource() = default;
    ~CSource() { Close(); }
    CSource(const CSource&) = delete;
    CSource& operator=(const CSource&) = delete;

    // "-" is standard input; anything else must be a regular file.
    StreamFailure Open(const std::u16string& path);
    // The size of a file, or of what is left of a redirected file on standard input; none for a pipe.
    std::optional<std::uint64_t> Size() const { return size; }
    // Exactly `length` bytes at `offset` of a file. Safe from several threads at once.
    StreamFailure ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) const;
    // Up to `length` bytes in order, fewer only at the end: `got` says how many.
    StreamFailure Read(std::uint8_t* buffer, std::size_t length, std::size_t& got);
    // After the end: none when a file still has the size it had at open.
    StreamFailure CheckUnchanged() const;
    // Releases a file, so that the same path may be replaced next.
    void Close() noexcept { CloseFile(file); }

private:
    NativeFile file = -1;
    bool standard = false;
    std::optional<std::uint64_t> size;
    std::uint64_t position = 0;
};

// An output file is written as a temporary file beside it, by offset, and
// moved into place at the end; until then an interrupt removes it
// (interrupt.h). A stream is written in order; a container whose first block
// comes last goes to it through a spool.
class CSink {
public:
    CSink() = default;
    ~CSink() { Discard(); }
    CSink(const CSink&) = delete;
    CSink& operator=(const CSink&) = delete;

    // The temporary file for an output file at `path`. Without `replaceExisting`
    // anything standing there is refused (outputExists); what else stands there is checked by the caller.
    StreamFailure OpenFile(const std::u16string& path, bool replaceExisting);
    // "-", a character device or a FIFO as a stream, anything else as OpenFile does.
    StreamFailure Open(const std::u16string& path, bool replaceExisting, bool firstBlockLast);
    // True once bytes have gone to a stream, which can't take them back.
    bool HasSent() const { return sent; }
    // A file's bytes from any thread; a stream's in order, but for a spooled first block written again at the end.
    StreamFailure Write(std::uint64_t offset, const std::uint8_t* data, std::size_t length);
    // Sends what was spooled, or closes the input and moves the output file
    // into place. Without `replaceExisting`, a file that appeared at the path
    // meanwhile is kept and the output discarded.
    StreamFailure Finish(CSource& input, std::size_t chunkBytes);

private:
    StreamFailure Send(const std::uint8_t* data, std::size_t length);
    void Discard() noexcept;

    bool streaming = false;
    NativeFile stream = -1;  // standard output, or the device or FIFO opened
    bool ownStream = false;
    NativeFile spool = -1;
    std::uint64_t spooled = 0;
    bool sent = false;
    bool replace = false;
    std::filesystem::path destination;
    TemporaryFile temporary;  // open until committed or discarded
};

// Does one chunk in `buffer`; none, or why it failed.
using ChunkWork = std::function<StreamFailure(std::uint64_t index, CSecureBuffer& buffer)>;

// Runs `work` once for every chunk of `chunkBytes` in `length` bytes (the last one maybe shorter) from the chunk
// `first` on, one worker per usable processor, the calling thread one of them, until one fails; returns that
// failure (the first one noted) or none. A worker that can't be started
// leaves its share to the others. Throws std::bad_alloc when the buffers
// can't be had, or when a worker ran out of memory.
StreamFailure RunChunks(std::uint64_t first, std::uint64_t length, std::size_t chunkBytes, const ChunkWork& work);

// Chunks are block multiples up to 1 GiB; anything else is a caller's mistake.
std::size_t CheckedChunkBytes(std::size_t chunkBytes);

// True when the output is written in order as a stream, never replaced: standard output, a character device or a FIFO.
bool WritesAsStream(const std::u16string& path);

}  // namespace quorvane::cli
