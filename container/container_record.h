#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cipher/secure_memory.h"

namespace quorvane {

// The plaintext record a container enciphers, all integers little-endian:
//   dataSize (int32) | nameBytes (uint32) | storedName (UTF-16LE) | fileData | 1..8 zero bytes
constexpr std::uint32_t kRecordHeaderBytes = 8;
// Sizes are signed 32-bit throughout the format; a longer record can't exist.
constexpr std::int64_t kMaxRecordLength = 0x7FFFFFFF;

// No file system takes a name longer than 255 UTF-16 units, so the encrypt side never stores one.
constexpr std::uint32_t kMaxStoredNameUnits = 255;

// R for a name of nameUnits code units and dataSize file bytes: the smallest
// multiple of 8 greater than 8 + 2*nameUnits + dataSize (so 1 to 8 bytes of fill).
// Computed in 64 bits; compare with kMaxRecordLength before allocating.
constexpr std::int64_t ContainerRecordLength(std::int64_t nameUnits, std::int64_t dataSize) noexcept
{
    const std::int64_t l = kRecordHeaderBytes + 2 * nameUnits + dataSize;
    return l + 8 - l % 8;
}

// The most file bytes a container holds under a name of nameUnits code units:
// the record, with its 8 bytes of sizes and 1 to 8 of fill, stays within kMaxRecordLength.
constexpr std::int64_t MaxFileBytes(std::int64_t nameUnits) noexcept
{
    return kMaxRecordLength - 16 - 2 * nameUnits;
}

// True when `dataSize` file bytes under a name of `nameUnits` units can't be a container.
constexpr bool IsTooLargeToEncrypt(std::size_t nameUnits, std::uint64_t dataSize) noexcept
{
    const std::int64_t most = MaxFileBytes(static_cast<std::int64_t>(nameUnits));
    return most < 0 || dataSize > static_cast<std::uint64_t>(most);
}

// A container of this many bytes can't be read: its record would pass the format's signed 32-bit sizes.
constexpr bool IsTooLargeToDecrypt(std::uint64_t containerBytes) noexcept
{
    return containerBytes > static_cast<std::uint64_t>(kMaxRecordLength);
}

// Every container is a non-empty run of whole blocks; anything else is refused before it is deciphered.
constexpr bool IsContainerLength(std::uint64_t containerBytes) noexcept
{
    return containerBytes != 0 && containerBytes % 8 == 0;
}

// One of the head's two fields, stored least significant byte first.
constexpr std::uint32_t GetLe32(const std::uint8_t* in) noexcept
{
    return std::uint32_t(in[0]) | std::uint32_t(in[1]) << 8 | std::uint32_t(in[2]) << 16 | std::uint32_t(in[3]) << 24;
}

// Writes the 8-byte header and the name; `out` needs 8 + 2 * name.size() bytes.
void WriteRecordHead(std::uint8_t* out, std::u16string_view storedName, std::int32_t dataSize) noexcept;

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

// The layout read from the first 8 deciphered bytes of a record that is
// `recordLength` bytes long. False when the record is refused: fields beyond
// it, or a fill that is not 1 to 8 bytes long. Nothing past the head is read.
bool ReadRecordLayout(const std::uint8_t* head, std::uint64_t recordLength, RecordLayout& layout) noexcept;

// What a reader that must decide on the first block alone (a pipe, whose
// length is known only at its end) may ask of it: the length of the record
// the encrypt side writes with this head, or none when it never writes such a
// head (a negative size, a name of odd bytes or of more than
// kMaxStoredNameUnits units, a record over kMaxRecordLength). A wrong key
// passes with a chance of about one in 2^25. The readers that know the length
// keep accepting the wider format (odd, long or zero-holding names).
std::optional<std::uint64_t> WrittenRecordLength(const std::uint8_t* head) noexcept;

// The part of the byte range [begin, end) that lies in the chunk starting at
// `chunkOffset` with `chunkLength` bytes, as an offset into the chunk.
struct ChunkSpan {
    std::size_t offset = 0;
    std::size_t length = 0;
};
ChunkSpan Overlap(std::uint64_t begin, std::uint64_t end, std::uint64_t chunkOffset, std::size_t chunkLength) noexcept;

// A deciphered record read chunk by chunk, or whole as a single chunk: the one
// reader of the format. The chunks up to the end of the name come in order;
// the later ones in any order, from any thread.
class CRecordReader {
public:
    // A reader that must bound its memory gathers no longer name: no file system takes one that long.
    static constexpr std::size_t kMaxGatheredUnits = 32 * 1024;

    // The layout from the first block (ReadRecordLayout); names longer than `maxNameUnits` are not gathered.
    bool Begin(const std::uint8_t* head, std::uint64_t recordLength,
               std::size_t maxNameUnits = kMaxGatheredUnits) noexcept;
    // The chunk of `length` bytes at `offset`: its name bytes gathered, its fill
    // bytes checked. Returns where the file bytes lie in it; taking a chunk again changes nothing.
    ChunkSpan Take(const std::uint8_t* chunk, std::uint64_t offset, std::size_t length);

    const RecordLayout& Layout() const noexcept { return layout; }
    // True while every fill byte taken was zero, as the encrypt side writes it. A wrong key fails this with near
    // certainty.
    bool FillIsZero() const noexcept { return fillIsZero.load(); }
    // Once the name is whole: the stored name, its little-endian units, zero
    // ones included (an odd last byte ignored); none when it is longer than gathered.
    std::optional<std::u16string> Name() const;
    // Once the name is whole: true when no unit of it is zero, as in every name the encrypt side writes.
    bool IsWrittenName() const noexcept;

private:
    RecordLayout layout;
    std::size_t maxUnits = kMaxGatheredUnits;
    std::u16string name;       // the units gathered
    std::uint32_t taken = 0;   // name bytes looked at
    std::uint8_t lowByte = 0;  // of a unit split between chunks
    bool zeroUnit = false;
    std::atomic<bool> fillIsZero{true};
};

}  // namespace quorvane
