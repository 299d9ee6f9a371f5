// Every file-system call a run makes, failed in turn: run N fails the N-th call on the run's files
// (fault_shim.c), for N = 1, 2, ... until a run makes fewer calls than N. A run whose call failed
// must end with its message (or exit 1) and the earlier destination intact, unless the call was
// harmless to the output. Never a temporary file is left.
#include <gtest/gtest.h>

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
constexpr int kMaxCalls = 400;  // far above any run's count; the loop must end well before

std::string ReadText(const std::filesystem::path& file)
{
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(NthCall, every_failed_call_ends_with_its_message_and_the_earlier_destination_intact)
{
    test::CTempFolder logs;
    for (const FrontEnd& end : kFrontEnds) {
        test::CTempFolder folder;
        const Bytes plain = test::PatternBytes(70000, 3), earlier = test::PatternBytes(900, 4);
        const std::u16string source = folder.File(u"source.bin"), destination = folder.File(u"out.bin");
        const std::u16string keyFile = logs.File(u"key.txt"), log = logs.File(u"calls.log");
        test::WriteText(keyFile, "故障の鍵\n");
        test::WriteFileBytes(source, end.encrypt ? plain : test::MakeContainer(u"plain.bin", plain, u"故障の鍵"));
        std::vector<std::u16string> argv = {test::Utf16(QUORVANE_FAULT_RUNNER), end.encrypt ? u"encrypt" : u"decrypt",
                                            u"故障の鍵", source, destination};
        if (end.cli)
            argv = {test::CliProgram(),
                    end.encrypt ? u"encrypt" : u"decrypt",
                    u"-k",
                    keyFile,
                    u"-f",
                    u"-o",
                    destination,
                    source};
        if (end.keep) argv.erase(argv.begin() + 4);  // the -f
        const auto reset = [&] {
            if (end.keep) std::filesystem::remove(ToFsPath(destination));
            if (!end.keep) test::WriteFileBytes(destination, earlier);
        };
        reset();
        ASSERT_EQ(test::RunChild(argv).exitCode, 0) << end.name;
        const Bytes expected = test::ReadFileBytes(destination);  // what a run without a fault leaves
        int n = 0;
        while (++n <= kMaxCalls) {
            reset();
            std::filesystem::remove(ToFsPath(log));
            const auto r = test::RunChild(
                argv, {},
                {"LD_PRELOAD=" QUORVANE_FAULT_SHIM, "QUORVANE_FAIL_CALL=" + std::to_string(n),
                 "QUORVANE_FAULT_DIR=" + test::Utf8(FromFsPath(folder.Path())), "QUORVANE_FAULT_LOG=" + test::Utf8(log),
                 "ASAN_OPTIONS=verify_asan_link_order=0", "QUORVANE_NO_NOREPLACE=" + std::string(end.keep ? "1" : "")});
            const std::string failed = ReadText(ToFsPath(log));
            const std::string where = std::string(end.name) + ", call " + std::to_string(n) + " (" + failed + ")";
            const bool outputThere = !end.keep || r.exitCode == 0;
            const std::vector<std::u16string> listing = {u"out.bin", u"source.bin"};
            EXPECT_EQ(test::ListFolder(folder.Path()), outputThere ? listing : std::vector{listing[1]}) << where;
            if (failed.empty()) {
                EXPECT_EQ(r.exitCode, 0) << where << r.out << r.err;
                EXPECT_EQ(test::ReadFileBytes(destination), expected) << where;
                break;
            }
            // Harmless to go on after: the folder's flush once the output is in place, or closing a file
            // that was only read or had nothing written through that descriptor.
            const bool harmless = failed.ends_with(" dir\n") ||
                                  (failed.find("close ") != std::string::npos && !failed.ends_with(" written\n"));
            if (r.exitCode == 0 && harmless) {
                EXPECT_EQ(test::ReadFileBytes(destination), expected) << where;
                continue;
            }
            EXPECT_EQ(r.exitCode, 1) << where << " ended as if nothing failed: " << r.out << r.err;
            if (!end.keep) {
                EXPECT_EQ(test::ReadFileBytes(destination), earlier) << where;
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

}  // namespace
}  // namespace quorvane
