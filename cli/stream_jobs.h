#pragma once
// Encrypting and decrypting one file as a stream of chunks: memory stays at a
// chunk or two whatever the file's size, and the containers are byte for byte
// those that the window's jobs write.
//
// Every chunk goes the same way: read (and laid out as record bytes), run
// through the cipher, written. The three stages touch only the chunk they are
// given, so a reader thread can later fill the next chunk while one is being
// enciphered and written.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "cipher/secure_memory.h"

namespace quorvane::cli {

// A multiple of the 8-byte block, so chunks stay block-aligned to the record start.
// Two are in use at once (one enciphered, one written); 4 MiB keeps the
// enciphering threads' start-up small against their work.
constexpr std::size_t kDefaultChunkBytes = std::size_t(4) << 20;

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
    createOutput,
    writeOutput,
    interrupted,  // Ctrl+C or a termination request between two chunks
};

struct StreamOutcome {
    StreamFailure failure = StreamFailure::none;
    std::u16string outputPath;  // once it is known
};

struct EncryptTask {
    std::u16string inputPath;
    std::u16string storedName;  // the input's file name without folder
    std::u16string outputPath;
    bool replaceExisting = false;
    std::size_t chunkBytes = kDefaultChunkBytes;
};

struct DecryptTask {
    std::u16string inputPath;
    // The output path for the stored name (none when the name is longer than
    // can be gathered); an empty result means there is no usable name.
    std::function<std::u16string(const std::optional<std::u16string>& storedName)> chooseOutput;
    bool replaceExisting = false;
    std::size_t chunkBytes = kDefaultChunkBytes;
};

// Both throw std::bad_alloc when memory can't be had; nothing is left behind then.
StreamOutcome StreamEncryptFile(const EncryptTask& task, const CSecureBuffer& keyBytes);
StreamOutcome StreamDecryptFile(const DecryptTask& task, const CSecureBuffer& keyBytes);

}  // namespace quorvane::cli
