#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <thread>

#include "cli/handle_io_win32.h"
#include "cli/interrupt.h"
#include "cli/positional_file.h"
#include "jobs/platform_file.h"

namespace quorvane::cli {

namespace {

void CloseQuietly(NativeFile& file) noexcept
{
    if (file != -1) CloseHandle(Handle(file));
    file = -1;
}

}  // namespace

SourceStatus CInputFile::Open(std::u16string_view path)
{
    Close();
    const std::filesystem::path target = ToFsPath(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return SourceStatus::notFound;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return SourceStatus::notRegular;
    // Shared for writing as the standard library's streams share: another
    // program's open log stays readable (a change is caught by its size).
    HANDLE handle = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return SourceStatus::notFound;
    file = reinterpret_cast<NativeFile>(handle);
    // Devices (NUL, CON, COM1) and pipes open like files but have no size to stream by.
    if (GetFileType(handle) != FILE_TYPE_DISK) return SourceStatus::notRegular;
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(handle, &length) || length.QuadPart < 0) return SourceStatus::readFailed;
    size = static_cast<std::uint64_t>(length.QuadPart);
    return SourceStatus::ok;
}

SourceStatus CInputFile::ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) const
{
    if (file == -1) return SourceStatus::readFailed;
    while (length > 0) {
        OVERLAPPED at = At(offset);
        DWORD got = 0;
        const auto ask = static_cast<DWORD>(std::min(length, kMaxTransfer));
        if (!ReadFile(Handle(file), buffer, ask, &got, &at))
            return GetLastError() == ERROR_HANDLE_EOF ? SourceStatus::changed : SourceStatus::readFailed;
        if (got == 0) return SourceStatus::changed;  // cut short since its size was taken
        buffer += got;
        offset += got;
        length -= got;
    }
    return SourceStatus::ok;
}

SourceStatus CInputFile::CheckUnchanged() const
{
    LARGE_INTEGER length{};
    if (file == -1 || !GetFileSizeEx(Handle(file), &length)) return SourceStatus::readFailed;
    return static_cast<std::uint64_t>(length.QuadPart) == size ? SourceStatus::ok : SourceStatus::changed;
}

void CInputFile::Close() noexcept
{
    CloseQuietly(file);
}

bool COutputFile::Create(std::u16string_view destinationPath)
{
    Discard();
    destination = ToFsPath(destinationPath);
    return IsReplaceableDestination(destination) && CreateNotedTemporary(destination, temporary);
}

bool WriteAllAt(NativeFile file, std::uint64_t offset, const std::uint8_t* data, std::size_t length)
{
    return WriteFileAt(file, offset, data, length);
}

bool COutputFile::WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) const
{
    return temporary.file != -1 && WriteAllAt(temporary.file, offset, data, length);
}

bool COutputFile::Commit(bool replaceExisting)
{
    if (!CommitTemporary(temporary, destination, replaceExisting)) {
        Discard();
        return false;
    }
    NoteTemporaryOutput({});
    return true;
}

void COutputFile::Discard() noexcept
{
    if (temporary.path.empty() && temporary.file == -1) return;
    DiscardTemporary(temporary);
    NoteTemporaryOutput({});
}

unsigned UsableProcessors() noexcept
{
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
        unsigned count = 0;
        for (; process != 0; process &= process - 1) ++count;
        return count;
    }
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware > 0 ? hardware : 1;
}

}  // namespace quorvane::cli
