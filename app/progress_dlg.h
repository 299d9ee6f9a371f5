#pragma once
#include <string>

#include "app/dialog_impl.h"
#include "app/logic/pass_progress.h"
#include "res/resource.h"

namespace quorvane::app {

// The progress of one long pass: the action, the file's name, a bar and "中止".
// "中止", Escape and the close box only ask the pass to stop; whoever runs the
// pass destroys the dialog when the pass has ended.
class CProgressDlg : public CDialogImpl<CProgressDlg> {
public:
    enum { IDD = IDD_PROGRESS };

    CProgressDlg(const wchar_t* action, std::wstring fileName, CPassProgress& progress)
        : action_(action), fileName_(std::move(fileName)), progress_(progress)
    {
    }

    bool ProcessMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    // Moves the bar to where the pass has got.
    void ShowPosition() noexcept;

private:
    const wchar_t* action_;
    std::wstring fileName_;
    CPassProgress& progress_;
};

}  // namespace quorvane::app
