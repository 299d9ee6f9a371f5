// The window's jobs under real faults in the Windows build, run under Wine:
// a destination another program holds open without sharing, read-only and
// folder destinations, a locked source, and, through mounts made on the Linux
// side before the run (fault-mounts.sh), a full disk and a read that fails
// halfway. Each time the right message, the earlier file at the destination
// intact and nothing half-written under its name.
#include <fcntl.h>
#include <io.h>
#include <share.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "jobs/file_jobs.h"
#include "jobs/job_messages.h"
#include "jobs/platform_file.h"
#include "tests/support/fake_window.h"
#include "tests/faults/fault_jobs.h"
#include "tests/support/files.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using faults::JobRun;
using faults::RunJob;
using test::Bytes;
using test::CFakeWindow;
using test::Msg;
using test::Utf8;
using Kind = faults::JobKind;
const auto& kKinds = faults::kJobKinds;

// A small valid container, so the decrypt job reaches the write.
Bytes SomeInput(const Kind& kind)
{
    return faults::InputFor(kind.encrypt, test::PatternBytes(200 * 1024, 3));
}

// A file opened by "another program" with no sharing at all, as an editor
// or a virus scanner may hold it.
class CHeldWithoutSharing {
public:
    explicit CHeldWithoutSharing(const std::u16string& path)
        : fd_(_wsopen(reinterpret_cast<const wchar_t*>(path.c_str()), _O_RDWR | _O_BINARY, _SH_DENYRW))
    {
    }
    ~CHeldWithoutSharing()
    {
        if (fd_ >= 0) _close(fd_);
    }
    bool Held() const { return fd_ >= 0; }

private:
    int fd_;
};

// The folder the Linux side mounted for this run, as Wine shows it (drive Z:).
fs::path Mounts()
{
    std::string folder = QUORVANE_FAULT_MOUNTS;
    std::replace(folder.begin(), folder.end(), '/', '\\');
    folder = "Z:" + folder;
    return fs::path(std::u8string(folder.begin(), folder.end()));
}

std::u16string U16(const fs::path& p)
{
    return FromFsPath(p);
}

class WinJobFaults : public ::testing::Test {
protected:
    test::CTempFolder work;
    const Bytes earlier = test::PatternBytes(1000, 99);
};

TEST_F(WinJobFaults, destination_that_cannot_be_replaced_stays_as_it_was)
{
    enum class Block { heldOpen, readOnly, folder };
    struct Row {
        const char* what;
        Block block;
        bool caughtAtCreate;
    };
    // A held file passes every check and only the final replace fails.
    const Row rows[] = {{"held open without sharing", Block::heldOpen, false},
                        {"read-only attribute", Block::readOnly, true},
                        {"folder of that name", Block::folder, true}};
    for (const Kind& kind : kKinds) {
        const std::u16string input = work.File(u"input.bin");
        test::WriteFileBytes(input, SomeInput(kind));
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(kind.name) + ", " + row.what);
            test::CTempFolder folder;
            const fs::path target = folder.Path() / "out.bin";
            const fs::path kept = row.block == Block::folder ? target / "inside.txt" : target;
            if (row.block == Block::folder) fs::create_directory(target);
            test::WriteFileBytes(U16(kept), earlier);
            if (row.block == Block::readOnly) fs::permissions(target, fs::perms::owner_read);
            std::optional<CHeldWithoutSharing> held;
            if (row.block == Block::heldOpen) {
                held.emplace(U16(target));
                ASSERT_TRUE(held->Held());
            }

            JobRun run;
            RunJob(kind, input, U16(target), run);
            held.reset();
            EXPECT_EQ(run.result, kJobFailed);
            const std::u16string_view message = row.caughtAtCreate ? messages::kCreateFailed : kind.saveFailed;
            EXPECT_EQ(run.window.Messages(), std::vector<std::u16string>{Msg(messages::kTitleError, message)})
                << Utf8(run.window.events);
            EXPECT_EQ(test::ReadFileBytes(U16(kept)), earlier);
            EXPECT_EQ(test::ListFolder(folder.Path()), std::vector<std::u16string>{u"out.bin"});
            if (row.block == Block::readOnly) fs::permissions(target, fs::perms::owner_all);
        }
    }
}

// The temporary file beside the destination must fit wherever the
// destination's own name fits (255 units; under Wine, 255 bytes on Linux).
TEST_F(WinJobFaults, destination_name_at_the_length_limit_is_written)
{
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        const std::u16string input = work.File(u"input.bin");
        test::WriteFileBytes(input, SomeInput(kind));
        test::CTempFolder folder;
        const std::u16string destination = folder.File(std::u16string(251, u'n') + u".bin");
        test::WriteFileBytes(destination, earlier);

        JobRun run;
        RunJob(kind, input, destination, run);
        EXPECT_EQ(run.result, kJobDone) << Utf8(run.window.events);
        EXPECT_NE(test::ReadFileBytes(destination), earlier);
        EXPECT_EQ(test::ListFolder(folder.Path()).size(), 1u);
    }
}

TEST_F(WinJobFaults, source_held_without_sharing_is_an_open_failure)
{
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        const std::u16string input = work.File(u"input.bin");
        test::WriteFileBytes(input, SomeInput(kind));
        const std::u16string destination = work.File(u"out.bin");
        test::WriteFileBytes(destination, earlier);
        CHeldWithoutSharing held(input);
        ASSERT_TRUE(held.Held());

        JobRun run;
        RunJob(kind, input, destination, run);
        EXPECT_EQ(run.result, kJobFailed);
        EXPECT_EQ(run.window.events,
                  (std::vector<std::u16string>{u"key", Msg(messages::kTitleError, messages::kOpenFailed)}));
        EXPECT_EQ(test::ReadFileBytes(destination), earlier);
    }
}

TEST_F(WinJobFaults, disk_full_during_the_write_keeps_the_earlier_file)
{
    if (!fs::exists(Mounts() / "small.ready"))
        GTEST_SKIP() << "no 64 KiB tmpfs was mounted for this run (fault-mounts.sh needs root)";
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        const std::u16string input = work.File(u"input.bin");
        test::WriteFileBytes(input, SomeInput(kind));
        const fs::path small = Mounts() / "small";
        const std::u16string destination = U16(small / "out.bin");
        test::WriteFileBytes(destination, earlier);

        JobRun run;
        RunJob(kind, input, destination, run);
        EXPECT_EQ(run.result, kJobFailed);
        EXPECT_EQ(run.window.Messages(), std::vector<std::u16string>{Msg(messages::kTitleError, kind.saveFailed)})
            << Utf8(run.window.events);
        EXPECT_EQ(test::ReadFileBytes(destination), earlier);
        EXPECT_EQ(test::ListFolder(small), std::vector<std::u16string>{u"out.bin"});
        fs::remove(small / "out.bin");
    }
}

TEST_F(WinJobFaults, read_failing_halfway_stops_before_anything_is_written)
{
    if (!fs::exists(Mounts() / "damaged.ready"))
        GTEST_SKIP() << "no damaged squashfs was mounted for this run (fault-mounts.sh needs root and squashfs-tools)";
    const fs::path sources[] = {Mounts() / "damaged-text" / "report.txt", Mounts() / "damaged-blocks" / "blocks.dat"};
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        const std::u16string destination = work.File(u"out.bin");
        test::WriteFileBytes(destination, earlier);

        JobRun run;
        RunJob(kind, U16(sources[kind.encrypt ? 0 : 1]), destination, run);
        EXPECT_EQ(run.result, kJobFailed);
        EXPECT_EQ(run.window.events,
                  (std::vector<std::u16string>{u"key", Msg(messages::kTitleError, messages::kReadFailed)}));
        EXPECT_EQ(test::ReadFileBytes(destination), earlier);
    }
}

}  // namespace
}  // namespace quorvane
