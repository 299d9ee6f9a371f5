// quorvane-cli run as a child (under Wine too, natively also on a pseudo-terminal): what is the
// command line's own. The container kit runs every vector through it both ways.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#endif

#include "cli/console.h"
#include "cli/progress_line.h"
#include "stream/stream_jobs.h"
#include "jobs/platform_file.h"
#include "tests/support/child_process.h"
#include "tests/support/container_maker.h"
#include "tests/support/files.h"

namespace quorvane::test {
namespace {

using Args = std::vector<std::u16string>;
ChildResult RunCli(Args args, const ChildInput& input = {})
{
    args.insert(args.begin(), CliProgram());
    return RunChild(args, input);
}
const std::u16string kKey = u"合言葉 Key 7";
constexpr std::size_t kChunk = kDefaultChunkBytes;

class Cli : public ::testing::Test {
protected:
    std::u16string Put(std::u16string_view name, const Bytes& bytes) const
    {
        WriteFileBytes(folder.File(name), bytes);
        return folder.File(name);
    }
    std::u16string Key(std::u16string_view name, std::string_view text) const
    {
        return Put(u"key-" + std::u16string(name), Bytes(text.begin(), text.end()));
    }

    CTempFolder folder;
    const std::u16string keyFile = Key(u"main", Utf8(kKey) + "\n");
};

// The key is the first line, whatever carries it; the container proves which text keyed it.
TEST_F(Cli, key_is_the_first_line_without_its_mark_and_line_end)
{
    const std::string typed = Utf8(u"鍵と錠 ｶﾀｶﾅ"), longest(cli::kMaxKeyLineBytes, 'k');
    struct Row {
        const char* what;
        bool fromInput;     // the key comes from standard input, not from a file
        std::string bytes;  // what carries it
        std::u16string keyText;
    };
    const std::vector<Row> rows = {
        {"file without line end", false, typed, u"鍵と錠 ｶﾀｶﾅ"},
        {"file with LF and a second line", false, typed + "\nsecond", u"鍵と錠 ｶﾀｶﾅ"},
        {"file with a mark and CRLF", false, "\xEF\xBB\xBF" + typed + "\r\n", u"鍵と錠 ｶﾀｶﾅ"},
        {"lone CR, part of the key", false, typed + "\r", u"鍵と錠 ｶﾀｶﾅ\r"},
        {"mark not at the start, part of the key", false, "x\xEF\xBB\xBF\n", u"x\uFEFF"},
        {"longest line, mark and CRLF", false, "\xEF\xBB\xBF" + longest + "\r\n", Utf16(longest)},
        {"standard input with a mark and CRLF", true, "\xEF\xBB\xBF" + typed + "\r\nmore", u"鍵と錠 ｶﾀｶﾅ"},
        {"standard input read as bytes, Ctrl+Z and all", true, "a\x1A\r\r\n", u"a\x1A\r"},
    };
    const Bytes data = PatternBytes(333, 8);
    const std::u16string source = Put(u"鍵の試験.txt", data), output = folder.File(u"out.dat");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::u16string keyArg = row.fromInput ? u"-" : Key(u"row", row.bytes);
        const auto r = RunCli({u"encrypt", u"-k", keyArg, u"-fo", output, source}, {row.fromInput ? row.bytes : ""});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(ReadFileBytes(output), MakeContainer(u"鍵の試験.txt", data, row.keyText));
    }
}

// Every refusal: its exit status, one line naming what failed, and not a file added, removed or changed.
TEST_F(Cli, refusals_exit_with_their_status_say_why_in_one_line_and_write_nothing)
{
    const Bytes data = PatternBytes(100, 3);
    const std::u16string plain = Put(u"plain.txt", data);
    Put(u"plain.dat", PatternBytes(5, 5));
    const std::u16string good = Put(u"good.dat", MakeContainer(u"plain.txt", data, kKey));
    // A damaged last block: its fill is seen only after every earlier chunk was written.
    Bytes late = MakeContainer(u"n", PatternBytes(kChunk + kChunk / 2 - 10, 7), kKey);
    late.back() ^= 1;
    const std::u16string lateFill = Put(u"late.dat", late);
    for (const auto& [name, size] : {std::pair{u"huge.dat", 1ull << 31}, {u"h.bin", (1ull << 31) - 8}})
        std::filesystem::resize_file(ToFsPath(Put(name, {})), size);
    const std::u16string dots = Put(u"dots.dat", MakeContainer(u"..", data, kKey));
    const std::u16string none = Put(u"名無し.dat", MakeContainer(u"", data, kKey));
    const std::u16string longName = Put(u"ln.dat", MakeContainer(std::u16string(300, u'n'), data, kKey));
    const std::u16string longKey = Key(u"long", std::string(cli::kMaxKeyLineBytes + 1, 'k') + "\n");
    const std::u16string sub = folder.File(u"sub"), subDat = Put(u"s.dat", MakeContainer(u"sub", data, kKey));
    std::filesystem::create_directories(ToFsPath(sub) / "sub");             // where the stored name would go
    const std::u16string longInput = Put(std::u16string(252, u'n'), data);  // ".dat" makes 256
#ifndef _WIN32
    const std::u16string fifo = folder.File(u"fifo");
    const std::u16string longStored = Put(u"ls.dat", MakeContainer(std::u16string(100, u'長'), data, kKey));
    ASSERT_EQ(mkfifo(Utf8(fifo).c_str(), 0600), 0);
    alarm(120);  // a program that waits on the FIFO ends this test here instead of never
#endif
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
        {"key file missing", {u"encrypt", u"-k", folder.File(u"nokey"), plain}, 1, "nokey: cannot read the key file: "},
        {"key not UTF-8", {u"encrypt", u"-k", Key(u"latin1", "caf\xE9\n"), plain}, 1, "not valid UTF-8"},
        {"key line one byte too long", {u"encrypt", u"-k", longKey, plain}, 1, "longer than 65536 bytes"},
        {"no key file and no terminal", {u"encrypt", plain}, 2, "no terminal"},
        {"fill not zero, seen in the last chunk", {u"decrypt", u"-k", keyFile, lateFill}, 1, "wrong key or damaged"},
        {"container of 2 GiB", {u"decrypt", u"-k", keyFile, folder.File(u"huge.dat")}, 1, "huge.dat: too large"},
        {"record over 2,147,483,647 bytes",
         {u"encrypt", u"-k", keyFile, folder.File(u"h.bin")},
         1,
         "h.bin: too large: with its name, a container holds at most 2,147,483,621 bytes of a file"},
        {"stored name \"..\"", {u"decrypt", u"-k", keyFile, dots}, 1, "dots.dat: the container holds no usable"},
        {"empty stored name", {u"decrypt", u"-k", keyFile, none}, 1, "名無し.dat: the container holds no usable"},
        {"stored name too long for a file", {u"decrypt", u"-k", keyFile, longName}, 1, "no usable file name"},
        {"encrypt output exists", {u"encrypt", u"-k", keyFile, plain}, 1, "plain.dat: already exists"},
        {"decrypt output exists", {u"decrypt", u"-k", keyFile, good}, 1, "plain.txt: already exists"},
        {"output name too long", {u"encrypt", u"-k", keyFile, longInput}, 1, "too long for the file system; give a"},
        {"a folder at the output", {u"encrypt", u"-k", keyFile, u"-fo", sub, plain}, 1, "sub: is a folder; give"},
        {"a folder at the stored name", {u"decrypt", u"-k", keyFile, u"-d", sub, subDat}, 1, "sub: is a folder"},
        {"output folder missing", {u"encrypt", u"-k", keyFile, u"-d", folder.File(u"no"), plain}, 1, "cannot create: "},
        {"a name that would retitle the terminal",
         {u"encrypt", u"-k", keyFile, u"\x1b]0;owned\x07\u202e.txt"},
         1,
         "quorvane-cli: \\x1b]0;owned\\x07\\u202e.txt: cannot open"},
        {"input is a folder", {u"encrypt", u"-k", keyFile, sub}, 1, "sub"},
#ifndef _WIN32
        {"input is a FIFO", {u"encrypt", u"-k", keyFile, fifo}, 1, "fifo: not a regular file"},
        {"container is a FIFO", {u"decrypt", u"-k", keyFile, fifo}, 1, "fifo: not a regular file"},
        {"stored name of 300 bytes",
         {u"decrypt", u"-k", keyFile, longStored},
         1,
         "give the output file's name with -o"},
#endif
        {"no arguments", {}, 2, "missing command"},
        {"unknown command", {u"scramble", plain}, 2, "unknown command"},
        {"-o with two inputs", {u"encrypt", u"-k", keyFile, u"-o", u"x", plain, plain}, 2, "single input"},
        {"-o and -d", {u"encrypt", u"-k", keyFile, u"-o", u"x", u"-d", u"y", plain}, 2, "can't be used together"},
        {"unknown option", {u"encrypt", u"-fx", plain}, 2, "unknown option '-x'"},
        {"abbreviated long option", {u"encrypt", u"--forc", plain}, 2, "unknown option '--forc'"},
        {"option without its value", {u"encrypt", plain, u"-k"}, 2, "needs a value"},
        {"no input", {u"decrypt", u"-k", keyFile}, 2, "no CONTAINER"},
        {"\"-o\" as an input after \"--\"", {u"encrypt", u"-k", keyFile, u"--", u"-o"}, 1, "-o: cannot open"},
        {"\"--help\" as the value of -o", {u"encrypt", u"-k", keyFile, u"-fo", u"--help"}, 2, "no FILE to encrypt"},
        {"\"--version\" as the key file", {u"decrypt", u"--key-file", u"--version", good}, 1, "--version: cannot read"},
        {"key file given twice", {u"encrypt", u"-k", keyFile, u"--key-file=x", plain}, 2, "given twice"},
        {"value for --force", {u"encrypt", u"--force=yes", u"-k", keyFile, plain}, 2, "takes no value"},
        {"standard input and a file", {u"encrypt", u"-k", keyFile, u"-", plain}, 2, "the only input"},
        {"standard input for the key and the data",
         {u"decrypt", u"-k", u"-", u"-o", u"x", u"-"},
         2,
         "can't carry both the key and the data"},
        {"standard input without -o or --name", {u"encrypt", u"-k", keyFile, u"-"}, 2, "needs -o OUT or --name"},
        {"--name when decrypting", {u"decrypt", u"-k", keyFile, u"--name", u"n", u"-"}, 2, "--name is for encrypting"},
        {"--name with a folder", {u"encrypt", u"-k", keyFile, u"--name", u"a/b", u"-"}, 2, "without folder"},
        {"--name of 256 units",
         {u"encrypt", u"-k", keyFile, u"--name", std::u16string(256, u'n'), u"-"},
         2,
         "at most 255"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto before = folder.Listing();
        const ChildResult r = RunCli(row.args, {row.input});
        EXPECT_EQ(r.exitCode, row.status);
        EXPECT_EQ(r.err.rfind("quorvane-cli: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(folder.Listing(), before);
    }
#ifndef _WIN32
    alarm(0);
#endif
}

// What a name may carry to the terminal, in this process: controls become escapes, the rest stays.
TEST(ShownText, controls_in_a_name_are_escaped_and_nothing_else)
{
    const std::u16string rows[][2] = {
        {u"\x1b]0;title\x07"
         u"a\x1b[31m",
         u"\\x1b]0;title\\x07a\\x1b[31m"},
        {std::u16string(1, u'\0') + u"\x1f\x7f\x80\x85\x9b\x9f", u"\\x00\\x1f\\x7f\\x80\\x85\\x9b\\x9f"},
        {u"\u061c\u200b\u200f\u2028\u202e\u2066\u206f\ufeff\ufffb",
         u"\\u061c\\u200b\\u200f\\u2028\\u202e\\u2066\\u206f\\ufeff\\ufffb"},
        {u"\u115f\u3164\uffa0\u00ad\U000E0041\uFE0F\u2764\uFE0F\uFE0F" + std::u16string(1, char16_t(0xDCE9)),
         u"\\u115f\\u3164\\uffa0\\u00ad\\U000e0041\\ufe0f\u2764\uFE0F\\ufe0f\\udce9"},
        {u" ~\u00a0\u200a\u2027\u202f\u2070\ufffc 報告 C:\\d\\a.txt \U0001F511",
         u" ~\u00a0\u200a\u2027\u202f\u2070\ufffc 報告 C:\\d\\a.txt \U0001F511"},
    };
    for (const auto& [name, shown] : rows) EXPECT_EQ(cli::EscapeControls(name), shown) << Utf8(shown);
}

// Progress is for a terminal only (see the terminal table): a script's standard error holds the one failure.
TEST_F(Cli, inputs_go_in_order_to_the_directory_until_the_first_failure_without_progress)
{
    const Bytes a = PatternBytes(3000, 1), b = PatternBytes(17, 2);
    const std::u16string out = folder.FileIn(u"出力", u""), large = Put(u"large.bin", {}), missing = folder.File(u"m");
    std::filesystem::resize_file(ToFsPath(large), cli::kProgressMinimumBytes + 1);
    const ChildResult r = RunCli({u"encrypt", u"--key-file", keyFile, u"--directory=" + out, Put(u"a.txt", a), large,
                                  Put(u"日本語.txt", b), missing, Put(u"three.txt", a)});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "quorvane-cli: " + Utf8(missing) + ": cannot open: " + Utf8(SystemErrorText(2)) + "\n");
    EXPECT_EQ(ReadFileBytes(folder.FileIn(u"出力", u"a.dat")), MakeContainer(u"a.txt", a, kKey));
    EXPECT_EQ(ReadFileBytes(folder.FileIn(u"出力", u"日本語.dat")), MakeContainer(u"日本語.txt", b, kKey));
    EXPECT_EQ(ListFolder(ToFsPath(out)), (std::vector<std::u16string>{u"a.dat", u"large.dat", u"日本語.dat"}));
}

// Fills that end a chunk, fill the next alone, or end past the second, replaced in place and back.
TEST_F(Cli, records_across_chunk_boundaries_are_replaced_in_place_and_back)
{
    const std::u16string file = folder.File(u"自分.txt");  // with the head, 20 bytes before the file's own
    for (const std::size_t size : {kChunk - 21, kChunk - 20, 2 * kChunk - 13}) {
        const Bytes data = PatternBytes(size, 4);
        WriteFileBytes(file, data);
        ASSERT_EQ(RunCli({u"encrypt", u"-k", keyFile, u"-fo", file, file}).exitCode, 0);
        EXPECT_EQ(ReadFileBytes(file), MakeContainer(u"自分.txt", data, kKey)) << size;
        ASSERT_EQ(RunCli({u"decrypt", u"-fk", keyFile, u"--output", file, file}).exitCode, 0);
        EXPECT_EQ(ReadFileBytes(file), data) << size;
    }
    EXPECT_EQ(ListFolder(folder.Path()), (std::vector<std::u16string>{u"key-main", u"自分.txt"}));
}

// With -f, an output that is another input of the run (by name, or as a hard link), or an output the run wrote
// before, is refused before anything is written: what the run had not read yet stays.
TEST_F(Cli, force_never_replaces_another_input_or_an_earlier_output_of_the_run)
{
    const Bytes precious = PatternBytes(50, 9), data = PatternBytes(20, 1);
    const std::u16string notes = Put(u"notes", data), notesDat = Put(u"notes.dat", precious);
    const std::u16string container = Put(u"c.dat", MakeContainer(u"notes.dat", data, kKey));
    const std::u16string out = folder.FileIn(u"out", u""), other = Put(u"other.txt", precious);
    std::filesystem::create_hard_link(ToFsPath(other), ToFsPath(folder.FileIn(u"out", u"notes.dat")));
    const std::u16string dupTxt = Put(u"dup.txt", data), dupDoc = Put(u"dup.doc", precious);
    struct Row {
        const char* what;
        Args args;  // after "encrypt -k KEYFILE -f" or "decrypt -k KEYFILE -f"
        bool encrypt;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"encrypt onto a later input", {notes, notesDat}, true, "notes.dat: is an input of this run"},
        {"decrypt by its stored name onto a later input", {container, notesDat}, false, "is an input of this run"},
        {"encrypt onto a hard link of a later input", {u"-d", out, notes, other}, true, "is an input of this run"},
        {"two inputs, one output", {u"-d", out, dupTxt, dupDoc}, true, "dup.dat: was written earlier in this run"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Args args{row.encrypt ? u"encrypt" : u"decrypt", u"-k", keyFile, u"-f"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const ChildResult r = RunCli(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(ReadFileBytes(notesDat), precious);
        EXPECT_EQ(ReadFileBytes(other), precious);
    }
    EXPECT_EQ(ReadFileBytes(folder.FileIn(u"out", u"dup.dat")), MakeContainer(u"dup.txt", data, kKey));
}

// "-" is standard input or output: a real pipe, or a file as a shell's "<" gives (then its size is known
// and the sizes go first). What can't be checked before bytes go out fails with exit status 1.
TEST_F(Cli, pipes_carry_the_same_containers_both_ways_and_fail_before_output_where_they_can)
{
    auto text = [](const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); };
    const Bytes data = PatternBytes(1000, 1), edge = PatternBytes(kChunk - 18, 2), two = PatternBytes(kChunk + 100, 3);
    const Bytes one = MakeContainer(u"p.bin", data, kKey), big = MakeContainer(u"p.bin", two, kKey);
    const Bytes edgeOne = MakeContainer(u"p.bin", edge, kKey), unnamed = MakeContainer(u"", data, kKey);
    const Bytes firstChunk(two.begin(), two.begin() + (kChunk - 18));
    std::string damaged = text(one), damagedTwo = text(big);
    damaged.back() ^= 1;  // the last block holds the fill
    damagedTwo.back() ^= 1;
    const std::u16string file = Put(u"p.bin", data), bigFile = Put(u"big.dat", big), c = folder.File(u"c.dat");
    const std::u16string out = folder.FileIn(u"out", u""), stored = folder.FileIn(u"out", u"p.bin");
    const std::u16string noSpool = folder.File(u"no-such-folder");
    const Args encrypt{u"encrypt", u"--name", u"p.bin", u"-o", u"-", u"-"}, decrypt{u"decrypt", u"-o", u"-", u"-"};
    struct Row {
        const char* what;
        Args args;  // then "-k KEYFILE"
        ChildInput input;
        int status;
        std::optional<Bytes> out;  // on standard output or in c or stored; none: whatever came before the reader went
        std::string message = {};
    };
    const std::vector<Row> rows = {
        {"encrypt pipe to pipe", encrypt, {text(data), true}, 0, one},
        {"encrypt a pipe ending on a chunk boundary", encrypt, {text(edge), true}, 0, edgeOne},
        {"encrypt a pipe without a name", {u"encrypt", u"-o", u"-", u"-"}, {text(data), true}, 0, unnamed},
        {"encrypt a file to a pipe", {u"encrypt", u"-o", u"-", file}, {}, 0, one},
        {"encrypt a pipe to a file", {u"encrypt", u"-o", c, u"-"}, {text(two), true}, 0, MakeContainer(u"", two, kKey)},
        {"encrypt a redirected file", {u"encrypt", u"--name", u"p.bin", u"-o", c, u"-"}, {text(data)}, 0, one},
        {"decrypt pipe to pipe", decrypt, {text(big), true}, 0, two},
        {"decrypt a file to a pipe", {u"decrypt", u"-o", u"-", bigFile}, {}, 0, two},
        {"decrypt a pipe by its stored name", {u"decrypt", u"-d", out, u"-"}, {text(one), true}, 0, data},
        {"decrypt a redirected file", {u"decrypt", u"-o", c, u"-"}, {text(big)}, 0, two},
        {"wrong key", decrypt, {text(MakeContainer(u"n", data, u"other")), true}, 1, Bytes{}, "wrong key"},
        {"bad fill in the only chunk", decrypt, {damaged, true}, 1, Bytes{}, "wrong key or damaged file\n"},
        {"bad fill after a chunk went out", decrypt, {damagedTwo, true}, 1, firstChunk, "throw away the bytes"},
        {"reader gone while decrypting", {u"decrypt", u"-o", u"-", bigFile}, {"", true, 1000}, 1, {}, "output: closed"},
        {"reader gone while encrypting", encrypt, {text(two), true, 1000}, 1, std::nullopt, "output: closed"},
#ifndef _WIN32
        {"no temporary folder to spool in",
         encrypt,
         {text(data), true, std::string::npos, {"TMPDIR=" + Utf8(noSpool)}},
         1,
         Bytes{},
         Utf8(noSpool) + ": cannot hold the container for standard output"},
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Args args = row.args;
        args.insert(args.end(), {u"-k", keyFile});
        const ChildResult r = RunCli(args, row.input);
        EXPECT_EQ(r.exitCode, row.status) << r.err;
        std::string written = r.out;
        for (const std::u16string& outFile : {c, stored}) {
            if (std::filesystem::exists(ToFsPath(outFile))) written += text(ReadFileBytes(outFile));
            std::filesystem::remove(ToFsPath(outFile));
        }
        EXPECT_TRUE(!row.out || written == text(*row.out));
        // Without a message, standard error stays empty: nothing on success, no progress off a terminal.
        EXPECT_TRUE(row.message.empty() ? r.err.empty() : r.err.find(row.message) != std::string::npos) << r.err;
        for (const std::u16string& entry : folder.Listing()) EXPECT_EQ(entry.find(u".tmp"), entry.npos);
    }
}

#ifndef _WIN32
// Standard output that fails for another reason than a closed reader (a full device, or closed before the start,
// where a file opened later must not take its place), and an output file past the size limit: exit 1, one line.
TEST_F(Cli, failed_writes_to_standard_output_or_past_the_size_limit_end_the_run_with_exit_1)
{
    const std::string data(2 * kChunk + 100, 'p');
    const std::u16string bigFile = Put(u"big.dat", MakeContainer(u"p.bin", Bytes(data.begin(), data.end()), kKey));
    const std::u16string c = folder.File(u"c.dat");
    struct Row {
        const char* what;
        std::u16string shell;  // runs the program as "$0" "$@"
        Args args;             // then "-k KEYFILE"
        bool piped;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"decrypt to a full device",
         u"exec \"$0\" \"$@\" >/dev/full",
         {u"decrypt", u"-o", u"-", bigFile},
         false,
         "standard output: cannot write the decrypted data: No space left on device\n"},
        {"encrypt a pipe to a full device",
         u"exec \"$0\" \"$@\" >/dev/full",
         {u"encrypt", u"-o", u"-", u"-"},
         true,
         "standard output: cannot write the encrypted data: No space left on device\n"},
        {"encrypt a pipe to a closed output",
         u"exec \"$0\" \"$@\" >&-",
         {u"encrypt", u"-o", u"-", u"-"},
         true,
         "standard output: cannot write the encrypted data: Bad file descriptor\n"},
        {"decrypt to /dev/stdout, closed at start",
         u"exec \"$0\" \"$@\" >&-",
         {u"decrypt", u"-o", u"/dev/stdout", bigFile},
         false,
         "standard output: cannot write the decrypted data: Bad file descriptor\n"},
        {"encrypt a pipe past the size limit",
         u"ulimit -f 64; exec \"$0\" \"$@\"",
         {u"encrypt", u"-o", c, u"-"},
         true,
         "c.dat: cannot write the encrypted data: File too large\n"},
        {"list to a full device",
         u"exec \"$0\" \"$@\" >/dev/full",
         {u"list", bigFile},
         false,
         "standard output: cannot write the list: No space left on device\n"},
        {"help to a full device",
         u"exec \"$0\" \"$@\" >/dev/full",
         {u"--help"},
         false,
         "standard output: cannot write the help: No space left on device\n"},
        {"version to a closed output",
         u"exec \"$0\" \"$@\" >&-",
         {u"--version"},
         false,
         "standard output: cannot write the version: Bad file descriptor\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto before = folder.Listing();
        Args args{u"/bin/sh", u"-c", row.shell, CliProgram()};
        args.insert(args.end(), row.args.begin(), row.args.end());
        args.insert(args.end(), {u"-k", keyFile});
        const ChildResult r = RunChild(args, {data, row.piped});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.starts_with("quorvane-cli: ") && r.err.ends_with(row.message)) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(folder.Listing(), before);
    }
}
#endif

#ifndef _WIN32
// A destination that is standard output (as /dev/stdout is), a character device or a FIFO, named directly or by a
// link, is written into as a stream, never replaced, even with -f.
TEST_F(Cli, outputs_that_are_devices_fifos_or_standard_output_are_written_into_never_replaced)
{
    const Bytes data = PatternBytes(kChunk + 100, 6), container = MakeContainer(u"p.bin", data, kKey);
    const std::u16string file = Put(u"c.dat", container), fifo = folder.File(u"fifo"), got = folder.File(u"got");
    const std::u16string toNull = folder.File(u"to-null"), toStdout = folder.File(u"to-stdout");
    ASSERT_EQ(mkfifo(Utf8(fifo).c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/null", ToFsPath(toNull));
    std::filesystem::create_symlink("/dev/stdout", ToFsPath(toStdout));
    const std::u16string direct = u"exec \"$0\" \"$@\"", toFile = direct + u" >" + got;
    // The FIFO's reader gets a writer of its own once the program ended, so that it never waits for one in vain.
    const std::u16string readFifo = u"\"$0\" \"$@\" & p=$!; cat " + fifo + u" & c=$!; wait $p; s=$?; exec 3<>" + fifo +
                                    u"; exec 3>&-; wait $c; exit $s";
    struct Row {
        const char* what;
        std::u16string shell;  // runs the program as "$0" "$@"
        Args args;             // then "-k KEYFILE -f"
        bool piped;
        const Bytes& out;  // on standard output or in got
    };
    const Bytes none;
    const std::vector<Row> rows = {
        {"decrypt into a FIFO", readFifo, {u"decrypt", u"-o", fifo, file}, false, data},
        {"decrypt into a link to a device", direct, {u"decrypt", u"-o", toNull, file}, false, none},
        {"decrypt into a link to standard output, a pipe", direct, {u"decrypt", u"-o", toStdout, file}, false, data},
        {"decrypt into a link to standard output, a file", toFile, {u"decrypt", u"-o", toStdout, file}, false, data},
        {"encrypt a pipe into a link to standard output",
         direct,
         {u"encrypt", u"--name", u"p.bin", u"-o", toStdout, u"-"},
         true,
         container},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Args args{u"/bin/sh", u"-c", row.shell, CliProgram()};
        args.insert(args.end(), row.args.begin(), row.args.end());
        args.insert(args.end(), {u"-k", keyFile, u"-f"});
        const std::string input(data.begin(), data.end());
        const ChildResult r = RunChild(args, {input, row.piped});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const bool inFile = std::filesystem::exists(ToFsPath(got));
        EXPECT_TRUE((inFile ? ReadFileBytes(got) : Bytes(r.out.begin(), r.out.end())) == row.out);
        std::filesystem::remove(ToFsPath(got));
        EXPECT_TRUE(std::filesystem::is_fifo(ToFsPath(fifo)));
        for (const auto& link : {toNull, toStdout}) EXPECT_TRUE(std::filesystem::is_symlink(ToFsPath(link)));
        EXPECT_EQ(ListFolder(folder.Path()).size(), 5u);  // key, container, FIFO and the two links
    }
}
#endif

#ifndef _WIN32
// Another user plants a FIFO, or a link to /dev/null, at the output path in a folder both may write (sticky, as
// /tmp): it is refused, with or without -f, and the message says whose it is. Nothing reaches the FIFO.
TEST_F(Cli, a_fifo_or_link_of_another_user_at_the_output_is_refused_and_named)
{
    const Bytes data = PatternBytes(100, 4);
    const std::u16string file = Put(u"c.dat", MakeContainer(u"p.bin", data, kKey));
    const std::filesystem::path shared = ToFsPath(folder.FileIn(u"shared", u""));
    std::filesystem::permissions(folder.Path(), std::filesystem::perms::all);
    std::filesystem::permissions(shared, std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
    const int planted = AsAnotherUser([&] {
        return ::mkfifo((shared / "fifo").c_str(), 0666) == 0 && ::symlink("/dev/null", (shared / "link").c_str()) == 0
                   ? 0
                   : 1;
    });
    if (planted == -1) GTEST_SKIP() << "needs root, to act as another user";
    ASSERT_EQ(planted, 0);
    // A reader, so that a program that writes into the FIFO is not held up.
    const int reader = ::open((shared / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
    for (const char* name : {"fifo", "link"}) {
        for (const bool force : {false, true}) {
            SCOPED_TRACE(std::string(name) + (force ? " with -f" : ""));
            Args args{u"decrypt", u"-k", keyFile, u"-o", FromFsPath(shared / name), file};
            if (force) args.push_back(u"-f");
            const ChildResult r = RunCli(args);
            EXPECT_EQ(r.exitCode, 1);
            const std::string kind = name == std::string("fifo") ? "a FIFO" : "a link";
            EXPECT_TRUE(r.err.ends_with(name + std::string(": is another user's; not written: ") + kind +
                                        " owned by nobody (uid 65534)\n"))
                << r.err;
        }
    }
    char got = 0;
    EXPECT_LE(::read(reader, &got, 1), 0);
    ::close(reader);
}

// A name that is not UTF-8 (Latin-1, Shift_JIS from an old archive) names its file as it is; only the stored name
// is converted, each stray byte to U+FFFD, and a note says so. Outputs to such names work as well.
TEST_F(Cli, names_that_are_not_utf8_are_used_as_bytes_and_stored_with_u_fffd)
{
    const std::u16string e9(1, char16_t(0xDCE9)), sjis = std::u16string{char16_t(0xDC93), char16_t(0xDC5C)};
    const Bytes data = PatternBytes(50, 5);
    const std::u16string input = Put(u"caf" + e9 + u".txt", data), dir = folder.FileIn(u"d" + sjis, u"");
    const ChildResult encrypted = RunCli({u"encrypt", u"-k", keyFile, input});
    EXPECT_EQ(encrypted.exitCode, 0);
    EXPECT_TRUE(encrypted.err.find("caf\\udce9.txt: note: the name is not UTF-8") != std::string::npos &&
                encrypted.err.find("--name") != std::string::npos)
        << encrypted.err;
    const std::u16string container = folder.File(u"caf" + e9 + u".dat");
    EXPECT_EQ(ReadFileBytes(container), MakeContainer(u"caf\uFFFD.txt", data, kKey));
    const ChildResult toFile = RunCli({u"decrypt", u"-k", keyFile, u"-o", folder.File(u"out" + sjis), container});
    EXPECT_EQ(toFile.exitCode, 0) << toFile.err;
    EXPECT_EQ(ReadFileBytes(folder.File(u"out" + sjis)), data);
    const ChildResult toFolder = RunCli({u"decrypt", u"-k", keyFile, u"-d", dir, container});
    EXPECT_EQ(toFolder.exitCode, 0) << toFolder.err;
    EXPECT_EQ(ListFolder(ToFsPath(dir)), std::vector<std::u16string>{u"caf\uFFFD.txt"});
}
#endif

#ifdef _WIN32
// NUL, in any case and in any folder, is the device: decrypting there throws the bytes away, and no file is made.
TEST_F(Cli, nul_takes_the_output_as_a_stream_and_no_file_is_made)
{
    const std::u16string file = Put(u"c.dat", MakeContainer(u"p.bin", PatternBytes(kChunk + 100, 6), kKey));
    for (const std::u16string& nul : {std::u16string(u"NUL"), std::u16string(u"nul"), folder.File(u"NuL")}) {
        SCOPED_TRACE(Utf8(nul));
        const auto before = folder.Listing();
        const ChildResult r = RunCli({u"decrypt", u"-k", keyFile, u"-f", u"-o", nul, file});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(folder.Listing(), before);
    }
}
#endif

// Check deciphers every block and list only the head, the name and the fill; both tell each container that doesn't
// open as decrypt does, read a pipe through, and leave no file anywhere, the temporary folder included.
TEST_F(Cli, check_and_list_tell_which_containers_open_and_write_nothing)
{
    const Bytes data = PatternBytes(1000, 2);
    const Bytes goodBytes = MakeContainer(u"report.xlsx", data, kKey);
    Bytes late = MakeContainer(u"d", PatternBytes(kChunk + 100, 3), kKey), cut = goodBytes;
    late.back() ^= 1;  // the fill, in the second chunk
    cut.resize(cut.size() - 8);
    const std::u16string good = Put(u"good.dat", goodBytes), damaged = Put(u"damaged.dat", late);
    const std::u16string truncated = Put(u"truncated.dat", cut), foreign = Put(u"foreign.dat", PatternBytes(4096, 9));
    const std::u16string wrong = Put(u"wrong.dat", MakeContainer(u"w", data, u"other key"));
    // A backslash is shown doubled: "c\\x09d" is not "c<TAB>d".
    const std::u16string slashed = Put(u"slashed.dat", MakeContainer(u"c\\x09d", PatternBytes(3, 1), kKey));
    const auto shown = [](const std::u16string& path) {
        std::string text;
        for (const char c : Utf8(path)) text += c == '\\' ? std::string(2, c) : std::string(1, c);
        return text;
    };
#ifdef _WIN32
    const std::u16string controls = Put(u"controls.dat", {});  // no controls in a name there
    const std::string controlsShown = shown(controls);
#else
    const std::u16string controls = Put(u"c\x1b.dat", {});
    const std::string controlsShown = Utf8(folder.File(u"c\\x1b.dat"));
#endif
    WriteFileBytes(controls, MakeContainer(u"a\tb\x1b[31m.txt", PatternBytes(7, 1), kKey));
    const std::u16string missing = folder.File(u"missing.dat"), tmp = folder.FileIn(u"tmp", u"");
    const auto fails = [](const std::u16string& path) {
        return "quorvane-cli: " + Utf8(path) + ": wrong key or damaged file\n";
    };
    const std::string goodLine = shown(good) + "\t1000\treport.xlsx", text(goodBytes.begin(), goodBytes.end());
    const std::string cannotOpen =
        "quorvane-cli: " + Utf8(missing) + ": cannot open: " + Utf8(SystemErrorText(2)) + "\n";
    using namespace std::string_literals;
    const std::string pipeFails = "quorvane-cli: standard input: wrong key or damaged file\n";
    struct Row {
        const char* what;
        Args args;  // then "-k KEYFILE"
        ChildInput input;
        int status;
        std::string out, err;
    };
    const std::vector<Row> rows = {
        {"check of good ones", {u"check", good, controls}, {}, 0, "", ""},
        {"check with a wrong key", {u"check", wrong}, {}, 1, "", fails(wrong)},
        {"check of a fill damaged in the last chunk", {u"check", damaged}, {}, 1, "", fails(damaged)},
        {"check of a truncated one", {u"check", truncated}, {}, 1, "", fails(truncated)},
        {"check of a foreign file", {u"check", foreign}, {}, 1, "", fails(foreign)},
        {"check stops at the first failure", {u"check", wrong, missing, good}, {}, 1, "", fails(wrong)},
        {"check --keep-going tells each failure",
         {u"check", u"--keep-going", wrong, good, missing, damaged},
         {},
         1,
         "",
         fails(wrong) + cannotOpen + fails(damaged)},
        {"check of a pipe", {u"check", u"-"}, {text, true}, 0, "", ""},
        {"check of a truncated pipe", {u"check", u"-"}, {text.substr(0, text.size() - 8), true}, 1, "", pipeFails},
        {"list of good ones",
         {u"list", good, controls, slashed},
         {},
         0,
         goodLine + "\n" + controlsShown + "\t7\ta\\x09b\\x1b[31m.txt\n" + shown(slashed) + "\t3\tc\\\\x09d\n",
         ""},
        {"list -0 ends each field with NUL and escapes nothing",
         {u"list", u"-0", good, controls},
         {},
         0,
         Utf8(good) + "\0"s + "1000\0report.xlsx\0"s + Utf8(controls) + "\0"s + "7\0a\tb\x1b[31m.txt\0"s,
         ""},
        {"list goes on after each failure",
         {u"list", wrong, damaged, truncated, good, foreign, missing},
         {},
         1,
         goodLine + "\n",
         fails(wrong) + fails(damaged) + fails(truncated) + fails(foreign) + cannotOpen},
        {"list of a pipe", {u"list", u"-"}, {text, true}, 0, "-\t1000\treport.xlsx\n", ""},
        {"list of a damaged pipe", {u"list", u"-"}, {std::string(late.begin(), late.end()), true}, 1, "", pipeFails},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Args args = row.args;
        args.insert(args.end(), {u"-k", keyFile});
        ChildInput input = row.input;
        input.env.push_back("TMPDIR=" + Utf8(tmp));
        const auto before = folder.Listing();
        const ChildResult r = RunCli(args, input);
        EXPECT_EQ(r.exitCode, row.status);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err, row.err);
        EXPECT_EQ(folder.Listing(), before);
    }
}

// Windows leaves "*.txt" to the program; a POSIX shell has expanded it before the program starts.
TEST_F(Cli, wildcard_in_an_input_is_expanded_on_windows_only)
{
    constexpr bool kWindows = std::filesystem::path::preferred_separator == L'\\';
    for (const char16_t* name : {u"a.txt", u"b.txt", u"c.bin"}) Put(name, PatternBytes(10, 1));
    const std::u16string out = folder.FileIn(u"out", u"");
    const ChildResult r = RunCli({u"encrypt", u"-k", keyFile, u"-d", out, folder.File(u"*.txt")});
    EXPECT_EQ(r.exitCode, kWindows ? 0 : 1) << r.err;
    const std::vector<std::u16string> expanded{u"a.dat", u"b.dat"};
    EXPECT_EQ(ListFolder(ToFsPath(out)), kWindows ? expanded : std::vector<std::u16string>{});
}

TEST_F(Cli, help_answers_anywhere_on_the_line)
{
    for (const Args& args : {Args{u"--help"}, Args{u"encrypt", u"-h"}, Args{u"decrypt", u"x.dat", u"--help"}}) {
        const ChildResult r = RunCli(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out.rfind("Usage: quorvane-cli encrypt", 0), 0u) << r.out;
    }
}

#ifndef _WIN32

using Clock = std::chrono::steady_clock;

// The program on a pseudo-terminal of its own: what it shows is read, keys are typed into it.
struct CTerminalSession {
    // asJob: as a shell starts it, in a process group of its own below the session's leader, which waits
    // for it and ends as it ended: only such a job is really stopped by Ctrl+Z.
    explicit CTerminalSession(const std::vector<std::u16string>& args, bool asJob = false)
    {
        std::vector<std::string> strings{Utf8(CliProgram())};
        for (const auto& arg : args) strings.push_back(Utf8(arg));
        std::vector<char*> argv;
        for (auto& s : strings) argv.push_back(s.data());
        argv.push_back(nullptr);
        if ((pid = forkpty(&master, nullptr, nullptr, nullptr)) != 0) return;
        if (!asJob) _exit(execv(argv[0], argv.data()) ? 127 : 0);
        signal(SIGTTOU, SIG_IGN);
        const pid_t job = fork();
        if (job == 0) {
            setpgid(0, 0);
            tcsetpgrp(STDIN_FILENO, getpid());
            signal(SIGTTOU, SIG_DFL);
            _exit(execv(argv[0], argv.data()) ? 127 : 0);
        }
        setpgid(job, job);
        int raw = 0;
        while (waitpid(job, &raw, 0) < 0) {}
        _exit(WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw));
    }
    ~CTerminalSession()
    {
        if (pid > 0) Finish(0);
        close(master);
    }
    CTerminalSession(const CTerminalSession&) = delete;
    CTerminalSession& operator=(const CTerminalSession&) = delete;

    // Reads what the terminal shows until `text` appears after what was awaited before, or the terminal closes.
    bool WaitFor(const std::string& text, int seconds = 20)
    {
        for (const auto deadline = Clock::now() + std::chrono::seconds(seconds); Clock::now() < deadline;) {
            if (const auto at = shown.find(text, awaited); !text.empty() && at != shown.npos) {
                awaited = at + text.size();
                return true;
            }
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 200) == 0) continue;
            char buffer[512];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) return false;
            shown.append(buffer, static_cast<std::size_t>(n));
        }
        return false;
    }
    void Type(const std::string& keys) { ASSERT_EQ(write(master, keys.data(), keys.size()), ssize_t(keys.size())); }
    bool EchoIsOn() const
    {
        termios t{};
        return tcgetattr(master, &t) == 0 && (t.c_lflag & ECHO) != 0;
    }
    // The exit status (128 + a signal's number) once the program has closed the terminal, or after `seconds`.
    int Finish(int seconds = 20)
    {
        WaitFor({}, seconds);
        kill(pid, SIGKILL);  // one still waiting for input has failed already
        int raw = 0;
        waitpid(std::exchange(pid, -1), &raw, 0);
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }

    pid_t pid = -1;
    std::string shown;  // everything the terminal showed
    int master = -1;
    std::size_t awaited = 0;
};

// True once the process holds its temporary output open: named, or still without a name.
bool HasTemporaryOutput(pid_t pid)
{
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        const std::string target = std::filesystem::read_symlink(fd.path(), error).native();
        if (target.ends_with(".quorvane.tmp") || target.ends_with(" (deleted)")) return true;
    }
    return false;
}

// The key is typed without echo, twice to encrypt. A refusal, or a signal in the middle of a large
// file or of a waiting read, leaves nothing behind and the terminal echoing again.
TEST_F(Cli, typed_keys_and_signals_on_a_terminal_end_the_run_as_asked)
{
    const Bytes data = PatternBytes(2000, 1);
    const std::u16string source = Put(u"入力.txt", data),
                         container = Put(u"c.dat", MakeContainer(u"戻り.txt", data, kKey));
    Bytes head(16, 0);
    PutLe32(head, 0, (512u << 20) - 16);
    const std::u16string big = Put(u"big", {}), bigDat = Put(u"big\x1b[8m.dat", EncipherRecord(head, kKey));
    for (const auto& path : {big, bigDat}) std::filesystem::resize_file(ToFsPath(path), 512u << 20);
    const std::u16string progress = Put(u"\x1b[7mp.bin", {}), keyFifo = folder.File(u"key-fifo");
    std::filesystem::resize_file(ToFsPath(progress), cli::kProgressMinimumBytes + 1);
    // The smallest container that shows the progress line, its fill bad: the line, then the failure at the end.
    PutLe32(head, 0, std::uint32_t(cli::kProgressMinimumBytes));
    const std::u16string badFill = Put(u"fill\x1b[8m.dat", EncipherRecord(head, kKey));
    std::filesystem::resize_file(ToFsPath(badFill), cli::kProgressMinimumBytes + 16);
    ASSERT_EQ(mkfifo(Utf8(keyFifo).c_str(), 0600), 0);
    const std::string shownKey = Utf8(kKey), key = shownKey + "\n";
    struct Row {
        const char* what;
        std::vector<std::u16string> args;
        std::vector<std::string> typed;  // at "Key: ", then at "Key again: "
        int signal;                      // sent once the temporary output is there, or the key FIFO is open
        int status;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"keys differ", {u"encrypt", source}, {"one\n", "two\n"}, 0, 1, "the two keys differ"},
        {"empty key", {u"encrypt", source}, {"\n"}, 0, 1, "empty key"},
        {"end of input", {u"encrypt", source}, {"\x04"}, 0, 1, "no key was entered"},
        {"Ctrl+C", {u"encrypt", source}, {"\x03"}, 0, 128 + SIGINT, ""},
        {"SIGINT", {u"encrypt", u"-k", keyFile, u"-fo", big, big}, {}, SIGINT, 128 + SIGINT, "interrupted"},
        {"SIGTERM",
         {u"decrypt", u"-k", keyFile, u"-fo", big, bigDat},
         {},
         SIGTERM,
         128 + SIGTERM,
         "\\x1b[8m.dat: interr"},
        {"SIGINT in a waiting read", {u"encrypt", u"-k", keyFifo, source}, {}, SIGINT, 128 + SIGINT, ""},
        {"progress",
         {u"encrypt", u"-k", keyFile, u"-fo", folder.File(u"p.dat"), progress},
         {},
         0,
         0,
         "\\x1b[7mp.bin  0%"},
        {"encrypt", {u"encrypt", source}, {key, key}, 0, 0, ""},
        {"decrypt", {u"decrypt", container}, {key}, 0, 0, ""},
        {"check asks the key once", {u"check", container}, {key}, 0, 0, ""},
        {"check shows progress, then the bad fill", {u"check", u"-k", keyFile, badFill}, {}, 0, 1, "\\x1b[8m.dat  0%"},
        {"standard output a terminal", {u"decrypt", u"-k", keyFile, u"-o", u"-", container}, {}, 0, 2, "is a terminal"},
        {"key from standard input, a terminal", {u"decrypt", u"-k", u"-", container}, {}, 0, 2, "omit -k to be asked"},
        {"Ctrl+C at standard input", {u"encrypt", u"-k", keyFile, u"-fo", big, u"-"}, {}, SIGINT, 130, "input"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto before = folder.Listing();
        CTerminalSession session(row.args);
        for (std::size_t i = 0; i < row.typed.size(); ++i) {
            ASSERT_TRUE(session.WaitFor(i == 0 ? "Key: " : "Key again: "));
            EXPECT_FALSE(session.EchoIsOn());
            session.Type(row.typed[i]);
        }
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        int writer = -1;  // held open without writing: the key's read waits
        while (row.signal && !HasTemporaryOutput(session.pid) &&
               (writer = open(Utf8(keyFifo).c_str(), O_WRONLY | O_NONBLOCK)) < 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (row.signal) {
            // Not in the instant between the temporary's creation and its notice to the handler.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            kill(session.pid, row.signal);
        }
        // Rows that read a large file end by themselves, however slow the machine; the limit only catches a hang.
        EXPECT_EQ(session.Finish(180), row.status) << session.shown;
        if (writer >= 0) close(writer);
        // Without a message, no line of the program's own is shown.
        const std::string expected = row.message.empty() ? "quorvane-cli:" : row.message;
        EXPECT_EQ(session.shown.find(expected) == std::string::npos, row.message.empty()) << session.shown;
        EXPECT_EQ(session.shown.find(shownKey), std::string::npos);
        EXPECT_TRUE(session.EchoIsOn());
        // A failed run or a check leaves nothing; one that succeeds adds its one output.
        const auto after = folder.Listing();
        EXPECT_EQ(after.size(), before.size() + (row.status == 0 && row.args[0] != u"check" ? 1 : 0));
        EXPECT_TRUE(std::includes(after.begin(), after.end(), before.begin(), before.end()));
    }
    EXPECT_EQ(ReadFileBytes(folder.File(u"入力.dat")), MakeContainer(u"入力.txt", data, kKey));
    EXPECT_EQ(ReadFileBytes(folder.File(u"戻り.txt")), data);
}

// A child that never ends is killed and fails its test, here a key read from a FIFO that nobody opens.
TEST_F(Cli, a_hung_child_is_killed_and_fails_its_test)
{
    const std::u16string fifo = folder.File(u"fifo"), plain = Put(u"p.txt", PatternBytes(10, 1));
    ASSERT_EQ(mkfifo(Utf8(fifo).c_str(), 0600), 0);
    EXPECT_THROW(RunCli({u"encrypt", u"-k", fifo, plain}, {.seconds = 1}), std::runtime_error);
}

bool IsStopped(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'T';
}

// Ctrl+Z at the prompt gives the shell an echoing terminal; going on hides the input and asks again. A signal
// that ends the program there leaves the echo on.
TEST_F(Cli, a_stop_or_a_signal_at_the_key_prompt_gives_the_terminal_back)
{
    const Bytes data = PatternBytes(100, 1);
    const std::u16string container = Put(u"c.dat", MakeContainer(u"back.txt", data, kKey));
    {
        CTerminalSession session({u"decrypt", container}, true);
        ASSERT_TRUE(session.WaitFor("Key: "));
        const pid_t job = tcgetpgrp(session.master);
        session.Type("\x1a");
        for (const auto deadline = Clock::now() + std::chrono::seconds(20); !IsStopped(job) && Clock::now() < deadline;)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_TRUE(IsStopped(job));
        EXPECT_TRUE(session.EchoIsOn());
        kill(job, SIGCONT);
        ASSERT_TRUE(session.WaitFor("Key: "));
        EXPECT_FALSE(session.EchoIsOn());
        session.Type(Utf8(kKey) + "\n");
        EXPECT_EQ(session.Finish(), 0) << session.shown;
        EXPECT_EQ(ReadFileBytes(folder.File(u"back.txt")), data);
    }
    // What was typed of the key is thrown away too: it must not become the start of the shell's next command.
    for (const int signal : {SIGPIPE, SIGALRM, SIGUSR1, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal);
        CTerminalSession session({u"decrypt", container});
        ASSERT_TRUE(session.WaitFor("Key: "));
        // Held open, as the shell holds it: the terminal and what waits in its input outlive the program.
        const int shell = open(ptsname(session.master), O_RDWR | O_NOCTTY | O_NONBLOCK);
        session.Type("ab");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the keys reach the terminal's queue
        kill(session.pid, signal);
        int raw = 0;
        waitpid(std::exchange(session.pid, -1), &raw, 0);
        EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == signal);
        EXPECT_TRUE(session.EchoIsOn());
        session.Type("\n");
        std::string left;
        pollfd p{shell, POLLIN, 0};
        for (char c = 0; left.find('\n') == std::string::npos && poll(&p, 1, 20000) == 1 && read(shell, &c, 1) == 1;)
            left += c;
        EXPECT_EQ(left, "\n");
        close(shell);
    }
}

#endif

}  // namespace
}  // namespace quorvane::test
