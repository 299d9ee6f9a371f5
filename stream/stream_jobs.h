#pragma once
// Encrypting and decrypting one file as a stream of chunks, for the window's
// jobs and the command line alike: memory stays at a chunk per processor
// whatever the file's size.
//
// Every chunk goes the same way: read (and laid out as record bytes), run
// through the cipher, written at its own offset. Between files a chunk depends
// on no other, so one worker per processor takes chunks as they come
// (RunChunks); a pipe is read and written strictly in order instead.
//
// Where the bytes come from and where they go (CSource, CSink, stream_io.cpp):
// a file read or written by offset (from any thread), or, strictly in order,
// standard input, standard output, a device or a FIFO.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "cipher/secure_memory.h"
#include "jobs/platform_file.h"

namespace quorvane {

// Standard input as an input, standard output as an output.
inline constexpr std::u16string_view kStandardStreamName = u"-";

// A multiple of the 8-byte block, so chunks stay block-aligned to the record
// start. One is in use per worker; at 2 MiB a chunk costs a few milliseconds
// of work, so the last chunk's wait is short, and a call's overhead is lost in it.
constexpr std::size_t kDefaultChunkBytes = std::size_t(2) << 20;

// The total of a pipe, known only at its end.
constexpr std::uint64_t kUnknownTotal = ~std::uint64_t(0);

// Told of a file's progress as its chunks are done, from any worker thread.
class CStreamProgress {
public:
    virtual ~CStreamProgress() = default;
    // At the file's start, with the size of the input.
    virtual void Begin(std::uint64_t totalBytes) = 0;
    // `bytes` more of the input are done; false asks the run to stop at its next chunk (stopped).
    virtual bool Advance(std::uint64_t bytes) = 0;
};

// What a front end must hear of a sink. The command line notes the temporary output, to remove it on a signal,
// and lets a write to a reader that went away fail instead of ending the process.
struct SinkHooks {
    // Creates the temporary output beside `destination` (and notes it in the same step).
    bool (*createTemporary)(const std::filesystem::path& destination, TemporaryFile& temporary) = CreateTemporaryBeside;
    // The temporary output is gone: moved into place or removed.
    void (*temporaryGone)() noexcept = nullptr;
    // A stream (standard output, a device or a FIFO) is about to be written.
    void (*streamOpening)() noexcept = nullptr;
};

// The command line's message table is indexed by this order: a new value goes before spoolFailed, with its text.
enum class StreamFailure {
    none,
    openInput,
    notRegular,
    readInput,
    inputChanged,
    tooLarge,
    wrongKeyOrDamaged,
    noUsableName,
    outputExists,
    outputIsInput,        // replacing it would destroy another input of the run
    outputOfTheRun,       // replacing it would destroy an output the run wrote before
    outputIsFolder,       // a folder stands at the output path
    nameTooLong,          // the output's file name is longer than the file system takes
    outputOfAnotherUser,  // a link, FIFO or device of another user stands at the output path
    createOutput,
    writeOutput,
    replaceOutput,   // the finished output could not be moved into place
    outputReplaced,  // after the move, something else stood at the output path
    outputClosed,    // the reader of standard output went away
    stopped,         // the progress asked the run to stop
    spoolFailed,     // the temporary folder could not hold the container for standard output
};

// What a failure is told of.
enum class FailureSubject { input, output, spool };

struct StreamOutcome {
    StreamFailure failure = StreamFailure::none;
    std::u16string outputPath{};     // once it is known
    bool sentBeforeFailure = false;  // bytes had gone to standard output when the run failed
    int systemError = 0;             // the system's reason for the failure, when it has one

    FailureSubject Subject() const noexcept;
};

// Where a decrypt's output goes, once the stored name is known: a path, or why there is none.
struct OutputChoice {
    std::u16string path;
    StreamFailure failure = StreamFailure::none;
};

struct EncryptTask {
    std::u16string inputPath;
    std::u16string storedName;  // the input's file name without folder
    std::u16string outputPath;
    bool replaceExisting = false;
    std::size_t chunkBytes = kDefaultChunkBytes;
    CStreamProgress* progress = nullptr;  // told of the input's bytes as they are done
    SinkHooks hooks;
};

struct DecryptTask {
    std::u16string inputPath;
    // The output for the stored name (none when the name is longer than can be gathered).
    std::function<OutputChoice(const std::optional<std::u16string>& storedName)> chooseOutput;
    bool replaceExisting = false;
    std::size_t chunkBytes = kDefaultChunkBytes;
    CStreamProgress* progress = nullptr;  // told of the container's bytes as they are done
    SinkHooks hooks;
    // Check and list: every rule of the record is applied, the file bytes go nowhere, and nothing at all is made
    // (no output, no temporary file, no spool); chooseOutput is not asked, `named` is told instead.
    bool discard = false;
    std::function<void(std::int32_t dataSize, const std::optional<std::u16string>& storedName)> named;
};

class CSource {
public:
    CSource() = default;
    ~CSource() { Close(); }
    CSource(const CSource&) = delete;
    CSource& operator=(const CSource&) = delete;

    // "-" is standard input; anything else must be a regular file.
    StreamFailure Open(const std::u16string& path);
    // A regular file, whatever its name.
    StreamFailure OpenFile(std::u16string_view path);
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
// moved into place at the end; until then the hooks know of it. A stream is
// written in order; a container whose first block comes last goes to it through a spool.
class CSink {
public:
    explicit CSink(const SinkHooks& hooks_) : hooks(hooks_) {}
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

    const SinkHooks hooks;
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

// The system's error number behind the last failure on this thread (RunChunks hands a worker's on), taken once:
// 0 for none, or a failure that was not the system's.
int TakeSystemError() noexcept;

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

// From a file to a file, by offset. All of these throw std::bad_alloc when memory
// can't be had; nothing is left behind then.
StreamOutcome StreamEncryptFile(const EncryptTask& task, const CSecureBuffer& keyBytes);
StreamOutcome StreamDecryptFile(const DecryptTask& task, const CSecureBuffer& keyBytes);

// The same from an input already opened (and for a decrypt, held to the format by CheckContainerSize); the input is
// closed before the output is moved into place.
StreamOutcome StreamEncryptOpened(CSource& input, const EncryptTask& task, const CSecureBuffer& keyBytes);
StreamOutcome StreamDecryptOpened(CSource& input, const DecryptTask& task, const CSecureBuffer& keyBytes);

// An opened container's size (if known before the end: not a pipe's) held to the format before a block is read.
StreamFailure CheckContainerSize(const CSource& input);

// What a container's first block, its name's blocks and its last block say: its sizes and fill hold, and this is
// its file size and stored name (none when longer than is gathered). The file bytes are never read.
struct ContainerHead {
    std::int32_t dataSize = 0;
    std::optional<std::u16string> storedName;
};
StreamFailure ReadContainerHead(const CSource& input, const CSecureBuffer& keyBytes, ContainerHead& head);

// The stored name for a path: its file name without folder, as the platform splits a path.
std::u16string StoredNameFor(std::u16string_view path);

// In order, when the input or the output is "-" (or a device or a FIFO). From
// a pipe, the first block (the sizes) comes last: an output file gets it at
// offset 0 before it is moved into place; a stream gets the whole container
// from a spool of ciphertext once it is complete.
StreamOutcome StreamEncryptInOrder(const EncryptTask& task, const CSecureBuffer& keyBytes);
// The head and the limits are checked before the first byte goes out, the fill
// and the length with the last chunk, before that chunk's bytes go out. Bytes
// of earlier chunks already sent to a stream can't be taken back:
// sentBeforeFailure says so.
StreamOutcome StreamDecryptInOrder(const DecryptTask& task, const CSecureBuffer& keyBytes);

// List: the verdict of StreamDecryptFile with discard, from ReadContainerHead.
StreamOutcome StreamListFile(const DecryptTask& task, const CSecureBuffer& keyBytes);

}  // namespace quorvane
