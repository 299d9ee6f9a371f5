#pragma once
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

// One of the head's two fields, stored least significant byte first.
constexpr std::uint32_t GetLe32(const std::uint8_t* in) noexcept
{
    return std::uint32_t(in[0]) | std::uint32_t(in[1]) << 8 | std::uint32_t(in[2]) << 16 | std::uint32_t(in[3]) << 24;
}

struct ContainerContents {
    std::int32_t dataSize = 0;
    std::uint32_t nameBytes = 0;
    std::u16string storedName;     // cut at the first zero code unit
    std::uint32_t dataOffset = 0;  // 8 + nameBytes, odd or even
};

enum class RecordCheck {
    ok,
    tooShort,        // shorter than the two size fields
    nameOutOfRange,  // nameBytes beyond the record
    dataOutOfRange,  // dataSize negative or beyond the record
};

// A zero-filled record of R bytes with header and name in place; the caller
// fills the file bytes at offset 8 + nameBytes (read straight from disk).
// Throws std::length_error when R would exceed kMaxRecordLength.
CSecureBuffer LayoutContainerRecord(std::u16string_view storedName, std::int32_t dataSize);

// Layout plus a copy of the file bytes.
CSecureBuffer BuildContainerRecord(std::u16string_view storedName, const std::uint8_t* fileData, std::int32_t dataSize);

// Writes the 8-byte header and the name; `out` needs 8 + 2 * name.size() bytes.
void WriteRecordHead(std::uint8_t* out, std::u16string_view storedName, std::int32_t dataSize) noexcept;

// The two size fields of a deciphered record, checked to lie inside it; the
// stored name is left empty. Cheap, so a wrong key is told by the fill
// (HasWrittenFill) before anything is allocated for the name.
RecordCheck ReadRecordSizes(const std::uint8_t* record, std::size_t length, ContainerContents& contents);
// The stored name of a record whose sizes were read, cut at its first zero unit.
void ReadStoredName(const std::uint8_t* record, ContainerContents& contents);

// Reads the fields of a deciphered record and checks that the name and the
// file bytes lie inside it. Nothing is read past `length` bytes.
RecordCheck ParseContainerRecord(const std::uint8_t* record, std::size_t length, ContainerContents& contents);

// What a reader that must decide on the first block alone (a pipe, whose
// length is known only at its end) may ask of it: the length of the record
// the encrypt side writes with this head, or none when it never writes such a
// head (a negative size, a name of odd bytes or of more than
// kMaxStoredNameUnits units, a record over kMaxRecordLength). A wrong key
// passes with a chance of about one in 2^25. The whole-record readers keep
// accepting the wider format (odd, long or zero-holding names).
std::optional<std::uint64_t> WrittenRecordLength(const std::uint8_t* head) noexcept;

// True when no unit of a name region of nameBytes bytes is zero, as in every
// name the encrypt side writes.
bool IsWrittenName(const std::uint8_t* name, std::uint32_t nameBytes) noexcept;

// True when the bytes after the file data are exactly what the encrypt side
// writes: 1 to 8 zero bytes up to the end. A wrong key fails this with near certainty.
bool HasWrittenFill(const std::uint8_t* record, std::size_t length, const ContainerContents& contents) noexcept;

}  // namespace quorvane
