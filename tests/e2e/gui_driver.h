#pragma once
// Acts on another process's dialogs the way a user would, through messages:
// finds windows, reads and types text, presses buttons and keys.
#ifndef UNICODE
#define UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::e2e {

// A failed expectation; ends the scenario.
struct CheckFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Utf8(std::wstring_view text);
void Check(bool ok, const std::string& what);
void CheckText(std::wstring_view actual, std::wstring_view expected, const std::string& what);

// How long any single step may take before the scenario fails. Generous: the
// first window of a fresh Wine session can take seconds.
constexpr DWORD kStepTimeoutMs = 20000;

// The program under test, started with its own working folder.
class CAppProcess {
public:
    CAppProcess(const std::wstring& exe, const std::wstring& workFolder, const std::wstring& arguments = L"");
    ~CAppProcess();
    CAppProcess(const CAppProcess&) = delete;
    CAppProcess& operator=(const CAppProcess&) = delete;

    DWORD Pid() const noexcept { return info_.dwProcessId; }
    bool HasExited() const;
    // Waits for the process to end and returns its exit code.
    DWORD WaitExit();

private:
    PROCESS_INFORMATION info_{};
};

// Visible top-level dialogs (class #32770) of the process, in z-order.
std::vector<HWND> Dialogs(DWORD pid);
std::wstring Title(HWND window);
std::wstring ClassName(HWND window);
// A control's text through WM_GETTEXT (GetWindowText gives "" across processes).
std::wstring Text(HWND control);
std::wstring ItemText(HWND dialog, int id);
// The title and static text of a dialog, for failure messages.
std::string Describe(HWND dialog);

// The first visible dialog of the process with this exact title and no owner.
HWND WaitForTopLevel(DWORD pid, std::wstring_view title);
// The next visible dialog owned by `owner`, other than `except`.
HWND WaitForOwned(DWORD pid, HWND owner, HWND except = nullptr);
// Waits until `window` is gone; fails at once if it opens a dialog of its own
// (a platform complaint about what was typed, for example).
void WaitGone(DWORD pid, HWND window);

// A button press as the dialog receives it; posted, because the handler may run a modal loop.
void Click(HWND dialog, int id);
void PressKey(HWND target, UINT virtualKey);
void SetText(HWND control, std::wstring_view text);
// Types into an edit field one character at a time, at the end of its text.
void TypeChars(HWND edit, std::wstring_view text);
// Waits until the control shows `expected` (posted typing is processed later).
void WaitForText(HWND control, std::wstring_view expected);
std::vector<std::wstring> ListEntries(HWND list);

RECT WindowRect(HWND window);

}  // namespace quorvane::e2e
