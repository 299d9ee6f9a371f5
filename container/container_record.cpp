#include "container/container_record.h"

#include <cstring>
#include <stdexcept>

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

CSecureBuffer LayoutContainerRecord(std::u16string_view storedName, std::int32_t dataSize)
{
    if (dataSize < 0) throw std::length_error("negative data size");
    const std::int64_t r = ContainerRecordLength(static_cast<std::int64_t>(storedName.size()), dataSize);
    if (r > kMaxRecordLength) throw std::length_error("container record over 2 GiB");
    CSecureBuffer record(static_cast<std::size_t>(r));
    WriteRecordHead(record.Data(), storedName, dataSize);
    return record;
}

CSecureBuffer BuildContainerRecord(std::u16string_view storedName, const std::uint8_t* fileData, std::int32_t dataSize)
{
    CSecureBuffer record = LayoutContainerRecord(storedName, dataSize);
    if (dataSize > 0) std::memcpy(record.Data() + kRecordHeaderBytes + 2 * storedName.size(), fileData, dataSize);
    return record;
}

RecordCheck ReadRecordSizes(const std::uint8_t* record, std::size_t length, ContainerContents& contents)
{
    if (length < kRecordHeaderBytes) return RecordCheck::tooShort;
    const auto dataSize = static_cast<std::int32_t>(GetLe32(record));
    const std::uint32_t nameBytes = GetLe32(record + 4);
    const std::size_t room = length - kRecordHeaderBytes;
    if (nameBytes > room) return RecordCheck::nameOutOfRange;
    if (dataSize < 0 || static_cast<std::size_t>(dataSize) > room - nameBytes) return RecordCheck::dataOutOfRange;
    contents.dataSize = dataSize;
    contents.nameBytes = nameBytes;
    contents.storedName.clear();
    contents.dataOffset = kRecordHeaderBytes + nameBytes;
    return RecordCheck::ok;
}

void ReadStoredName(const std::uint8_t* record, ContainerContents& contents)
{
    // Measured before it is copied: a name region of random bytes holds a zero
    // unit long before its end, and only the units before it are kept.
    const std::uint8_t* p = record + kRecordHeaderBytes;
    std::uint32_t units = 0;
    while (2 * units + 1 < contents.nameBytes && (p[2 * units] | p[2 * units + 1]) != 0) ++units;
    std::u16string name(units, u'\0');
    for (std::uint32_t i = 0; i < units; ++i) name[i] = static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8);
    contents.storedName = std::move(name);
}

RecordCheck ParseContainerRecord(const std::uint8_t* record, std::size_t length, ContainerContents& contents)
{
    const RecordCheck check = ReadRecordSizes(record, length, contents);
    if (check == RecordCheck::ok) ReadStoredName(record, contents);
    return check;
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

bool IsWrittenName(const std::uint8_t* name, std::uint32_t nameBytes) noexcept
{
    for (std::uint32_t i = 0; i + 1 < nameBytes; i += 2)
        if ((name[i] | name[i + 1]) == 0) return false;
    return true;
}

bool HasWrittenFill(const std::uint8_t* record, std::size_t length, const ContainerContents& contents) noexcept
{
    const std::size_t end = std::size_t(contents.dataOffset) + std::size_t(contents.dataSize);
    if (end > length) return false;
    const std::size_t fill = length - end;
    if (fill < 1 || fill > 8) return false;
    for (std::size_t i = end; i < length; ++i)
        if (record[i] != 0) return false;
    return true;
}

}  // namespace quorvane
