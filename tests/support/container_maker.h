#pragma once
// Containers made for the tests. The record is laid out here from the format's
// table, not by the product's record code, so a fault there can't hide in both.
#include <string_view>

#include "cipher/blowfish_cipher.h"
#include "tests/support/files.h"

namespace quorvane::test {

// Enciphers any byte string under the key text (last block completed with zeros), e.g. a record no encrypt side writes.
inline Bytes EncipherRecord(Bytes record, std::u16string_view key)
{
    Bytes keyBytes;
    for (char16_t unit : key) {
        keyBytes.push_back(static_cast<std::uint8_t>(unit));
        keyBytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    CBlowfishCipher cipher;
    cipher.SetKey(keyBytes.data(), static_cast<std::int32_t>(keyBytes.size()));
    record.resize(AlignedLength(static_cast<std::uint32_t>(record.size())));
    cipher.EncodeBlocks(record.data(), record.data(), static_cast<std::uint32_t>(record.size()));
    return record;
}

// The container a correct encrypt side writes: dataSize | nameBytes | name (UTF-16LE) | data | 1 to 8 zero bytes.
inline Bytes MakeContainer(std::u16string_view storedName, const Bytes& data, std::u16string_view key)
{
    Bytes record;
    PutLe32(record, 0, static_cast<std::uint32_t>(data.size()));
    PutLe32(record, 4, static_cast<std::uint32_t>(2 * storedName.size()));
    for (char16_t unit : storedName) {
        record.push_back(static_cast<std::uint8_t>(unit));
        record.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    record.insert(record.end(), data.begin(), data.end());
    record.resize(record.size() + 8 - record.size() % 8, 0);
    return EncipherRecord(record, key);
}

}  // namespace quorvane::test
