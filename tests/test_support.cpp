#include "tests/test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>

#include "jobs/platform_file.h"

namespace quorvane::test {

CTempFolder::CTempFolder()
{
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("quorvane-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

CTempFolder::~CTempFolder()
{
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::u16string CTempFolder::File(std::u16string_view name) const
{
    return FromFsPath(path_ / ToFsPath(name));
}

std::u16string CTempFolder::FileIn(std::u16string_view folder, std::u16string_view name) const
{
    const std::filesystem::path sub = path_ / ToFsPath(folder);
    std::filesystem::create_directories(sub);
    return FromFsPath(sub / ToFsPath(name));
}

Bytes ReadFileBytes(const std::u16string& path)
{
    std::ifstream in(ToFsPath(path), std::ios::binary);
    if (!in) throw std::runtime_error("cannot open test file");
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::u16string& path, const Bytes& bytes)
{
    std::ofstream out(ToFsPath(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write test file");
}

bool FileExists(const std::u16string& path)
{
    std::error_code ignored;
    return std::filesystem::exists(ToFsPath(path), ignored);
}

std::vector<std::u16string> ListFolder(const std::filesystem::path& folder)
{
    std::vector<std::u16string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(FromFsPath(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

Bytes PatternBytes(std::size_t size, std::uint32_t seed)
{
    Bytes bytes(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return bytes;
}

Bytes HexBytes(const char* hex)
{
    Bytes bytes;
    auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (; hex[0] && hex[1]; hex += 2) bytes.push_back(static_cast<std::uint8_t>(nibble(hex[0]) << 4 | nibble(hex[1])));
    return bytes;
}

}  // namespace quorvane::test
