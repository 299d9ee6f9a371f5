#pragma once
#include <vector>

#include "app/dialog_impl.h"

namespace quorvane::app {

// The platform's explorer-style file chooser with the program's fixed
// settings; the hook window is bound like any dialog of the program.
template <class T, class TBase = CWindow>
class CFileDialogImpl : public CDialogImplBaseT<TBase> {
};

class CFileDialog : public CFileDialogImpl<CFileDialog> {
public:
    // Room for many chosen names: folder and names come back in one buffer.
    static constexpr std::size_t kOpenNameUnits = 32768;
    // Memory behind the open chooser's buffer that it is not told about. Wine 8
    // copies a multi-selection whole even past nMaxFile instead of failing with
    // FNERR_BUFFERTOOSMALL; this absorbs such a write, and ShowModal turns it
    // into that failure.
    static constexpr std::size_t kOpenSlackUnits = 1 << 18;
    // One full path and its terminator.
    static constexpr std::size_t kSaveNameUnits = 260;
    static constexpr std::size_t kTitleUnits = 256;

    // The open chooser (several files may be chosen) or the save chooser
    // (asks before an existing file is accepted). Nothing is shown yet.
    explicit CFileDialog(bool openFileDialog);

    // IDOK when the user confirmed a choice, IDCANCEL otherwise. The first
    // owner given stays for later calls on the same object.
    INT_PTR ShowModal(HWND owner);

    // The name buffer: an initial name goes in before ShowModal, the result comes out after IDOK.
    wchar_t* NameBuffer() noexcept { return name_.data(); }
    // The units the chooser may fill, terminators included.
    std::size_t NameCapacity() const noexcept { return m_ofn.nMaxFile; }
    // Why the last ShowModal gave IDCANCEL: 0 for the user's own cancel.
    DWORD ExtendedError() const noexcept { return extendedError_; }

    // Whether the platform predates the full settings record.
    static bool IsOldPlatform();

    // The chooser's hook window gets the platform's default handling throughout.
    bool ProcessMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    OPENFILENAMEW m_ofn{};

private:
    bool openFileDialog_;
    std::vector<wchar_t> name_;
    std::vector<wchar_t> title_;
    DWORD extendedError_ = 0;
};

}  // namespace quorvane::app
