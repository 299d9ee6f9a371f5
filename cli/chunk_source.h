#pragma once
// Sequential reading of an input file in chunks, for streaming. The size is
// taken once when the file is opened; a file that shrinks or grows while it
// is being read is reported as changed rather than read as it happens to be.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string_view>

namespace quorvane::cli {

enum class SourceStatus {
    ok,
    notFound,    // cannot be opened
    notRegular,  // a folder, a device or a pipe: no size to stream by
    readFailed,
    changed,  // its size differs from the size taken at open
};

class CChunkSource {
public:
    CChunkSource();
    CChunkSource(const CChunkSource&) = delete;
    CChunkSource& operator=(const CChunkSource&) = delete;

    SourceStatus Open(std::u16string_view path);
    // The size taken at open; read exactly this many bytes in total.
    std::uint64_t Size() const noexcept { return size; }
    // Reads the next `length` bytes, all of them or a failure.
    SourceStatus Read(std::uint8_t* buffer, std::size_t length);
    // After the last byte: ok only when the file ends exactly there.
    SourceStatus CheckAtEnd();
    // Releases the file, so that the same path may be replaced next.
    void Close();

private:
    std::ifstream stream;
    std::uint64_t size = 0;
    std::uint64_t position = 0;
};

}  // namespace quorvane::cli
