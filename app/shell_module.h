#pragma once
#include "app/logic/thread_tables.h"
#include "app/win32.h"

namespace quorvane::app {

class CMessageLoop;
class CWindow;
template <class TBase>
class CDialogImplBaseT;
using CDialogImplBase = CDialogImplBaseT<CWindow>;

// The process-wide state of the window program: its instance handle, the loop
// of each thread and the dialog objects waiting for their first message.
class CShellModule {
public:
    void Init(HINSTANCE instance) noexcept { instance_ = instance; }
    void Term() noexcept { loops_.Clear(); }
    HINSTANCE Instance() const noexcept { return instance_; }

    // Throws std::bad_alloc when the entry can't be made.
    void RegisterLoop(CMessageLoop* loop) { loops_.Register(loop); }
    bool UnregisterLoop() { return loops_.Unregister(); }
    CMessageLoop* LoopForThread() const { return loops_.ForCurrentThread(); }

    // False, with ERROR_OUTOFMEMORY set, when the entry can't be made.
    bool AddPendingBinding(CDialogImplBase* dialog) noexcept;
    CDialogImplBase* TakePendingBinding() { return pending_.TakeForCurrentThread(); }
    void WithdrawPendingBinding(CDialogImplBase* dialog) { pending_.Withdraw(dialog); }

private:
    HINSTANCE instance_ = nullptr;
    CLoopRegistry<CMessageLoop> loops_;
    CPendingBindings<CDialogImplBase> pending_;
};

CShellModule& Module() noexcept;

}  // namespace quorvane::app
