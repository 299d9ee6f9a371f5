#include "jobs/platform_file.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwchar>

#include "jobs/long_path.h"

namespace quorvane {

// wchar_t is a UTF-16 code unit here, so paths pass through unchanged.
std::filesystem::path ToFsPath(std::u16string_view path)
{
    return std::filesystem::path(std::wstring(path.begin(), path.end()));
}

std::u16string FromFsPath(const std::filesystem::path& path)
{
    const std::wstring& native = path.native();
    return std::u16string(native.begin(), native.end());
}

namespace {

// The temporary name adds some twenty units to the destination's, which would
// pass the 260-unit limit of a plain path; the extended form has none.
std::filesystem::path LongForm(const std::filesystem::path& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) return path;
    full.resize(written);
    const std::u16string extended = ExtendedLengthPath(std::u16string(full.begin(), full.end()));
    return std::filesystem::path(std::wstring(extended.begin(), extended.end()));
}

}  // namespace

bool IsReplaceableDestination(const std::filesystem::path& destination)
{
    const DWORD attributes = GetFileAttributesW(LongForm(destination).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

namespace {

// The destination's path with its name cut to at most 200 code units, never
// between the halves of a surrogate pair: with the suffix, the temporary name
// stays within the 255 units a name may have wherever the destination's fits.
std::filesystem::path TemporaryStem(const std::filesystem::path& destination)
{
    std::wstring name = destination.filename().native();
    std::size_t keep = std::min<std::size_t>(name.size(), 200);
    if (keep > 0 && keep < name.size() && name[keep] >= 0xDC00 && name[keep] < 0xE000) --keep;
    name.resize(keep);
    return destination.parent_path() / name;
}

}  // namespace

bool CreateTemporaryBeside(const std::filesystem::path& destination, std::filesystem::path& temporary)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Short on purpose: the temporary path must stay within the platform's path limit.
        wchar_t suffix[32];
        const unsigned long tag = (GetCurrentProcessId() << 16) ^ GetTickCount() ^ (counter.fetch_add(1) * 2654435761u);
        std::swprintf(suffix, 32, L".%08lx.quorvane.tmp", tag);
        std::filesystem::path candidate = TemporaryStem(LongForm(destination));
        candidate += suffix;
        HANDLE file = CreateFileW(candidate.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            temporary = std::move(candidate);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    return false;
}

bool FlushFileToDisk(const std::filesystem::path& path)
{
    HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool ok = FlushFileBuffers(file) != 0;
    return CloseHandle(file) != 0 && ok;
}

bool ReplaceFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to, bool replaceExisting)
{
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
    return MoveFileExW(LongForm(from).c_str(), LongForm(to).c_str(), flags) != 0;
}

void RemoveFileQuietly(const std::filesystem::path& path) noexcept
{
    DeleteFileW(LongForm(path).c_str());
}

}  // namespace quorvane
