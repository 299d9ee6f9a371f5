#pragma once
// Encrypting and decrypting one file as a stream of chunks: memory stays at a
// chunk or two whatever the file's size, and the containers are byte for byte
// those that the window's jobs write.
//
// Every chunk goes the same way: read (and laid out as record bytes), run
// through the cipher, written at its own offset. Between files a chunk depends
// on no other, so one worker per processor takes chunks as they come
// (stream_io.h); a pipe is read and written strictly in order instead.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "cipher/secure_memory.h"

namespace quorvane::cli {

// A multiple of the 8-byte block, so chunks stay block-aligned to the record
// start. One is in use per worker; at 2 MiB a chunk costs a few milliseconds
// of work, so the last chunk's wait is short, and a call's overhead is lost in it.
constexpr std::size_t kDefaultChunkBytes = std::size_t(2) << 20;

class CProgressLine;

// cli_run.cpp tells each by its place in this order: a new value goes before spoolFailed, with its text.
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
    outputIsInput,   // replacing it would destroy another input of the run
    outputOfTheRun,  // replacing it would destroy an output the run wrote before
    outputIsFolder,  // a folder stands at the output path
    nameTooLong,     // the output's file name is longer than the file system takes
    createOutput,
    writeOutput,
    outputClosed,        // the reader of standard output went away
    damagedAfterOutput,  // found damaged once file bytes had gone to standard output
    spoolFailed,         // the temporary folder could not hold the container for standard output
};

struct StreamOutcome {
    StreamFailure failure = StreamFailure::none;
    std::u16string outputPath;       // once it is known
    bool sentBeforeFailure = false;  // bytes had gone to standard output when the run failed
};

struct EncryptTask {
    std::u16string inputPath;
    std::u16string storedName;  // the input's file name without folder
    std::u16string outputPath;
    bool replaceExisting = false;
    std::size_t chunkBytes = kDefaultChunkBytes;
    CProgressLine* progress = nullptr;  // told of the input's bytes as they are done
};

struct DecryptTask {
    std::u16string inputPath;
    // The output path for the stored name (none when the name is longer than
    // can be gathered); an empty result means there is no usable name, or none
    // that may be written (the caller keeps the reason).
    std::function<std::u16string(const std::optional<std::u16string>& storedName)> chooseOutput;
    bool replaceExisting = false;
    std::size_t chunkBytes = kDefaultChunkBytes;
    CProgressLine* progress = nullptr;
    // Check and list: every rule of the record is applied, the file bytes go nowhere, and nothing at all is made
    // (no output, no temporary file, no spool); chooseOutput is not asked, `named` is told instead.
    bool discard = false;
    std::function<void(std::int32_t dataSize, const std::optional<std::u16string>& storedName)> named;
};

// From a file to a file, by offset. All four throw std::bad_alloc when memory
// can't be had; nothing is left behind then.
StreamOutcome StreamEncryptFile(const EncryptTask& task, const CSecureBuffer& keyBytes);
StreamOutcome StreamDecryptFile(const DecryptTask& task, const CSecureBuffer& keyBytes);

// In order, when the input or the output is "-" (or a device or a FIFO). From
// a pipe, the first block (the sizes) comes last: an output file gets it at
// offset 0 before it is moved into place; a stream gets the whole container
// from a spool of ciphertext once it is complete.
StreamOutcome StreamEncryptInOrder(const EncryptTask& task, const CSecureBuffer& keyBytes);
// The head and the limits are checked before the first byte goes out, the fill
// and the length with the last chunk, before that chunk's bytes go out. Bytes
// of earlier chunks already sent to a stream can't be taken back:
// damagedAfterOutput says so.
StreamOutcome StreamDecryptInOrder(const DecryptTask& task, const CSecureBuffer& keyBytes);

// List: the verdict of StreamDecryptFile with discard, from a file's first
// block, name and last block only; the file bytes are never read.
StreamOutcome StreamListFile(const DecryptTask& task, const CSecureBuffer& keyBytes);

}  // namespace quorvane::cli
