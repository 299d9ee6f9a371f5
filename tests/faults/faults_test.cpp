// Real faults under each front end: the jobs (natively, and with their Win32 file code under Wine)
// and the command line. Every time the run fails with the fault's own message, the earlier file
// at the destination stays as it was, and its folder holds nothing new.
#include <gtest/gtest.h>

#include <optional>

#include "jobs/file_jobs.h"
#include "jobs/job_messages.h"
#include "jobs/platform_file.h"
#include "tests/support/child_process.h"
#include "tests/support/container_maker.h"
#include "tests/support/fake_window.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#else
#include <sys/stat.h>
#endif

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

constexpr std::u16string_view kKey = u"故障の鍵";
enum Failure { kOpen, kRead, kCreate, kSave };

// What the front end said when it failed as it must (one error box, or exit status 1 and one line
// on standard error), or else what it did.
std::string RunFrontEnd(bool cli, bool encrypt, const std::u16string& input, const std::u16string& destination)
{
    if (cli) {
        test::CTempFolder keyFolder;
        test::WriteText(keyFolder.File(u"key"), test::Utf8(kKey) + "\n");
        const auto r = test::RunChild({test::CliProgram(), encrypt ? u"encrypt" : u"decrypt", u"-k",
                                       keyFolder.File(u"key"), u"-f", u"-o", destination, input});
        const auto colon = r.err.rfind(": ");
        if (r.exitCode != 1 || colon == std::string::npos || r.err.find('\n') + 1 != r.err.size())
            return "exit status " + std::to_string(r.exitCode) + ": " + r.err;
        return r.err.substr(colon + 2);
    }
    test::CFakeWindow w({input}, std::u16string(kKey), {destination});
    const int result = encrypt ? RunEncryptJob(w) : RunDecryptJob(w);
    const auto messages = w.Messages();
    const std::u16string title = test::Msg(messages::kTitleError, u"");
    if (result != kJobFailed || messages.size() != 1 || !messages[0].starts_with(title))
        return ::testing::PrintToString(w.events);
    return test::Utf8(messages[0].substr(title.size()));
}

// What each failure says, in the order of Failure, when decrypting and when encrypting.
const std::u16string_view kJobSays[][2] = {{messages::kOpenFailed, messages::kOpenFailed},
                                           {messages::kReadFailed, messages::kReadFailed},
                                           {messages::kCreateFailed, messages::kCreateFailed},
                                           {messages::kSaveDecryptedFailed, messages::kSaveEncryptedFailed}};
const char* const kCliSays[][2] = {{"not a regular file\n", "not a regular file\n"},
                                   {"cannot read\n", "cannot read\n"},
                                   {"cannot create\n", "cannot create\n"},
                                   {"cannot write the decrypted data\n", "cannot write the encrypted data\n"}};

#ifdef _WIN32
// Another program holding the file open with no sharing at all, as an editor or a scanner may.
class CHeld {
public:
    explicit CHeld(const fs::path& path) : fd(_wsopen(path.c_str(), _O_RDWR | _O_BINARY, _SH_DENYRW)) {}
    ~CHeld() { _close(fd); }

private:
    int fd;
};
constexpr bool kCliRows[] = {false};
#else
constexpr bool kCliRows[] = {false, true};
#endif

struct Row {
    const char* what;
    const char* mount;  // the fault-mounts.sh entry it needs, or none
    const char* place;  // where the destination (or for a source fault, the input) is
    bool sourceFault;   // the input is the faulty part
    Failure failure;
};

TEST(Faults, each_fault_fails_with_its_message_and_keeps_the_earlier_destination_in_each_front_end)
{
    const Row rows[] = {
        {"full disk during the write", "small", "small/out.bin", false, kSave},
        {"no inode left for the temporary file", "full", "full/out.bin", false, kCreate},
        {"read-only file system", "ro", "ro/out.bin", false, kCreate},
        {"read-only destination", nullptr, "read-only", false, kCreate},
        {"folder of the destination's name", nullptr, "folder", false, kCreate},
        {"read failing halfway", "damaged-text", "damaged", true, kRead},
        {"folder as the source", nullptr, "folder", true, kOpen},
#ifdef _WIN32
        {"destination held open without sharing", nullptr, "held", false, kSave},
        {"source held open without sharing", nullptr, "held", true, kOpen},
#else
        {"immutable destination, refused at the replace", "immutable", "immutable/out.bin", false, kSave},
        {"pipe as the source", nullptr, "pipe", true, kOpen},
#endif
    };
    const fs::path mounts = test::HostPath(QUORVANE_FAULT_MOUNTS);
    std::string skipped;
    for (const Row& row : rows) {
        if (row.mount && !fs::exists(mounts / (std::string(row.mount) + ".ready"))) {
            skipped += std::string(row.mount) + " ";
            continue;
        }
        for (const bool cli : kCliRows) {
            // The command line's own tests prove its refusal of a pipe.
            if (cli && std::string_view(row.place) == "pipe") continue;
            for (const bool encrypt : {true, false}) {
                SCOPED_TRACE(std::string(row.what) + (cli ? ", command line " : ", job ") +
                             (encrypt ? "encrypt" : "decrypt"));
                test::CTempFolder folder;
                const std::string place = row.place;
                fs::path input = folder.Path() / "input.bin", destination = folder.Path() / "out.bin";
                const Bytes plain = test::PatternBytes(256 * 1024, 5);
                test::WriteFileBytes(FromFsPath(input), encrypt ? plain : test::MakeContainer(u"p.bin", plain, kKey));
                fs::path& faulty = row.sourceFault ? input : destination;
                if (row.mount) {
                    faulty = mounts / place;
                    if (place == "damaged")
                        faulty = encrypt ? mounts / "damaged-text/report.txt" : mounts / "damaged-blocks/blocks.dat";
                }
                if (place == "folder") {
                    if (row.sourceFault) fs::remove(faulty);
                    fs::create_directory(faulty);
                }
                const fs::path kept = place == "folder" && !row.sourceFault ? destination / "inside.txt" : destination;
                if (!fs::exists(kept)) test::WriteFileBytes(FromFsPath(kept), test::PatternBytes(1000, 99));
                const Bytes earlier = test::ReadFileBytes(FromFsPath(kept));
                const auto before = test::ListFolder(destination.parent_path());
                if (place == "read-only") fs::permissions(destination, fs::perms::owner_read);
#ifdef _WIN32
                std::optional<CHeld> held;
                if (place == "held") held.emplace(faulty);
#else
                if (place == "pipe") {
                    fs::remove(faulty);
                    ASSERT_EQ(::mkfifo(faulty.c_str(), 0600), 0);
                }
#endif
                const std::string said = RunFrontEnd(cli, encrypt, FromFsPath(input), FromFsPath(destination));
#ifdef _WIN32
                held.reset();
#endif
                EXPECT_EQ(said, cli ? kCliSays[row.failure][encrypt] : test::Utf8(kJobSays[row.failure][encrypt]));
                EXPECT_EQ(test::ReadFileBytes(FromFsPath(kept)), earlier);
                EXPECT_EQ(test::ListFolder(destination.parent_path()), before);
                if (place == "read-only") fs::permissions(destination, fs::perms::owner_all);
                if (place == "small/out.bin") fs::remove(destination);
            }
        }
    }
    if (!skipped.empty()) GTEST_SKIP() << "not mounted (fault-mounts.sh needs root): " << skipped;
}

}  // namespace
}  // namespace quorvane
