#pragma once
// The program's small dialog framework: a dialog object is bound to its
// platform window from the window's very first message on, and every message
// reaches the object's message map through one shared dispatcher.
#include "app/logic/dialog_rules.h"
#include "app/shell_module.h"
#include "app/win32.h"

namespace quorvane::app {

// A platform window handle, none until the object is bound.
class CWindow {
public:
    HWND m_hWnd = nullptr;

    HWND Handle() const noexcept { return m_hWnd; }
    HWND Item(int id) const noexcept { return GetDlgItem(m_hWnd, id); }
};

class CMessageMap {
public:
    virtual ~CMessageMap() = default;
    // True when the message was handled; `result` is then its answer.
    virtual bool ProcessMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
};

template <class TBase = CWindow>
class CWindowImplRoot : public TBase, public CMessageMap {
};

template <class TBase = CWindow>
class CDialogImplBaseT : public CWindowImplRoot<TBase> {
public:
    CDialogImplBaseT() = default;
    CDialogImplBaseT(const CDialogImplBaseT&) = delete;
    CDialogImplBaseT& operator=(const CDialogImplBaseT&) = delete;
    ~CDialogImplBaseT() override
    {
        Module().WithdrawPendingBinding(this);
        // A window that outlives its object must not reach freed memory.
        if (this->m_hWnd != nullptr && IsWindow(this->m_hWnd)) SetWindowLongPtrW(this->m_hWnd, DWLP_USER, 0);
    }

    virtual DLGPROC GetDialogProc() { return DispatchProc; }
    // Runs after the window's last message; no dialog of this program needs it.
    virtual void OnFinalMessage(HWND) {}

    // Given to the platform as the dialog procedure (or chooser hook) of a new
    // window: binds the newest pending object of this thread to the window,
    // makes the dispatcher the window's procedure and hands the message on.
    static INT_PTR CALLBACK StartDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        CDialogImplBaseT* self = nullptr;
        try {
            self = Module().TakePendingBinding();
        } catch (...) {
            self = nullptr;  // a lock that can't be taken: leave the window unbound rather than throw
        }
        if (self == nullptr) return FALSE;  // nothing to bind: the platform's default handling
        self->m_hWnd = window;
        SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        const DLGPROC dispatch = self->GetDialogProc();
        SetWindowLongPtrW(window, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(dispatch));
        return dispatch(window, message, wParam, lParam);
    }

    static INT_PTR CALLBACK DispatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<CDialogImplBaseT*>(GetWindowLongPtrW(window, DWLP_USER));
        if (self == nullptr) return FALSE;
        LRESULT result = 0;
        bool handled = false;
        try {
            handled = self->ProcessMessage(window, message, wParam, lParam, result);
        } catch (...) {
            handled = false;  // no exception crosses into the platform; it handles the message itself
        }
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(window, DWLP_USER, 0);
            self->m_hWnd = nullptr;
            self->OnFinalMessage(window);
        }
        if (!handled) return FALSE;
        if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
    }

protected:
    // Before the platform is asked for the window. False with ERROR_OUTOFMEMORY set.
    bool PrepareBinding() noexcept { return Module().AddPendingBinding(this); }
    // After the platform call: an entry no window took is dropped.
    void WithdrawBinding() noexcept { Module().WithdrawPendingBinding(this); }
};

// A dialog from template T::IDD whose messages go to T's message map.
template <class T, class TBase = CWindow>
class CDialogImpl : public CDialogImplBaseT<TBase> {
public:
    // The value that ended the dialog, or -1 when it could not be shown.
    INT_PTR ShowModal(HWND owner, LPARAM param = 0)
    {
        if (!this->PrepareBinding()) return -1;
        const INT_PTR result = DialogBoxParamW(Module().Instance(), MAKEINTRESOURCEW(T::IDD), owner,
                                               CDialogImplBaseT<TBase>::StartDialogProc, param);
        this->WithdrawBinding();
        return result;
    }

    // The new modeless window, or none.
    HWND CreateModeless(HWND owner, LPARAM param = 0)
    {
        if (!this->PrepareBinding()) return nullptr;
        const HWND window = CreateDialogParamW(Module().Instance(), MAKEINTRESOURCEW(T::IDD), owner,
                                               CDialogImplBaseT<TBase>::StartDialogProc, param);
        this->WithdrawBinding();
        return window;
    }

    BOOL EndDialog(int result) { return ::EndDialog(this->m_hWnd, result); }
};

// Centres `dialog` on `centreOn` (or, when none is given, its parent or owner),
// keeping it inside the work area.
void CenterDialog(HWND dialog, HWND centreOn = nullptr);

}  // namespace quorvane::app
