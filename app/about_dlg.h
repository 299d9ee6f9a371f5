#pragma once
#include "app/dialog_impl.h"
#include "res/resource.h"

namespace quorvane::app {

// The version box: centred on its owner, ended by O&K or Escape.
class CAboutDlg : public CDialogImpl<CAboutDlg> {
public:
    enum { IDD = IDD_ABOUT };

    bool ProcessMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

}  // namespace quorvane::app
