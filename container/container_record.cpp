#include "container/container_record.h"

#include <algorithm>

namespace quorvane {

namespace {

void PutLe32(std::uint8_t* out, std::uint32_t v) noexcept
{
    out[0] = std::uint8_t(v);
    out[1] = std::uint8_t(v >> 8);
    out[2] = std::uint8_t(v >> 16);
    out[3] = std::uint8_t(v >> 24);
}

}  // namespace

void WriteRecordHead(std::uint8_t* out, std::u16string_view storedName, std::int32_t dataSize) noexcept
{
    PutLe32(out, static_cast<std::uint32_t>(dataSize));
    PutLe32(out + 4, static_cast<std::uint32_t>(storedName.size() * 2));
    std::uint8_t* name = out + kRecordHeaderBytes;
    for (char16_t unit : storedName) {
        *name++ = std::uint8_t(unit & 0xFF);
        *name++ = std::uint8_t(unit >> 8);
    }
}

RecordLayout LayoutForWriting(std::size_t nameUnits, std::int32_t dataSize) noexcept
{
    RecordLayout layout;
    layout.dataSize = dataSize;
    layout.nameBytes = static_cast<std::uint32_t>(2 * nameUnits);
    layout.nameEnd = kRecordHeaderBytes + layout.nameBytes;
    layout.dataEnd = layout.nameEnd + static_cast<std::uint64_t>(dataSize);
    layout.length = static_cast<std::uint64_t>(
        ContainerRecordLength(static_cast<std::int64_t>(nameUnits), static_cast<std::int64_t>(dataSize)));
    return layout;
}

bool ReadRecordLayout(const std::uint8_t* head, std::uint64_t recordLength, RecordLayout& layout) noexcept
{
    if (recordLength < kRecordHeaderBytes) return false;
    const auto dataSize = static_cast<std::int32_t>(GetLe32(head));
    const std::uint32_t nameBytes = GetLe32(head + 4);
    const std::uint64_t room = recordLength - kRecordHeaderBytes;
    if (nameBytes > room) return false;
    if (dataSize < 0 || static_cast<std::uint64_t>(dataSize) > room - nameBytes) return false;
    const std::uint64_t fill = room - nameBytes - static_cast<std::uint64_t>(dataSize);
    if (fill < 1 || fill > 8) return false;

    layout.dataSize = dataSize;
    layout.nameBytes = nameBytes;
    layout.nameEnd = kRecordHeaderBytes + std::uint64_t(nameBytes);
    layout.dataEnd = layout.nameEnd + static_cast<std::uint64_t>(dataSize);
    layout.length = recordLength;
    return true;
}

std::optional<std::uint64_t> WrittenRecordLength(const std::uint8_t* head) noexcept
{
    const auto dataSize = static_cast<std::int32_t>(GetLe32(head));
    const std::uint32_t nameBytes = GetLe32(head + 4);
    if (dataSize < 0 || nameBytes % 2 != 0 || nameBytes > 2 * kMaxStoredNameUnits) return std::nullopt;
    const std::int64_t length = ContainerRecordLength(nameBytes / 2, dataSize);
    if (length > kMaxRecordLength) return std::nullopt;
    return static_cast<std::uint64_t>(length);
}

ChunkSpan Overlap(std::uint64_t begin, std::uint64_t end, std::uint64_t chunkOffset, std::size_t chunkLength) noexcept
{
    const std::uint64_t from = std::max(begin, chunkOffset);
    const std::uint64_t to = std::min(end, chunkOffset + chunkLength);
    if (from >= to) return {};
    return {static_cast<std::size_t>(from - chunkOffset), static_cast<std::size_t>(to - from)};
}

bool CRecordReader::Begin(const std::uint8_t* head, std::uint64_t recordLength, std::size_t maxNameUnits) noexcept
{
    maxUnits = maxNameUnits;
    return ReadRecordLayout(head, recordLength, layout);
}

ChunkSpan CRecordReader::Take(const std::uint8_t* chunk, std::uint64_t offset, std::size_t length)
{
    const ChunkSpan fill = Overlap(layout.dataEnd, layout.length, offset, length);
    if (!std::all_of(chunk + fill.offset, chunk + fill.offset + fill.length, [](std::uint8_t b) { return b == 0; }))
        fillIsZero = false;
    // Every unit is kept, a zero one too: the naming rule makes it "_" rather than let it cut the name short.
    const ChunkSpan names = Overlap(kRecordHeaderBytes + taken, layout.nameEnd, offset, length);
    for (std::size_t i = 0; i < names.length && name.size() < maxUnits; ++i) {
        const std::uint8_t byte = chunk[names.offset + i];
        if (taken++ % 2 == 0) {
            lowByte = byte;
        } else {
            const auto unit = static_cast<char16_t>(lowByte | byte << 8);
            zeroUnit = zeroUnit || unit == 0;
            name.push_back(unit);
        }
    }
    return Overlap(layout.nameEnd, layout.dataEnd, offset, length);
}

std::optional<std::u16string> CRecordReader::Name() const
{
    if (layout.nameBytes / 2 > maxUnits) return std::nullopt;
    return name;
}

bool CRecordReader::IsWrittenName() const noexcept
{
    return !zeroUnit && layout.nameBytes / 2 <= maxUnits;
}

}  // namespace quorvane
