#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quorvane::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with the object.
class CTempFolder {
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    // A path inside the folder, named in UTF-16 as the window would give it.
    std::u16string File(std::u16string_view name) const;
    // A path in a subfolder, which is created.
    std::u16string FileIn(std::u16string_view folder, std::u16string_view name) const;

private:
    std::filesystem::path path_;
};

Bytes ReadFileBytes(const std::u16string& path);
void WriteFileBytes(const std::u16string& path, const Bytes& bytes);
bool FileExists(const std::u16string& path);
// Names of the entries in a folder, to prove nothing stray was left behind.
std::vector<std::u16string> ListFolder(const std::filesystem::path& folder);

// Deterministic pseudo-random bytes.
Bytes PatternBytes(std::size_t size, std::uint32_t seed);
Bytes HexBytes(const char* hex);

}  // namespace quorvane::test
