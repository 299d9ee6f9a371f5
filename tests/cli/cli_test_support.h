#pragma once
// Files, folders and reference containers for the command-line tests.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace quorvane::clitest {

using test::Bytes;

// A fresh folder under the system's temporary folder, removed with the object.
class CScratchFolder : public test::CTempFolder {
public:
    std::u16string Path() const;
    // Every entry below the folder with its size, to prove nothing was written.
    std::vector<std::u16string> Listing() const;
};

void WriteText(const std::u16string& path, const std::string& utf8);
void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value);

// The container laid out from the format's table here, not by the product's record code.
Bytes BuiltContainer(std::u16string_view storedName, const Bytes& data, const std::u16string& key);
// A container over an arbitrary record, for records no encrypt side writes.
Bytes EncipherRecord(Bytes record, const std::u16string& key);

std::string Utf8(std::u16string_view text);
// "stem<number><suffix>": distinct file names for the rows of a table.
std::u16string Numbered(std::u16string_view stem, std::size_t number, std::u16string_view suffix = {});

}  // namespace quorvane::clitest
