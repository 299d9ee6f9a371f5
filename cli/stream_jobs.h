#pragma once
// Encrypting and decrypting one file as a stream of chunks: memory stays at a
// chunk or two whatever the file's size, and the containers are byte for byte
// those that the window's jobs write.
//
// Every chunk goes the same way: read (and laid out as record bytes), run
// through the cipher, written at its own offset. A chunk depends on no other,
// so one worker per processor takes chunks as they come (chunk_pipeline.h).
#include <cstddef>
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
    unsigned workers = 0;               // 0: one per usable processor
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
    unsigned workers = 0;
    CProgressLine* progress = nullptr;
};

// Both throw std::bad_alloc when memory can't be had; nothing is left behind then.
StreamOutcome StreamEncryptFile(const EncryptTask& task, const CSecureBuffer& keyBytes);
StreamOutcome StreamDecryptFile(const DecryptTask& task, const CSecureBuffer& keyBytes);

}  // namespace quorvane::cli
