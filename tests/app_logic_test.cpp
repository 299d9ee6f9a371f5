// The window program's rules that need no window: the chooser's result, placing a dialog, dropped
// files and a long pass's progress.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "app/logic/center_rule.h"
#include "app/logic/chooser_result.h"
#include "app/logic/dropped_files.h"
#include "app/logic/pass_progress.h"

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

TEST(DroppedFiles, keep_files_in_the_order_dropped_and_skip_folders_empty_and_too_long_paths)
{
    const std::u16string longest = u"C:\\" + std::u16string(kMaxListedPathUnits - 3, u'n');
    const std::tuple<Paths, std::vector<bool>, Paths> rows[] = {
        {{u"C:\\b.txt", u"C:\\dir", longest, longest + u"x", u"", u"C:\\a.txt"},
         {false, true, false, false, false, false},
         {u"C:\\b.txt", longest, u"C:\\a.txt"}},
        {{u"C:\\dir", longest + u"x"}, {true, false}, {}},  // nothing usable: the list stays as it was
        {{}, {}, {}},
    };
    for (const auto& [dropped, folders, kept] : rows) {
        const auto got = SelectDroppedFiles(
            dropped.size(), [&](std::size_t i) { return dropped[i].size(); },
            [&](std::size_t i) {
                // A path too long for the list would need a buffer past the list's limit: never fetched.
                if (dropped[i].size() > kMaxListedPathUnits) throw std::logic_error("fetched a path too long");
                return dropped[i];
            },
            [&](const std::u16string& path) {
                for (std::size_t i = 0; i < dropped.size(); ++i)
                    if (dropped[i] == path) return bool(folders[i]);
                throw std::logic_error("asked about a path not dropped");
            });
        EXPECT_EQ(got, kept);
    }
}

TEST(PassProgress, fills_the_bar_only_when_every_byte_is_through)
{
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    const std::tuple<std::uint64_t, std::uint64_t, int> rows[] = {
        {0, 100, 0},
        {1, 3, 333},
        {99, 100, 990},
        {999999, 1000000, 999},
        {100, 100, kProgressRange},
        {150, 100, 1000},
        {0, 0, 1000},
        {kMax - 1, kMax, 999},  // no overflow, and not full before the end
        {kMax / 2, kMax, 499},
        {2147483647, 2147483648u, 999},
    };
    for (const auto& [done, total, position] : rows) EXPECT_EQ(ProgressPosition(done, total), position) << done;
    // Shown after half a second, not before.
    for (const auto& [elapsed, left] : {std::pair<std::uint64_t, std::uint64_t>{0, 500}, {499, 1}, {500, 0}, {kMax, 0}})
        EXPECT_EQ(ProgressDelayLeft(elapsed), left) << elapsed;
}

TEST(PassProgress, wakes_the_window_when_the_bar_moves_never_moves_back_and_answers_a_stop)
{
    int moves = 0;
    CPassProgress progress(
        1000, [](void* count) noexcept { ++*static_cast<int*>(count); }, &moves);
    // Reports from several threads may come out of order; the bar keeps the furthest.
    const std::tuple<std::uint64_t, int, int> rows[] = {
        {0, 0, 0}, {1, 1, 1}, {1, 1, 1}, {500, 500, 2}, {400, 500, 2}, {1000, 1000, 3},
    };
    for (const auto& [done, position, moved] : rows) {
        EXPECT_TRUE(progress.Report(done));
        EXPECT_EQ(progress.Position(), position) << done;
        EXPECT_EQ(moves, moved) << done;
    }
    progress.RequestStop();
    EXPECT_TRUE(progress.StopRequested());
    EXPECT_FALSE(progress.Report(1000));
}

}  // namespace
}  // namespace quorvane::app
