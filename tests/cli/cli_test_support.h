#pragma once
// Files, folders and reference containers for the command-line tests.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quorvane::clitest {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with the object.
class CScratchFolder {
public:
    CScratchFolder();
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    // A path inside the folder (or in a subfolder, which is created).
    std::u16string File(std::u16string_view name) const;
    std::u16string FileIn(std::u16string_view folder, std::u16string_view name) const;
    std::u16string Path() const;
    // Every entry below the folder with its size, to prove nothing was written.
    std::vector<std::u16string> Listing() const;

private:
    std::filesystem::path path;
};

Bytes ReadBytes(const std::u16string& path);
void WriteBytes(const std::u16string& path, const Bytes& bytes);
void WriteText(const std::u16string& path, const std::string& utf8);
bool Exists(const std::u16string& path);
// Deterministic pseudo-random bytes.
Bytes Pattern(std::size_t size, std::uint32_t seed);

// The container the window's encrypt job writes for `source` under `key`,
// made by running the job itself with a scripted window.
Bytes JobContainer(const std::u16string& source, const std::u16string& key);
// The container built from its parts: record, then the cipher over it whole.
Bytes BuiltContainer(std::u16string_view storedName, const Bytes& data, const std::u16string& key);
// A container over an arbitrary record, for records no encrypt side writes.
Bytes EncipherRecord(Bytes record, const std::u16string& key);

std::string Utf8(std::u16string_view text);
// "stem<number><suffix>": distinct file names for the rows of a table.
std::u16string Numbered(std::u16string_view stem, std::size_t number, std::u16string_view suffix = {});

}  // namespace quorvane::clitest
