#pragma once
// Files read and written by offset, so that several workers can each take a
// chunk of the input and put its result at its own place in the output, in
// any order. The output is a temporary file beside the destination that only
// Commit moves into place; until then an interrupt removes it (interrupt.h).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "jobs/platform_file.h"

namespace quorvane::cli {

enum class SourceStatus {
    ok,
    notFound,    // cannot be opened
    notRegular,  // a folder, a device or a pipe: no size to stream by, and opening one may wait forever
    readFailed,
    changed,  // its size differs from the size taken at open
};

using quorvane::NativeFile;

class CInputFile {
public:
    CInputFile() = default;
    ~CInputFile() { Close(); }
    CInputFile(const CInputFile&) = delete;
    CInputFile& operator=(const CInputFile&) = delete;

    // Anything but a regular file is refused before a call that could wait
    // for another process (opening a FIFO waits for its writer).
    SourceStatus Open(std::u16string_view path);
    // The size taken at open; read exactly this many bytes in total.
    std::uint64_t Size() const noexcept { return size; }
    // Exactly `length` bytes at `offset`, or `changed` when the file ends
    // before them. Safe from several threads at once.
    SourceStatus ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) const;
    // After the last read: ok when the file still has the size it had at open.
    SourceStatus CheckUnchanged() const;
    // Releases the file, so that the same path may be replaced next.
    void Close() noexcept;

private:
    NativeFile file = -1;
    std::uint64_t size = 0;
};

class COutputFile {
public:
    COutputFile() = default;
    ~COutputFile() { Discard(); }
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Makes the temporary file beside `destination`; false when the
    // destination can't be replaced or the file can't be made.
    bool Create(std::u16string_view destination);
    // All of `length` bytes at `offset`. Safe from several threads at once.
    bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) const;
    // Flushes the file to disk once, closes it and moves it over the
    // destination. Without `replaceExisting`, a destination that exists by
    // then is kept and the output dropped. False leaves no temporary file.
    bool Commit(bool replaceExisting);

private:
    void Discard() noexcept;

    std::filesystem::path destination;
    TemporaryFile temporary;  // open until committed or discarded
};

// All of `length` bytes at `offset` of an open file; safe from several threads at once.
bool WriteAllAt(NativeFile file, std::uint64_t offset, const std::uint8_t* data, std::size_t length);

// How many processors this process may run on (at least 1).
unsigned UsableProcessors() noexcept;

}  // namespace quorvane::cli
