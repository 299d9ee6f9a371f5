#include "cli/record_stream.h"

#include <algorithm>

#include "container/container_record.h"

namespace quorvane::cli {

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

ChunkSpan Overlap(std::uint64_t begin, std::uint64_t end, std::uint64_t chunkOffset, std::size_t chunkLength) noexcept
{
    const std::uint64_t from = std::max(begin, chunkOffset);
    const std::uint64_t to = std::min(end, chunkOffset + chunkLength);
    if (from >= to) return {};
    return {static_cast<std::size_t>(from - chunkOffset), static_cast<std::size_t>(to - from)};
}

bool IsZeroSpan(const std::uint8_t* chunk, ChunkSpan span) noexcept
{
    return std::all_of(chunk + span.offset, chunk + span.offset + span.length, [](std::uint8_t b) { return b == 0; });
}

CStoredNameCollector::CStoredNameCollector(std::uint32_t nameBytes_) : nameBytes(nameBytes_)
{
    bytes.reserve(std::min<std::size_t>(nameBytes, 2 * kMaxCollectedUnits));
}

void CStoredNameCollector::Take(const std::uint8_t* chunk, std::uint64_t chunkOffset, std::size_t chunkLength)
{
    // Bytes are taken in order, so only the part not yet held is looked at.
    const std::uint64_t kept = kRecordHeaderBytes + bytes.size();
    const std::uint64_t limit = kRecordHeaderBytes + std::min<std::uint64_t>(nameBytes, 2 * kMaxCollectedUnits);
    const ChunkSpan span = Overlap(kept, limit, chunkOffset, chunkLength);
    bytes.insert(bytes.end(), chunk + span.offset, chunk + span.offset + span.length);
}

std::optional<std::u16string> CStoredNameCollector::Name() const
{
    std::u16string name;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
        if (unit == 0) return name;
        name.push_back(unit);
    }
    if (nameBytes / 2 > kMaxCollectedUnits) return std::nullopt;
    return name;
}

bool CStoredNameCollector::IsWritten() const
{
    return bytes.size() == nameBytes && IsWrittenName(bytes.data(), nameBytes);
}

}  // namespace quorvane::cli
