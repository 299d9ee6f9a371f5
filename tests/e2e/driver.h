#pragma once
// Works Quorvane.exe from another process the way a user would: finds its dialogs, reads what they show, types.
#include <windows.h>
#include <tlhelp32.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace quorvane::e2e {

namespace fs = std::filesystem;

// The program's control ids, and the explorer-style chooser's file name box.
enum : int { kSelectSource = 32776, kFileList = 32775, kEncrypt = 32777, kDecrypt = 32778, kShowAbout = 57664 };
enum : int { kKeyEdit = 32778, kChooserName = 0x47C, kStatic = 0xFFFF };
constexpr std::wstring_view kProgressTitle = L"進行状況";
enum : int { kProgressAction = 1001, kProgressName = 1002, kProgressBar = 1003 };

inline std::string Utf8(std::wstring_view text)
{
    return test::Utf8(std::u16string(text.begin(), text.end()));
}

inline void Check(bool ok, const std::string& what)
{
    if (!ok) throw std::runtime_error(what);
}

// A scenario that cannot run in this build says why; CMakeLists.txt counts the exit code as a skip.
constexpr bool k64Bit = sizeof(void*) == 8;
constexpr int kSkippedExitCode = 77;
struct CSkipped {
    std::string why;
};
[[noreturn]] inline void Skip(const std::string& why)
{
    throw CSkipped{why};
}

inline void CheckText(std::wstring_view got, std::wstring_view want, const std::string& what)
{
    Check(got == want, what + ": \"" + Utf8(got) + "\", expected \"" + Utf8(want) + "\"");
}

// Asks `found` every 20 ms until it answers; generous, as a fresh Wine session can take seconds.
template <class Found>
auto Poll(const std::string& what, Found&& found, ULONGLONG patienceMs = 20000)
{
    for (const ULONGLONG deadline = GetTickCount64() + patienceMs;; Sleep(20)) {
        if (auto answer = found()) return answer;
        Check(GetTickCount64() < deadline, "timed out waiting for " + what);
    }
}

// What a window shows, through WM_GETTEXT: GetWindowText gives "" for another process's controls.
inline std::wstring Text(HWND window, int id = 0)
{
    window = id != 0 ? GetDlgItem(window, id) : window;
    std::wstring text(size_t(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(size_t(SendMessageW(window, WM_GETTEXT, text.size(), LPARAM(text.data()))));
    return text;
}

inline std::string Describe(HWND dialog)
{
    return Utf8(Text(dialog) + L" " + Text(dialog, kStatic));
}

inline RECT Rect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

inline HWND FocusOf(HWND dialog)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    return info.hwndFocus;
}

// A file of `mebibytes` MiB, each MiB different, for passes long enough to show their progress.
inline void WriteLargeFile(const fs::path& path, std::size_t mebibytes)
{
    test::Bytes block = test::PatternBytes(std::size_t(1) << 20, 11);
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < mebibytes && out; ++i) {
        std::memcpy(block.data(), &i, sizeof i);
        out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(block.size()));
    }
    Check(bool(out.flush()), "cannot write " + Utf8(path.wstring()));
}

// Holds a long pass where it is, whatever the machine's speed: every thread of the program but the one
// that owns `window` is suspended until the object goes, so the windows answer while the work waits.
class CHeldWork {
public:
    explicit CHeldWork(HWND window)
    {
        DWORD process = 0;
        const DWORD windows = GetWindowThreadProcessId(window, &process);
        const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        THREADENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
            if (entry.th32OwnerProcessID != process || entry.th32ThreadID == windows) continue;
            const HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, entry.th32ThreadID);
            if (thread == nullptr) continue;
            if (SuspendThread(thread) == DWORD(-1)) {
                CloseHandle(thread);
                continue;
            }
            held_.push_back(thread);
            CONTEXT context{};
            context.ContextFlags = CONTEXT_CONTROL;
            GetThreadContext(thread, &context);  // suspending is only asked for; this waits until the thread stopped
        }
        CloseHandle(snapshot);
        Check(!held_.empty(), "no work to hold");
    }
    ~CHeldWork()
    {
        for (const HANDLE thread : held_) ResumeThread(thread), CloseHandle(thread);
    }
    CHeldWork(const CHeldWork&) = delete;
    CHeldWork& operator=(const CHeldWork&) = delete;

private:
    std::vector<HANDLE> held_;
};

// One user at one running Quorvane.exe, started in `folder` with `arguments`.
class CUser {
public:
    CUser(const std::wstring& exe, const fs::path& folder, std::wstring arguments = L"")
    {
        arguments = L"\"" + exe + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        Check(CreateProcessW(exe.c_str(), arguments.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                             &startup, &process_),
              "cannot start " + Utf8(exe));
        main_ = Poll("the main window", [&] { return FindDialog(nullptr); });
        CheckText(Text(main_), L"Quorvane", "main window title");
    }

    HWND Main() const { return main_; }
    HANDLE Process() const { return process_.hProcess; }
    HWND Item(int id) const { return GetDlgItem(main_, id); }

    std::vector<std::wstring> List() const
    {
        std::vector<std::wstring> entries(size_t(SendMessageW(Item(kFileList), LB_GETCOUNT, 0, 0)));
        for (size_t i = 0; i < entries.size(); ++i) {
            entries[i].resize(size_t(SendMessageW(Item(kFileList), LB_GETTEXTLEN, i, 0)) + 1);
            entries[i].resize(size_t(SendMessageW(Item(kFileList), LB_GETTEXT, i, LPARAM(entries[i].data()))));
        }
        return entries;
    }

    // Posted, not sent: the handler may run a modal loop of its own.
    void Click(HWND dialog, int id) { PostMessageW(dialog, WM_COMMAND, id, LPARAM(GetDlgItem(dialog, id))); }
    void Press(int id) { Click(main_, id); }
    void SetText(HWND control, const std::wstring& text) { SendMessageW(control, WM_SETTEXT, 0, LPARAM(text.c_str())); }
    // The dialog manager acts on a key going down; the program reads no keys of its own.
    void PressKey(HWND target, UINT key) { PostMessageW(target, WM_KEYDOWN, key, 1); }

    // Types into the field, which may refuse some characters; sent, so each has been handled on return.
    void Type(HWND edit, std::wstring_view text)
    {
        for (const wchar_t c : text) SendMessageW(edit, WM_CHAR, WPARAM(c), 1);
    }

    // The next dialog over `owner` (by default the main window), which must have `title` when one is given.
    // A long pass's progress shows whenever a pass outlasts half a second, which a loaded machine can make of any
    // pass: it is looked past unless it is the dialog asked for.
    HWND NextDialog(const wchar_t* title = nullptr, HWND owner = nullptr)
    {
        owner = owner != nullptr ? owner : main_;
        const bool progress = title != nullptr && std::wstring_view(title) == kProgressTitle;
        const HWND dialog =
            Poll("a dialog over " + Describe(owner), [&] { return FindDialog(owner, nullptr, progress); });
        if (title != nullptr) CheckText(Text(dialog), title, "title of " + Describe(dialog));
        return dialog;
    }

    // Waits until `window` has gone; fails at once if it opens a dialog of its own.
    void WaitGone(HWND window, ULONGLONG patienceMs = 20000)
    {
        const std::string what = Describe(window);
        Poll(
            what + " to close",
            [&] {
                const HWND opened = IsWindow(window) ? FindDialog(window) : nullptr;
                Check(opened == nullptr, what + " did not close but opened " + (opened ? Describe(opened) : ""));
                return !IsWindow(window) || !IsWindowVisible(window);
            },
            patienceMs);
    }

    // Ends the dialog with the button, or with `key` pressed where its focus is; it must close.
    void Close(HWND dialog, int button = IDCANCEL, UINT key = 0)
    {
        if (key == 0) Click(dialog, button);
        if (key != 0) PressKey(FocusOf(dialog), key);
        WaitGone(dialog);
    }

    // The next dialog must be a file chooser showing `proposal` (when given); `typed` (when given) goes into
    // its name box, then `button` ends it: IDOK, IDCANCEL, or IDYES to confirm and then replace a file.
    void Choose(const wchar_t* proposal, const std::wstring& typed = L"", int button = IDOK)
    {
        const HWND chooser = NextDialog();
        Check(GetDlgItem(chooser, kChooserName) != nullptr, "expected a file chooser, got " + Describe(chooser));
        if (proposal != nullptr) CheckText(Text(chooser, kChooserName), proposal, "proposed name");
        if (!typed.empty()) SetText(GetDlgItem(chooser, kChooserName), typed);
        Click(chooser, button == IDYES ? IDOK : button);
        if (button == IDYES) Close(NextDialog(nullptr, chooser), IDYES);
        WaitGone(chooser);
    }

    // "元ファイル", then `folder` sent to the open chooser, which moves there, then `typed`: a path or quoted names.
    void ChooseSources(const fs::path& folder, const std::wstring& typed)
    {
        Press(kSelectSource);
        const HWND chooser = Poll("the open chooser", [&] { return FindDialog(main_); });
        SetText(GetDlgItem(chooser, kChooserName), folder.wstring());
        SendMessageW(chooser, WM_COMMAND, IDOK, LPARAM(GetDlgItem(chooser, IDOK)));
        Choose(nullptr, typed);
    }

    // Presses `command` (when given), types the key in the key prompt and presses "開始(&X)".
    void EnterKey(std::wstring_view key, int command = 0)
    {
        if (command != 0) Press(command);
        const HWND prompt = NextDialog(L"キー入力");
        Type(GetDlgItem(prompt, kKeyEdit), key);
        CheckText(Text(prompt, kKeyEdit), key, "the typed key");
        Close(prompt, IDOK);
    }

    // The next dialog must be a message box with this title and text and one OK button; it is dismissed.
    void ExpectMessage(const wchar_t* title, std::wstring_view text)
    {
        const HWND box = NextDialog(title);
        CheckText(Text(box, kStatic), text, "message");
        Check(!GetDlgItem(box, IDCANCEL) && !GetDlgItem(box, IDYES), "more buttons than OK");
        Close(box, IDOK);
    }

    // No command is still running: the about box opens straight over the main window, alone.
    void ExpectIdle()
    {
        Press(kShowAbout);
        const HWND about = NextDialog(L"バージョン情報"), other = FindDialog(main_, about);
        Check(other == nullptr, "still open: " + (other ? Describe(other) : ""));
        Close(about, IDOK);
    }

    // Ends the program with "終了(&X)", or with `message` posted to the control `id` (0: the main window);
    // the exit code must be 2.
    void Exit(int id = IDCANCEL, UINT message = BM_CLICK, WPARAM wParam = 0)
    {
        Check(IsWindowEnabled(main_), "a dialog still disables the main window");
        PostMessageW(id != 0 ? Item(id) : main_, message, wParam, 0);
        DWORD code = 0;
        Check(WaitForSingleObject(process_.hProcess, 20000) == WAIT_OBJECT_0, "the program did not end");
        GetExitCodeProcess(process_.hProcess, &code);
        Check(code == 2, "exit code " + std::to_string(code) + ", expected 2");
    }

private:
    // A visible dialog of the program owned by `owner` (none: top level), other than `except`.
    HWND FindDialog(HWND owner, HWND except = nullptr, bool progressToo = false) const
    {
        for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"#32770", nullptr)) != nullptr;) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == process_.dwProcessId && w != except && IsWindowVisible(w) && GetWindow(w, GW_OWNER) == owner &&
                (progressToo || Text(w) != kProgressTitle))
                return w;
        }
        return nullptr;
    }

    // Ended here only after a failed scenario; it is our own child.
    struct CProcess : PROCESS_INFORMATION {
        ~CProcess()
        {
            if (hProcess == nullptr) return;
            if (WaitForSingleObject(hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(hProcess, 99);
            WaitForSingleObject(hProcess, 5000);
            CloseHandle(hThread);
            CloseHandle(hProcess);
        }
    } process_{};
    HWND main_ = nullptr;
};

}  // namespace quorvane::e2e
