#pragma once
// Real file-system faults for the fault tests (Linux, as root): a tiny tmpfs
// that fills up, one remounted read-only, a file the kernel refuses to
// replace, and a file whose middle cannot be read. Each says why when the
// machine does not allow it, so the test can skip with that reason.
#include <filesystem>
#include <string>

namespace quorvane::faults {

namespace fs = std::filesystem;

// A tmpfs of its own at `where` (created), unmounted with the object.
class CTmpfsMount {
public:
    CTmpfsMount(const fs::path& where, const std::string& options);
    ~CTmpfsMount();
    CTmpfsMount(const CTmpfsMount&) = delete;
    CTmpfsMount& operator=(const CTmpfsMount&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Why() const { return why_; }
    const fs::path& Path() const { return path_; }
    bool RemountReadOnly();
    // Bytes still free, from statvfs.
    unsigned long long FreeBytes() const;

private:
    fs::path path_;
    std::string options_;
    bool mounted_ = false;
    std::string why_;
};

// The kernel's immutable attribute: even root can neither write, rename over
// nor remove the file until it is cleared again with the object.
class CImmutableFile {
public:
    explicit CImmutableFile(const fs::path& file);
    ~CImmutableFile();
    CImmutableFile(const CImmutableFile&) = delete;
    CImmutableFile& operator=(const CImmutableFile&) = delete;
    bool Set() const { return set_; }
    const std::string& Why() const { return why_; }

private:
    bool Change(bool immutable);
    fs::path file_;
    bool set_ = false;
    std::string why_;
};

// A read-only squashfs holding one file `name` of `content`, with a damaged
// compressed block in the middle of the file: reads succeed up to that block
// and then fail with EIO, as a failing disk would. `content` must compress
// (squashfs stores incompressible blocks as they are, and damage to those is
// read back silently).
class CDamagedSquashfs {
public:
    CDamagedSquashfs(const fs::path& work, const std::string& name, const std::string& content);
    ~CDamagedSquashfs();
    CDamagedSquashfs(const CDamagedSquashfs&) = delete;
    CDamagedSquashfs& operator=(const CDamagedSquashfs&) = delete;
    bool Mounted() const { return mounted_; }
    const std::string& Why() const { return why_; }
    fs::path File() const { return mountPoint_ / name_; }

private:
    fs::path mountPoint_;
    std::string name_;
    bool mounted_ = false;
    std::string why_;
};

// Runs a shell command quietly; true on exit status 0.
bool RunQuietly(const std::string& command);

}  // namespace quorvane::faults
