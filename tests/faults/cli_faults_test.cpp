// quorvane-cli under the same real faults as the window's jobs: one English
// line on standard error, exit code 1, the earlier file at the destination
// intact and no half-written output under its name.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "jobs/platform_file.h"
#include "tests/faults/child_process.h"
#include "tests/faults/fault_fs.h"
#include "tests/faults/fault_jobs.h"
#include "tests/support/files.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

using faults::ContainerOf;

struct Kind {
    const char* command;
    const char* writeFailed;
};
const Kind kKinds[] = {{"encrypt", "cannot write the encrypted data"}, {"decrypt", "cannot write the decrypted data"}};

bool IsEncrypt(const Kind& kind)
{
    return std::string(kind.command) == "encrypt";
}
Bytes InputFor(const Kind& kind, const Bytes& plain)
{
    return faults::InputFor(IsEncrypt(kind), plain);
}

void Put(const fs::path& file, const Bytes& bytes)
{
    test::WriteFileBytes(FromFsPath(file), bytes);
}
Bytes Get(const fs::path& file)
{
    return test::ReadFileBytes(FromFsPath(file));
}

std::vector<std::string> Names(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class CliFaults : public ::testing::Test {
protected:
    void SetUp() override { std::ofstream(work.Path() / "key.txt") << "故障の鍵\n"; }

    std::vector<std::string> Command(const Kind& kind, const fs::path& input, const fs::path& output, bool force) const
    {
        std::vector<std::string> argv = {QUORVANE_CLI, kind.command,   "-k", (work.Path() / "key.txt").string(),
                                         "-o",         output.string()};
        if (force) argv.push_back("-f");
        argv.push_back(input.string());
        return argv;
    }

    faults::ChildResult Run(const Kind& kind, const fs::path& input, const fs::path& output, bool force = true) const
    {
        return faults::RunChild(Command(kind, input, output, force));
    }

    static std::string Line(const fs::path& subject, const std::string& reason)
    {
        return "quorvane-cli: " + subject.string() + ": " + reason + "\n";
    }

    test::CTempFolder work;
    const Bytes earlier = test::PatternBytes(1000, 99);
};

TEST_F(CliFaults, disk_full_during_the_write_keeps_the_earlier_file)
{
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.command);
        faults::CTmpfsMount disk(work.Path() / (std::string("small-") + kind.command), "size=64k");
        if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
        const fs::path destination = disk.Path() / "out.bin";
        Put(destination, earlier);
        const fs::path input = work.Path() / "input.bin";
        Put(input, InputFor(kind, test::PatternBytes(3u << 20, 5)));  // several chunks
        const auto freeBefore = disk.FreeBytes();

        const faults::ChildResult r = Run(kind, input, destination);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, Line(destination, kind.writeFailed));
        EXPECT_EQ(Get(destination), earlier);
        EXPECT_EQ(Names(disk.Path()), std::vector<std::string>{"out.bin"});
        EXPECT_EQ(disk.FreeBytes(), freeBefore);
    }
}

TEST_F(CliFaults, no_room_for_a_new_file_or_a_read_only_file_system_is_a_create_failure)
{
    for (const Kind& kind : kKinds) {
        for (const bool readOnly : {false, true}) {
            SCOPED_TRACE(std::string(kind.command) + (readOnly ? ", read-only" : ", no inode left"));
            faults::CTmpfsMount disk(work.Path() / (std::string(readOnly ? "ro-" : "full-") + kind.command),
                                     readOnly ? "size=64k" : "size=64k,nr_inodes=2");
            if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
            const fs::path destination = disk.Path() / "out.bin";
            Put(destination, earlier);
            if (readOnly) {
                ASSERT_TRUE(disk.RemountReadOnly());
            }
            const fs::path input = work.Path() / "input.bin";
            Put(input, InputFor(kind, test::PatternBytes(100, 6)));

            const faults::ChildResult r = Run(kind, input, destination);
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.err, Line(destination, "cannot create"));
            EXPECT_EQ(Get(destination), earlier);
            EXPECT_EQ(Names(disk.Path()), std::vector<std::string>{"out.bin"});
        }
    }
}

enum class Block { readOnlyFile, folder, immutableFile };

struct Unreplaceable {
    const char* what;
    Block block;
    bool force;
    const char* reason;  // nullptr: the command's write failure
};

TEST_F(CliFaults, destination_that_cannot_be_replaced_stays_as_it_was)
{
    const Unreplaceable rows[] = {
        {"read-only file, no -f", Block::readOnlyFile, false, "already exists; use -f to replace it"},
        {"read-only file, -f", Block::readOnlyFile, true, "cannot create"},
        {"folder of that name, -f", Block::folder, true, "cannot create"},
        // Caught only when the output is moved over it: refused by the kernel even to root.
        {"immutable file, -f", Block::immutableFile, true, nullptr},
    };
    for (const Unreplaceable& row : rows) {
        for (const Kind& kind : kKinds) {
            SCOPED_TRACE(std::string(kind.command) + ", " + row.what);
            test::CTempFolder folder;
            const fs::path destination = folder.Path() / "out.bin";
            const fs::path kept = row.block == Block::folder ? destination / "inside.txt" : destination;
            if (row.block == Block::folder) fs::create_directory(destination);
            Put(kept, earlier);
            if (row.block == Block::readOnlyFile)
                fs::permissions(destination, fs::perms::owner_read | fs::perms::group_read);
            std::optional<faults::CImmutableFile> immutable;
            if (row.block == Block::immutableFile) {
                immutable.emplace(destination);
                // The last row: every other one has run by now.
                if (!immutable->Set()) GTEST_SKIP() << immutable->Why();
            }
            const fs::path input = work.Path() / "input.bin";
            Put(input, InputFor(kind, test::PatternBytes(3000, 8)));

            const faults::ChildResult r = Run(kind, input, destination, row.force);
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.err, Line(destination, row.reason ? row.reason : kind.writeFailed));
            EXPECT_EQ(Get(kept), earlier);
            EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"out.bin"});
        }
    }
}

TEST_F(CliFaults, read_failing_halfway_leaves_no_output)
{
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.command);
        test::CTempFolder folder;
        std::string content;
        if (IsEncrypt(kind)) {
            for (int i = 0; content.size() < 2u << 20; ++i) content += "line " + std::to_string(i) + " of a report\n";
        } else {
            const Bytes c = ContainerOf(Bytes(2u << 20, 0));
            content.assign(c.begin(), c.end());
        }
        faults::CDamagedSquashfs disk(folder.Path(), "input.bin", content);
        if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
        const fs::path outputs = folder.Path() / "outputs";
        fs::create_directory(outputs);
        const fs::path destination = outputs / "out.bin";
        Put(destination, earlier);

        const faults::ChildResult r = Run(kind, disk.File(), destination);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, Line(disk.File(), "cannot read"));
        EXPECT_EQ(Get(destination), earlier);
        EXPECT_EQ(Names(outputs), std::vector<std::string>{"out.bin"});
    }
}

// SIGKILL while the output streams out, after 3 MiB of an 8 MiB output.
TEST_F(CliFaults, killed_mid_write_leaves_the_earlier_file_and_only_a_temporary_file)
{
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.command);
        test::CTempFolder folder;
        const fs::path input = folder.Path() / "input.bin";
        Put(input, InputFor(kind, test::PatternBytes(8u << 20, 10)));
        const fs::path outputs = folder.Path() / "outputs";
        fs::create_directory(outputs);
        const fs::path destination = outputs / "out.bin";
        Put(destination, earlier);

        faults::ChildResult r;
        const bool killed =
            faults::RunChildAndKillMidWrite(Command(kind, input, destination, true), QUORVANE_STALL_SHIM, 3 << 20, r);
        ASSERT_TRUE(killed) << "it ended before writing 3 MiB: " << r.err;
        EXPECT_EQ(r.signal, SIGKILL);
        EXPECT_EQ(Get(destination), earlier);
        for (const std::string& name : Names(outputs)) {
            if (name == "out.bin") continue;
            EXPECT_TRUE(name.starts_with("out.bin.") && name.ends_with(".quorvane.tmp")) << name;
            // Workers write their chunks in any order, so the file may reach past the 3 MiB written.
            EXPECT_LT(fs::file_size(outputs / name), 8u << 20) << name;
            std::printf("[ observed ] %s killed mid-write: left %s (%ju bytes) beside the intact destination\n",
                        kind.command, name.c_str(), std::uintmax_t(fs::file_size(outputs / name)));
        }
    }
}

}  // namespace
}  // namespace quorvane
