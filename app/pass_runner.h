#pragma once
#include <cstdint>
#include <functional>
#include <string_view>

#include "app/win32.h"
#include "jobs/job_window.h"

namespace quorvane::app {

// Runs one long pass on a thread of its own while this thread, the window's,
// keeps answering its messages. `owner` is disabled for the pass, as under a
// modal dialog; a pass still running after half a second shows its progress in
// a dialog owned by `owner`, whose "中止" asks the pass to stop. Returns when the
// pass has ended; an exception from the pass comes out here, on this thread.
void RunPassInWindow(HWND owner, const wchar_t* action, std::u16string_view fileName, std::uint64_t total,
                     const std::function<void(CPassMonitor&)>& work);

}  // namespace quorvane::app
