#pragma once
#include "app/dialog_impl.h"
#include "cipher/secure_memory.h"
#include "res/resource.h"

namespace quorvane::app {

// Asks for the key. Whichever button ends it, the field's whole text is
// captured into KeyText, which is wiped when the object goes.
class CKeyInputDlg : public CDialogImpl<CKeyInputDlg> {
public:
    enum { IDD = IDD_KEY_INPUT };

    CSecureText KeyText;

    // True when the dialog ended but its text could not be captured (no memory for it).
    bool CaptureFailed() const noexcept { return captureFailed_; }

    bool ProcessMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void CaptureKeyText();

    bool captureFailed_ = false;
};

}  // namespace quorvane::app
