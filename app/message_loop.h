#pragma once
#include "app/logic/message_loop_core.h"
#include "app/win32.h"

namespace quorvane::app {

using CMessageFilter = CMessageFilterT<MSG>;

// The program's one loop, on the platform's queue of the calling thread.
class CMessageLoop : public CMessageLoopT<MSG> {
public:
    // Runs until the quit message and returns its value.
    int RunLoop();
};

}  // namespace quorvane::app
