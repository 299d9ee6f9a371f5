#include "app/about_dlg.h"

namespace quorvane::app {

bool CAboutDlg::ProcessMessage(HWND window, UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        CenterDialog(window, GetParent(window));
        result = TRUE;  // the platform puts the focus on O&K
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(LOWORD(wParam));
            result = 0;
            return true;
        }
        return false;
    default:
        return false;
    }
}

}  // namespace quorvane::app
