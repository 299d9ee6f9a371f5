// quorvane-cli as users and scripts see it: the program is run as a child
// process (under Wine for the Windows build) and judged by its exit status,
// its one-line messages and the files it leaves.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "cli/stream_jobs.h"
#include "container/container_record.h"
#include "jobs/platform_file.h"
#include "tests/cli/cli_process.h"
#include "tests/cli/cli_test_support.h"

namespace quorvane::clitest {
namespace {

constexpr std::size_t kChunk = cli::kDefaultChunkBytes;
const std::u16string kKey = u"合言葉 Key 7";

// File sizes that put the end of the file bytes `delta` bytes after the
// `chunks`-th chunk boundary of the record, for a name of `name`.
std::size_t SizeAtChunkEdge(std::u16string_view name, std::size_t chunks, long delta)
{
    return chunks * kChunk - kRecordHeaderBytes - 2 * name.size() + delta;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        keyFile = folder.FileIn(u"keys", u"key.txt");
        WriteText(keyFile, Utf8(kKey) + "\n");
    }

    std::u16string Put(std::u16string_view name, const Bytes& bytes)
    {
        const std::u16string path = folder.File(name);
        test::WriteFileBytes(path, bytes);
        return path;
    }

    CScratchFolder folder;
    std::u16string keyFile;
};

void ExpectSingleMessage(const CliResult& r, const std::string& fragment)
{
    EXPECT_EQ(r.err.rfind("quorvane-cli: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST_F(CliTest, encrypt_writes_the_jobs_container_and_decrypt_restores_the_file)
{
    struct Row {
        std::u16string name;
        std::size_t size;
        std::u16string containerName;
    };
    const std::vector<Row> rows = {
        {u"report.txt", 0, u"report.dat"},
        {u"報告書.docx", 1, u"報告書.dat"},
        {u"archive.tar.gz", 8, u"archive.tar.dat"},
        {u"notes", 1000, u"notes.dat"},
        {u".profile", 13, u".profile.dat"},
        // Records that end exactly at, and just past, a chunk boundary.
        {u"データ①.bin", SizeAtChunkEdge(u"データ①.bin", 1, -8), u"データ①.dat"},
        {u"edge.bin", SizeAtChunkEdge(u"edge.bin", 1, 0), u"edge.dat"},
        {u"edge2.bin", SizeAtChunkEdge(u"edge2.bin", 2, 3), u"edge2.dat"},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(Utf8(row.name) + " " + std::to_string(row.size));
        const Bytes data = test::PatternBytes(row.size, static_cast<std::uint32_t>(i));
        const std::u16string source = Put(row.name, data);

        const CliResult encrypted = RunCli({u"encrypt", u"-k", keyFile, source});
        ASSERT_EQ(encrypted.status, 0) << encrypted.err;
        EXPECT_EQ(encrypted.err, "");
        const std::u16string container = folder.File(row.containerName);
        ASSERT_TRUE(test::FileExists(container));
        EXPECT_EQ(test::ReadFileBytes(container), JobContainer(source, kKey));

        const std::u16string restoredFolder = folder.FileIn(u"restored", u"");
        const CliResult decrypted = RunCli({u"decrypt", u"--key-file", keyFile, u"-d", restoredFolder, container});
        ASSERT_EQ(decrypted.status, 0) << decrypted.err;
        EXPECT_EQ(test::ReadFileBytes(folder.FileIn(u"restored", row.name)), data);
    }
}

TEST_F(CliTest, decrypt_names_the_output_after_the_stored_name_made_safe)
{
    struct Row {
        std::u16string storedName;
        std::u16string outputName;
    };
    const std::vector<Row> rows = {
        {u"a.txt", u"a.txt"},         {u"名前 付き.txt", u"名前 付き.txt"},
        {u"..\\up.txt", u"up.txt"},   {u"C:\\Windows\\evil.dll", u"evil.dll"},
        {u"dir/sub.txt", u"sub.txt"}, {u"what?<>.txt", u"what___.txt"},
    };
    const Bytes data = test::PatternBytes(77, 5);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(Utf8(rows[i].storedName));
        const std::u16string container =
            Put(Numbered(u"in", i, u".dat"), BuiltContainer(rows[i].storedName, data, kKey));
        const std::u16string out = Numbered(u"out", i);
        const CliResult r = RunCli({u"decrypt", u"-k", keyFile, u"-d", folder.FileIn(out, u""), container});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(test::ReadFileBytes(folder.FileIn(out, rows[i].outputName)), data);
    }
}

TEST_F(CliTest, output_option_names_the_result_whatever_the_stored_name)
{
    const Bytes data = test::PatternBytes(40, 9);
    const std::u16string container = Put(u"nameless.dat", BuiltContainer(u"", data, kKey));
    const std::u16string chosen = folder.File(u"選んだ名前.bin");
    const CliResult r = RunCli({u"decrypt", u"-k", keyFile, u"-o", chosen, container});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ReadFileBytes(chosen), data);
}

// Every refusal: its exit status, one line naming what failed, and not a
// single file added, removed or changed.
TEST_F(CliTest, refusals_exit_with_their_status_and_write_nothing)
{
    const Bytes data = test::PatternBytes(100, 3);
    const std::u16string plain = Put(u"plain.txt", data);
    const Bytes good = BuiltContainer(u"plain.txt", data, kKey);
    auto key = [&](std::u16string_view name, const std::string& bytes) {
        const std::u16string path = folder.FileIn(u"keys", name);
        WriteText(path, bytes);
        return path;
    };
    auto container = [&](std::u16string_view name, const Bytes& bytes) { return Put(name, bytes); };
    // A record with the given head, the name "n" and `lastByte` at its end.
    auto record = [&](std::int32_t dataSize, std::uint32_t nameBytes, std::size_t length, std::uint8_t lastByte) {
        Bytes r(length, 0);
        for (int k = 0; k < 4; ++k) {
            r[k] = std::uint8_t(std::uint32_t(dataSize) >> (8 * k));
            r[4 + k] = std::uint8_t(nameBytes >> (8 * k));
        }
        r[8] = 'n';
        r.back() = lastByte;
        return EncipherRecord(r, kKey);
    };
    auto sparse = [&](std::u16string_view name, std::uintmax_t size) {
        const std::u16string path = folder.File(name);
        test::WriteFileBytes(path, {});
        std::filesystem::resize_file(ToFsPath(path), size);
        return path;
    };
    using Args = std::vector<std::u16string>;
    struct Row {
        const char* what;
        std::function<Args()> setup;
        int status;
        std::string message;
        std::string input = {};
    };
    const std::vector<Row> rows = {
        // The key.
        {"empty key file",
         [&] {
             return Args{u"encrypt", u"-k", key(u"empty", ""), plain};
         },
         1, "empty key"},
        {"key file of a mark and a line end",
         [&] {
             return Args{u"encrypt", u"-k", key(u"bom", "\xEF\xBB\xBF\r\nsecond line"), plain};
         },
         1, "empty key"},
        {"empty key on standard input",
         [&] {
             return Args{u"decrypt", u"-k", u"-", container(u"g.dat", good)};
         },
         1, "standard input: empty key", "\n"},
        {"missing key file",
         [&] {
             return Args{u"encrypt", u"-k", folder.File(u"nokey"), plain};
         },
         1, "cannot read the key"},
        {"key not UTF-8",
         [&] {
             return Args{u"encrypt", u"-k", key(u"latin1", "caf\xE9\n"), plain};
         },
         1, "not valid UTF-8"},
        {"key in overlong UTF-8",
         [&] {
             return Args{u"encrypt", u"-k", key(u"overlong", "\xC0\xAF"), plain};
         },
         1, "not valid UTF-8"},
        {"no key file and no terminal",
         [&] {
             return Args{u"encrypt", plain};
         },
         2, "no terminal"},
        // Containers that can't be opened under this key.
        {"wrong key",
         [&] {
             return Args{u"decrypt", u"-k", key(u"other", "other key"), container(u"g.dat", good)};
         },
         1, "g.dat: wrong key or damaged file"},
        {"empty container",
         [&] {
             return Args{u"decrypt", u"-k", keyFile, container(u"e.dat", {})};
         },
         1, "wrong key or damaged file"},
        {"length not a multiple of 8",
         [&] {
             Bytes b = good;
             b.insert(b.end(), {1, 2, 3});
             return Args{u"decrypt", u"-k", keyFile, container(u"odd.dat", b)};
         },
         1, "wrong key or damaged file"},
        {"last block missing",
         [&] {
             Bytes b = good;
             b.resize(b.size() - 8);
             return Args{u"decrypt", u"-k", keyFile, container(u"short.dat", b)};
         },
         1, "wrong key or damaged file"},
        {"a block too many",
         [&] {
             Bytes b = good;
             b.insert(b.end(), good.end() - 8, good.end());
             return Args{u"decrypt", u"-k", keyFile, container(u"long.dat", b)};
         },
         1, "wrong key or damaged file"},
        {"fill not zero, found only at the end",
         [&] {
             return Args{u"decrypt", u"-k", keyFile,
                         container(u"fill.dat", record(3 * kChunk / 2, 2, 3 * kChunk / 2 + 16, 1))};
         },
         1, "wrong key or damaged file"},
        {"name beyond the record",
         [&] {
             return Args{u"decrypt", u"-k", keyFile, container(u"name.dat", record(0, 0x7FFFFFF0, 64, 0))};
         },
         1, "wrong key or damaged file"},
        {"negative data size",
         [&] {
             return Args{u"decrypt", u"-k", keyFile, container(u"neg.dat", record(-8, 2, 64, 0))};
         },
         1, "wrong key or damaged file"},
        {"not a container at all",
         [&] {
             return Args{u"decrypt", u"-k", keyFile, container(u"rand.dat", test::PatternBytes(64, 1))};
         },
         1, "wrong key or damaged file"},
        {"stored name \"..\"",
         [&] {
             return Args{u"decrypt", u"-k", keyFile, container(u"dots.dat", BuiltContainer(u"..", data, kKey))};
         },
         1, "no usable file name"},
        {"empty stored name",
         [&] {
             return Args{u"decrypt", u"-k", keyFile, container(u"none.dat", BuiltContainer(u"", data, kKey))};
         },
         1, "no usable file name"},
        {"stored name longer than a file name may be",
         [&] {
             return Args{u"decrypt", u"-k", keyFile,
                         container(u"longname.dat", BuiltContainer(std::u16string(300, u'n'), data, kKey))};
         },
         1, "no usable file name"},
        // Outputs.
        {"encrypt output exists",
         [&] {
             Put(u"plain.dat", test::PatternBytes(5, 5));
             return Args{u"encrypt", u"-k", keyFile, plain};
         },
         1, "plain.dat: already exists"},
        {"decrypt output exists",
         [&] { return Args{u"decrypt", u"-k", keyFile, u"-d", folder.Path(), container(u"g.dat", good)}; }, 1,
         "plain.txt: already exists"},
        {"output folder missing",
         [&] { return Args{u"encrypt", u"-k", keyFile, u"-d", folder.File(u"nowhere"), plain}; }, 1, "cannot create"},
        // Inputs.
        {"input missing",
         [&] {
             return Args{u"encrypt", u"-k", keyFile, folder.File(u"missing.txt")};
         },
         1, "missing.txt: cannot open"},
        {"input is a folder",
         [&] {
             return Args{u"encrypt", u"-k", keyFile, folder.FileIn(u"keys", u"")};
         },
         1, "keys"},
        {"encrypt input of 2 GiB",
         [&] {
             return Args{u"encrypt", u"-k", keyFile, sparse(u"huge.bin", 1ull << 31)};
         },
         1, "too large"},
        {"record over 2,147,483,647 bytes",
         [&] {
             return Args{u"encrypt", u"-k", keyFile, sparse(u"h.bin", (1ull << 31) - 8)};
         },
         1, "too large"},
        {"container of 2 GiB",
         [&] {
             return Args{u"decrypt", u"-k", keyFile, sparse(u"huge.dat", 1ull << 31)};
         },
         1, "too large"},
        // Usage.
        {"no arguments", [&] { return Args{}; }, 2, "missing command"},
        {"unknown command",
         [&] {
             return Args{u"scramble", plain};
         },
         2, "unknown command"},
        {"-o with two inputs", [&] { return Args{u"encrypt", u"-k", keyFile, u"-o", u"x", plain, plain}; }, 2,
         "single input"},
        {"-o and -d", [&] { return Args{u"encrypt", u"-k", keyFile, u"-o", u"x", u"-d", u"y", plain}; }, 2,
         "can't be used together"},
        {"unknown option",
         [&] {
             return Args{u"encrypt", u"--frobnicate", plain};
         },
         2, "unknown option"},
        {"option without its value",
         [&] {
             return Args{u"encrypt", plain, u"-k"};
         },
         2, "needs a value"},
        {"no input",
         [&] {
             return Args{u"decrypt", u"-k", keyFile};
         },
         2, "no CONTAINER"},
        {"key file given twice",
         [&] {
             return Args{u"encrypt", u"-k", keyFile, u"--key-file=x", plain};
         },
         2, "given twice"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Args args = row.setup();
        const auto before = folder.Listing();
        const CliResult r = RunCli(args, row.input);
        EXPECT_EQ(r.status, row.status);
        ExpectSingleMessage(r, row.message);
        EXPECT_EQ(folder.Listing(), before);
    }
}

TEST_F(CliTest, run_stops_at_the_first_failure_and_keeps_earlier_outputs)
{
    const std::u16string first = Put(u"one.txt", test::PatternBytes(10, 1));
    const std::u16string third = Put(u"three.txt", test::PatternBytes(10, 3));
    const CliResult r = RunCli({u"encrypt", u"-k", keyFile, first, folder.File(u"two.txt"), third});
    EXPECT_EQ(r.status, 1);
    ExpectSingleMessage(r, "two.txt: cannot open");
    EXPECT_EQ(test::ReadFileBytes(folder.File(u"one.dat")), JobContainer(first, kKey));
    EXPECT_FALSE(test::FileExists(folder.File(u"three.dat")));
}

TEST_F(CliTest, several_inputs_go_to_the_directory_in_order)
{
    const std::u16string a = Put(u"a.txt", test::PatternBytes(3000, 1));
    const std::u16string b = Put(u"日本語.txt", test::PatternBytes(17, 2));
    const std::u16string out = folder.FileIn(u"出力", u"");
    ASSERT_EQ(RunCli({u"encrypt", u"-k", keyFile, u"-d", out, a, b}).status, 0);
    EXPECT_EQ(test::ReadFileBytes(folder.FileIn(u"出力", u"a.dat")), JobContainer(a, kKey));
    EXPECT_EQ(test::ReadFileBytes(folder.FileIn(u"出力", u"日本語.dat")), JobContainer(b, kKey));

    const std::u16string back = folder.FileIn(u"戻し", u"");
    const CliResult r = RunCli({u"decrypt", u"-k", keyFile, u"--directory=" + back, folder.FileIn(u"出力", u"a.dat"),
                                folder.FileIn(u"出力", u"日本語.dat")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ReadFileBytes(folder.FileIn(u"戻し", u"a.txt")), test::ReadFileBytes(a));
    EXPECT_EQ(test::ReadFileBytes(folder.FileIn(u"戻し", u"日本語.txt")), test::ReadFileBytes(b));
}

TEST_F(CliTest, existing_output_is_replaced_only_with_force)
{
    const std::u16string source = Put(u"doc.txt", test::PatternBytes(500, 4));
    const Bytes previous = test::PatternBytes(12, 12);
    const std::u16string output = Put(u"doc.dat", previous);

    EXPECT_EQ(RunCli({u"encrypt", u"-k", keyFile, source}).status, 1);
    EXPECT_EQ(test::ReadFileBytes(output), previous);

    const CliResult r = RunCli({u"encrypt", u"-f", u"-k", keyFile, source});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ReadFileBytes(output), JobContainer(source, kKey));
}

TEST_F(CliTest, same_file_as_input_and_output_is_replaced_in_place_with_force)
{
    const Bytes data = test::PatternBytes(kChunk + 100, 6);
    const std::u16string file = Put(u"自分.txt", data);
    const Bytes expected = JobContainer(file, kKey);
    const auto listing = folder.Listing();

    ASSERT_EQ(RunCli({u"encrypt", u"-k", keyFile, u"-fo", file, file}).status, 0);
    EXPECT_EQ(test::ReadFileBytes(file), expected);
    ASSERT_EQ(RunCli({u"decrypt", u"-k", keyFile, u"--force", u"--output", file, file}).status, 0);
    EXPECT_EQ(test::ReadFileBytes(file), data);
    // Same names, same sizes: no temporary file was left beside it.
    EXPECT_EQ(folder.Listing(), listing);
}

// The same key text, however it is given, makes the same container: the one
// the window makes when the text is typed into its key field.
TEST_F(CliTest, every_way_of_giving_the_key_makes_the_windows_container)
{
    const std::u16string source = Put(u"鍵の試験.txt", test::PatternBytes(333, 8));
    const std::u16string typed = u"鍵と錠 ｶﾀｶﾅ";
    const std::string utf8 = Utf8(typed);
    struct Row {
        const char* what;
        std::string fileContent;  // empty: the key comes from standard input
        std::string input;
        std::u16string keyText;  // what the window is given
    };
    const std::vector<Row> rows = {
        {"file without line end", utf8, "", typed},
        {"file with LF and a second line", utf8 + "\nsecond", "", typed},
        {"file with a mark and CRLF", "\xEF\xBB\xBF" + utf8 + "\r\n", "", typed},
        {"file with a lone CR, which is part of the key", utf8 + "\r", "", typed + u"\r"},
        {"file with a mark in the middle, which is part of the key", utf8 + "\xEF\xBB\xBF\n", "", typed + u"\uFEFF"},
        {"standard input with LF", "", utf8 + "\n", typed},
        {"standard input with a mark and CRLF", "", "\xEF\xBB\xBF" + utf8 + "\r\nmore", typed},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].what);
        std::u16string keyArg = u"-";
        if (!rows[i].fileContent.empty()) {
            keyArg = folder.FileIn(u"keys", Numbered(u"k", i));
            WriteText(keyArg, rows[i].fileContent);
        }
        const std::u16string output = folder.File(Numbered(u"out", i, u".dat"));
        const CliResult r = RunCli({u"encrypt", u"-k", keyArg, u"-o", output, source}, rows[i].input);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(test::ReadFileBytes(output), JobContainer(source, rows[i].keyText));
    }
}

TEST_F(CliTest, help_and_version_answer_anywhere_on_the_line)
{
    for (const auto& args : std::vector<std::vector<std::u16string>>{
             {u"--help"}, {u"encrypt", u"-h"}, {u"decrypt", u"x.dat", u"--help"}}) {
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("Usage: quorvane-cli encrypt", 0), 0u) << r.out;
    }
    const CliResult v = RunCli({u"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "quorvane-cli " QUORVANE_VERSION "\n");
}

}  // namespace
}  // namespace quorvane::clitest
