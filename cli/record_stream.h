#pragma once
// The container record seen as a stream of chunks: where its parts lie, how
// its head is checked before the rest has been read, and how the stored name
// is gathered as the chunks pass by.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::cli {

// The parts of a record by byte offset: head [0, 8), name [8, nameEnd),
// file bytes [nameEnd, dataEnd), zero fill [dataEnd, length).
struct RecordLayout {
    std::int32_t dataSize = 0;
    std::uint32_t nameBytes = 0;
    std::uint64_t nameEnd = 0;
    std::uint64_t dataEnd = 0;
    std::uint64_t length = 0;
};

// The layout the encrypt side writes for a name of `nameUnits` code units.
RecordLayout LayoutForWriting(std::size_t nameUnits, std::int32_t dataSize) noexcept;

// Reads the layout from the first 8 deciphered bytes of a record that is
// `recordLength` bytes long. False when the whole record would be refused:
// fields beyond the record (as ParseContainerRecord checks) or a fill that is
// not 1 to 8 bytes long (as HasWrittenFill checks). Only the fill's bytes are
// left to be checked as they arrive.
bool ReadRecordLayout(const std::uint8_t* head, std::uint64_t recordLength, RecordLayout& layout) noexcept;

// The part of the byte range [begin, end) that lies in the chunk starting at
// `chunkOffset` with `chunkLength` bytes, as an offset into the chunk.
struct ChunkSpan {
    std::size_t offset = 0;
    std::size_t length = 0;
};
ChunkSpan Overlap(std::uint64_t begin, std::uint64_t end, std::uint64_t chunkOffset, std::size_t chunkLength) noexcept;

// True when every byte of the span is zero.
bool IsZeroSpan(const std::uint8_t* chunk, ChunkSpan span) noexcept;

// Gathers the name region of a record, read as ParseContainerRecord reads it:
// little-endian code units, cut at the first zero unit, an odd last byte
// ignored. Names beyond kMaxCollectedUnits are not kept; no file system takes
// a name that long, and a damaged head must not make memory grow with it.
class CStoredNameCollector {
public:
    static constexpr std::size_t kMaxCollectedUnits = 32 * 1024;

    explicit CStoredNameCollector(std::uint32_t nameBytes);
    void Take(const std::uint8_t* chunk, std::uint64_t chunkOffset, std::size_t chunkLength);
    // The stored name, or none when it is longer than the collecting bound.
    std::optional<std::u16string> Name() const;
    // True once the whole name region is held and it is as the encrypt side writes it (IsWrittenName).
    bool IsWritten() const;

private:
    std::uint32_t nameBytes;
    std::vector<std::uint8_t> bytes;  // the first bytes of the name region
};

}  // namespace quorvane::cli
