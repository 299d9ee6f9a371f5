#pragma once
// Containers made for the tests. The record is laid out here from the format's
// table, not by the product's record code, so a fault there can't hide in both.
#include <string_view>

#include "tests/support/files.h"

namespace quorvane::test {

// dataSize | nameBytes | name (UTF-16LE) | data | 1 to 8 zero bytes.
Bytes MakeRecord(std::u16string_view storedName, const Bytes& data);
// Enciphers any byte string under the key text (last block completed with zeros), e.g. a record no encrypt side writes.
Bytes EncipherRecord(Bytes record, std::u16string_view key);
// The container a correct encrypt side writes for these parts.
Bytes MakeContainer(std::u16string_view storedName, const Bytes& data, std::u16string_view key);

}  // namespace quorvane::test
