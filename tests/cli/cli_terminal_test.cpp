// quorvane-cli on a pseudo-terminal: the test types the key as a user would,
// watches what the terminal shows, and interrupts a run in the middle of a file.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "jobs/platform_file.h"
#include "tests/cli/cli_process.h"
#include "tests/cli/cli_test_support.h"

namespace quorvane::clitest {
namespace {

using Clock = std::chrono::steady_clock;

// The program on a pseudo-terminal of its own: what it shows is read, keys are typed into it.
class CTerminalSession {
public:
    explicit CTerminalSession(const std::vector<std::u16string>& args)
    {
        std::vector<std::string> strings{Utf8(CliProgramPath())};
        for (const auto& arg : args) strings.push_back(Utf8(arg));
        std::vector<char*> argv;
        for (auto& s : strings) argv.push_back(s.data());
        argv.push_back(nullptr);
        if ((pid = forkpty(&master, nullptr, nullptr, nullptr)) == 0) _exit(execv(argv[0], argv.data()) ? 127 : 0);
    }
    ~CTerminalSession()
    {
        if (status < 0) Finish(0);
        close(master);
    }
    CTerminalSession(const CTerminalSession&) = delete;
    CTerminalSession& operator=(const CTerminalSession&) = delete;

    // Reads what the terminal shows until `text` appears after what was already awaited.
    bool WaitFor(const std::string& text)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (shown.find(text, awaited) == shown.npos)
            if (Clock::now() > deadline || !ReadSome()) return false;
        awaited = shown.find(text, awaited) + text.size();
        return true;
    }
    void Type(const std::string& keys) { ASSERT_EQ(write(master, keys.data(), keys.size()), ssize_t(keys.size())); }
    void Signal(int number) const { kill(pid, number); }
    bool EchoIsOn() const
    {
        termios t{};
        return tcgetattr(master, &t) == 0 && (t.c_lflag & ECHO) != 0;
    }
    // The exit status (128 + a signal's number) once the program has closed the terminal, or after `seconds`.
    int Finish(int seconds = 20)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(seconds);
        while (Clock::now() < deadline && ReadSome()) {}
        kill(pid, SIGKILL);  // one still waiting for input has failed already
        int raw = 0;
        waitpid(pid, &raw, 0);
        return status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }
    const std::string& Shown() const { return shown; }

private:
    bool ReadSome()  // false once the program has closed the terminal
    {
        pollfd p{master, POLLIN, 0};
        char buffer[512];
        if (poll(&p, 1, 200) == 0) return true;
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n > 0) shown.append(buffer, static_cast<std::size_t>(n));
        return n > 0;
    }

    pid_t pid = -1;
    int master = -1;
    int status = -1;
    std::string shown;
    std::size_t awaited = 0;
};

const std::u16string kTyped = u"端末の鍵 typed";

TEST(TerminalKey, is_asked_twice_to_encrypt_once_to_decrypt_and_never_shown)
{
    CScratchFolder folder;
    const Bytes data = test::PatternBytes(2000, 1);
    test::WriteFileBytes(folder.File(u"入力.txt"), data);
    CTerminalSession encrypt({u"encrypt", folder.File(u"入力.txt")});
    ASSERT_TRUE(encrypt.WaitFor("Key: "));
    EXPECT_FALSE(encrypt.EchoIsOn());
    encrypt.Type(Utf8(kTyped) + "\n");
    ASSERT_TRUE(encrypt.WaitFor("Key again: "));
    encrypt.Type(Utf8(kTyped) + "\n");
    EXPECT_EQ(encrypt.Finish(), 0) << encrypt.Shown();
    EXPECT_TRUE(encrypt.EchoIsOn());
    EXPECT_EQ(test::ReadFileBytes(folder.File(u"入力.dat")), BuiltContainer(u"入力.txt", data, kTyped));

    CTerminalSession decrypt({u"decrypt", u"-o", folder.File(u"戻り"), folder.File(u"入力.dat")});
    ASSERT_TRUE(decrypt.WaitFor("Key: "));
    decrypt.Type(Utf8(kTyped) + "\n");
    EXPECT_EQ(decrypt.Finish(), 0) << decrypt.Shown();
    EXPECT_EQ(test::ReadFileBytes(folder.File(u"戻り")), data);
    for (const std::string& shown : {encrypt.Shown(), decrypt.Shown()}) EXPECT_EQ(shown.find("typed"), shown.npos);
    EXPECT_EQ(decrypt.Shown().find("again"), std::string::npos);
}

// What the user does at the prompt: nothing is written, and the terminal echoes again afterwards.
TEST(TerminalKey, refusals_at_the_prompt_write_nothing_and_restore_the_echo)
{
    struct Row {
        const char* what;
        std::string first;
        std::string second;  // typed at "Key again: "; empty when it never comes
        int status;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"keys differ", "one\n", "two\n", 1, "the two keys differ"},
        {"empty key", "\n", "", 1, "empty key"},
        {"end of input", "\x04", "", 1, "no key was entered"},
        {"interrupt", "\x03", "", 128 + SIGINT, ""},
        {"interrupt at the second prompt", "one\n", "\x03", 128 + SIGINT, ""},
    };
    CScratchFolder folder;
    test::WriteFileBytes(folder.File(u"s.txt"), test::PatternBytes(10, 3));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto before = folder.Listing();
        CTerminalSession session({u"encrypt", folder.File(u"s.txt")});
        ASSERT_TRUE(session.WaitFor("Key: "));
        session.Type(row.first);
        if (!row.second.empty()) {
            ASSERT_TRUE(session.WaitFor("Key again: "));
            session.Type(row.second);
        }
        EXPECT_EQ(session.Finish(), row.status) << session.Shown();
        EXPECT_NE(session.Shown().find(row.message), std::string::npos) << session.Shown();
        EXPECT_TRUE(session.EchoIsOn());
        EXPECT_EQ(folder.Listing(), before);
    }
}

// Ctrl+C or a termination request in the middle of a large file: the run stops,
// removes its temporary output and ends by the same signal.
TEST(Interrupt, mid_file_removes_the_temporary_and_ends_by_the_signal)
{
    for (const bool encrypting : {true, false}) {
        for (const int number : {SIGINT, SIGTERM}) {
            SCOPED_TRACE(std::string(encrypting ? "encrypt " : "decrypt ") + strsignal(number));
            CScratchFolder folder;
            const std::u16string input = folder.FileIn(u"work", u"large"), keyFile = folder.File(u"key");
            WriteText(keyFile, "signal");
            Bytes head(16, 0);
            PutLe32(head, 0, (512u << 20) - 16);
            test::WriteFileBytes(input, encrypting ? Bytes{} : EncipherRecord(head, u"signal"));
            std::filesystem::resize_file(ToFsPath(input), std::uintmax_t(512) << 20);
            const auto before = folder.Listing();

            CTerminalSession session({encrypting ? u"encrypt" : u"decrypt", u"-k", keyFile, u"-fo", input, input});
            const std::filesystem::path work = ToFsPath(folder.FileIn(u"work", u""));
            bool working = false;
            for (const auto deadline = Clock::now() + std::chrono::seconds(30); !working && Clock::now() < deadline;) {
                for (const auto& entry : std::filesystem::directory_iterator(work))
                    working = working || entry.path().extension() == ".tmp";
                if (!working) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            ASSERT_TRUE(working) << "no temporary output appeared";
            session.Signal(number);
            EXPECT_EQ(session.Finish(), 128 + number);
            EXPECT_NE(session.Shown().find(": interrupted"), std::string::npos) << session.Shown();
            EXPECT_EQ(folder.Listing(), before);
        }
    }
}

}  // namespace
}  // namespace quorvane::clitest
