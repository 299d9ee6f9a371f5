#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/logic/chooser_result.h"

namespace quorvane::app {
namespace {

using Paths = std::vector<std::u16string>;

// The chooser's buffer: the given run, then zeros up to `capacity`.
std::u16string Buffer(std::u16string_view run, std::size_t capacity = 260)
{
    std::u16string buffer(run);
    buffer.resize(capacity, u'\0');
    return buffer;
}

Paths Parse(const std::u16string& buffer)
{
    return JoinChosenPaths(SplitChooserResult(buffer.data(), buffer.size()));
}

TEST(ChooserResult, turns_chooser_runs_into_full_paths)
{
    using namespace std::string_literals;
    struct Row {
        const char* what;
        std::u16string run;
        Paths expected;
    };
    const Row rows[] = {
        {"one file is its own full path", u"C:\\work\\report.txt\0\0"s, {u"C:\\work\\report.txt"}},
        {"three files: folder, then names in the chooser's order",
         u"C:\\work\0b.bin\0データ①.txt\0a.txt\0\0"s,
         {u"C:\\work\\b.bin", u"C:\\work\\データ①.txt", u"C:\\work\\a.txt"}},
        {"a folder ending in a backslash gets a second one",
         u"C:\\\0a.txt\0b.txt\0\0"s,
         {u"C:\\\\a.txt", u"C:\\\\b.txt"}},
        {"an empty first segment gives nothing", u"\0\0"s, {}},
        {"nothing after the closing empty segment is read", u"C:\\x.txt\0\0C:\\stale\0old.txt\0\0"s, {u"C:\\x.txt"}},
    };
    for (const Row& row : rows) EXPECT_EQ(Parse(Buffer(row.run)), row.expected) << row.what;
}

TEST(ChooserResult, first_segment_emptiness_is_what_the_window_checks)
{
    using namespace std::string_literals;
    const std::u16string empty = Buffer(u"\0\0"s);
    EXPECT_TRUE(SplitChooserResult(empty.data(), empty.size()).empty());
    const std::u16string one = Buffer(u"C:\\a\0\0"s);
    EXPECT_EQ(SplitChooserResult(one.data(), one.size()).size(), 1u);
}

TEST(ChooserResult, never_reads_past_the_buffer_when_the_run_lacks_its_nuls)
{
    // Exactly the capacity, no terminator at all: the last segment ends at the buffer's end.
    const std::u16string full = u"C:\\dir";
    EXPECT_EQ(JoinChosenPaths(SplitChooserResult(full.data(), full.size())), Paths{u"C:\\dir"});
    using namespace std::string_literals;
    const std::u16string cut = u"C:\\dir\0a.txt\0b.t"s;
    EXPECT_EQ(JoinChosenPaths(SplitChooserResult(cut.data(), cut.size())), (Paths{u"C:\\dir\\a.txt", u"C:\\dir\\b.t"}));
    EXPECT_TRUE(SplitChooserResult(cut.data(), 0).empty());
}

TEST(ChooserResult, knows_whether_a_result_fits_the_size_the_chooser_was_given)
{
    using namespace std::string_literals;
    struct Row {
        const char* what;
        std::u16string buffer;
        std::size_t limit;
        bool fits;
    };
    const Row rows[] = {
        {"one path with its closing NUL well inside", u"C:\\a\0\0\0\0"s, 8, true},
        {"closing NUL is the last allowed unit", u"C:\\a\0\0"s, 6, true},
        {"closing NUL one past the limit", u"C:\\a\0\0"s, 5, false},
        {"segment NUL past the limit", u"C:\\abc\0\0"s, 5, false},
        {"several names inside", u"C:\\d\0a\0b\0\0"s, 10, true},
        {"several names, the last one running over", u"C:\\d\0a\0bbbb\0\0"s, 10, false},
        {"an empty result", u"\0\0"s, 2, true},
        {"nothing allowed at all", u"\0"s, 0, false},
    };
    for (const Row& row : rows) EXPECT_EQ(ChooserRunFits(row.buffer.data(), row.limit), row.fits) << row.what;
}

TEST(ChooserResult, entries_may_exceed_the_old_260_unit_limit)
{
    // The open chooser's buffer is large now, so folder + name can be longer than one path buffer.
    const std::u16string folder = u"C:\\" + std::u16string(200, u'f');
    const std::u16string name(200, u'n');
    std::u16string run = folder + u'\0' + name + u'\0' + u"x" + u'\0' + u'\0';
    const Paths paths = Parse(Buffer(run, 32768));
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[0], folder + u"\\" + name);
    EXPECT_EQ(paths[0].size(), 404u);
}

TEST(ChooserResult, works_on_the_platform_wide_character_type_too)
{
    const wchar_t run[] = L"C:\\w\0a\0b\0";  // the literal adds the closing NUL
    const auto paths = JoinChosenPaths(SplitChooserResult(run, sizeof run / sizeof run[0]));
    EXPECT_EQ(paths, (std::vector<std::wstring>{L"C:\\w\\a", L"C:\\w\\b"}));
}

}  // namespace
}  // namespace quorvane::app
