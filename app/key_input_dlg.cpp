#include "app/key_input_dlg.h"

#include <string>
#include <vector>

namespace quorvane::app {

namespace {

// A wide buffer for secret text, wiped before its memory is released.
class CWipedWideBuffer {
public:
    explicit CWipedWideBuffer(std::size_t units) : units_(units) {}
    ~CWipedWideBuffer() { SecureWipe(units_.data(), units_.size() * sizeof(wchar_t)); }
    CWipedWideBuffer(const CWipedWideBuffer&) = delete;
    CWipedWideBuffer& operator=(const CWipedWideBuffer&) = delete;
    wchar_t* Data() noexcept { return units_.data(); }

private:
    std::vector<wchar_t> units_;
};

}  // namespace

bool CKeyInputDlg::ProcessMessage(HWND window, UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        CenterDialog(window, GetParent(window));
        result = TRUE;  // the platform puts the focus on the first tab stop, the key field
        return true;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id != IDOK && id != IDCANCEL) return false;
        try {
            CaptureKeyText();
        } catch (...) {
            // No exception crosses the dialog procedure: the caller learns of it
            // from CaptureFailed, and no half-captured key is left behind.
            KeyText.Assign(std::u16string_view());
            captureFailed_ = true;
        }
        EndDialog(id);
        result = 0;
        return true;
    }
    default:
        return false;
    }
}

void CKeyInputDlg::CaptureKeyText()
{
    const HWND field = Item(IDC_KEY_EDIT);
    const int length = GetWindowTextLengthW(field);
    if (length <= 0) {
        KeyText.Assign(std::u16string_view());
        return;
    }
    CWipedWideBuffer buffer(static_cast<std::size_t>(length) + 1);
    const int copied = GetWindowTextW(field, buffer.Data(), length + 1);
    std::u16string text(buffer.Data(), buffer.Data() + (copied > 0 ? copied : 0));
    try {
        KeyText.Assign(text);
    } catch (...) {
        WipeString(text);
        throw;
    }
    WipeString(text);
}

}  // namespace quorvane::app
