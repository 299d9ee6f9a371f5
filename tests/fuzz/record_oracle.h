#pragma once
// The reader's limits restated from the format description, with 64-bit
// arithmetic: the oracle the fuzz targets hold the product's reader to.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "container/container_record.h"
#include "container/naming.h"
#include "tests/fuzz/fuzz_check.h"

namespace quorvane::fuzz {

inline std::uint32_t Le32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

struct Expected {
    bool fieldsInside = false;  // ParseContainerRecord must accept
    bool accepted = false;      // ... and HasWrittenFill too
    std::uint64_t dataOffset = 0;
    std::uint64_t dataSize = 0;
};

inline Expected ExpectedReading(const std::uint8_t* r, std::size_t length)
{
    Expected e;
    if (length < 8) return e;
    const std::int64_t dataSize = static_cast<std::int32_t>(Le32(r));
    const std::uint64_t nameBytes = Le32(r + 4);
    if (dataSize < 0 || nameBytes + std::uint64_t(dataSize) > length - 8) return e;
    e.fieldsInside = true;
    e.dataOffset = 8 + nameBytes;
    e.dataSize = std::uint64_t(dataSize);
    const std::uint64_t end = e.dataOffset + e.dataSize;
    const std::uint64_t fill = length - end;
    e.accepted = fill >= 1 && fill <= 8;
    for (std::uint64_t i = end; e.accepted && i < length; ++i) e.accepted = r[i] == 0;
    return e;
}

// A proposal never leads out of the chosen folder.
inline void RequireSafeName(const std::u16string& stored, const std::u16string& safe)
{
    FUZZ_REQUIRE(safe.size() <= stored.size());
    FUZZ_REQUIRE(safe != u"." && safe != u"..");
    for (char16_t u : safe) {
        FUZZ_REQUIRE(u >= 0x20);
        FUZZ_REQUIRE(std::u16string_view(u"\\/<>:\"|?*").find(u) == std::u16string_view::npos);
    }
}

// Runs the window's reader on an exact-size heap copy (so a read past the
// record is caught) and holds it to the oracle. Returns whether it accepted.
inline bool CheckReader(const std::uint8_t* bytes, std::size_t length, ContainerContents* out = nullptr)
{
    std::unique_ptr<std::uint8_t[]> record(new std::uint8_t[length]);
    std::copy(bytes, bytes + length, record.get());
    const Expected expected = ExpectedReading(record.get(), length);

    ContainerContents contents;
    const RecordCheck check = ParseContainerRecord(record.get(), length, contents);
    FUZZ_REQUIRE((check == RecordCheck::ok) == expected.fieldsInside);
    if (check != RecordCheck::ok) {
        FUZZ_REQUIRE(length >= 8 || check == RecordCheck::tooShort);
        return false;
    }
    FUZZ_REQUIRE(contents.dataOffset == expected.dataOffset);
    FUZZ_REQUIRE(std::uint64_t(contents.dataSize) == expected.dataSize);
    FUZZ_REQUIRE(contents.storedName.size() <= contents.nameBytes / 2);
    FUZZ_REQUIRE(contents.storedName.find(char16_t(0)) == std::u16string::npos);
    for (std::size_t i = 0; i < contents.storedName.size(); ++i) {
        const std::uint8_t* unit = record.get() + 8 + 2 * i;
        FUZZ_REQUIRE(contents.storedName[i] == char16_t(unit[0] | unit[1] << 8));
    }
    const bool fill = HasWrittenFill(record.get(), length, contents);
    FUZZ_REQUIRE(fill == expected.accepted);
    RequireSafeName(contents.storedName, MakeSafeFileName(contents.storedName));
    if (out) *out = contents;
    return fill;
}

}  // namespace quorvane::fuzz
