#include "tests/e2e/gui_driver.h"

#include <algorithm>

namespace quorvane::e2e {

namespace {

constexpr DWORD kPollMs = 20;

struct DialogSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<DialogSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && IsWindowVisible(window) && ClassName(window) == L"#32770")
        search->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM param)
{
    if (ClassName(child) == L"Static") reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
    return TRUE;
}

template <class Found>
HWND Poll(const std::string& what, Found&& found)
{
    const ULONGLONG deadline = GetTickCount64() + kStepTimeoutMs;
    for (;;) {
        if (const HWND window = found()) return window;
        if (GetTickCount64() > deadline) throw CheckFailure("timed out waiting for " + what);
        Sleep(kPollMs);
    }
}

}  // namespace

std::string Utf8(std::wstring_view text)
{
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

void Check(bool ok, const std::string& what)
{
    if (!ok) throw CheckFailure(what);
}

void CheckText(std::wstring_view actual, std::wstring_view expected, const std::string& what)
{
    if (actual != expected)
        throw CheckFailure(what + ": got \"" + Utf8(actual) + "\", expected \"" + Utf8(expected) + "\"");
}

CAppProcess::CAppProcess(const std::wstring& exe, const std::wstring& workFolder, const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, workFolder.c_str(),
                        &startup, &info_))
        throw CheckFailure("cannot start " + Utf8(exe) + " (error " + std::to_string(GetLastError()) + ")");
}

CAppProcess::~CAppProcess()
{
    // Only after a failed scenario is it still running; it is our own child.
    if (!HasExited()) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool CAppProcess::HasExited() const
{
    return WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0;
}

DWORD CAppProcess::WaitExit()
{
    Check(WaitForSingleObject(info_.hProcess, kStepTimeoutMs) == WAIT_OBJECT_0, "the program did not end");
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

std::vector<HWND> Dialogs(DWORD pid)
{
    DialogSearch search{pid, {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring Title(HWND window)
{
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

std::wstring ClassName(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring Text(HWND control)
{
    Check(control != nullptr, "control missing");
    const LRESULT length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(size_t(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(control, WM_GETTEXT, WPARAM(text.size()), reinterpret_cast<LPARAM>(text.data()));
    text.resize(size_t(std::max<LRESULT>(0, std::min<LRESULT>(copied, length))));
    return text;
}

std::wstring ItemText(HWND dialog, int id)
{
    const HWND item = GetDlgItem(dialog, id);
    Check(item != nullptr, "control " + std::to_string(id) + " missing in " + Utf8(Title(dialog)));
    return Text(item);
}

std::string Describe(HWND dialog)
{
    std::string text;
    text.append("\"").append(Utf8(Title(dialog))).append("\"");
    std::vector<HWND> statics;
    EnumChildWindows(dialog, CollectStatic, reinterpret_cast<LPARAM>(&statics));
    for (const HWND s : statics) {
        const std::wstring said = Text(s);
        if (!said.empty()) text.append(" saying \"").append(Utf8(said)).append("\"");
    }
    return text;
}

HWND WaitForTopLevel(DWORD pid, std::wstring_view title)
{
    return Poll("window \"" + Utf8(title) + "\"", [&]() -> HWND {
        for (const HWND window : Dialogs(pid))
            if (Title(window) == title && GetWindow(window, GW_OWNER) == nullptr) return window;
        return nullptr;
    });
}

HWND WaitForOwned(DWORD pid, HWND owner, HWND except)
{
    return Poll("a dialog owned by " + Describe(owner), [&]() -> HWND {
        for (const HWND window : Dialogs(pid))
            if (window != except && GetWindow(window, GW_OWNER) == owner) return window;
        return nullptr;
    });
}

void WaitGone(DWORD pid, HWND window)
{
    const std::string what = Describe(window);
    Poll(what + " to close", [&]() -> HWND {
        if (!IsWindow(window) || !IsWindowVisible(window)) return window;
        for (const HWND other : Dialogs(pid))
            if (GetWindow(other, GW_OWNER) == window)
                throw CheckFailure(what + " did not close but opened " + Describe(other));
        return nullptr;
    });
}

void Click(HWND dialog, int id)
{
    const HWND button = GetDlgItem(dialog, id);
    Check(PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != FALSE,
          "cannot post a click to " + Describe(dialog));
}

void PressKey(HWND target, UINT virtualKey)
{
    const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, virtualKey, LPARAM(1 | (scan << 16)));
    PostMessageW(target, WM_KEYUP, virtualKey, LPARAM(1 | (scan << 16) | (1u << 30) | (1u << 31)));
}

void SetText(HWND control, std::wstring_view text)
{
    const std::wstring copy(text);
    SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str()));
}

void TypeChars(HWND edit, std::wstring_view text)
{
    const LRESULT end = SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(edit, EM_SETSEL, WPARAM(end), LPARAM(end));
    for (const wchar_t c : text) PostMessageW(edit, WM_CHAR, WPARAM(c), 1);
}

void WaitForText(HWND control, std::wstring_view expected)
{
    std::wstring last;
    const ULONGLONG deadline = GetTickCount64() + kStepTimeoutMs;
    while ((last = Text(control)) != expected) {
        if (GetTickCount64() > deadline) CheckText(last, expected, "typed text");
        Sleep(kPollMs);
    }
}

std::vector<std::wstring> ListEntries(HWND list)
{
    Check(list != nullptr, "list missing");
    std::vector<std::wstring> entries;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    Check(count != LB_ERR, "LB_GETCOUNT failed");
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, WPARAM(i), 0);
        std::wstring text(size_t(length) + 1, L'\0');
        const LRESULT copied = SendMessageW(list, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text.data()));
        Check(copied == length, "LB_GETTEXT of entry " + std::to_string(i));
        text.resize(size_t(length));
        entries.push_back(text);
    }
    return entries;
}

RECT WindowRect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

}  // namespace quorvane::e2e
