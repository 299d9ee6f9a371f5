#include "jobs/platform_file.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <atomic>
#include <cwchar>
#include <string>
#include <thread>
#include <utility>

#include "container/text_codec.h"
#include "jobs/long_path.h"

namespace quorvane {

// wchar_t is a UTF-16 code unit here, so paths pass through unchanged.
namespace {

HANDLE Handle(NativeFile file)
{
    return reinterpret_cast<HANDLE>(file);
}

// ReadFile and WriteFile take a 32-bit count; a gigabyte at a time stays far below it.
constexpr std::size_t kMaxTransfer = std::size_t(1) << 30;

// Each call names its own offset, so threads sharing the handle never move a shared file position.
OVERLAPPED At(std::uint64_t offset)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

std::wstring TemporaryFolder()
{
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return {};
    return std::wstring(folder, length);
}

}  // namespace

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

int LastSystemError() noexcept
{
    return static_cast<int>(GetLastError());
}

std::u16string SystemErrorText(int error)
{
    wchar_t text[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(error), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text,
                                  static_cast<DWORD>(std::size(text)), nullptr);
    // "Access is denied.\r\n": one clause after the fixed text.
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ' ||
                          text[length - 1] == L'.'))
        --length;
    if (length == 0) {
        wchar_t number[32];
        std::swprintf(number, 32, L"system error %d", error);
        return std::u16string(number, number + std::wcslen(number));
    }
    return std::u16string(text, text + length);
}

bool IsReplaceableDestination(const std::filesystem::path& destination)
{
    const DWORD attributes = GetFileAttributesW(LongForm(destination).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0) return true;
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

std::optional<std::u16string> ForeignOwnedObject(const std::filesystem::path&)
{
    return std::nullopt;  // no FIFOs here, and links need a privilege to make
}

namespace {

// The destination's path with its name cut to at most 200 code units, never
// between the halves of a surrogate pair: with the suffix, the temporary name
// stays within the 255 units a name may have wherever the destination's fits.
std::filesystem::path TemporaryStem(const std::filesystem::path& destination)
{
    std::wstring name = destination.filename().native();
    std::size_t keep = std::min<std::size_t>(name.size(), 200);
    if (keep > 0 && keep < name.size() && IsLowSurrogate(name[keep])) --keep;
    name.resize(keep);
    return destination.parent_path() / name;
}

}  // namespace

bool CreateTemporaryBeside(const std::filesystem::path& destination, TemporaryFile& temporary)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Short on purpose: the temporary path must stay within the platform's path limit.
        wchar_t suffix[32];
        const unsigned long tag = (GetCurrentProcessId() << 16) ^ GetTickCount() ^ (counter.fetch_add(1) * 2654435761u);
        std::swprintf(suffix, 32, L".%08lx.quorvane.tmp", tag);
        std::filesystem::path candidate = TemporaryStem(LongForm(destination));
        candidate += suffix;
        // FILE_SHARE_DELETE: the command line's interrupt handler deletes the file while it is open.
        HANDLE file = CreateFileW(candidate.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            temporary.file = reinterpret_cast<NativeFile>(file);
            temporary.path = std::move(candidate);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    return false;
}

bool WriteFileAt(NativeFile file, std::uint64_t offset, const std::uint8_t* data, std::size_t length)
{
    while (length > 0) {
        OVERLAPPED at = At(offset);
        DWORD put = 0;
        const auto ask = static_cast<DWORD>(std::min(length, kMaxTransfer));
        if (!WriteFile(Handle(file), data, ask, &put, &at) || put == 0) return false;
        data += put;
        offset += put;
        length -= put;
    }
    return true;
}

CommitResult CommitTemporary(TemporaryFile& temporary, const std::filesystem::path& destination, bool replaceExisting)
{
    if (temporary.file == -1) return CommitResult::unwritten;
    const HANDLE file = reinterpret_cast<HANDLE>(std::exchange(temporary.file, -1));
    BY_HANDLE_FILE_INFORMATION written{};
    const bool flushed = FlushFileBuffers(file) != 0 && GetFileInformationByHandle(file, &written) != 0;
    // Closed before the move: an open file can't replace another.
    const bool closed = CloseHandle(file) != 0;
    if (!flushed || !closed) return CommitResult::unwritten;
    if (!ReplaceFileAtomically(temporary.path, destination, replaceExisting)) return CommitResult::notMoved;
    temporary.path.clear();
    // Whoever may write the folder could have put something else in its place meanwhile.
    const std::optional<FileIdentity> now = IdentifyFile(destination);
    const FileIdentity ours{written.dwVolumeSerialNumber,
                            (std::uint64_t(written.nFileIndexHigh) << 32) | written.nFileIndexLow, false};
    return now == ours ? CommitResult::done : CommitResult::replacedMeanwhile;
}

void DiscardTemporary(TemporaryFile& temporary) noexcept
{
    if (temporary.file != -1) CloseHandle(reinterpret_cast<HANDLE>(std::exchange(temporary.file, -1)));
    if (temporary.path.empty()) return;
    // The path is already in its extended form: nothing here allocates.
    if (!DeleteFileW(temporary.path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        DeleteFileW(temporary.path.c_str());
    temporary.path.clear();
}

void RemoveFileNow(const wchar_t* path) noexcept
{
    DeleteFileW(path);
}

bool ReplaceFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to, bool replaceExisting)
{
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
    return MoveFileExW(LongForm(from).c_str(), LongForm(to).c_str(), flags) != 0;
}

std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path)
{
    // No access asked: only the file's identity is read. A folder needs backup semantics to be opened.
    HANDLE file = CreateFileW(LongForm(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!known) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
}

bool PathIsTaken(const std::filesystem::path& path)
{
    // A link answers for itself, whether or not its target is there.
    return GetFileAttributesW(LongForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// NUL and the console's names open the device in any folder and in any case: C:\x\nul is NUL.
bool IsStreamDeviceName(const std::filesystem::path& path)
{
    std::wstring name = path.filename().native();
    for (wchar_t& c : name) c = c >= L'a' && c <= L'z' ? wchar_t(c - 32) : c;
    return name == L"NUL" || name == L"CON" || name == L"CONIN$" || name == L"CONOUT$";
}

// A pipe or a device named in the device namespace (\\.\pipe\p, \\.\COM1), where no file is made.
bool InDeviceNamespace(const std::filesystem::path& path)
{
    return path.native().starts_with(L"\\\\.\\");
}

// The path a stream destination is opened by: a device name alone, without its folder.
std::wstring StreamPath(const std::filesystem::path& path)
{
    return IsStreamDeviceName(path) ? path.filename().native() : path.native();
}

bool IsStreamType(HANDLE handle)
{
    const DWORD type = GetFileType(handle);
    return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
}

}  // namespace

bool IsStreamDestination(const std::filesystem::path& path)
{
    if (IsStreamDeviceName(path)) return true;
    if (!InDeviceNamespace(path)) return false;
    // A pipe is not opened to be looked at: that would take one of its instances.
    if (path.native().size() > 9 && _wcsnicmp(path.c_str() + 4, L"pipe\\", 5) == 0) return true;
    const HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool stream = IsStreamType(handle);
    CloseHandle(handle);
    return stream;
}

OpenedInput OpenRegularFile(std::u16string_view path)
{
    OpenedInput input;
    const std::filesystem::path target = ToFsPath(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return input;
    input.opened = true;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return input;
    // Shared for writing as the standard library's streams share: another
    // program's open log stays readable (a change is caught by its size).
    const HANDLE handle = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    input.opened = handle != INVALID_HANDLE_VALUE;
    if (!input.opened) return input;
    NativeFile file = reinterpret_cast<NativeFile>(handle);
    // Devices (NUL, CON, COM1) and pipes open like files but have no size to stream by.
    input.regular = GetFileType(handle) == FILE_TYPE_DISK;
    LARGE_INTEGER length{};
    input.sized = input.regular && GetFileSizeEx(handle, &length) && length.QuadPart >= 0;
    if (!input.sized) {
        CloseFile(file);
        return input;
    }
    input.file = file;
    input.size = static_cast<std::uint64_t>(length.QuadPart);
    return input;
}

NativeFile OpenForReading(std::u16string_view path)
{
    const HANDLE handle = CreateFileW(ToFsPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<NativeFile>(handle);
}

// The handles are read and written as they are, without the C runtime's text
// mode, which would turn CRLF into LF and stop at a Ctrl+Z byte.
NativeFile StandardInput() noexcept
{
    return reinterpret_cast<NativeFile>(GetStdHandle(STD_INPUT_HANDLE));
}

NativeFile StandardOutput() noexcept
{
    return reinterpret_cast<NativeFile>(GetStdHandle(STD_OUTPUT_HANDLE));
}

std::optional<std::uint64_t> BytesLeft(NativeFile file)
{
    LARGE_INTEGER size{}, at{}, zero{};
    if (GetFileType(Handle(file)) != FILE_TYPE_DISK || !GetFileSizeEx(Handle(file), &size) ||
        !SetFilePointerEx(Handle(file), zero, &at, FILE_CURRENT) || at.QuadPart > size.QuadPart)
        return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart - at.QuadPart);
}

std::optional<std::uint64_t> FileSize(NativeFile file)
{
    LARGE_INTEGER length{};
    if (file == -1 || !GetFileSizeEx(Handle(file), &length)) return std::nullopt;
    return static_cast<std::uint64_t>(length.QuadPart);
}

std::optional<std::size_t> ReadSome(NativeFile file, std::uint8_t* buffer, std::size_t length)
{
    DWORD got = 0;
    if (ReadFile(Handle(file), buffer, static_cast<DWORD>(std::min(length, kMaxTransfer)), &got, nullptr)) return got;
    // The writer closing its end of a pipe is the end of the input.
    if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
    return std::nullopt;
}

std::optional<std::size_t> ReadFileAt(NativeFile file, std::uint64_t offset, std::uint8_t* buffer, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        OVERLAPPED at = At(offset + done);
        DWORD got = 0;
        const auto ask = static_cast<DWORD>(std::min(length - done, kMaxTransfer));
        if (!ReadFile(Handle(file), buffer + done, ask, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return std::nullopt;
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

bool WriteAll(NativeFile file, const std::uint8_t* data, std::size_t length, bool& readerGone)
{
    while (length > 0) {
        DWORD put = 0;
        if (!WriteFile(Handle(file), data, static_cast<DWORD>(std::min(length, kMaxTransfer)), &put, nullptr)) {
            const DWORD error = GetLastError();
            readerGone = error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE;
            return false;
        }
        data += put;
        length -= put;
    }
    return true;
}

void CloseFile(NativeFile& file) noexcept
{
    if (file != -1) CloseHandle(Handle(file));
    file = -1;
}

NativeFile OpenStreamDestination(const std::filesystem::path& path)
{
    const HANDLE handle = CreateFileW(StreamPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return -1;
    // Only what it was looked at as: a file put there meanwhile is not written into.
    if (IsStreamType(handle)) return reinterpret_cast<NativeFile>(handle);
    CloseHandle(handle);
    SetLastError(ERROR_ACCESS_DENIED);
    return -1;
}

NativeFile CreateSpoolFile()
{
    static std::atomic<unsigned> counter{0};
    const std::wstring folder = TemporaryFolder();
    wchar_t name[MAX_PATH + 1];
    if (folder.empty()) return -1;
    for (int attempt = 0; attempt < 100; ++attempt) {
        // A number of our own: the system's would make the file, which would then be opened a second time by name.
        const unsigned unique =
            (GetCurrentProcessId() ^ GetTickCount() ^ (counter.fetch_add(1) * 2654435761u)) & 0xFFFF;
        if (GetTempFileNameW(folder.c_str(), L"qvs", unique ? unique : 1, name) == 0) return -1;
        // Deleted by the system when the handle closes, which a killed process does too.
        const HANDLE handle = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle != INVALID_HANDLE_VALUE) return reinterpret_cast<NativeFile>(handle);
        if (GetLastError() != ERROR_FILE_EXISTS) return -1;
    }
    return -1;
}

std::u16string SpoolFolder()
{
    const std::wstring folder = TemporaryFolder();
    if (folder.empty()) return u"the temporary folder";
    return std::u16string(folder.begin(), folder.end());
}

bool NamesStandardOutput(const std::filesystem::path&)
{
    return false;
}

void OccupyClosedStandardDescriptors() noexcept {}

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

}  // namespace quorvane
