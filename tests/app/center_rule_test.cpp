#include <gtest/gtest.h>

#include "app/logic/center_rule.h"

namespace quorvane::app {
namespace {

constexpr ScreenRect kWorkArea{0, 0, 1024, 738};

TEST(CenterRule, places_dialogs_as_designed)
{
    struct Row {
        const char* what;
        ScreenRect reference;
        ScreenRect area;
        int width, height;
        ScreenPoint expected;
    };
    const Row rows[] = {
        {"centred on the owner", {100, 100, 500, 300}, kWorkArea, 200, 100, {200, 150}},
        {"centred on the work area", kWorkArea, kWorkArea, 500, 200, {262, 269}},
        {"odd sizes: each half truncates", {0, 0, 101, 51}, kWorkArea, 31, 11, {35, 20}},
        {"overhanging right and bottom is pulled in", {900, 650, 1024, 738}, kWorkArea, 300, 200, {724, 538}},
        {"overhanging left and top is pushed in", {-50, -40, 50, 40}, kWorkArea, 300, 200, {0, 0}},
        {"larger than the area lines up with its left and top", kWorkArea, kWorkArea, 1500, 900, {0, 0}},
        {"larger than an offset area lines up with it too",
         {100, 50, 400, 250},
         {100, 50, 400, 250},
         800,
         600,
         {100, 50}},
        // The halves truncate toward zero: (-3 + 0) / 2 is -1, not -2.
        {"negative coordinates truncate toward zero", {-3, -3, 0, 0}, {-2000, -2000, 2000, 2000}, 3, 3, {-2, -2}},
        {"an area on a second screen to the left", {-1280, 0, 0, 1024}, {-1280, 0, 0, 1024}, 400, 300, {-840, 362}},
    };
    for (const Row& row : rows) {
        const ScreenPoint at = CenterWithin(row.reference, row.area, row.width, row.height);
        EXPECT_EQ(at.x, row.expected.x) << row.what;
        EXPECT_EQ(at.y, row.expected.y) << row.what;
    }
}

TEST(CenterRule, hidden_or_minimised_owner_gives_way_to_the_work_area)
{
    const ScreenRect owner{10, 10, 210, 110};
    struct Row {
        const char* what;
        bool hasOwner;
        unsigned long style;
        bool usesOwner;
    };
    const Row rows[] = {
        {"visible owner", true, kStyleVisible | 0x00C00000UL, true},
        {"hidden owner", true, 0x00C00000UL, false},
        {"minimised owner", true, kStyleVisible | kStyleMinimized, false},
        {"no owner", false, kStyleVisible, false},
    };
    for (const Row& row : rows) {
        const ScreenRect r = CentreReference(row.hasOwner, row.style, owner, kWorkArea);
        const ScreenRect& expected = row.usesOwner ? owner : kWorkArea;
        EXPECT_TRUE(r.left == expected.left && r.top == expected.top && r.right == expected.right &&
                    r.bottom == expected.bottom)
            << row.what;
    }
    // A dialog over a hidden owner in a corner lands in the middle of the screen.
    const ScreenPoint at = CenterWithin(CentreReference(true, 0, {0, 0, 20, 20}, kWorkArea), kWorkArea, 100, 100);
    EXPECT_EQ(at.x, 462);
    EXPECT_EQ(at.y, 319);
}

}  // namespace
}  // namespace quorvane::app
