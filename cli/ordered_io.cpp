#include "cli/ordered_io.h"

#include <algorithm>

#include "cipher/secure_memory.h"
#include "cli/stream_steps.h"
#include "jobs/platform_file.h"

namespace quorvane::cli {

bool WritesAsStream(const std::u16string& path)
{
    return path == kStandardStreamName || IsStreamDestination(ToFsPath(path));
}

SourceStatus COrderedSource::Open(const std::u16string& path)
{
    standard = path == kStandardStreamName;
    if (standard) {
        size = input.KnownSize();
        return SourceStatus::ok;
    }
    const SourceStatus status = file.Open(path);
    if (status == SourceStatus::ok) size = file.Size();
    return status;
}

SourceStatus COrderedSource::Read(std::uint8_t* buffer, std::size_t length, std::size_t& got)
{
    got = 0;
    if (standard) {
        const std::optional<std::size_t> n = input.Read(buffer, length);
        if (!n) return SourceStatus::readFailed;
        got = *n;
    } else {
        got = static_cast<std::size_t>(std::min<std::uint64_t>(length, *size - position));
        if (const SourceStatus s = file.ReadAt(position, buffer, got); s != SourceStatus::ok) return s;
    }
    position += got;
    return SourceStatus::ok;
}

StreamFailure COrderedSink::Open(const std::u16string& path, bool firstBlockLast)
{
    standard = path == kStandardStreamName;
    if (!standard && IsStreamDestination(ToFsPath(path))) {
        if (!output.OpenDestination(ToFsPath(path))) return StreamFailure::createOutput;
        standard = true;
    }
    spooling = standard && firstBlockLast;
    if (spooling) return spool.Create() ? StreamFailure::none : StreamFailure::spoolFailed;
    if (standard) return StreamFailure::none;
    return file.Create(path) ? StreamFailure::none : StreamFailure::createOutput;
}

StreamFailure COrderedSink::Send(const std::uint8_t* data, std::size_t length)
{
    switch (output.Write(data, length)) {
    case PipeStatus::ok:
        // A write that failed from its first byte (a full device) sent nothing to throw away.
        sent = sent || length > 0;
        return StreamFailure::none;
    case PipeStatus::closed:
        return StreamFailure::outputClosed;
    case PipeStatus::failed:
        break;
    }
    return StreamFailure::writeOutput;
}

StreamFailure COrderedSink::Write(std::uint64_t offset, const std::uint8_t* data, std::size_t length)
{
    if (spooling) {
        spooled = std::max(spooled, offset + length);
        return spool.WriteAt(offset, data, length) ? StreamFailure::none : StreamFailure::spoolFailed;
    }
    if (standard) return Send(data, length);
    return file.WriteAt(offset, data, length) ? StreamFailure::none : StreamFailure::writeOutput;
}

StreamFailure COrderedSink::WriteFirstBlock(const std::uint8_t* block)
{
    if (spooling) return spool.WriteAt(0, block, 8) ? StreamFailure::none : StreamFailure::spoolFailed;
    return file.WriteAt(0, block, 8) ? StreamFailure::none : StreamFailure::writeOutput;
}

StreamFailure COrderedSink::Finish(CInputFile& input, const std::u16string& path, bool replaceExisting,
                                   std::size_t chunkBytes)
{
    if (!standard) return CommitOutput(input, file, path, replaceExisting);
    if (!spooling) return StreamFailure::none;
    // Only ciphertext was spooled; it goes out now that its first block is right.
    CSecureBuffer chunk(static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, spooled)));
    for (std::uint64_t offset = 0; offset < spooled; offset += chunk.Size()) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.Size(), spooled - offset));
        if (!spool.ReadAt(offset, chunk.Data(), length)) return StreamFailure::spoolFailed;
        if (const StreamFailure f = Send(chunk.Data(), length); f != StreamFailure::none) return f;
    }
    return StreamFailure::none;
}

}  // namespace quorvane::cli
