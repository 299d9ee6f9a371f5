#include <algorithm>
#include <atomic>

#include "cli/handle_io_win32.h"
#include "cli/standard_stream.h"

namespace quorvane::cli {

void OccupyClosedStandardDescriptors() noexcept {}

bool NamesStandardOutput(const std::filesystem::path&)
{
    return false;
}

bool StandardOutputIsTerminal()
{
    // Only a console answers; a pipe, a file or NUL does not.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

// The handles are read and written as they are, without the C runtime's text
// mode, which would turn CRLF into LF and stop at a Ctrl+Z byte.
CStandardInput::CStandardInput() = default;

std::optional<std::uint64_t> CStandardInput::KnownSize() const
{
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    LARGE_INTEGER size{}, at{}, zero{};
    if (GetFileType(in) != FILE_TYPE_DISK || !GetFileSizeEx(in, &size) ||
        !SetFilePointerEx(in, zero, &at, FILE_CURRENT) || at.QuadPart > size.QuadPart)
        return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart - at.QuadPart);
}

std::optional<std::size_t> CStandardInput::Read(std::uint8_t* buffer, std::size_t length)
{
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::size_t done = 0;
    while (done < length) {
        DWORD got = 0;
        const auto ask = static_cast<DWORD>(std::min(length - done, kMaxTransfer));
        if (!ReadFile(in, buffer + done, ask, &got, nullptr)) {
            // The writer closing its end of a pipe is the end of the input.
            if (GetLastError() == ERROR_BROKEN_PIPE) break;
            return std::nullopt;
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

CStandardOutput::CStandardOutput() = default;
CStandardOutput::~CStandardOutput() = default;

bool CStandardOutput::OpenDestination(const std::filesystem::path&)
{
    return false;  // no destination is taken for a stream here (IsStreamDestination)
}

PipeStatus CStandardOutput::Write(const std::uint8_t* data, std::size_t length)
{
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    while (length > 0) {
        DWORD put = 0;
        const auto ask = static_cast<DWORD>(std::min(length, kMaxTransfer));
        if (!WriteFile(out, data, ask, &put, nullptr)) {
            const DWORD error = GetLastError();
            return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE ? PipeStatus::closed : PipeStatus::failed;
        }
        data += put;
        length -= put;
    }
    return PipeStatus::ok;
}

CSpoolFile::~CSpoolFile()
{
    if (file != -1) CloseHandle(Handle(file));
}

bool CSpoolFile::Create()
{
    static std::atomic<unsigned> counter{0};
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        // A number of our own: the system's would make the file, which would then be opened a second time by name.
        const unsigned unique =
            (GetCurrentProcessId() ^ GetTickCount() ^ (counter.fetch_add(1) * 2654435761u)) & 0xFFFF;
        if (GetTempFileNameW(folder, L"qvs", unique ? unique : 1, name) == 0) return false;
        // Deleted by the system when the handle closes, which a killed process does too.
        const HANDLE handle = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            file = reinterpret_cast<NativeFile>(handle);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    return false;
}

bool CSpoolFile::WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) const
{
    return WriteAllAt(file, offset, data, length);
}

bool CSpoolFile::ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) const
{
    while (length > 0) {
        OVERLAPPED at = At(offset);
        DWORD got = 0;
        const auto ask = static_cast<DWORD>(std::min(length, kMaxTransfer));
        if (!ReadFile(Handle(file), buffer, ask, &got, &at) || got == 0) return false;
        buffer += got;
        offset += got;
        length -= got;
    }
    return true;
}

std::u16string CSpoolFile::Folder()
{
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return u"the temporary folder";
    return std::u16string(folder, folder + length);
}

}  // namespace quorvane::cli
