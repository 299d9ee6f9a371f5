#include "tests/faults/fault_fs.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace quorvane::faults {

namespace {

std::string Quote(const fs::path& p)
{
    return "'" + p.string() + "'";
}

std::uint64_t Le64(const std::vector<char>& b, std::size_t at)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

}  // namespace

bool RunQuietly(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

CTmpfsMount::CTmpfsMount(const fs::path& where, const std::string& options) : path_(where), options_(options)
{
    fs::create_directories(path_);
    if (::mount("tmpfs", path_.c_str(), "tmpfs", 0, options_.c_str()) == 0) {
        mounted_ = true;
    } else {
        why_ = "mount -t tmpfs -o " + options_ + " failed: " + std::strerror(errno) + " (needs root)";
    }
}

CTmpfsMount::~CTmpfsMount()
{
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
}

bool CTmpfsMount::RemountReadOnly()
{
    return ::mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, options_.c_str()) == 0;
}

unsigned long long CTmpfsMount::FreeBytes() const
{
    struct statvfs st {};
    if (::statvfs(path_.c_str(), &st) != 0) return 0;
    return static_cast<unsigned long long>(st.f_bfree) * st.f_frsize;
}

CImmutableFile::CImmutableFile(const fs::path& file) : file_(file)
{
    set_ = Change(true);
}

CImmutableFile::~CImmutableFile()
{
    if (set_) Change(false);
}

bool CImmutableFile::Change(bool immutable)
{
    const int fd = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        why_ = std::string("open: ") + std::strerror(errno);
        return false;
    }
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (!ok) why_ = std::string("the immutable attribute can't be set here (needs root): ") + std::strerror(errno);
    ::close(fd);
    return ok;
}

CDamagedSquashfs::CDamagedSquashfs(const fs::path& work, const std::string& name, const std::string& content)
    : mountPoint_(work / "squash"), name_(name)
{
    const fs::path source = work / "squash-source";
    const fs::path image = work / "squash.img";
    fs::create_directories(source);
    fs::create_directories(mountPoint_);
    std::ofstream(source / name, std::ios::binary) << content;
    if (!RunQuietly("mksquashfs " + Quote(source) + " " + Quote(image) + " -noappend -no-progress -quiet")) {
        why_ = "mksquashfs is not available (package squashfs-tools)";
        return;
    }
    // Data blocks lie between the 96-byte superblock and the inode table;
    // spoiling bytes halfway leaves the first blocks readable.
    std::vector<char> bytes;
    {
        std::ifstream in(image, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const std::uint64_t inodeTable = bytes.size() >= 96 ? Le64(bytes, 64) : 0;
    if (inodeTable <= 96 + 512 || inodeTable > bytes.size()) {
        why_ = "unexpected squashfs layout";
        return;
    }
    const std::size_t middle = 96 + (inodeTable - 96) / 2;
    for (std::size_t i = middle; i < middle + 64; ++i) bytes[i] = char(~bytes[i]);
    std::ofstream(image, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
    if (!RunQuietly("mount -t squashfs -o loop,ro " + Quote(image) + " " + Quote(mountPoint_))) {
        why_ = "a squashfs image can't be loop-mounted here (needs root and loop devices)";
        return;
    }
    mounted_ = true;
}

CDamagedSquashfs::~CDamagedSquashfs()
{
    if (mounted_) ::umount2(mountPoint_.c_str(), MNT_DETACH);
}

}  // namespace quorvane::faults
