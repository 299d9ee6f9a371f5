// Ctrl+C or a termination request in the middle of a large file: the run
// stops between chunks, removes its temporary output and dies of the signal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "cipher/blowfish_cipher.h"
#include "container/container_record.h"
#include "jobs/platform_file.h"
#include "tests/cli/cli_process.h"
#include "tests/cli/cli_test_support.h"

namespace quorvane::clitest {
namespace {

constexpr std::uintmax_t kLargeSize = std::uintmax_t(512) << 20;

bool HasTemporary(const std::u16string& folder)
{
    for (const auto& entry : std::filesystem::directory_iterator(ToFsPath(folder)))
        if (entry.path().extension() == ".tmp") return true;
    return false;
}

// A large sparse input for each direction; a container needs only a valid
// head, as the run is stopped long before its end.
std::u16string LargeInput(const CScratchFolder& folder, bool encrypting, const std::u16string& key)
{
    const std::u16string path = folder.FileIn(u"work", encrypting ? u"large.bin" : u"large.dat");
    Bytes head;
    if (!encrypting) {
        const auto dataSize = static_cast<std::int32_t>(kLargeSize - 8 - 2 - 6);
        Bytes record(16, 0);
        WriteRecordHead(record.data(), u"n", dataSize);
        head = EncipherRecord(record, key);
    }
    test::WriteFileBytes(path, head);
    std::filesystem::resize_file(ToFsPath(path), kLargeSize);
    return path;
}

TEST(Interrupt, stops_the_file_removes_the_temporary_and_ends_by_the_signal)
{
    const std::u16string key = u"signal";
    for (const bool encrypting : {true, false}) {
        for (const int signalNumber : {SIGINT, SIGTERM}) {
            SCOPED_TRACE(std::string(encrypting ? "encrypt " : "decrypt ") + strsignal(signalNumber));
            CScratchFolder folder;
            const std::u16string keyFile = folder.File(u"key");
            WriteText(keyFile, Utf8(key));
            const std::u16string input = LargeInput(folder, encrypting, key);
            const auto before = folder.Listing();
            const std::string errPath = Utf8(folder.File(u"stderr"));

            std::vector<std::string> strings{Utf8(CliProgramPath()), encrypting ? "encrypt" : "decrypt", "-k",
                                             Utf8(keyFile), Utf8(input)};
            std::vector<char*> argv;
            for (auto& s : strings) argv.push_back(s.data());
            argv.push_back(nullptr);
            const pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                dup2(open("/dev/null", O_RDONLY), 0);
                dup2(open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
                execv(argv[0], argv.data());
                _exit(127);
            }
            // Interrupted only once it is surely working on the file.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            bool working = false;
            while (!(working = HasTemporary(folder.FileIn(u"work", u""))) &&
                   std::chrono::steady_clock::now() < deadline && waitpid(pid, nullptr, WNOHANG) == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            kill(pid, signalNumber);
            int status = 0;
            waitpid(pid, &status, 0);

            ASSERT_TRUE(working) << "no temporary output appeared";
            ASSERT_TRUE(WIFSIGNALED(status));
            EXPECT_EQ(WTERMSIG(status), signalNumber);
            const Bytes err = test::ReadFileBytes(folder.File(u"stderr"));
            EXPECT_NE(std::string(err.begin(), err.end()).find(": interrupted"), std::string::npos);
            std::filesystem::remove(ToFsPath(folder.File(u"stderr")));
            EXPECT_EQ(folder.Listing(), before);
        }
    }
}

}  // namespace
}  // namespace quorvane::clitest
