#include "jobs/platform_file.h"

#include <fcntl.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>

#include "container/text_codec.h"

namespace quorvane {

std::filesystem::path ToFsPath(std::u16string_view path)
{
    const std::string utf8 = Utf16ToUtf8(path);
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::u16string FromFsPath(const std::filesystem::path& path)
{
    const std::string& native = path.native();
    std::u16string out;
    if (!Utf8ToUtf16(native, out)) {
        // A Linux name need not be UTF-8; keep each byte as one code unit rather than fail.
        out.assign(native.begin(), native.end());
    }
    return out;
}

bool IsReplaceableDestination(const std::filesystem::path& destination)
{
    struct stat st {};
    if (::stat(destination.c_str(), &st) != 0) return errno == ENOENT;
    // Checked by mode bits rather than access(2): as root that would always say yes.
    return S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

namespace {

// The destination's path with its name cut to at most 200 bytes, at a
// character boundary: with the suffix, the temporary name stays within the
// 255 bytes a name may have wherever the destination's own name fits.
std::filesystem::path TemporaryStem(const std::filesystem::path& destination)
{
    std::string name = destination.filename().native();
    std::size_t keep = std::min<std::size_t>(name.size(), 200);
    while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
    name.resize(keep);
    return destination.parent_path() / name;
}

// The mode a new file gets from open(2) with 0666: the umask is read once,
// before any worker runs, as reading it means setting it for a moment.
mode_t DefaultNewFileMode()
{
    static const mode_t mode = [] {
        const mode_t mask = ::umask(077);
        ::umask(mask);
        return 0666 & ~mask;
    }();
    return mode;
}

}  // namespace

bool CreateTemporaryBeside(const std::filesystem::path& destination, TemporaryFile& temporary)
{
    static std::atomic<unsigned> counter{0};
    const auto stamp = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    struct stat existing {};
    // A replaced file keeps its permissions, but never setuid, setgid or sticky.
    const bool replacing = ::stat(destination.c_str(), &existing) == 0;
    if (!replacing && errno != ENOENT) return false;
    const mode_t finalMode = replacing ? existing.st_mode & 0777 : DefaultNewFileMode();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%d.%llx.%u.quorvane.tmp", static_cast<int>(::getpid()), stamp,
                      counter.fetch_add(1));
        std::filesystem::path candidate = TemporaryStem(destination);
        candidate += suffix;
        // Owner only from the first instant: the final mode comes just before the replace.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd >= 0) {
            temporary.file = fd;
            temporary.path = std::move(candidate);
            temporary.finalMode = finalMode;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

bool WriteFileAt(NativeFile file, std::uint64_t offset, const std::uint8_t* data, std::size_t length)
{
    while (length > 0) {
        const ssize_t n = ::pwrite(static_cast<int>(file), data, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        offset += static_cast<std::uint64_t>(n);
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

bool CommitTemporary(TemporaryFile& temporary, const std::filesystem::path& destination, bool replaceExisting)
{
    if (temporary.file < 0) return false;
    const int fd = static_cast<int>(std::exchange(temporary.file, -1));
    // A file system without POSIX modes refuses the change; the output then keeps the narrow one.
    const bool moded = ::fchmod(fd, static_cast<mode_t>(temporary.finalMode)) == 0 || errno == EPERM ||
                       errno == ENOTSUP || errno == EOPNOTSUPP;
    const bool synced = ::fsync(fd) == 0;
    // A failed close may mean that written data never arrived (NFS reports it there).
    const bool closed = ::close(fd) == 0;
    if (!moded || !synced || !closed || !ReplaceFileAtomically(temporary.path, destination, replaceExisting))
        return false;
    temporary.path.clear();
    return true;
}

void DiscardTemporary(TemporaryFile& temporary) noexcept
{
    if (temporary.file >= 0) (void)::close(static_cast<int>(std::exchange(temporary.file, -1)));
    if (temporary.path.empty()) return;
    // Once more after a failure: a temporary file left behind may hold plaintext.
    if (::unlink(temporary.path.c_str()) != 0 && errno != ENOENT) (void)::unlink(temporary.path.c_str());
    temporary.path.clear();
}

void RemoveFileNow(const char* path) noexcept
{
    (void)::unlink(path);
}

bool ReplaceFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to, bool replaceExisting)
{
    if (replaceExisting) {
        if (::rename(from.c_str(), to.c_str()) != 0) return false;
    } else if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        // Some file systems lack the flag; a hard link refuses an existing name just as well.
        if (errno != EINVAL && errno != ENOSYS) return false;
        if (::link(from.c_str(), to.c_str()) != 0) return false;
        // The temporary name must not stay behind as a second name of the output;
        // if it can't go, take back the new name (nothing was there before) and fail.
        if (::unlink(from.c_str()) != 0) {
            const int error = errno;
            (void)::unlink(to.c_str());
            errno = error;
            return false;
        }
    }
    // Make the new directory entry itself durable.
    const std::filesystem::path folder = to.has_parent_path() ? to.parent_path() : std::filesystem::path(".");
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                        S_ISDIR(st.st_mode)};
}

bool PathIsTaken(const std::filesystem::path& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsStreamDestination(const std::filesystem::path& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode));
}

namespace {

std::string TemporaryFolder()
{
    const char* folder = ::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

}  // namespace

OpenedInput OpenRegularFile(std::u16string_view path)
{
    OpenedInput input;
    const std::filesystem::path target = ToFsPath(path);
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) return input;
    input.opened = true;
    if (!S_ISREG(st.st_mode)) return input;
    input.regular = true;
    // O_NONBLOCK: should a FIFO have taken the name since the look, its open still returns at once.
    NativeFile file = ::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    input.opened = file >= 0;
    if (file < 0) return input;
    input.sized = ::fstat(static_cast<int>(file), &st) == 0;
    input.regular = !input.sized || S_ISREG(st.st_mode);
    if (!input.sized || !input.regular) {
        CloseFile(file);
        return input;
    }
    input.file = file;
    input.size = static_cast<std::uint64_t>(st.st_size);
    return input;
}

NativeFile OpenForReading(std::u16string_view path)
{
    return ::open(ToFsPath(path).c_str(), O_RDONLY | O_CLOEXEC);
}

NativeFile StandardInput() noexcept
{
    return STDIN_FILENO;
}

NativeFile StandardOutput() noexcept
{
    return STDOUT_FILENO;
}

std::optional<std::uint64_t> BytesLeft(NativeFile file)
{
    struct stat st {};
    if (::fstat(static_cast<int>(file), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const off_t at = ::lseek(static_cast<int>(file), 0, SEEK_CUR);
    if (at < 0 || at > st.st_size) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size - at);
}

std::optional<std::uint64_t> FileSize(NativeFile file)
{
    struct stat st {};
    if (file < 0 || ::fstat(static_cast<int>(file), &st) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::size_t> ReadSome(NativeFile file, std::uint8_t* buffer, std::size_t length)
{
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(file), buffer, length);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        return static_cast<std::size_t>(n);
    }
}

std::optional<std::size_t> ReadFileAt(NativeFile file, std::uint64_t offset, std::uint8_t* buffer, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(static_cast<int>(file), buffer + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool WriteAll(NativeFile file, const std::uint8_t* data, std::size_t length, bool& readerGone)
{
    while (length > 0) {
        const ssize_t n = ::write(static_cast<int>(file), data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            readerGone = errno == EPIPE;
            return false;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

void CloseFile(NativeFile& file) noexcept
{
    if (file >= 0) (void)::close(static_cast<int>(file));
    file = -1;
}

NativeFile OpenStreamDestination(const std::filesystem::path& path)
{
    NativeFile file = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    // Only what it was looked at as: anything else put there meanwhile is not written into.
    struct stat st {};
    if (file >= 0 && (::fstat(static_cast<int>(file), &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))))
        CloseFile(file);
    return file;
}

NativeFile CreateSpoolFile()
{
    const std::string folder = TemporaryFolder();
    // A file without a name where the system can make one, else a named one unlinked at once.
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string name = folder + "/quorvane-spool.XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) (void)::unlink(name.c_str());
    }
    return fd;
}

std::u16string SpoolFolder()
{
    return FromFsPath(TemporaryFolder());
}

bool NamesStandardOutput(const std::filesystem::path& path)
{
    struct stat named {
    }, out{};
    // A closed standard output, held by /dev/null for reading only, is not written through.
    const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
    return flags != -1 && (flags & O_ACCMODE) != O_RDONLY && ::stat(path.c_str(), &named) == 0 &&
           ::fstat(STDOUT_FILENO, &out) == 0 && named.st_dev == out.st_dev && named.st_ino == out.st_ino;
}

void OccupyClosedStandardDescriptors() noexcept
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor, so this one: those below are open by now.
        (void)::open("/dev/null", (fd == STDIN_FILENO ? O_WRONLY : O_RDONLY) | O_NOCTTY);
    }
}

unsigned UsableProcessors() noexcept
{
    // The affinity mask, not the machine: under `taskset -c 0` one worker is the right number.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware > 0 ? hardware : 1;
}

}  // namespace quorvane
