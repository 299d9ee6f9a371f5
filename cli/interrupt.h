#pragma once
// Ctrl+C, a termination request or any other signal that would end the program
// ends it at once, even while a read or a write waits: the temporary output of
// the file at hand is removed, one line says which file was interrupted, and
// the process ends with the status of the signal (on Windows, of Ctrl+C).
// Waiting for the work to notice would leave a program stuck in a call that
// never returns unkillable but by force. Past the file-size limit a write
// fails instead (POSIX), as on a full disk.
#include <filesystem>
#include <string_view>

#include "jobs/platform_file.h"

namespace quorvane::cli {

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
