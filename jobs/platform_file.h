#pragma once
// The few file services the standard library lacks: an exclusive temporary
// file beside the destination, written through its own descriptor, flushed and
// moved over the destination in one step; what file or kind a path names; and
// the primitives of the sources and sinks that the stream layer builds on.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// UTF-16 paths are the system's own; the platform gets them without loss
// (as wide strings on Windows, as UTF-8 elsewhere). A POSIX name is bytes: each
// byte that is not part of UTF-8 is held as the lone unit U+DC80..U+DCFF and
// goes back as that byte.
std::filesystem::path ToFsPath(std::u16string_view path);
std::u16string FromFsPath(const std::filesystem::path& path);

// The error of the last failed platform call on this thread (errno, GetLastError
// on Windows); its text in English.
int LastSystemError() noexcept;
std::u16string SystemErrorText(int error);

// False when the destination exists and must not be replaced: not a regular
// file (a folder of that name), or marked read-only. The system error then says why.
bool IsReplaceableDestination(const std::filesystem::path& destination);

// "a FIFO owned by nobody (uid 65534)" when a link, a FIFO or a device stands
// at the path that belongs to another user (neither this process's nor root):
// the kernel's rule for sticky folders, applied everywhere. Such a thing is
// never written through. None otherwise, and always on Windows.
std::optional<std::u16string> ForeignOwnedObject(const std::filesystem::path& path);

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
    std::int64_t owner = -1;      // POSIX, run by root over another's file: the owner and group it keeps
    std::int64_t group = -1;
};

// Creates a new, empty file in the destination's folder and keeps it open:
// without a name until it is complete where the system can (Linux), else
// uniquely named. Never opens an existing file. The final mode is the replaced
// file's when this process's user owns it, else the default one (0666 less the
// umask); never setuid, setgid or sticky. Root keeps a replaced file's owner.
bool CreateTemporaryBeside(const std::filesystem::path& destination, TemporaryFile& temporary);

// All of `length` bytes at `offset` of an open file; safe from several threads at once.
bool WriteFileAt(NativeFile file, std::uint64_t offset, const std::uint8_t* data, std::size_t length);

// Flushes the file to disk, gives it its final mode, closes it and moves it
// over the destination in one step; with replaceExisting false, fails instead
// when the destination exists, without a race. Then the destination must be
// the file written: otherwise someone replaced it in between. Success empties
// `temporary`; on failure the file is closed and still there, for DiscardTemporary.
enum class CommitResult { done, unwritten, notMoved, replacedMeanwhile };
CommitResult CommitTemporary(TemporaryFile& temporary, const std::filesystem::path& destination, bool replaceExisting);

// Closes and removes the file; allocates nothing and never throws.
void DiscardTemporary(TemporaryFile& temporary) noexcept;

// Removes the file at a path in the platform's form, from a signal handler
// too: one call, nothing allocated.
void RemoveFileNow(const std::filesystem::path::value_type* path) noexcept;

// Moves `from` onto `to` in one step, replacing `to` if it exists; with
// replaceExisting false, fails instead when `to` exists, without a race.
bool ReplaceFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to,
                           bool replaceExisting = true);

// The same file, as the file system tells it: device and inode (volume and file index on Windows).
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    bool folder = false;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of what the path names, a link followed; none when nothing is there.
std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path);

// True when anything at all stands at the path, a dangling link included.
bool PathIsTaken(const std::filesystem::path& path);

// True when the path names (a link followed) a character device or a FIFO, or
// on Windows NUL, a console name, a pipe or a device: written as a stream, never replaced.
bool IsStreamDestination(const std::filesystem::path& path);

// The command line's sources and sinks: a file read by offset, standard input
// and output, a device or FIFO written as a stream, and the spool.

// An input opened to be read by offset. Anything but a regular file is refused
// before a call that could wait for another process (opening a FIFO waits for
// its writer). Open only when all went well; each flag tells how far it got.
struct OpenedInput {
    NativeFile file = -1;
    std::uint64_t size = 0;
    bool opened = false;  // it could be opened
    bool regular = false;
    bool sized = false;  // its size could be had
};
OpenedInput OpenRegularFile(std::u16string_view path);

// Any file opened for reading in order (a key file may be a pipe); -1 when it can't be.
NativeFile OpenForReading(std::u16string_view path);

// The standard streams, never closed here.
NativeFile StandardInput() noexcept;
NativeFile StandardOutput() noexcept;

// What is left to read of a regular file from its position (standard input
// redirected from a file); none for anything else.
std::optional<std::uint64_t> BytesLeft(NativeFile file);

// The size of an open file now; none when it can't be had.
std::optional<std::uint64_t> FileSize(NativeFile file);

// Up to `length` bytes in one call: 0 at the end (a pipe whose writer is gone
// too), none on an error.
std::optional<std::size_t> ReadSome(NativeFile file, std::uint8_t* buffer, std::size_t length);

// Up to `length` bytes at `offset`, fewer only at the end of the file; none on
// an error. Safe from several threads at once.
std::optional<std::size_t> ReadFileAt(NativeFile file, std::uint64_t offset, std::uint8_t* buffer, std::size_t length);

// All of `length` bytes at the position of a stream; false on an error,
// `readerGone` true when that was the reader going away.
bool WriteAll(NativeFile file, const std::uint8_t* data, std::size_t length, bool& readerGone);

void CloseFile(NativeFile& file) noexcept;

// A character device or a FIFO (on Windows a device or a pipe) opened for
// writing as a shell's ">" opens it; -1 when anything else stands there by then,
// or something another user owns (ForeignOwnedObject).
NativeFile OpenStreamDestination(const std::filesystem::path& path);

// A temporary file without a name, or one the system deletes when it is
// closed: nothing of it is left behind, whatever ends the process. -1 when
// none can be made in SpoolFolder: TMPDIR (else /tmp), or the Windows temporary folder.
NativeFile CreateSpoolFile();
std::u16string SpoolFolder();

// True when the path names standard output: /dev/stdout, /dev/fd/1 or /proc/self/fd/1 by name (closed at start or
// not), or the file that standard output is, reached otherwise: it is written as "-".
bool NamesStandardOutput(const std::filesystem::path& path);

// Puts /dev/null, opened the other way, on a closed descriptor 0, 1 or 2: a file
// opened later can't take one of them, and using a closed one still fails.
// Nothing to do on Windows, where no file takes a standard handle's place.
void OccupyClosedStandardDescriptors() noexcept;

// How many processors this process may run on (at least 1).
unsigned UsableProcessors() noexcept;

}  // namespace quorvane
