#include "app/file_dialog.h"

#include <algorithm>
#include <cstddef>

#include "app/logic/chooser_result.h"
#include "app/logic/version_rule.h"

namespace quorvane::app {

namespace {

constexpr DWORD kOpenFlags = OFN_HIDEREADONLY | OFN_ENABLEHOOK | OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_ENABLESIZING;
constexpr DWORD kSaveFlags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_ENABLEHOOK | OFN_EXPLORER | OFN_ENABLESIZING;
static_assert(kOpenFlags == 0x880224 && kSaveFlags == 0x880026);
static_assert(sizeof(OPENFILENAMEW) == kFullChooserRecordSize &&
              offsetof(OPENFILENAMEW, pvReserved) == kOldChooserRecordSize);

}  // namespace

CFileDialog::CFileDialog(bool openFileDialog)
    : openFileDialog_(openFileDialog),
      name_(openFileDialog ? kOpenNameUnits + kOpenSlackUnits : kSaveNameUnits, L'\0'),
      title_(kTitleUnits, L'\0')
{
    m_ofn.lStructSize = ChooserRecordSize(IsOldPlatform());
    m_ofn.hwndOwner = nullptr;
    m_ofn.hInstance = Module().Instance();
    m_ofn.lpstrFile = name_.data();
    m_ofn.nMaxFile = static_cast<DWORD>(openFileDialog ? kOpenNameUnits : kSaveNameUnits);
    m_ofn.lpstrFileTitle = title_.data();
    m_ofn.nMaxFileTitle = static_cast<DWORD>(title_.size());
    m_ofn.Flags = openFileDialog ? kOpenFlags : kSaveFlags;
    m_ofn.lpfnHook = reinterpret_cast<LPOFNHOOKPROC>(&StartDialogProc);
}

INT_PTR CFileDialog::ShowModal(HWND owner)
{
    if (m_ofn.hwndOwner == nullptr) m_ofn.hwndOwner = owner;
    extendedError_ = 0;
    // Without a pending entry the hook window could not be bound; that counts as a failed chooser.
    if (!PrepareBinding()) return IDCANCEL;
    BOOL chosen = openFileDialog_ ? GetOpenFileNameW(&m_ofn) : GetSaveFileNameW(&m_ofn);
    if (!chosen) {
        extendedError_ = CommDlgExtendedError();
    } else if (openFileDialog_ ? !ChooserRunFits(name_.data(), m_ofn.nMaxFile)
                               : std::find(name_.begin(), name_.end(), L'\0') == name_.end()) {
        // More than the chooser was allowed to write: the same failure as when it says so itself.
        // The save chooser's result is one path and its NUL: a 259-unit path fills the buffer
        // exactly, and what follows the NUL may be the tail of a longer proposal.
        extendedError_ = FNERR_BUFFERTOOSMALL;
        chosen = FALSE;
    }
    WithdrawBinding();
    m_hWnd = nullptr;
    return chosen ? IDOK : IDCANCEL;
}

bool CFileDialog::IsOldPlatform()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    static_assert(sizeof(OSVERSIONINFOW) == 276);
    const bool queried = GetVersionExW(&info) != FALSE;
    return IsOldVersion(queried, info.dwMajorVersion, info.dwMinorVersion);
}

bool CFileDialog::ProcessMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

}  // namespace quorvane::app
