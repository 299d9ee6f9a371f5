#pragma once
// Where a dialog goes when it is centred: plain arithmetic, kept apart from the
// window calls so it can be checked on any machine.

namespace quorvane::app {

struct ScreenRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct ScreenPoint {
    int x = 0;
    int y = 0;
};

// Style bits of the window a dialog would be centred on.
constexpr unsigned long kStyleVisible = 0x10000000UL;    // WS_VISIBLE
constexpr unsigned long kStyleMinimized = 0x20000000UL;  // WS_MINIMIZE

// A hidden or minimised owner has no useful place on screen; centre on the work area instead.
constexpr bool IsUsableCentre(unsigned long style)
{
    return (style & kStyleVisible) != 0 && (style & kStyleMinimized) == 0;
}

// The rectangle a top-level dialog is centred on: its centre-on window's, or
// the work area when there is none or it is hidden or minimised.
constexpr ScreenRect CentreReference(bool hasCentreOn, unsigned long centreOnStyle, const ScreenRect& centreOnRect,
                                     const ScreenRect& workArea)
{
    return hasCentreOn && IsUsableCentre(centreOnStyle) ? centreOnRect : workArea;
}

// The top-left corner of a dialog of the given outer size: centred on
// `reference`, then moved inside `area`. When it cannot fit, the test against
// the left (top) edge wins, so it lines up with the area's left (top) edge.
ScreenPoint CenterWithin(const ScreenRect& reference, const ScreenRect& area, int width, int height);

}  // namespace quorvane::app
