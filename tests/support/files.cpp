#include "tests/support/files.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <stdexcept>

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

std::u16string CTempFolder::FileIn(std::u16string_view folder, std::u16string_view name) const
{
    const std::filesystem::path sub = path_ / ToFsPath(folder);
    std::filesystem::create_directories(sub);
    return FromFsPath(sub / ToFsPath(name));
}

std::vector<std::u16string> CTempFolder::Listing() const
{
    std::vector<std::u16string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_)) {
        std::u16string line = FromFsPath(entry.path().lexically_relative(path_));
        if (entry.is_regular_file()) line += Utf16(std::string(" ") + std::to_string(entry.file_size()));
        entries.push_back(std::move(line));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

Bytes ReadFileBytes(const std::u16string& path)
{
    std::ifstream in(ToFsPath(path), std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot open test file ") + Utf8(path));
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::u16string& path, const Bytes& bytes)
{
    std::ofstream out(ToFsPath(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error(std::string("cannot write test file ") + Utf8(path));
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
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(generator() >> 24);
    return bytes;
}

Bytes HexBytes(std::string_view hex)
{
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

std::uint32_t Le32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    if (bytes.size() < at + 4) bytes.resize(at + 4);
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::u16string Utf16(std::string_view utf8)
{
    std::u16string out;
    if (!Utf8ToUtf16(utf8, out)) throw std::invalid_argument("not UTF-8");
    return out;
}

std::filesystem::path HostPath(std::string_view linuxPath)
{
    std::string path(linuxPath);
#ifdef _WIN32
    if (path.starts_with('/')) {
        std::replace(path.begin(), path.end(), '/', '\\');
        path = "Z:" + path;
    }
#endif
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

}  // namespace quorvane::test
