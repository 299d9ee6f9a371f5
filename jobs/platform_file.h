#pragma once
// The few file services the standard library lacks: an exclusive temporary
// file beside the destination, a flush to disk, and an atomic replace.
// The only place outside app/ that talks to the operating system directly.
#include <filesystem>
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

// Creates a new, empty, uniquely named file in the destination's folder and
// stores its path. Never opens an existing file.
bool CreateTemporaryBeside(const std::filesystem::path& destination, std::filesystem::path& temporary);

// Forces the file's contents to the storage device.
bool FlushFileToDisk(const std::filesystem::path& path);

// Moves `from` onto `to` in one step, replacing `to` if it exists; with
// replaceExisting false, fails instead when `to` exists, without a race.
bool ReplaceFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to,
                           bool replaceExisting = true);

void RemoveFileQuietly(const std::filesystem::path& path) noexcept;

}  // namespace quorvane
