#pragma once
// The few things the command line needs of the terminal and the process, which
// differ between the platforms: reading a key without echo, writing text that
// shows correctly, and ending at once on Ctrl+C or any other ending signal.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "cipher/secure_memory.h"
#include "cli/key_input.h"
#include "jobs/platform_file.h"

namespace quorvane::cli {

// Longest key line accepted, in bytes of UTF-8 (or code units from a console).
// Only the first 36 code units key the cipher; the bound keeps a stray binary
// key file from being read whole into memory.
constexpr std::size_t kMaxKeyLineBytes = 64 * 1024;

// True when the standard stream (StandardInput(), StandardOutput()) is a terminal, a console on Windows: someone
// may type there, and binary output has no place there.
bool IsTerminal(NativeFile standardStream);

// The width in columns of the terminal (console) that standard error shows
// on; 0 when standard error goes anywhere else.
unsigned StandardErrorColumns();

// Shows `prompt` on standard error and reads one line from the terminal on
// standard input with echo off. The echo is restored on every way out,
// including an interrupt. Cancelled: the input ended, or was interrupted, before the line did.
KeyFailure ReadHiddenLine(std::u16string_view prompt, CSecureText& line);

// One line on standard error, shown correctly on a console and written as
// UTF-8 when standard error goes to a pipe or a file. Controls in it are shown
// escaped (EscapeControls), on a terminal and in a log alike.
void WriteErrorLine(std::u16string_view text);
// Text on standard error without a line end (a prompt).
void WriteErrorText(std::u16string_view text);
// Plain ASCII text on standard output (help, version); false when it could not be written.
bool WriteOutputText(std::string_view text);
// Any text on standard output: to a console as UTF-16, so that every name shows; anywhere else as UTF-8, byte for
// byte (no line end translated), a POSIX name's bytes that are not UTF-8 as they were. False when it could not be
// written; `readerGone` when the reader went away.
bool WriteOutputUnicode(std::u16string_view text, bool& readerGone);

// Ctrl+C, a termination request or any other signal that would end the program
// ends it at once, even while a read or a write waits: the temporary output of
// the file at hand is removed, one line says which file was interrupted, and
// the process ends with the status of the signal (on Windows, of Ctrl+C).
// Waiting for the work to notice would leave a program stuck in a call that
// never returns unkillable but by force. Past the file-size limit a write
// fails instead (POSIX), as on a full disk.
class CInterruptGuard {
public:
    CInterruptGuard();
    ~CInterruptGuard();  // puts the previous handling back
    CInterruptGuard(const CInterruptGuard&) = delete;
    CInterruptGuard& operator=(const CInterruptGuard&) = delete;
};

// The text an interrupt leaves on standard error (a whole line with its line
// end); empty for none.
void NoteInterruptMessage(std::u16string_view text);
// The temporary output an interrupt must remove; empty for none.
void NoteTemporaryOutput(const std::filesystem::path& temporary);
// From here on a reader of standard output that goes away makes a write fail
// (outputClosed) instead of ending the process (POSIX).
void IgnoreClosedReaders() noexcept;
// Creates the temporary output beside `destination` and notes it in one step:
// an interrupt in between would leave a file that nobody knew to remove.
bool CreateNotedTemporary(const std::filesystem::path& destination, TemporaryFile& temporary);

}  // namespace quorvane::cli
