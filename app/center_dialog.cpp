#include "app/dialog_impl.h"
#include "app/logic/center_rule.h"

namespace quorvane::app {

namespace {

ScreenRect ToScreenRect(const RECT& r)
{
    return {r.left, r.top, r.right, r.bottom};
}

}  // namespace

void CenterDialog(HWND dialog, HWND centreOn)
{
    const LONG style = GetWindowLongW(dialog, GWL_STYLE);
    const bool child = (style & WS_CHILD) != 0;
    if (centreOn == nullptr) centreOn = child ? GetParent(dialog) : GetWindow(dialog, GW_OWNER);

    RECT area{};
    RECT reference{};
    ScreenRect referenceRect{};
    if (!child) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        unsigned long centreStyle = 0;
        if (centreOn != nullptr) {
            centreStyle = static_cast<unsigned long>(GetWindowLongW(centreOn, GWL_STYLE));
            GetWindowRect(centreOn, &reference);
        }
        referenceRect = CentreReference(centreOn != nullptr, centreStyle, ToScreenRect(reference), ToScreenRect(area));
    } else {
        const HWND parent = GetParent(dialog);
        GetClientRect(parent, &area);
        if (centreOn == nullptr) centreOn = parent;
        GetClientRect(centreOn, &reference);
        MapWindowPoints(centreOn, parent, reinterpret_cast<POINT*>(&reference), 2);
        referenceRect = ToScreenRect(reference);
    }

    RECT own{};
    GetWindowRect(dialog, &own);
    const ScreenPoint at = CenterWithin(referenceRect, ToScreenRect(area), own.right - own.left, own.bottom - own.top);
    SetWindowPos(dialog, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace quorvane::app
