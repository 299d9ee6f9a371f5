#include "app/main_dlg.h"

#include <new>
#include <string>
#include <vector>

#include "app/about_dlg.h"
#include "app/app_messages.h"
#include "app/file_dialog.h"
#include "app/key_input_dlg.h"
#include "app/logic/chooser_result.h"
#include "app/logic/dropped_files.h"
#include "app/pass_runner.h"
#include "jobs/file_jobs.h"
#include "jobs/job_messages.h"

namespace quorvane::app {

namespace {

std::wstring Wide(std::u16string_view text)
{
    return std::wstring(text.begin(), text.end());
}

HICON LoadAppIcon(int widthMetric, int heightMetric)
{
    return static_cast<HICON>(LoadImageW(Module().Instance(), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric),
                                         LR_DEFAULTCOLOR));
}

}  // namespace

CMainDlg::~CMainDlg()
{
    // The icons are our own copies (not shared); the window that showed them is gone by now.
    if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
    if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
}

bool CMainDlg::ProcessMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        result = OnInitDialog();
        return true;
    case WM_DESTROY:
        result = OnDestroy();
        return true;
    case WM_DROPFILES:
        result = Defer(message, wParam, lParam) ? 0 : OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return true;
    case WM_COMMAND:
        // Matched on the id alone, whatever the notification code.
        switch (LOWORD(wParam)) {
        case ID_SHOW_ABOUT:
        case ID_SELECT_SOURCE:
        case ID_ENCRYPT:
        case ID_DECRYPT:
        case IDCANCEL:
            result = Defer(message, wParam, lParam) ? 0 : OnCommand(LOWORD(wParam));
            return true;
        default:
            return false;
        }
    default:
        return false;
    }
}

bool CMainDlg::Defer(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The window is disabled while a command runs, but a posted command or drop still arrives, inside the
    // running command's loops: it would start a second job within the first, or change the list under it.
    // It waits, as it did in the queue when the work held this thread, and comes again at the end.
    if (!commandRunning_) return false;
    deferred_.push_back({message, wParam, lParam});
    return true;
}

LRESULT CMainDlg::OnCommand(int id)
{
    // Whichever way the command ends, what waited for it comes again.
    struct CRunning {
        CMainDlg& window;
        explicit CRunning(CMainDlg& self) : window(self) { window.commandRunning_ = true; }
        ~CRunning()
        {
            window.commandRunning_ = false;
            for (const DeferredMessage& m : window.deferred_)
                PostMessageW(window.m_hWnd, m.message, m.wParam, m.lParam);
            window.deferred_.clear();
        }
    } running(*this);
    switch (id) {
    case ID_SHOW_ABOUT:
        return OnShowAbout();
    case ID_SELECT_SOURCE:
        return OnSelectSource();
    case ID_ENCRYPT:
        return OnEncrypt();
    case ID_DECRYPT:
        return OnDecrypt();
    default:
        return OnExit();
    }
}

bool CMainDlg::FilterMessage(MSG* message)
{
    return IsDialogMessageW(m_hWnd, message) != FALSE;
}

bool CMainDlg::HandleIdle()
{
    return false;
}

LRESULT CMainDlg::OnInitDialog()
{
    CenterDialog(m_hWnd);
    bigIcon_ = LoadAppIcon(SM_CXICON, SM_CYICON);
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    smallIcon_ = LoadAppIcon(SM_CXSMICON, SM_CYSMICON);
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

    if (CMessageLoop* loop = Module().LoopForThread()) {
        loop->RegisterFilter(this);
        loop->RegisterIdleHandler(this);
    }
    DragAcceptFiles(m_hWnd, TRUE);
    return TRUE;  // the platform focuses the first tab stop, "元ファイル"
}

LRESULT CMainDlg::OnDestroy()
{
    if (CMessageLoop* loop = Module().LoopForThread()) {
        loop->UnregisterFilter(this);
        loop->UnregisterIdleHandler(this);
    }
    return 0;
}

LRESULT CMainDlg::OnShowAbout()
{
    CAboutDlg about;
    about.ShowModal(GetActiveWindow(), 0);  // neither its ending value nor a failure to show matters
    return 0;
}

LRESULT CMainDlg::OnSelectSource()
{
    CFileDialog chooser(true);
    for (;;) {
        if (chooser.ShowModal(GetActiveWindow()) != IDOK) {
            // A selection too long even for the large buffer is not a cancel; say so.
            if (chooser.ExtendedError() == FNERR_BUFFERTOOSMALL)
                Notify(messages::kTooManyFiles, Wide(quorvane::messages::kTitleNotice).c_str());
            return 0;
        }
        ClearSourceList();
        const auto segments = SplitChooserResult(chooser.NameBuffer(), chooser.NameCapacity());
        if (segments.empty()) {
            Notify(Wide(quorvane::messages::kNoFiles).c_str(), Wide(quorvane::messages::kTitleNotice).c_str());
            continue;  // the same chooser again; the list stays empty if it is now cancelled
        }
        const HWND list = Item(IDC_FILE_LIST);
        for (const std::wstring& path : JoinChosenPaths(segments))
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
        return 0;
    }
}

LRESULT CMainDlg::OnEncrypt()
{
    return RunEncryptJob(*this);
}

LRESULT CMainDlg::OnDecrypt()
{
    return RunDecryptJob(*this);
}

LRESULT CMainDlg::OnExit()
{
    DestroyWindow(m_hWnd);
    PostQuitMessage(2);
    return 0;
}

LRESULT CMainDlg::OnDropFiles(HDROP drop)
{
    std::vector<std::wstring> paths;
    try {
        paths = SelectDroppedFiles(
            DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0),
            [&](std::size_t i) { return std::size_t(DragQueryFileW(drop, UINT(i), nullptr, 0)); },
            [&](std::size_t i) {
                std::wstring path(DragQueryFileW(drop, UINT(i), nullptr, 0) + 1, L'\0');
                path.resize(DragQueryFileW(drop, UINT(i), path.data(), UINT(path.size())));
                return path;
            },
            [](const std::wstring& path) {
                const DWORD attributes = GetFileAttributesW(path.c_str());
                return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            });
    } catch (...) {
        paths.clear();  // no memory for the paths: the list stays as it was
    }
    DragFinish(drop);
    if (paths.empty()) return 0;
    ClearSourceList();
    const HWND list = Item(IDC_FILE_LIST);
    for (const std::wstring& path : paths) SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
    return 0;
}

void CMainDlg::ClearSourceList()
{
    const HWND list = Item(IDC_FILE_LIST);
    // From the last entry to the first; stops on an error as well as on empty.
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    while (count > 0) count = SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(count - 1), 0);
}

void CMainDlg::Notify(const wchar_t* text, const wchar_t* title)
{
    MessageBoxW(m_hWnd, text, title, MB_OK);
}

int CMainDlg::GetSourceCount()
{
    return static_cast<int>(SendMessageW(Item(IDC_FILE_LIST), LB_GETCOUNT, 0, 0));
}

std::u16string CMainDlg::GetSourceEntry(int index)
{
    const HWND list = Item(IDC_FILE_LIST);
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR || length < 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    if (copied == LB_ERR || copied < 0) return {};
    return std::u16string(text.begin(), text.begin() + std::min<LRESULT>(copied, length));
}

int CMainDlg::PromptKey(CSecureText& keyText)
{
    CKeyInputDlg prompt;
    const int result = static_cast<int>(prompt.ShowModal(GetActiveWindow(), 0));
    // The jobs report an allocation failure as the lack of memory it is; a
    // capture that ran out of it must not pass for the user's cancel.
    if (prompt.CaptureFailed()) throw std::bad_alloc();
    keyText.Assign(prompt.KeyText.Text());
    return result;
}

int CMainDlg::ChooseSavePath(std::u16string_view proposedName, std::u16string& chosenPath)
{
    CFileDialog chooser(false);
    // The jobs propose at most 259 units; anything longer is not offered rather than cut.
    if (!proposedName.empty() && proposedName.size() < chooser.NameCapacity()) {
        wchar_t* name = chooser.NameBuffer();
        std::copy(proposedName.begin(), proposedName.end(), name);
        name[proposedName.size()] = L'\0';
    }
    if (chooser.ShowModal(GetActiveWindow()) != IDOK) return kResultCancel;
    const wchar_t* name = chooser.NameBuffer();
    std::size_t length = 0;
    while (length < chooser.NameCapacity() && name[length] != L'\0') ++length;
    chosenPath.assign(name, name + length);
    return kResultOk;
}

void CMainDlg::ShowMessage(std::u16string_view text, std::u16string_view title)
{
    Notify(Wide(text).c_str(), Wide(title).c_str());
}

void CMainDlg::RunPass(PassAction action, std::u16string_view fileName, std::uint64_t total,
                       const std::function<void(CPassMonitor&)>& work)
{
    RunPassInWindow(m_hWnd, action == PassAction::encrypt ? messages::kEncrypting : messages::kDecrypting, fileName,
                    total, work);
}

}  // namespace quorvane::app
