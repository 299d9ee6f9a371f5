#include "jobs/file_stream.h"

#include <limits>
#include <locale>
#include <optional>

#include "jobs/platform_file.h"

namespace quorvane {

namespace {

// The byte stream's conversion is the identity under any locale; the named one
// is taken where the platform has it and silently skipped where it doesn't.
const std::optional<std::locale>& JapaneseLocale()
{
    static const std::optional<std::locale> locale = []() -> std::optional<std::locale> {
        try {
            return std::locale(std::locale(), "Japanese", std::locale::ctype);
        } catch (...) {
            return std::nullopt;
        }
    }();
    return locale;
}

}  // namespace

CFileStream::CFileStream()
{
    // Unbuffered: whole-file transfers gain nothing from a stream buffer, and
    // one would keep a copy of plaintext that is freed without being wiped.
    stream.rdbuf()->pubsetbuf(nullptr, 0);
}

CFileStream::~CFileStream()
{
    if (stream.is_open()) stream.close();
    DiscardOutput();
}

bool CFileStream::SyncState()
{
    if (stream.fail()) failed = true;  // fail() covers badbit too
    return !failed;
}

void CFileStream::DiscardOutput() noexcept
{
    DiscardTemporary(output);
}

bool CFileStream::OpenFileStream(std::u16string_view path, bool forReading)
{
    if ((stream.is_open() || output.file != -1) && !CloseFileStream()) failed = true;
    if (const auto& locale = JapaneseLocale()) stream.imbue(*locale);

    const std::filesystem::path target = ToFsPath(path);
    if (forReading) {
        // Only a regular file has a size to read by: a folder reports a
        // meaningless one on Linux, and opening a pipe could wait forever.
        std::error_code error;
        if (!std::filesystem::is_regular_file(target, error)) {
            failed = true;
            return false;
        }
        stream.open(target, std::ios::in | std::ios::binary);
        if (!stream.is_open()) failed = true;
        return SyncState();
    }

    destinationPath = target;
    written = 0;
    if (!IsReplaceableDestination(target) || !CreateTemporaryBeside(target, output)) {
        failed = true;
        return false;
    }
    return !failed;
}

int CFileStream::GetStreamSize()
{
    if (!stream.is_open() || failed) return 0;
    stream.seekg(0, std::ios::end);
    const std::streamoff end = stream.fail() ? -1 : std::streamoff(stream.tellg());
    stream.seekg(0, std::ios::beg);
    const std::streamoff start = stream.fail() ? -1 : std::streamoff(stream.tellg());
    if (!SyncState() || end < 0 || start < 0) {
        failed = true;
        return 0;
    }
    const std::streamoff size = end - start;
    if (size > std::numeric_limits<int>::max()) {
        // Never hand out a wrapped or negative size.
        tooLarge = true;
        failed = true;
        return 0;
    }
    return static_cast<int>(size);
}

bool CFileStream::ReadWholeStream(std::uint8_t* buffer, int& length)
{
    if (!stream.is_open() || length < 0) return false;
    if (failed) return false;
    stream.read(reinterpret_cast<char*>(buffer), length);
    if (stream.gcount() != length) failed = true;
    return SyncState();
}

bool CFileStream::WriteWholeStream(const std::uint8_t*& buffer, int& length)
{
    if (output.file == -1 || length < 0) return false;
    if (failed) return false;
    if (!WriteFileAt(output.file, written, buffer, static_cast<std::size_t>(length))) failed = true;
    written += static_cast<std::uint64_t>(length);
    return !failed;
}

bool CFileStream::CloseFileStream()
{
    if (stream.is_open()) {
        stream.close();
        return SyncState();
    }
    if (output.file == -1) return !failed;
    // An output: commit only if every byte reached the file and the disk.
    if (!failed && CommitTemporary(output, destinationPath, true) == CommitResult::done) return true;
    failed = true;
    DiscardOutput();
    return false;
}

}  // namespace quorvane
