#include "cli/console.h"

#include <conio.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "cli/progress_line.h"
#include "container/text_codec.h"
#include "jobs/platform_file.h"

namespace quorvane::cli {

namespace {

// The units of one line typed on the console, without its end, into `text`.
KeyFailure ReadTypedLine(std::u16string& text)
{
    for (;;) {
        const wint_t c = _getwch();
        if (c == WEOF) return KeyFailure::unreadable;
        if (c == 0 || c == 0xE0) {
            // A function or arrow key comes as a prefix and a scan code, both
            // waiting at once; a typed U+00E0 comes alone.
            if (_kbhit()) {
                (void)_getwch();
                continue;
            }
            if (c == 0) continue;
        }
        if (c == L'\r' || c == L'\n') return KeyFailure::none;
        if (c == 3) return KeyFailure::cancelled;  // Ctrl+C
        if (c == 8) {                              // Backspace takes back one character, a surrogate pair whole
            if (text.empty()) continue;
            const std::size_t n = text.size();
            const bool pair = n >= 2 && IsLowSurrogate(text[n - 1]) && IsHighSurrogate(text[n - 2]);
            text.resize(n - (pair ? 2 : 1));
            continue;
        }
        if (c < 0x20) continue;  // other control keys type nothing, as in the window's field
        if (text.size() == kMaxKeyLineBytes) return KeyFailure::tooLong;
        text.push_back(static_cast<char16_t>(c));
    }
}

}  // namespace

void WriteErrorText(std::u16string_view text)
{
    if (IsTerminal(reinterpret_cast<NativeFile>(GetStdHandle(STD_ERROR_HANDLE)))) {
        // The console shows any character when given UTF-16; its code page would mangle UTF-8.
        _cputws(std::wstring(text.begin(), text.end()).c_str());
        return;
    }
    const std::string utf8 = Utf16ToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fflush(stderr);
}

// Only a console answers GetConsoleMode; a pipe, a file or the NUL device (which _isatty takes for one) does not.
bool IsTerminal(NativeFile standardStream)
{
    DWORD mode = 0;
    return GetConsoleMode(reinterpret_cast<HANDLE>(standardStream), &mode) != 0;
}

unsigned StandardErrorColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
    const int width = info.srWindow.Right - info.srWindow.Left + 1;
    return width > 0 ? static_cast<unsigned>(width) : 80;
}

KeyFailure ReadHiddenLine(std::u16string_view prompt, CSecureText& line)
{
    WriteErrorText(prompt);
    std::u16string text;
    // Reserved once so that the key never moves to a new block and leaves an unwiped copy behind.
    text.reserve(kMaxKeyLineBytes);
    const KeyFailure result = ReadTypedLine(text);
    WriteErrorText(u"\n");
    if (result == KeyFailure::none) line.Assign(text);
    WipeString(text);
    return result;
}

bool WriteOutputText(std::string_view text)
{
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return std::fflush(stdout) == 0 && written;
}

bool WriteOutputUnicode(std::u16string_view text, bool& readerGone)
{
    readerGone = false;
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (IsTerminal(StandardOutput()))
        return WriteConsoleW(output, std::wstring(text.begin(), text.end()).c_str(), static_cast<DWORD>(text.size()),
                             &written, nullptr) != 0;
    const std::string utf8 = Utf16ToUtf8(text);
    return quorvane::WriteAll(reinterpret_cast<NativeFile>(output), reinterpret_cast<const std::uint8_t*>(utf8.data()),
                              utf8.size(), readerGone);
}

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
