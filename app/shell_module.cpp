#include "app/shell_module.h"

#include <new>

namespace quorvane::app {

bool CShellModule::AddPendingBinding(CDialogImplBase* dialog) noexcept
{
    try {
        pending_.Push(dialog);
        return true;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return false;
    } catch (...) {
        // A lock that can't be taken is as fatal to the creation as no memory.
        SetLastError(ERROR_OUTOFMEMORY);
        return false;
    }
}

CShellModule& Module() noexcept
{
    static CShellModule module;
    return module;
}

}  // namespace quorvane::app
