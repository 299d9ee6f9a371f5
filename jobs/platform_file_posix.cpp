#include "jobs/platform_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
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
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool IsStreamDestination(const std::filesystem::path& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode));
}

}  // namespace quorvane
