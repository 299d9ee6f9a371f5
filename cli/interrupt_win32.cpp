#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <mutex>
#include <string>

#include "cli/console.h"
#include "cli/interrupt.h"
#include "jobs/platform_file.h"

namespace quorvane::cli {

namespace {

// The console calls the handler on a thread of its own, so plain locking is
// enough here; the outputs are opened with FILE_SHARE_DELETE, so the
// temporary file can be deleted while a worker still holds it.
std::mutex lock;
std::u16string messageText;
std::wstring temporaryText;

BOOL WINAPI RemoveTemporaryAndExit(DWORD)
{
    lock.lock();  // held until the end: nothing may change the two any more
    if (!temporaryText.empty()) RemoveFileNow(temporaryText.c_str());
    if (!messageText.empty()) WriteErrorText(messageText);
    // As a console program ends that has no handler; no exit handlers run
    // while other threads may hold the C runtime's locks.
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

}  // namespace

CInterruptGuard::CInterruptGuard()
{
    SetConsoleCtrlHandler(RemoveTemporaryAndExit, TRUE);
}

CInterruptGuard::~CInterruptGuard()
{
    SetConsoleCtrlHandler(RemoveTemporaryAndExit, FALSE);
    NoteInterruptMessage({});
    NoteTemporaryOutput({});
}

void NoteInterruptMessage(std::u16string_view text)
{
    const std::lock_guard<std::mutex> guard(lock);
    messageText.assign(text);
}

void NoteTemporaryOutput(const std::filesystem::path& path)
{
    const std::lock_guard<std::mutex> guard(lock);
    temporaryText = path.native();
}

void IgnoreClosedReaders() noexcept {}

bool CreateNotedTemporary(const std::filesystem::path& destination, TemporaryFile& temporary)
{
    const std::lock_guard<std::mutex> guard(lock);  // the handler waits for it
    if (!CreateTemporaryBeside(destination, temporary)) return false;
    temporaryText = temporary.path.native();
    return true;
}

}  // namespace quorvane::cli
