#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "cli/standard_stream.h"
#include "jobs/platform_file.h"

namespace quorvane::cli {

namespace {

int Fd(NativeFile file)
{
    return static_cast<int>(file);
}

std::string TemporaryFolder()
{
    const char* folder = ::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

}  // namespace

void OccupyClosedStandardDescriptors() noexcept
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor, so this one: those below are open by now.
        (void)::open("/dev/null", (fd == STDIN_FILENO ? O_WRONLY : O_RDONLY) | O_NOCTTY);
    }
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

bool StandardOutputIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

CStandardInput::CStandardInput() = default;

std::optional<std::uint64_t> CStandardInput::KnownSize() const
{
    struct stat st {};
    if (::fstat(STDIN_FILENO, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const off_t at = ::lseek(STDIN_FILENO, 0, SEEK_CUR);
    if (at < 0 || at > st.st_size) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size - at);
}

std::optional<std::size_t> CStandardInput::Read(std::uint8_t* buffer, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::read(STDIN_FILENO, buffer + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

CStandardOutput::CStandardOutput()
{
    ::signal(SIGPIPE, SIG_IGN);
}

CStandardOutput::~CStandardOutput()
{
    if (destination >= 0) (void)::close(Fd(destination));
}

bool CStandardOutput::OpenDestination(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    // Only what it was looked at as: anything else put there meanwhile is not written into.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
        (void)::close(fd);
        return false;
    }
    destination = fd;
    return true;
}

PipeStatus CStandardOutput::Write(const std::uint8_t* data, std::size_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(destination >= 0 ? Fd(destination) : STDOUT_FILENO, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno == EPIPE ? PipeStatus::closed : PipeStatus::failed;
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return PipeStatus::ok;
}

CSpoolFile::~CSpoolFile()
{
    if (file >= 0) (void)::close(Fd(file));
}

bool CSpoolFile::Create()
{
    const std::string folder = TemporaryFolder();
    // A file without a name where the system can make one, else a named one unlinked at once.
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string name = folder + "/quorvane-spool.XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) (void)::unlink(name.c_str());
    }
    file = fd;
    return fd >= 0;
}

bool CSpoolFile::WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) const
{
    return WriteAllAt(file, offset, data, length);
}

bool CSpoolFile::ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) const
{
    while (length > 0) {
        const ssize_t n = ::pread(Fd(file), buffer, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        buffer += n;
        offset += static_cast<std::uint64_t>(n);
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

std::u16string CSpoolFile::Folder()
{
    return FromFsPath(TemporaryFolder());
}

}  // namespace quorvane::cli
