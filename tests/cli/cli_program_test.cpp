// quorvane-cli as scripts see it: run as a child process (under Wine for the
// Windows build) and judged by its exit status, its one line on standard error
// and the files it leaves. The container kit already runs every vector through
// the program in both directions; this file holds what is the command line's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "cli/console.h"
#include "cli/stream_jobs.h"
#include "jobs/platform_file.h"
#include "tests/cli/cli_process.h"
#include "tests/cli/cli_test_support.h"

namespace quorvane::clitest {
namespace {

using Args = std::vector<std::u16string>;
const std::u16string kKey = u"合言葉 Key 7";
constexpr std::size_t kChunk = cli::kDefaultChunkBytes;

class Cli : public ::testing::Test {
protected:
    std::u16string Put(std::u16string_view name, const Bytes& bytes) const
    {
        test::WriteFileBytes(folder.File(name), bytes);
        return folder.File(name);
    }
    std::u16string Key(std::u16string_view name, const std::string& bytes) const
    {
        WriteText(folder.FileIn(u"keys", name), bytes);
        return folder.FileIn(u"keys", name);
    }

    CScratchFolder folder;
    const std::u16string keyFile = Key(u"key.txt", Utf8(kKey) + "\n");
};

// The key is the first line, whatever carries it; the container proves which text keyed it.
TEST_F(Cli, key_is_the_first_line_without_its_mark_and_line_end)
{
    const std::string typed = Utf8(u"鍵と錠 ｶﾀｶﾅ");
    const std::string longest(cli::kMaxKeyLineBytes, 'k');
    struct Row {
        const char* what;
        std::optional<std::string> file;  // none: the key comes from standard input
        std::string input;
        std::u16string keyText;
    };
    const std::vector<Row> rows = {
        {"file without line end", typed, "", u"鍵と錠 ｶﾀｶﾅ"},
        {"file with LF and a second line", typed + "\nsecond", "", u"鍵と錠 ｶﾀｶﾅ"},
        {"file with a mark and CRLF", "\xEF\xBB\xBF" + typed + "\r\n", "", u"鍵と錠 ｶﾀｶﾅ"},
        {"lone CR, part of the key", typed + "\r", "", u"鍵と錠 ｶﾀｶﾅ\r"},
        {"mark not at the start, part of the key", "x\xEF\xBB\xBF\n", "", u"x\uFEFF"},
        {"longest line, with a mark and CRLF", "\xEF\xBB\xBF" + longest + "\r\n", "",
         std::u16string(longest.size(), u'k')},
        {"standard input with LF", std::nullopt, typed + "\nmore", u"鍵と錠 ｶﾀｶﾅ"},
        {"standard input with a mark and CRLF", std::nullopt, "\xEF\xBB\xBF" + typed + "\r\n", u"鍵と錠 ｶﾀｶﾅ"},
        {"standard input read as bytes, Ctrl+Z and all", std::nullopt, "a\x1A\r\r\n", u"a\x1A\r"},
    };
    const Bytes data = test::PatternBytes(333, 8);
    const std::u16string source = Put(u"鍵の試験.txt", data);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].what);
        const std::u16string keyArg = rows[i].file ? Key(Numbered(u"k", i), *rows[i].file) : u"-";
        const std::u16string output = folder.File(Numbered(u"out", i, u".dat"));
        const CliResult r = RunCli({u"encrypt", u"-k", keyArg, u"-o", output, source}, rows[i].input);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(test::ReadFileBytes(output), BuiltContainer(u"鍵の試験.txt", data, rows[i].keyText));
    }
}

// Every refusal: its exit status, one line naming what failed, and not a file added, removed or changed.
TEST_F(Cli, refusals_exit_with_their_status_say_why_in_one_line_and_write_nothing)
{
    const Bytes data = test::PatternBytes(100, 3);
    const std::u16string plain = Put(u"plain.txt", data);
    Put(u"plain.dat", test::PatternBytes(5, 5));
    const std::u16string good = Put(u"good.dat", BuiltContainer(u"plain.txt", data, kKey));
    // The fill is checked only once every earlier chunk is deciphered and written.
    Bytes late(kChunk + kChunk / 2 + 16, 0);
    PutLe32(late, 0, static_cast<std::uint32_t>(late.size() - 16));
    PutLe32(late, 4, 2);
    late[8] = 'n';
    late.back() = 1;
    const std::u16string lateFill = Put(u"late.dat", EncipherRecord(late, kKey));
    auto sparse = [&](std::u16string_view name, std::uintmax_t size) {
        const std::u16string path = Put(name, {});
        std::filesystem::resize_file(ToFsPath(path), size);
        return path;
    };
    const std::u16string huge = sparse(u"huge.dat", 1ull << 31), nearLimit = sparse(u"h.bin", (1ull << 31) - 8);
    const std::u16string dots = Put(u"dots.dat", BuiltContainer(u"..", data, kKey));
    const std::u16string none = Put(u"名無し.dat", BuiltContainer(u"", data, kKey));
    const std::u16string longName = Put(u"ln.dat", BuiltContainer(std::u16string(300, u'n'), data, kKey));
    const std::u16string longKey = Key(u"long", std::string(cli::kMaxKeyLineBytes + 1, 'k') + "\n");
    struct Row {
        const char* what;
        Args args;
        int status;
        std::string message;
        std::string input = {};
    };
    const std::vector<Row> rows = {
        {"empty key file", {u"encrypt", u"-k", Key(u"empty", ""), plain}, 1, "empty key"},
        {"key file of a mark and CRLF", {u"encrypt", u"-k", Key(u"bom", "\xEF\xBB\xBF\r\nkey"), plain}, 1, "empty key"},
        {"empty key on standard input", {u"decrypt", u"-k", u"-", good}, 1, "standard input: empty key", "\n"},
        {"key file missing", {u"encrypt", u"-k", folder.File(u"nokey"), plain}, 1, "nokey: cannot read the key"},
        {"key not UTF-8", {u"encrypt", u"-k", Key(u"latin1", "caf\xE9\n"), plain}, 1, "not valid UTF-8"},
        {"key in overlong UTF-8", {u"encrypt", u"-k", Key(u"overlong", "\xC0\xAF"), plain}, 1, "not valid UTF-8"},
        {"key line one byte too long", {u"encrypt", u"-k", longKey, plain}, 1, "longer than 65536 bytes"},
        {"no key file and no terminal", {u"encrypt", plain}, 2, "no terminal"},
        {"fill not zero, seen in the last chunk", {u"decrypt", u"-k", keyFile, lateFill}, 1, "wrong key or damaged"},
        {"container of 2 GiB", {u"decrypt", u"-k", keyFile, huge}, 1, "huge.dat: too large"},
        {"record over 2,147,483,647 bytes", {u"encrypt", u"-k", keyFile, nearLimit}, 1, "h.bin: too large"},
        {"stored name \"..\"", {u"decrypt", u"-k", keyFile, dots}, 1, "dots.dat: the container holds no usable"},
        {"empty stored name", {u"decrypt", u"-k", keyFile, none}, 1, "名無し.dat: the container holds no usable"},
        {"stored name too long for a file", {u"decrypt", u"-k", keyFile, longName}, 1, "no usable file name"},
        {"encrypt output exists", {u"encrypt", u"-k", keyFile, plain}, 1, "plain.dat: already exists"},
        {"decrypt output exists", {u"decrypt", u"-k", keyFile, good}, 1, "plain.txt: already exists"},
        {"output folder missing", {u"encrypt", u"-k", keyFile, u"-d", folder.File(u"no"), plain}, 1, "cannot create"},
        {"input is a folder", {u"encrypt", u"-k", keyFile, folder.FileIn(u"keys", u"")}, 1, "keys"},
        {"no arguments", {}, 2, "missing command"},
        {"unknown command", {u"scramble", plain}, 2, "unknown command"},
        {"-o with two inputs", {u"encrypt", u"-k", keyFile, u"-o", u"x", plain, plain}, 2, "single input"},
        {"-o and -d", {u"encrypt", u"-k", keyFile, u"-o", u"x", u"-d", u"y", plain}, 2, "can't be used together"},
        {"unknown option", {u"encrypt", u"-fx", plain}, 2, "unknown option '-x'"},
        {"option without its value", {u"encrypt", plain, u"-k"}, 2, "needs a value"},
        {"no input", {u"decrypt", u"-k", keyFile}, 2, "no CONTAINER"},
        {"an input after \"--\" that looks like an option",
         {u"encrypt", u"-k", keyFile, u"--", u"-o"},
         1,
         "-o: cannot open"},
        {"key file given twice", {u"encrypt", u"-k", keyFile, u"--key-file=x", plain}, 2, "given twice"},
        {"value for --force", {u"encrypt", u"--force=yes", u"-k", keyFile, plain}, 2, "takes no value"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto before = folder.Listing();
        const CliResult r = RunCli(row.args, row.input);
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(r.err.rfind("quorvane-cli: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(folder.Listing(), before);
    }
}

TEST_F(Cli, inputs_go_in_order_to_the_directory_until_the_first_failure)
{
    const Bytes a = test::PatternBytes(3000, 1), b = test::PatternBytes(17, 2);
    const std::u16string out = folder.FileIn(u"出力", u"");
    const CliResult r = RunCli({u"encrypt", u"--key-file", keyFile, u"--directory=" + out, Put(u"a.txt", a),
                                Put(u"日本語.txt", b), folder.File(u"missing.txt"), Put(u"three.txt", a)});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.txt: cannot open"), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadFileBytes(folder.FileIn(u"出力", u"a.dat")), BuiltContainer(u"a.txt", a, kKey));
    EXPECT_EQ(test::ReadFileBytes(folder.FileIn(u"出力", u"日本語.dat")), BuiltContainer(u"日本語.txt", b, kKey));
    EXPECT_FALSE(test::FileExists(folder.FileIn(u"出力", u"three.dat")));
}

// With -f the output is replaced, even when it is the input itself; no temporary is left beside it.
TEST_F(Cli, force_replaces_the_output_even_when_it_is_the_input)
{
    const Bytes data = test::PatternBytes(kChunk + 100, 6);
    const std::u16string file = Put(u"自分.txt", data), other = Put(u"自分.dat", test::PatternBytes(12, 12));
    const Bytes container = BuiltContainer(u"自分.txt", data, kKey);
    const auto names = test::ListFolder(ToFsPath(folder.Path()));
    struct Row {
        Args args;
        std::u16string output;
        Bytes expected;
    };
    const std::vector<Row> rows = {
        {{u"encrypt", u"-fk", keyFile, file}, other, container},
        {{u"encrypt", u"-k", keyFile, u"-fo", file, file}, file, container},
        {{u"decrypt", u"-k", keyFile, u"--force", u"--output", file, file}, file, data},
    };
    for (const Row& row : rows) {
        const CliResult r = RunCli(row.args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(test::ReadFileBytes(row.output), row.expected);
    }
    EXPECT_EQ(test::ListFolder(ToFsPath(folder.Path())), names);
}

// Records that end just before, exactly at and just past a chunk boundary,
// and the file bytes back from each.
TEST_F(Cli, records_across_chunk_boundaries_make_the_same_container_and_file)
{
    for (const std::size_t recordEnd : {kChunk, kChunk + 8, 2 * kChunk + 16}) {
        for (const std::size_t fill : {1u, 8u}) {
            const Bytes data = test::PatternBytes(recordEnd - 8 - 2 - fill, static_cast<std::uint32_t>(fill));
            SCOPED_TRACE(data.size());
            const std::u16string container = folder.File(u"c.dat"), back = folder.File(u"back");
            ASSERT_EQ(RunCli({u"encrypt", u"-fk", keyFile, u"-o", container, Put(u"n", data)}).status, 0);
            EXPECT_EQ(test::ReadFileBytes(container), BuiltContainer(u"n", data, kKey));
            ASSERT_EQ(RunCli({u"decrypt", u"-fk", keyFile, u"-o", back, container}).status, 0);
            EXPECT_EQ(test::ReadFileBytes(back), data);
        }
    }
}

// Windows leaves "*.txt" to the program; a POSIX shell has expanded it before the program starts.
TEST_F(Cli, wildcard_in_an_input_is_expanded_on_windows_only)
{
    constexpr bool kWindows = std::filesystem::path::preferred_separator == L'\\';
    for (const char16_t* name : {u"a.txt", u"b.txt", u"c.bin"}) Put(name, test::PatternBytes(10, 1));
    const std::u16string out = folder.FileIn(u"out", u"");
    const CliResult r = RunCli({u"encrypt", u"-k", keyFile, u"-d", out, folder.File(u"*.txt")});
    EXPECT_EQ(r.status, kWindows ? 0 : 1) << r.err;
    const std::vector<std::u16string> expanded{u"a.dat", u"b.dat"};
    EXPECT_EQ(test::ListFolder(ToFsPath(out)), kWindows ? expanded : std::vector<std::u16string>{});
}

TEST_F(Cli, help_answers_anywhere_on_the_line)
{
    for (const Args& args : {Args{u"--help"}, Args{u"encrypt", u"-h"}, Args{u"decrypt", u"x.dat", u"--help"}}) {
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("Usage: quorvane-cli encrypt", 0), 0u) << r.out;
    }
}

}  // namespace
}  // namespace quorvane::clitest
