#include "jobs/platform_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
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
#include "jobs/signals_held_posix.h"

namespace quorvane {

namespace {

// U+DC80..U+DCFF alone (not the second half of a pair): a byte that was not UTF-8.
bool IsEscapedByte(std::u16string_view text, std::size_t i)
{
    return text[i] >= 0xDC80 && text[i] <= 0xDCFF && (i == 0 || !IsHighSurrogate(text[i - 1]));
}

// The length of the UTF-8 sequence at `at`, 0 when it is not one.
std::size_t Utf8SequenceAt(std::string_view bytes, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(bytes[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    std::u16string ignored;
    return length > 0 && at + length <= bytes.size() && Utf8ToUtf16(bytes.substr(at, length), ignored) ? length : 0;
}

}  // namespace

std::filesystem::path ToFsPath(std::u16string_view path)
{
    std::string bytes;
    std::size_t from = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !IsEscapedByte(path, i)) continue;
        bytes += Utf16ToUtf8(path.substr(from, i - from));
        if (i < path.size()) bytes += static_cast<char>(path[i] - 0xDC00);
        from = i + 1;
    }
    return std::filesystem::path(bytes);
}

std::u16string FromFsPath(const std::filesystem::path& path)
{
    const std::string_view native = path.native();
    std::u16string out, part;
    for (std::size_t at = 0; at < native.size();) {
        // A Linux name need not be UTF-8: each stray byte is kept apart, so that the name maps back.
        if (const std::size_t length = Utf8SequenceAt(native, at); length > 0) {
            Utf8ToUtf16(native.substr(at, length), part);
            out += part;
            at += length;
        } else {
            out += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(native[at++]));
        }
    }
    return out;
}

int LastSystemError() noexcept
{
    return errno;
}

std::u16string SystemErrorText(int error)
{
    char buffer[256];
    // The GNU strerror_r returns its text, which need not be in the buffer.
    return FromFsPath(std::filesystem::path(::strerror_r(error, buffer, sizeof buffer)));
}

bool IsReplaceableDestination(const std::filesystem::path& destination)
{
    struct stat st {};
    if (::stat(destination.c_str(), &st) != 0) return errno == ENOENT;
    // Checked by mode bits rather than access(2): as root that would always say yes.
    if (S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0) return true;
    errno = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
    return false;
}

std::optional<std::u16string> ForeignOwnedObject(const std::filesystem::path& path)
{
    struct stat st {};
    const char* kind = "a link";
    // The link itself first; one that may be followed leads to what it names.
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    const auto foreign = [](const struct stat& s) { return s.st_uid != 0 && s.st_uid != ::geteuid(); };
    if (!S_ISLNK(st.st_mode) || !foreign(st)) {
        if (::stat(path.c_str(), &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) || !foreign(st))
            return std::nullopt;
        kind = S_ISFIFO(st.st_mode) ? "a FIFO" : "a device";
    }
    char text[160];
    struct passwd entry {
    }, *found = nullptr;
    char names[1024];
    const bool named = ::getpwuid_r(st.st_uid, &entry, names, sizeof names, &found) == 0 && found;
    std::snprintf(text, sizeof text, "%s owned by %s%s(uid %u)", kind, named ? found->pw_name : "", named ? " " : "",
                  static_cast<unsigned>(st.st_uid));
    return FromFsPath(std::filesystem::path(text));
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

namespace {

// A name of our own beside the destination: the process, the moment and a count.
std::filesystem::path TemporaryName(const std::filesystem::path& destination)
{
    static std::atomic<unsigned> counter{0};
    const auto stamp = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%d.%llx.%u.quorvane.tmp", static_cast<int>(::getpid()), stamp,
                  counter.fetch_add(1));
    std::filesystem::path name = TemporaryStem(destination);
    name += suffix;
    return name;
}

std::filesystem::path FolderOf(const std::filesystem::path& path)
{
    return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

}  // namespace

bool CreateTemporaryBeside(const std::filesystem::path& destination, TemporaryFile& temporary)
{
    struct stat existing {};
    const bool replacing = ::stat(destination.c_str(), &existing) == 0;
    if (!replacing && errno != ENOENT) return false;
    // Another user's mode must not reach this user's data: a replaced file's permissions are kept only for its
    // owner, and never setuid, setgid or sticky.
    const bool own = replacing && existing.st_uid == ::geteuid();
    const mode_t finalMode = own ? existing.st_mode & 0777 : DefaultNewFileMode();
    // Owner only from the first instant: the final mode comes just before the replace. No name at all where the
    // file system can: nobody can reach the file through one before it is complete.
    int fd = ::open(FolderOf(destination).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    std::filesystem::path name;
    if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        name = TemporaryName(destination);
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    temporary.file = fd;
    temporary.path = std::move(name);
    temporary.finalMode = finalMode;
    // Root replacing a user's file leaves it that user's, who can go on writing it.
    temporary.owner = replacing && !own && ::geteuid() == 0 ? std::int64_t(existing.st_uid) : -1;
    temporary.group = replacing && !own && ::geteuid() == 0 ? std::int64_t(existing.st_gid) : -1;
    return true;
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

namespace {

// Makes the new directory entry itself durable.
void FlushFolder(const std::filesystem::path& path)
{
    const int dirFd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
}

bool LinkUnnamed(int fd, const std::filesystem::path& to)
{
    char self[48];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, self, AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// The complete file without a name gets the destination's: at once where nothing may be replaced (a link refuses
// an existing name), else through a name of its own moved over it. With every signal held: none may leave the
// output under a name that nobody would remove.
CommitResult NameUnnamed(int fd, TemporaryFile& temporary, const std::filesystem::path& destination, bool replace)
{
    const CSignalsHeld held;  // every signal, meanwhile
    if (!replace) {
        if (!LinkUnnamed(fd, destination)) return (void)::close(fd), CommitResult::notMoved;
        if (::close(fd) != 0) {
            // Nothing stood there before: the new name is taken back.
            const int error = errno;
            (void)::unlink(destination.c_str());
            errno = error;
            return CommitResult::unwritten;
        }
        FlushFolder(destination);
        return CommitResult::done;
    }
    bool linked = false;
    for (int attempt = 0; !linked && attempt < 100; ++attempt) {
        temporary.path = TemporaryName(destination);
        linked = LinkUnnamed(fd, temporary.path);
        if (!linked && errno != EEXIST) break;
    }
    if (!linked) {
        temporary.path.clear();
        return (void)::close(fd), CommitResult::notMoved;
    }
    if (::close(fd) != 0) return CommitResult::unwritten;
    if (!ReplaceFileAtomically(temporary.path, destination, true)) return CommitResult::notMoved;
    temporary.path.clear();
    return CommitResult::done;
}

class CHeldFile {
public:
    explicit CHeldFile(int fd)
    {
        char self[48];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
        holder = ::open(self, O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (holder < 0) holder = ::dup(fd);
    }
    ~CHeldFile()
    {
        if (holder >= 0) ::close(holder);
    }
    CHeldFile(const CHeldFile&) = delete;
    CHeldFile& operator=(const CHeldFile&) = delete;

private:
    int holder = -1;
};

}  // namespace

CommitResult CommitTemporary(TemporaryFile& temporary, const std::filesystem::path& destination, bool replaceExisting)
{
    if (temporary.file < 0) return CommitResult::unwritten;
    const int fd = static_cast<int>(std::exchange(temporary.file, -1));
    // The owner first: changing it would clear special bits of the mode.
    const bool owned = temporary.owner < 0 ||
                       ::fchown(fd, static_cast<uid_t>(temporary.owner), static_cast<gid_t>(temporary.group)) == 0;
    // A file system without POSIX modes refuses the change; the output then keeps the narrow one.
    const bool moded = owned && (::fchmod(fd, static_cast<mode_t>(temporary.finalMode)) == 0 || errno == EPERM ||
                                 errno == ENOTSUP || errno == EOPNOTSUPP);
    struct stat written {};
    if (!moded || ::fsync(fd) != 0 || ::fstat(fd, &written) != 0) {
        const int error = errno;
        (void)::close(fd);
        errno = error;
        return CommitResult::unwritten;
    }
    // Held open to the end, under a description of its own: a file freed meanwhile could hand its inode number to
    // the very file someone put in its place.
    const CHeldFile held(fd);
    if (temporary.path.empty()) {
        if (const CommitResult r = NameUnnamed(fd, temporary, destination, replaceExisting); r != CommitResult::done)
            return r;
    } else {
        // A failed close may mean that written data never arrived (NFS reports it there).
        if (::close(fd) != 0) return CommitResult::unwritten;
        if (!ReplaceFileAtomically(temporary.path, destination, replaceExisting)) return CommitResult::notMoved;
        temporary.path.clear();
    }
    // Whoever may write the folder could have put something else in its place meanwhile.
    struct stat now {};
    const bool same = ::fstatat(AT_FDCWD, destination.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
                      now.st_dev == written.st_dev && now.st_ino == written.st_ino;
    return same ? CommitResult::done : CommitResult::replacedMeanwhile;
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
    FlushFolder(to);
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
    if (ForeignOwnedObject(path)) return errno = EPERM, -1;
    NativeFile file = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    // Only what it was looked at as: anything else put there meanwhile is not written into.
    struct stat st {};
    if (file >= 0 && (::fstat(static_cast<int>(file), &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) ||
                      (st.st_uid != 0 && st.st_uid != ::geteuid()))) {
        CloseFile(file);
        errno = EPERM;
    }
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
    // By name even when it was closed at start: /dev/null holds its place then, which must not take the data.
    if (path == "/dev/stdout" || path == "/dev/fd/1" || path == "/proc/self/fd/1") return true;
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
