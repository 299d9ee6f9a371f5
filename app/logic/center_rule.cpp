#include "app/logic/center_rule.h"

namespace quorvane::app {

namespace {

// Centres one axis and clamps it; 64-bit so far-off coordinates cannot overflow.
int PlaceAxis(int refLow, int refHigh, int areaLow, int areaHigh, int size)
{
    // Integer division truncates toward zero, also for negative coordinates.
    long long low = (static_cast<long long>(refLow) + refHigh) / 2 - size / 2;
    if (low < areaLow)
        low = areaLow;
    else if (low + size > areaHigh)
        low = static_cast<long long>(areaHigh) - size;
    return static_cast<int>(low);
}

}  // namespace

ScreenPoint CenterWithin(const ScreenRect& reference, const ScreenRect& area, int width, int height)
{
    return {PlaceAxis(reference.left, reference.right, area.left, area.right, width),
            PlaceAxis(reference.top, reference.bottom, area.top, area.bottom, height)};
}

}  // namespace quorvane::app
