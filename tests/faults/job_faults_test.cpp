// The window's jobs under real faults on Linux: a file system that fills up
// or is read-only, destinations the kernel won't replace, a source whose
// middle can't be read, and a process killed while it writes. Every time the
// right message, the earlier file at the destination intact, and nothing
// half-written under the destination's name.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <optional>

#include "jobs/file_jobs.h"
#include "jobs/job_messages.h"
#include "jobs/platform_file.h"
#include "tests/support/fake_window.h"
#include "tests/faults/child_process.h"
#include "tests/faults/fault_fs.h"
#include "tests/faults/fault_jobs.h"
#include "tests/support/files.h"

namespace quorvane {
namespace {

using faults::ContainerOf;
using faults::JobRun;
using faults::RunJob;
using faults::fs::path;
using test::Bytes;
using test::CFakeWindow;
using test::Msg;
using test::Utf8;
using Kind = faults::JobKind;
const auto& kKinds = faults::kJobKinds;

Bytes InputFor(const Kind& kind, const Bytes& plain)
{
    return faults::InputFor(kind.encrypt, plain);
}

std::u16string U16(const path& p)
{
    return FromFsPath(p);
}

class JobFaults : public ::testing::Test {
protected:
    test::CTempFolder work;
    const Bytes earlier = test::PatternBytes(1000, 99);
};

TEST_F(JobFaults, disk_full_during_the_write_keeps_the_earlier_file)
{
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        faults::CTmpfsMount disk(work.Path() / (std::string("small-") + kind.name), "size=64k");
        if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
        const std::u16string destination = U16(disk.Path() / "out.bin");
        test::WriteFileBytes(destination, earlier);
        const std::u16string input = work.File(u"input.bin");
        test::WriteFileBytes(input, InputFor(kind, test::PatternBytes(256 * 1024, 5)));
        const auto freeBefore = disk.FreeBytes();

        JobRun run;
        RunJob(kind, input, destination, run);
        EXPECT_EQ(run.result, kJobFailed);
        EXPECT_EQ(run.window.Messages(), std::vector<std::u16string>{Msg(messages::kTitleError, kind.saveFailed)})
            << Utf8(run.window.events);
        EXPECT_EQ(test::ReadFileBytes(destination), earlier);
        EXPECT_EQ(test::ListFolder(disk.Path()), std::vector<std::u16string>{u"out.bin"});
        EXPECT_EQ(disk.FreeBytes(), freeBefore) << "the partial output still takes room";
    }
}

TEST_F(JobFaults, no_room_for_a_new_file_is_a_create_failure)
{
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        // Two inodes: the root folder and the earlier file; the temporary file gets none.
        faults::CTmpfsMount disk(work.Path() / (std::string("full-") + kind.name), "size=64k,nr_inodes=2");
        if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
        const std::u16string destination = U16(disk.Path() / "out.bin");
        test::WriteFileBytes(destination, earlier);
        const std::u16string input = work.File(u"input.bin");
        test::WriteFileBytes(input, InputFor(kind, test::PatternBytes(100, 6)));

        JobRun run;
        RunJob(kind, input, destination, run);
        EXPECT_EQ(run.result, kJobFailed);
        EXPECT_EQ(run.window.Messages(),
                  std::vector<std::u16string>{Msg(messages::kTitleError, messages::kCreateFailed)});
        EXPECT_EQ(test::ReadFileBytes(destination), earlier);
        EXPECT_EQ(test::ListFolder(disk.Path()), std::vector<std::u16string>{u"out.bin"});
    }
}

TEST_F(JobFaults, read_only_file_system_is_a_create_failure)
{
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        faults::CTmpfsMount disk(work.Path() / (std::string("ro-") + kind.name), "size=64k");
        if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
        const std::u16string destination = U16(disk.Path() / "out.bin");
        test::WriteFileBytes(destination, earlier);
        ASSERT_TRUE(disk.RemountReadOnly());
        const std::u16string input = work.File(u"input.bin");
        test::WriteFileBytes(input, InputFor(kind, test::PatternBytes(100, 7)));

        JobRun run;
        RunJob(kind, input, destination, run);
        EXPECT_EQ(run.result, kJobFailed);
        EXPECT_EQ(run.window.Messages(),
                  std::vector<std::u16string>{Msg(messages::kTitleError, messages::kCreateFailed)});
        EXPECT_EQ(test::ReadFileBytes(destination), earlier);
    }
}

enum class Block { readOnlyFile, folder, immutableFile };

// Runs a job onto a destination that must not be replaced and checks that it
// stays as it was with nothing beside it. False when the block can't be set up.
bool CheckUnreplaceable(const Kind& kind, Block block, std::u16string_view message, const test::CTempFolder& work,
                        const Bytes& earlier, std::string& why)
{
    test::CTempFolder folder;
    const path target = folder.Path() / "out.bin";
    const path kept = block == Block::folder ? target / "inside.txt" : target;
    if (block == Block::folder) faults::fs::create_directory(target);
    test::WriteFileBytes(U16(kept), earlier);
    if (block == Block::readOnlyFile)
        faults::fs::permissions(target, faults::fs::perms::owner_read | faults::fs::perms::group_read);
    std::optional<faults::CImmutableFile> immutable;
    if (block == Block::immutableFile) {
        immutable.emplace(target);
        if (!immutable->Set()) {
            why = immutable->Why();
            return false;
        }
    }
    const std::u16string input = work.File(u"input.bin");
    test::WriteFileBytes(input, InputFor(kind, test::PatternBytes(3000, 8)));

    JobRun run;
    RunJob(kind, input, U16(target), run);
    EXPECT_EQ(run.result, kJobFailed);
    EXPECT_EQ(run.window.Messages(), std::vector<std::u16string>{Msg(messages::kTitleError, message)})
        << Utf8(run.window.events);
    EXPECT_EQ(test::ReadFileBytes(U16(kept)), earlier);
    EXPECT_EQ(test::ListFolder(folder.Path()), std::vector<std::u16string>{u"out.bin"});
    return true;
}

// Caught before anything is written.
TEST_F(JobFaults, read_only_or_folder_destination_is_a_create_failure_and_stays_as_it_was)
{
    for (const Kind& kind : kKinds) {
        for (const Block block : {Block::readOnlyFile, Block::folder}) {
            SCOPED_TRACE(std::string(kind.name) + (block == Block::folder ? ", folder" : ", read-only file"));
            std::string why;
            ASSERT_TRUE(CheckUnreplaceable(kind, block, messages::kCreateFailed, work, earlier, why)) << why;
        }
    }
}

// Caught only when the finished output is moved over it: the kernel refuses
// to replace an immutable file, even for root.
TEST_F(JobFaults, immutable_destination_fails_at_the_replace_and_stays_as_it_was)
{
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        std::string why;
        if (!CheckUnreplaceable(kind, Block::immutableFile, kind.saveFailed, work, earlier, why)) GTEST_SKIP() << why;
    }
}

TEST_F(JobFaults, read_failing_halfway_stops_before_anything_is_written)
{
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        test::CTempFolder folder;
        // Text compresses, and so does the container of zeros: equal blocks
        // give equal cipher blocks. Both span several 128 KiB squashfs blocks.
        std::string content;
        if (kind.encrypt) {
            for (int i = 0; content.size() < 2u << 20; ++i) content += "line " + std::to_string(i) + " of a report\n";
        } else {
            const Bytes c = ContainerOf(Bytes(2u << 20, 0));
            content.assign(c.begin(), c.end());
        }
        faults::CDamagedSquashfs disk(folder.Path(), "input.bin", content);
        if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
        {
            std::ifstream probe(disk.File(), std::ios::binary);
            std::vector<char> head(128 * 1024);
            ASSERT_TRUE(probe.read(head.data(), std::streamsize(head.size()))) << "the first block should read";
        }
        const std::u16string destination = U16(folder.Path() / "out.bin");
        test::WriteFileBytes(destination, earlier);

        JobRun run;
        RunJob(kind, U16(disk.File()), destination, run);
        EXPECT_EQ(run.result, kJobFailed);
        EXPECT_EQ(run.window.events,
                  (std::vector<std::u16string>{u"key", Msg(messages::kTitleError, messages::kReadFailed)}));
        EXPECT_EQ(test::ReadFileBytes(destination), earlier);
    }
}

// The temporary file beside the destination must fit wherever the
// destination's own name fits: 255 bytes per name on Linux file systems.
TEST_F(JobFaults, destination_name_at_the_length_limit_is_written)
{
    for (const Kind& kind : kKinds) {
        for (const std::u16string& name : {std::u16string(251, u'n') + u".bin", std::u16string(85, u'名')}) {
            SCOPED_TRACE(std::string(kind.name) + ", " + std::to_string(Utf8(name).size()) + " bytes");
            ASSERT_EQ(Utf8(name).size(), 255u);
            const std::u16string input = work.File(u"input.bin");
            test::WriteFileBytes(input, InputFor(kind, test::PatternBytes(100, 11)));
            test::CTempFolder folder;
            const std::u16string destination = folder.File(name);
            test::WriteFileBytes(destination, earlier);  // the name itself is fine here

            JobRun run;
            RunJob(kind, input, destination, run);
            EXPECT_EQ(run.result, kJobDone) << Utf8(run.window.events);
            EXPECT_NE(test::ReadFileBytes(destination), earlier);
            EXPECT_EQ(test::ListFolder(folder.Path()).size(), 1u);
        }
    }
}

// A folder or a pipe in the list where a file was: an open failure, like on
// Windows, rather than a size read from a folder or an open that waits forever.
TEST_F(JobFaults, folder_or_pipe_as_source_is_an_open_failure)
{
    for (const Kind& kind : kKinds) {
        for (const bool pipe : {false, true}) {
            SCOPED_TRACE(std::string(kind.name) + (pipe ? ", pipe" : ", folder"));
            test::CTempFolder folder;
            const path source = folder.Path() / "not-a-file";
            if (pipe) {
                ASSERT_EQ(::mkfifo(source.c_str(), 0600), 0);
            } else {
                faults::fs::create_directory(source);
            }
            const std::u16string destination = U16(folder.Path() / "out.bin");
            test::WriteFileBytes(destination, earlier);

            JobRun run;
            RunJob(kind, U16(source), destination, run);
            EXPECT_EQ(run.result, kJobFailed);
            EXPECT_EQ(run.window.events,
                      (std::vector<std::u16string>{u"key", Msg(messages::kTitleError, messages::kOpenFailed)}));
            EXPECT_EQ(test::ReadFileBytes(destination), earlier);
        }
    }
}

// Killed with SIGKILL after the first MiB of output: the destination keeps
// its earlier content; what the write left is the temporary file beside it.
TEST_F(JobFaults, killed_mid_write_leaves_the_earlier_file_and_only_a_temporary_file)
{
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        test::CTempFolder folder;
        const path input = folder.Path() / "input.bin";
        test::WriteFileBytes(U16(input), InputFor(kind, test::PatternBytes(8u << 20, 10)));
        const path outputs = folder.Path() / "outputs";
        faults::fs::create_directory(outputs);
        const path destination = outputs / "out.bin";
        test::WriteFileBytes(U16(destination), earlier);

        faults::ChildResult child;
        const bool killed = faults::RunChildAndKillMidWrite(
            {QUORVANE_FAULT_RUNNER, kind.name, "故障の鍵", input.string(), destination.string()}, QUORVANE_STALL_SHIM,
            1 << 20, child);
        ASSERT_TRUE(killed) << "the job ended before writing 1 MiB: " << child.out << child.err;
        EXPECT_EQ(child.signal, SIGKILL);
        EXPECT_EQ(test::ReadFileBytes(U16(destination)), earlier);
        for (const auto& entry : faults::fs::directory_iterator(outputs)) {
            const std::string name = entry.path().filename().string();
            if (name == "out.bin") continue;
            // Named after the destination, with the temporary file's own extension.
            EXPECT_TRUE(name.starts_with("out.bin.") && name.ends_with(".quorvane.tmp")) << name;
            EXPECT_EQ(faults::fs::file_size(entry.path()), 1u << 20) << name;
            std::printf("[ observed ] %s: killed mid-write, left %s (%ju bytes) beside the intact destination\n",
                        kind.name, name.c_str(), std::uintmax_t(faults::fs::file_size(entry.path())));
        }
    }
}

}  // namespace
}  // namespace quorvane
