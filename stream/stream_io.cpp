#include "stream/stream_jobs.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

#include "cipher/ecb_parallel.h"

namespace quorvane {

FailureSubject StreamOutcome::Subject() const noexcept
{
    switch (failure) {
    case StreamFailure::outputExists:
    case StreamFailure::outputIsInput:
    case StreamFailure::outputOfTheRun:
    case StreamFailure::outputIsFolder:
    case StreamFailure::nameTooLong:
    case StreamFailure::outputOfAnotherUser:
    case StreamFailure::createOutput:
    case StreamFailure::writeOutput:
    case StreamFailure::replaceOutput:
    case StreamFailure::outputReplaced:
    case StreamFailure::outputClosed:
        return FailureSubject::output;
    case StreamFailure::spoolFailed:
        return FailureSubject::spool;
    default:
        return FailureSubject::input;
    }
}

std::u16string StoredNameFor(std::u16string_view path)
{
    return FromFsPath(ToFsPath(path).filename());
}

namespace {

thread_local int systemError = 0;

// A failure of the platform call just made: its error number is kept for the message.
StreamFailure Failed(StreamFailure failure)
{
    systemError = LastSystemError();
    return failure;
}

}  // namespace

int TakeSystemError() noexcept
{
    return std::exchange(systemError, 0);
}

StreamFailure CSource::Open(const std::u16string& path)
{
    Close();
    standard = path == kStandardStreamName;
    if (standard) {
        size = BytesLeft(StandardInput());
        return StreamFailure::none;
    }
    return OpenFile(path);
}

StreamFailure CSource::OpenFile(std::u16string_view path)
{
    Close();
    standard = false;
    const OpenedInput input = OpenRegularFile(path);
    if (!input.opened) return Failed(StreamFailure::openInput);
    if (!input.regular) return StreamFailure::notRegular;
    if (!input.sized) return Failed(StreamFailure::readInput);
    file = input.file;
    size = input.size;
    return StreamFailure::none;
}

StreamFailure CSource::ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) const
{
    const std::optional<std::size_t> got = file == -1 ? std::nullopt : ReadFileAt(file, offset, buffer, length);
    if (!got) return Failed(StreamFailure::readInput);
    // Cut short since its size was taken.
    return *got == length ? StreamFailure::none : StreamFailure::inputChanged;
}

StreamFailure CSource::Read(std::uint8_t* buffer, std::size_t length, std::size_t& got)
{
    got = 0;
    if (standard) {
        while (got < length) {
            const std::optional<std::size_t> n = ReadSome(StandardInput(), buffer + got, length - got);
            if (!n) return Failed(StreamFailure::readInput);
            if (*n == 0) break;
            got += *n;
        }
    } else {
        got = static_cast<std::size_t>(std::min<std::uint64_t>(length, *size - position));
        if (const StreamFailure f = ReadAt(position, buffer, got); f != StreamFailure::none) return f;
    }
    position += got;
    return StreamFailure::none;
}

StreamFailure CSource::CheckUnchanged() const
{
    if (standard) return StreamFailure::none;
    const std::optional<std::uint64_t> now = FileSize(file);
    if (!now) return Failed(StreamFailure::readInput);
    return *now == size ? StreamFailure::none : StreamFailure::inputChanged;
}

StreamFailure CSink::OpenFile(const std::u16string& path, bool replaceExisting)
{
    replace = replaceExisting;
    destination = ToFsPath(path);
    if (!replace && PathIsTaken(destination)) return StreamFailure::outputExists;
    return IsReplaceableDestination(destination) && hooks.createTemporary(destination, temporary)
               ? StreamFailure::none
               : Failed(StreamFailure::createOutput);
}

StreamFailure CSink::Open(const std::u16string& path, bool replaceExisting, bool firstBlockLast)
{
    if (path == kStandardStreamName) {
        stream = StandardOutput();
    } else if (IsStreamDestination(ToFsPath(path))) {
        stream = OpenStreamDestination(ToFsPath(path));
        if (stream == -1) return Failed(StreamFailure::createOutput);
        ownStream = true;
    } else {
        return OpenFile(path, replaceExisting);
    }
    if (hooks.streamOpening) hooks.streamOpening();
    streaming = true;
    if (!firstBlockLast) return StreamFailure::none;
    spool = CreateSpoolFile();
    return spool == -1 ? Failed(StreamFailure::spoolFailed) : StreamFailure::none;
}

StreamFailure CSink::Send(const std::uint8_t* data, std::size_t length)
{
    bool readerGone = false;
    if (WriteAll(stream, data, length, readerGone)) {
        // A write that failed from its first byte (a full device) sent nothing to throw away.
        sent = sent || length > 0;
        return StreamFailure::none;
    }
    return Failed(readerGone ? StreamFailure::outputClosed : StreamFailure::writeOutput);
}

StreamFailure CSink::Write(std::uint64_t offset, const std::uint8_t* data, std::size_t length)
{
    if (spool != -1) {
        spooled = std::max(spooled, offset + length);
        return WriteFileAt(spool, offset, data, length) ? StreamFailure::none : Failed(StreamFailure::spoolFailed);
    }
    if (streaming) return Send(data, length);
    return temporary.file != -1 && WriteFileAt(temporary.file, offset, data, length)
               ? StreamFailure::none
               : Failed(StreamFailure::writeOutput);
}

StreamFailure CSink::Finish(CSource& input, std::size_t chunkBytes)
{
    if (!streaming) {
        // Closed first: on Windows an open file can't be replaced, and the input may be the output.
        input.Close();
        // Without -f, a file made since the first look is not replaced either (the commit refuses it too).
        if (!replace && PathIsTaken(destination)) return StreamFailure::outputExists;
        switch (CommitTemporary(temporary, destination, replace)) {
        case CommitResult::done:
            break;
        case CommitResult::unwritten:
            return Failed(StreamFailure::writeOutput);
        case CommitResult::notMoved:
            return Failed(StreamFailure::replaceOutput);
        case CommitResult::replacedMeanwhile:
            return StreamFailure::outputReplaced;
        }
        if (hooks.temporaryGone) hooks.temporaryGone();
        return StreamFailure::none;
    }
    if (spool == -1) return StreamFailure::none;
    // Only ciphertext was spooled; it goes out now that its first block is right.
    CSecureBuffer chunk(static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, spooled)));
    for (std::uint64_t offset = 0; offset < spooled; offset += chunk.Size()) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.Size(), spooled - offset));
        if (ReadFileAt(spool, offset, chunk.Data(), length) != length) return Failed(StreamFailure::spoolFailed);
        if (const StreamFailure f = Send(chunk.Data(), length); f != StreamFailure::none) return f;
    }
    return StreamFailure::none;
}

void CSink::Discard() noexcept
{
    if (ownStream) CloseFile(stream);
    CloseFile(spool);
    if (temporary.path.empty() && temporary.file == -1) return;
    DiscardTemporary(temporary);
    if (hooks.temporaryGone) hooks.temporaryGone();
}

StreamFailure RunChunks(std::uint64_t first, std::uint64_t length, std::size_t chunkBytes, const ChunkWork& work)
{
    const std::uint64_t last = (length + chunkBytes - 1) / chunkBytes;
    if (last <= first) return StreamFailure::none;
    const auto workers = static_cast<unsigned>(std::min<std::uint64_t>(UsableProcessors(), last - first));

    // Every buffer is had before any work starts, so a lack of memory stops nothing halfway.
    std::vector<CSecureBuffer> buffers;
    buffers.reserve(workers);
    for (unsigned i = 0; i < workers; ++i) buffers.emplace_back(chunkBytes);

    std::atomic<std::uint64_t> next{first};
    std::atomic<StreamFailure> failure{StreamFailure::none};
    std::atomic<int> failureError{0};
    std::atomic<bool> stopping{false};
    std::mutex lock;
    std::exception_ptr thrown;
    const auto serve = [&](CSecureBuffer& buffer) noexcept {
        try {
            for (std::uint64_t index = 0; !stopping.load() && (index = next.fetch_add(1)) < last;) {
                if (const StreamFailure f = work(index, buffer); f != StreamFailure::none) {
                    StreamFailure none = StreamFailure::none;
                    const int error = TakeSystemError();  // this worker's
                    if (failure.compare_exchange_strong(none, f)) failureError.store(error);
                    stopping.store(true);
                }
            }
        } catch (...) {
            const std::lock_guard<std::mutex> guard(lock);
            if (!thrown) thrown = std::current_exception();
            stopping.store(true);
        }
    };
    // One worker per buffer; one whose thread can't be started serves on this thread instead.
    SplitBlocks(workers, workers, [&](std::size_t worker, std::size_t) { serve(buffers[worker]); });
    if (thrown) std::rethrow_exception(thrown);
    systemError = failureError.load();
    return failure.load();
}

std::size_t CheckedChunkBytes(std::size_t chunkBytes)
{
    if (chunkBytes == 0 || chunkBytes % 8 != 0 || chunkBytes > 0x40000000u)
        throw std::invalid_argument("chunk size must be a multiple of 8 up to 1 GiB");
    return chunkBytes;
}

bool WritesAsStream(const std::u16string& path)
{
    return path == kStandardStreamName || IsStreamDestination(ToFsPath(path));
}

}  // namespace quorvane
