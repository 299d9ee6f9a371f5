#include "app/progress_dlg.h"

namespace quorvane::app {

bool CProgressDlg::ProcessMessage(HWND window, UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        CenterDialog(window, GetParent(window));
        SetDlgItemTextW(window, IDC_PROGRESS_ACTION, action_);
        SetDlgItemTextW(window, IDC_PROGRESS_NAME, fileName_.c_str());
        SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, kProgressRange);
        ShowPosition();
        result = TRUE;  // the platform puts the focus on "中止"
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL) return false;
        progress_.RequestStop();
        // Greyed, it says the stop was taken; the dialog goes when the pass has ended, at its next chunk.
        EnableWindow(GetDlgItem(window, IDCANCEL), FALSE);
        result = 0;
        return true;
    default:
        return false;
    }
}

void CProgressDlg::ShowPosition() noexcept
{
    if (m_hWnd != nullptr) SendDlgItemMessageW(m_hWnd, IDC_PROGRESS_BAR, PBM_SETPOS, progress_.Position(), 0);
}

}  // namespace quorvane::app
