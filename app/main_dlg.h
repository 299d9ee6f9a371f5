#pragma once
#include <vector>

#include "app/dialog_impl.h"
#include "app/message_loop.h"
#include "jobs/job_window.h"
#include "res/resource.h"

namespace quorvane::app {

// The program's main window: the source file list and its five commands. It
// is also the window the jobs work through.
class CMainDlg : public CDialogImpl<CMainDlg>, public CMessageFilter, public CIdleHandler, public CJobWindow {
public:
    enum { IDD = IDD_MAIN };

    CMainDlg() = default;
    ~CMainDlg() override;

    bool ProcessMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool FilterMessage(MSG* message) override;
    bool HandleIdle() override;

    // CJobWindow, on the list box and the platform's dialogs.
    int GetSourceCount() override;
    std::u16string GetSourceEntry(int index) override;
    int PromptKey(CSecureText& keyText) override;
    int ChooseSavePath(std::u16string_view proposedName, std::u16string& chosenPath) override;
    void ShowMessage(std::u16string_view text, std::u16string_view title) override;
    void RunPass(PassAction action, std::u16string_view fileName, std::uint64_t total,
                 const std::function<void(CPassMonitor&)>& work) override;

private:
    LRESULT OnInitDialog();
    LRESULT OnDestroy();
    LRESULT OnShowAbout();
    LRESULT OnSelectSource();
    LRESULT OnEncrypt();
    LRESULT OnDecrypt();
    LRESULT OnExit();
    LRESULT OnDropFiles(HDROP drop);
    LRESULT OnCommand(int id);
    bool Defer(UINT message, WPARAM wParam, LPARAM lParam);

    void ClearSourceList();
    void Notify(const wchar_t* text, const wchar_t* title);

    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    bool commandRunning_ = false;
    struct DeferredMessage {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<DeferredMessage> deferred_;  // commands and drops that came while a command ran
};

}  // namespace quorvane::app
