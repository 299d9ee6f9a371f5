// Faults that a preloaded shim (fault_shim.c) makes in a run of a front end: every file-system call
// the run makes, failed in turn, and SIGKILL in the middle of the output.
#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>

#include "jobs/platform_file.h"
#include "tests/support/child_process.h"
#include "tests/support/container_maker.h"

namespace quorvane {
namespace {

using test::Bytes;

struct FrontEnd {
    const char* name;
    bool cli, encrypt;
    bool keep = false;  // no -f, no destination yet, and the link fallback for the no-replace rename
};
constexpr FrontEnd kFrontEnds[] = {{"encrypt job", false, true},
                                   {"decrypt job", false, false},
                                   {"cli encrypt", true, true},
                                   {"cli decrypt", true, false},
                                   {"cli encrypt without -f by hard link", true, true, true}};
const std::u16string kKey = u"故障の鍵";
const std::string kShim = "LD_PRELOAD=" QUORVANE_FAULT_SHIM, kAsan = "ASAN_OPTIONS=verify_asan_link_order=0";

// A front end's run over `size` bytes in a folder of its own: source.bin to out.bin, which holds `earlier`.
struct CRun {
    CRun(const FrontEnd& frontEnd, std::size_t size) : end(frontEnd), plain(test::PatternBytes(size, 3))
    {
        test::WriteText(keyFile, test::Utf8(kKey) + "\n");
        test::WriteFileBytes(source, end.encrypt ? plain : test::MakeContainer(u"plain.bin", plain, kKey));
        const std::u16string direction = end.encrypt ? u"encrypt" : u"decrypt";
        argv = {test::CliProgram(), direction, u"-k", keyFile, u"-f", u"-o", destination, source};
        if (end.keep) argv.erase(argv.begin() + 4);  // the -f
        if (!end.cli) argv = {test::Utf16(QUORVANE_FAULT_RUNNER), direction, kKey, source, destination};
        Reset();
    }
    void Reset() const
    {
        if (end.keep) std::filesystem::remove(ToFsPath(destination));
        if (!end.keep) test::WriteFileBytes(destination, earlier);
    }

    const FrontEnd& end;
    test::CTempFolder folder, logs;
    const Bytes plain, earlier = test::PatternBytes(900, 4);
    const std::u16string source = folder.File(u"source.bin"), destination = folder.File(u"out.bin");
    const std::u16string keyFile = logs.File(u"key.txt"), log = logs.File(u"calls.log");
    std::vector<std::u16string> argv;
};

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Run N fails the N-th call on the run's files, for N = 1, 2, ... until a run makes fewer calls than N.
// A run whose call failed must end with its message (or exit 1) and the earlier destination intact,
// unless the call was harmless to the output. Never a temporary file is left.
TEST(NthCall, every_failed_call_ends_with_its_message_and_the_earlier_destination_intact)
{
    constexpr int kMaxCalls = 400;  // far above any run's count; the loop must end well before
    for (const FrontEnd& end : kFrontEnds) {
        const CRun run(end, 70000);
        ASSERT_EQ(test::RunChild(run.argv).exitCode, 0) << end.name;
        const Bytes expected = test::ReadFileBytes(run.destination);  // what a run without a fault leaves
        int n = 0;
        while (++n <= kMaxCalls) {
            run.Reset();
            std::filesystem::remove(ToFsPath(run.log));
            const auto r =
                test::RunChild(run.argv, {.env = {kShim, kAsan, "QUORVANE_FAIL_CALL=" + std::to_string(n),
                                                  "QUORVANE_FAULT_DIR=" + test::Utf8(FromFsPath(run.folder.Path())),
                                                  "QUORVANE_FAULT_LOG=" + test::Utf8(run.log),
                                                  "QUORVANE_NO_NOREPLACE=" + std::string(end.keep ? "1" : "")}});
            std::ifstream logged(ToFsPath(run.log));
            const std::string failed{std::istreambuf_iterator<char>(logged), std::istreambuf_iterator<char>()};
            const std::string where = std::string(end.name) + ", call " + std::to_string(n) + " (" + failed + ")";
            const std::vector<std::u16string> listing = {u"out.bin", u"source.bin"};
            const bool outputThere = !end.keep || r.exitCode == 0;
            EXPECT_EQ(test::ListFolder(run.folder.Path()), outputThere ? listing : std::vector{listing[1]}) << where;
            if (failed.empty()) {
                EXPECT_EQ(r.exitCode, 0) << where << r.out << r.err;
                EXPECT_EQ(test::ReadFileBytes(run.destination), expected) << where;
                break;
            }
            // Harmless to go on after: the folder's flush once the output is in place, or closing a file
            // that was only read or had nothing written through that descriptor.
            const bool harmless = failed.ends_with(" dir\n") ||
                                  (failed.find("close ") != std::string::npos && !failed.ends_with(" written\n"));
            if (r.exitCode == 0 && harmless) {
                EXPECT_EQ(test::ReadFileBytes(run.destination), expected) << where;
                continue;
            }
            EXPECT_EQ(r.exitCode, 1) << where << " ended as if nothing failed: " << r.out << r.err;
            if (!end.keep) {
                EXPECT_EQ(test::ReadFileBytes(run.destination), run.earlier) << where;
            }
            // One message: the job's error box, or one line on standard error.
            const std::string said = end.cli ? r.err : r.out;
            EXPECT_EQ(Count(said, end.cli ? "\n" : "msg:"), 1) << where << said;
            EXPECT_EQ(Count(said, end.cli ? "quorvane-cli: " : "msg:エラー:"), 1) << where << said;
        }
        EXPECT_LE(n, kMaxCalls) << end.name << ": no run got through";
        std::printf("[ observed ] %s: %d calls on its files, each failed in turn\n", end.name, n - 1);
    }
}

// SIGKILL after the first MiB of an 8 MiB output: the destination keeps its earlier content; what
// the write left is a temporary file beside it, named after it.
TEST(Faults, killed_mid_write_leaves_the_earlier_destination_and_only_a_temporary_file)
{
    for (const FrontEnd& end : kFrontEnds) {
        if (end.keep) continue;
        SCOPED_TRACE(end.name);
        const CRun run(end, 8u << 20);
        const auto r = test::RunChild(run.argv, {.env = {kShim, kAsan, "QUORVANE_KILL_AFTER=1048576"}});
        EXPECT_EQ(r.signal, SIGKILL) << "it ended before writing 1 MiB: " << r.out << r.err;
        EXPECT_EQ(test::ReadFileBytes(run.destination), run.earlier);
        for (const auto& name : test::ListFolder(run.folder.Path()))
            EXPECT_TRUE(name == u"out.bin" || name == u"source.bin" ||
                        (name.starts_with(u"out.bin.") && name.ends_with(u".quorvane.tmp")))
                << test::Utf8(name);
    }
}

}  // namespace
}  // namespace quorvane
