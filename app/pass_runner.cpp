#include "app/pass_runner.h"

#include <exception>
#include <string>
#include <thread>

#include "app/progress_dlg.h"

namespace quorvane::app {

namespace {

class CEvent {
public:
    explicit CEvent(bool manualReset) noexcept : handle_(CreateEventW(nullptr, manualReset, FALSE, nullptr)) {}
    ~CEvent()
    {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;
    HANDLE Handle() const noexcept { return handle_; }

private:
    HANDLE handle_;
};

// The windows of one pass: the owner disabled, as a modal dialog leaves it, and
// the progress dialog once it is due. On the way out the owner is enabled before
// the dialog goes, so that it, not another program, becomes active again and
// gets its focus back.
class CPassWindows {
public:
    CPassWindows(HWND owner, CProgressDlg& dialog) noexcept
        : owner_(owner), dialog_(dialog), wasEnabled_(EnableWindow(owner, FALSE) == 0)
    {
    }
    ~CPassWindows()
    {
        if (wasEnabled_) EnableWindow(owner_, TRUE);
        if (dialog_.Handle() != nullptr) DestroyWindow(dialog_.Handle());
    }
    CPassWindows(const CPassWindows&) = delete;
    CPassWindows& operator=(const CPassWindows&) = delete;

    void ShowDialog() noexcept
    {
        if (dialog_.CreateModeless(owner_) != nullptr) ShowWindow(dialog_.Handle(), SW_SHOW);
    }

private:
    HWND owner_;
    CProgressDlg& dialog_;
    bool wasEnabled_;
};

// Handles every message waiting for this thread, the dialog's keys (Escape) through the dialog manager.
// A quit message is kept for when the pass has stopped, which it is asked to do at once.
void AnswerWaitingMessages(HWND dialog, CPassProgress& progress, bool& quit, int& quitCode) noexcept
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            quitCode = static_cast<int>(message.wParam);
            progress.RequestStop();
            continue;
        }
        if (dialog != nullptr && IsDialogMessageW(dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Answers this thread's messages until `finished` is set; shows the dialog when it is due.
void AnswerUntil(HANDLE finished, HANDLE moved, CPassWindows& windows, CProgressDlg& dialog,
                 CPassProgress& progress) noexcept
{
    const ULONGLONG start = GetTickCount64();
    bool due = true, quit = false;
    int quitCode = 0;
    for (;;) {
        DWORD wait = INFINITE;
        if (due) {
            const std::uint64_t left = ProgressDelayLeft(GetTickCount64() - start);
            if (left == 0) {
                due = false;
                if (WaitForSingleObject(finished, 0) != WAIT_OBJECT_0) windows.ShowDialog();
                continue;
            }
            wait = static_cast<DWORD>(left);
        }
        const HANDLE handles[] = {finished, moved};
        const DWORD woke = MsgWaitForMultipleObjectsEx(2, handles, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) break;
        if (woke == WAIT_OBJECT_0 + 1) dialog.ShowPosition();
        if (woke == WAIT_OBJECT_0 + 2) AnswerWaitingMessages(dialog.Handle(), progress, quit, quitCode);
        if (woke == WAIT_FAILED) Sleep(10);  // not expected; keeps the loop from spinning
    }
    if (quit) PostQuitMessage(quitCode);
}

}  // namespace

void RunPassInWindow(HWND owner, const wchar_t* action, std::u16string_view fileName, std::uint64_t total,
                     const std::function<void(CPassMonitor&)>& work)
{
    const CEvent finished(true), moved(false);
    CPassProgress progress(
        total, [](void* event) noexcept { SetEvent(static_cast<HANDLE>(event)); }, moved.Handle());
    CProgressDlg dialog(action, std::wstring(fileName.begin(), fileName.end()), progress);

    std::exception_ptr failure;
    std::thread worker;
    if (finished.Handle() != nullptr && moved.Handle() != nullptr) {
        try {
            worker = std::thread([&]() noexcept {
                try {
                    work(progress);
                } catch (...) {
                    failure = std::current_exception();  // handed to the job on the window's thread
                }
                SetEvent(finished.Handle());
            });
        } catch (...) {
            // No thread to be had: below, the pass runs here.
        }
    }
    if (!worker.joinable()) {
        // The window then waits for it, as it did before passes could show their progress.
        work(progress);
        return;
    }
    {
        CPassWindows windows(owner, dialog);
        AnswerUntil(finished.Handle(), moved.Handle(), windows, dialog, progress);
    }
    worker.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace quorvane::app
