#pragma once
// How the shared dialog dispatcher hands a handled message's result back.

namespace quorvane::app {

// These messages take their answer as the dialog procedure's own return
// value; every other handled message answers through the window's
// message-result slot while the procedure returns TRUE.
constexpr bool ReturnsResultDirectly(unsigned message)
{
    return message == 0x0110                             // WM_INITDIALOG
           || message == 0x0039                          // WM_COMPAREITEM
           || message == 0x002E                          // WM_VKEYTOITEM
           || message == 0x002F                          // WM_CHARTOITEM
           || message == 0x0037                          // WM_QUERYDRAGICON
           || (message >= 0x0132 && message <= 0x0138);  // WM_CTLCOLORMSGBOX .. WM_CTLCOLORSTATIC
}

}  // namespace quorvane::app
