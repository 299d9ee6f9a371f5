#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "cli/interrupt.h"
#include "cli/positional_file.h"
#include "jobs/platform_file.h"

namespace quorvane::cli {

namespace {

int Fd(NativeFile file)
{
    return static_cast<int>(file);
}

void CloseQuietly(NativeFile& file) noexcept
{
    if (file >= 0) (void)::close(Fd(file));
    file = -1;
}

}  // namespace

SourceStatus CInputFile::Open(std::u16string_view path)
{
    Close();
    const std::filesystem::path target = ToFsPath(path);
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) return SourceStatus::notFound;
    if (!S_ISREG(st.st_mode)) return SourceStatus::notRegular;
    // O_NONBLOCK: should a FIFO have taken the name since the look, its open still returns at once.
    const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return SourceStatus::notFound;
    file = fd;
    if (::fstat(fd, &st) != 0) return SourceStatus::readFailed;
    if (!S_ISREG(st.st_mode)) return SourceStatus::notRegular;
    size = static_cast<std::uint64_t>(st.st_size);
    return SourceStatus::ok;
}

SourceStatus CInputFile::ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) const
{
    if (file < 0) return SourceStatus::readFailed;
    while (length > 0) {
        const ssize_t n = ::pread(Fd(file), buffer, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return SourceStatus::readFailed;
        if (n == 0) return SourceStatus::changed;  // cut short since its size was taken
        buffer += n;
        offset += static_cast<std::uint64_t>(n);
        length -= static_cast<std::size_t>(n);
    }
    return SourceStatus::ok;
}

SourceStatus CInputFile::CheckUnchanged() const
{
    struct stat st {};
    if (file < 0 || ::fstat(Fd(file), &st) != 0) return SourceStatus::readFailed;
    return static_cast<std::uint64_t>(st.st_size) == size ? SourceStatus::ok : SourceStatus::changed;
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
    // The affinity mask, not the machine: under `taskset -c 0` one worker is the right number.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware > 0 ? hardware : 1;
}

}  // namespace quorvane::cli
