#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "jobs/platform_file.h"

namespace quorvane {

// Whole-file access for the jobs: read a file whole, or write one whole
// without ever destroying what was at the destination before.
//
// Writing goes to a new temporary file beside the destination; only a
// successful CloseFileStream flushes it to disk and moves it over the
// destination in one step. Any failure, or destruction without that close,
// removes the temporary file and leaves the destination as it was.
//
// Failures are sticky: once an operation fails, every later one reports
// failure until the object is destroyed.
class CFileStream {
public:
    CFileStream();
    ~CFileStream();
    CFileStream(const CFileStream&) = delete;
    CFileStream& operator=(const CFileStream&) = delete;

    bool OpenFileStream(std::u16string_view path, bool forReading);
    // Size in bytes; 0 when not open or failed. A file of 2 GiB or more is a
    // failure of its own kind: 0 is returned and IsTooLarge() turns true.
    int GetStreamSize();
    bool ReadWholeStream(std::uint8_t* buffer, int& length);
    // Appends; may be called more than once on one open output.
    bool WriteWholeStream(const std::uint8_t*& buffer, int& length);
    // For an output: true once the new content has replaced the destination.
    // For an input, or when nothing is open: true unless the stream had failed.
    bool CloseFileStream();

    bool IsTooLarge() const noexcept { return tooLarge; }
    bool IsFailed() const noexcept { return failed; }

private:
    void DiscardOutput() noexcept;
    bool SyncState();

    std::basic_fstream<char> stream;  // an input
    std::filesystem::path destinationPath;
    TemporaryFile output;  // open while an output is
    std::uint64_t written = 0;
    bool failed = false;
    bool tooLarge = false;
};

}  // namespace quorvane
