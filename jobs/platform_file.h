#pragma once
// The few file services the standard library lacks: an exclusive temporary
// file beside the destination, written through its own descriptor, flushed and
// moved over the destination in one step; and what file or kind a path names.
// The only place outside app/ that talks to the operating system directly.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// UTF-16 paths are the system's own; the platform gets them without loss
// (as wide strings on Windows, as UTF-8 elsewhere).
std::filesystem::path ToFsPath(std::u16string_view path);
std::u16string FromFsPath(const std::filesystem::path& path);

// False when the destination exists and must not be replaced: not a regular
// file (a folder of that name), or marked read-only.
bool IsReplaceableDestination(const std::filesystem::path& destination);

// A descriptor (POSIX) or HANDLE (Windows); -1 when none is open.
using NativeFile = std::intptr_t;

// The output being written: made exclusively, readable by its owner only, and
// written through the descriptor of that create: its name is never opened again.
struct TemporaryFile {
    NativeFile file = -1;
    // In the form the platform takes as it is (extended on Windows), so that
    // removing it allocates nothing.
    std::filesystem::path path;
    std::uint32_t finalMode = 0;  // POSIX: the permissions the output gets just before the replace
};

// Creates a new, empty, uniquely named file in the destination's folder and
// keeps it open. Never opens an existing file. The final mode is the replaced
// file's, or for a new output the default one (0666 less the umask); never
// setuid, setgid or sticky.
bool CreateTemporaryBeside(const std::filesystem::path& destination, TemporaryFile& temporary);

// All of `length` bytes at `offset` of an open file; safe from several threads at once.
bool WriteFileAt(NativeFile file, std::uint64_t offset, const std::uint8_t* data, std::size_t length);

// Flushes the file to disk, gives it its final mode, closes it and moves it
// over the destination in one step; with replaceExisting false, fails instead
// when the destination exists, without a race. Success empties `temporary`;
// on failure the file is closed and still there, for DiscardTemporary.
bool CommitTemporary(TemporaryFile& temporary, const std::filesystem::path& destination, bool replaceExisting);

// Closes and removes the file; allocates nothing and never throws.
void DiscardTemporary(TemporaryFile& temporary) noexcept;

// Moves `from` onto `to` in one step, replacing `to` if it exists; with
// replaceExisting false, fails instead when `to` exists, without a race.
bool ReplaceFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to,
                           bool replaceExisting = true);

// The same file, as the file system tells it: device and inode (volume and file index on Windows).
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of what the path names, a link followed; none when nothing is there.
std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path);

// True when the path names (a link followed) a character device or a FIFO:
// written as a stream, never replaced.
bool IsStreamDestination(const std::filesystem::path& path);

}  // namespace quorvane
