// The window program's rules that need no window: the chooser's result and placing a dialog.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/logic/center_rule.h"
#include "app/logic/chooser_result.h"

namespace quorvane::app {
namespace {

using namespace std::string_literals;
using Paths = std::vector<std::u16string>;

TEST(ChooserResult, gives_full_paths_in_the_choosers_order_when_it_fits_its_limit)
{
    const std::tuple<std::u16string, Paths, std::size_t> rows[] = {
        {u"C:\\work\\report.txt\0\0"s, {u"C:\\work\\report.txt"}, 20},
        {u"C:\\w\0b.bin\0データ①.txt\0a.txt\0\0"s, {u"C:\\w\\b.bin", u"C:\\w\\データ①.txt", u"C:\\w\\a.txt"}, 27},
        {u"C:\\\0a.txt\0b.txt\0\0"s, {u"C:\\\\a.txt", u"C:\\\\b.txt"}, 17},  // a backslash, whatever ends the folder
        {u"\0\0"s, {}, 1},
        {u"C:\\x.txt\0\0C:\\stale\0old.txt\0\0"s, {u"C:\\x.txt"}, 10},       // nothing after the closing NUL counts
        {u"C:\\dir\0a.txt\0b.t"s, {u"C:\\dir\\a.txt", u"C:\\dir\\b.t"}, 0},  // no closing NUL: the buffer's end is one
    };
    for (const auto& [run, paths, fitsFrom] : rows) {
        EXPECT_EQ(JoinChosenPaths(SplitChooserResult(run.data(), run.size())), paths);
        // The closing NUL must lie within the units the chooser was given, and not one more.
        EXPECT_EQ(ChooserRunFits(run.data(), fitsFrom), fitsFrom > 0) << fitsFrom;
        EXPECT_FALSE(fitsFrom > 0 && ChooserRunFits(run.data(), fitsFrom - 1)) << fitsFrom;
    }
}

TEST(CenterRule, centres_on_the_reference_and_keeps_inside_the_work_area)
{
    const ScreenRect area{0, 0, 1024, 738};
    const std::tuple<ScreenRect, int, int, ScreenPoint> rows[] = {
        {{100, 100, 500, 300}, 200, 100, {200, 150}},
        {{0, 0, 101, 51}, 31, 11, {35, 20}},  // halves truncate
        {{900, 650, 1024, 738}, 300, 200, {724, 538}},
        {{-50, -40, 50, 40}, 300, 200, {0, 0}},
        {area, 1500, 900, {0, 0}},  // larger than the area: its left and top edges win
    };
    for (const auto& [reference, width, height, at] : rows) {
        const ScreenPoint got = CenterWithin(reference, area, width, height);
        EXPECT_TRUE(got.x == at.x && got.y == at.y) << got.x << "," << got.y;
    }
    for (const unsigned long hiddenOrMinimised : {0x00C00000UL, kStyleVisible | kStyleMinimized})
        EXPECT_EQ(CentreReference(true, hiddenOrMinimised, {1, 1, 9, 9}, area).right, 1024);
}

}  // namespace
}  // namespace quorvane::app
