#include "cli/chunk_source.h"

#include <filesystem>
#include <string>

#include "jobs/platform_file.h"

namespace quorvane::cli {

CChunkSource::CChunkSource()
{
    // Unbuffered: file contents go straight into the caller's wiped buffer,
    // never into a library buffer that is freed without wiping.
    stream.rdbuf()->pubsetbuf(nullptr, 0);
}

SourceStatus CChunkSource::Open(std::u16string_view path)
{
    const std::filesystem::path target = ToFsPath(path);
    stream.open(target, std::ios::in | std::ios::binary);
    if (!stream.is_open()) return SourceStatus::notFound;
    std::error_code error;
    if (!std::filesystem::is_regular_file(target, error)) return SourceStatus::notRegular;

    stream.seekg(0, std::ios::end);
    const std::streamoff end = stream.tellg();
    stream.seekg(0, std::ios::beg);
    if (!stream || end < 0) return SourceStatus::readFailed;
    size = static_cast<std::uint64_t>(end);
    position = 0;
    return SourceStatus::ok;
}

SourceStatus CChunkSource::Read(std::uint8_t* buffer, std::size_t length)
{
    if (!stream.is_open() || position + length > size) return SourceStatus::readFailed;
    stream.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(length));
    const auto got = static_cast<std::size_t>(stream.gcount());
    position += got;
    if (got == length) return SourceStatus::ok;
    // The end came early: the file was cut short under us, unless the device failed.
    return stream.bad() || !stream.eof() ? SourceStatus::readFailed : SourceStatus::changed;
}

SourceStatus CChunkSource::CheckAtEnd()
{
    if (!stream.is_open() || !stream || position != size) return SourceStatus::readFailed;
    const auto next = stream.peek();
    if (next != std::ifstream::traits_type::eof()) return SourceStatus::changed;
    return stream.bad() ? SourceStatus::readFailed : SourceStatus::ok;
}

void CChunkSource::Close()
{
    if (stream.is_open()) stream.close();
}

}  // namespace quorvane::cli
