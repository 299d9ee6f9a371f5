#include "app/message_loop.h"

namespace quorvane::app {

namespace {

struct CThreadQueue {
    bool IsEmpty()
    {
        MSG peeked;
        return !PeekMessageW(&peeked, nullptr, 0, 0, PM_NOREMOVE);
    }
    int Get(MSG& message)
    {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        return got == -1 ? -1 : (got == 0 ? 0 : 1);
    }
    void TranslateAndDispatch(MSG& message)
    {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    static unsigned Id(const MSG& message) { return message.message; }
    static int ExitCode(const MSG& message) { return static_cast<int>(message.wParam); }
};

}  // namespace

int CMessageLoop::RunLoop()
{
    CThreadQueue queue;
    return RunWith(queue);
}

}  // namespace quorvane::app
