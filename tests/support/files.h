#pragma once
// Folders, files, bytes and paths for every test program.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "container/text_codec.h"
#include "jobs/platform_file.h"

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
    // A path inside the folder, in UTF-16 as the window would give it.
    std::u16string File(std::u16string_view name) const { return FromFsPath(path_ / ToFsPath(name)); }
    // A path in a subfolder, which is created.
    std::u16string FileIn(std::u16string_view folder, std::u16string_view name) const;
    // Every entry below the folder, "relative/path size" for files, sorted: proves what was (not) written.
    std::vector<std::u16string> Listing() const;

private:
    std::filesystem::path path_;
};

Bytes ReadFileBytes(const std::u16string& path);                              // throws when unreadable
void WriteFileBytes(const std::u16string& path, const Bytes& bytes);          // creates or truncates
std::vector<std::u16string> ListFolder(const std::filesystem::path& folder);  // sorted names, one level

Bytes PatternBytes(std::size_t size, std::uint32_t seed);         // deterministic pseudo-random bytes
Bytes HexBytes(std::string_view hex);                             // "00ff.." to bytes
std::uint32_t Le32(const std::uint8_t* p);                        // little-endian 32-bit read
void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value);  // little-endian 32-bit write

std::u16string Utf16(std::string_view utf8);  // throws on invalid UTF-8

// For failure output and arguments.
inline std::string Utf8(std::u16string_view text)
{
    return Utf16ToUtf8(text);
}

inline void WriteText(const std::u16string& path, std::string_view utf8)
{
    WriteFileBytes(path, Bytes(utf8.begin(), utf8.end()));
}

// A path the build gave as a Linux path, as this program sees it: under Wine the Linux root is drive Z:.
std::filesystem::path HostPath(std::string_view linuxPath);

}  // namespace quorvane::test
