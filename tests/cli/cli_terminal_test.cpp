// The key typed at the terminal: quorvane-cli runs on a pseudo-terminal, and
// the test types as a user would, watching what the terminal shows.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "tests/cli/cli_process.h"
#include "tests/cli/cli_test_support.h"

namespace quorvane::clitest {
namespace {

class CTerminalSession {
public:
    explicit CTerminalSession(const std::vector<std::u16string>& args)
    {
        std::vector<std::string> strings{Utf8(CliProgramPath())};
        for (const auto& arg : args) strings.push_back(Utf8(arg));
        std::vector<char*> argv;
        for (auto& s : strings) argv.push_back(s.data());
        argv.push_back(nullptr);
        pid = forkpty(&master, nullptr, nullptr, nullptr);
        if (pid == 0) {
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~CTerminalSession()
    {
        if (pid > 0 && !finished) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (master >= 0) close(master);
    }
    CTerminalSession(const CTerminalSession&) = delete;
    CTerminalSession& operator=(const CTerminalSession&) = delete;

    bool Started() const { return pid > 0 && master >= 0; }

    // Reads what the terminal shows until `text` appears after what was already awaited.
    bool WaitFor(const std::string& text)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (shown.find(text, awaited) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline || !ReadSome(200)) return false;
        }
        awaited = shown.find(text, awaited) + text.size();
        return true;
    }

    void Type(const std::string& keys) { ASSERT_EQ(write(master, keys.data(), keys.size()), ssize_t(keys.size())); }

    bool EchoIsOn() const
    {
        struct termios t {};
        return tcgetattr(master, &t) == 0 && (t.c_lflag & ECHO) != 0;
    }

    // The exit status once the program has ended; everything it showed is in Shown().
    int Finish()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline && ReadSome(200)) {}
        int status = 0;
        waitpid(pid, &status, 0);
        finished = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    const std::string& Shown() const { return shown; }

private:
    // False at the end of output (the program closed the terminal).
    bool ReadSome(int timeoutMs)
    {
        struct pollfd p {
            master, POLLIN, 0
        };
        const int ready = poll(&p, 1, timeoutMs);
        if (ready < 0) return errno == EINTR;
        if (ready == 0) return true;
        char buffer[512];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) return n < 0 && errno == EINTR;
        shown.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid = -1;
    int master = -1;
    bool finished = false;
    std::string shown;
    std::size_t awaited = 0;
};

class TerminalKey : public ::testing::Test {
protected:
    CScratchFolder folder;
};

const std::u16string kTyped = u"端末の鍵 typed";

TEST_F(TerminalKey, encrypt_asks_twice_without_echo_and_uses_the_typed_text)
{
    const std::u16string source = folder.File(u"入力.txt");
    test::WriteFileBytes(source, test::PatternBytes(2000, 1));
    CTerminalSession session({u"encrypt", source});
    ASSERT_TRUE(session.Started());
    ASSERT_TRUE(session.WaitFor("Key: "));
    EXPECT_FALSE(session.EchoIsOn());
    session.Type(Utf8(kTyped) + "\n");
    ASSERT_TRUE(session.WaitFor("Key again: "));
    session.Type(Utf8(kTyped) + "\n");
    EXPECT_EQ(session.Finish(), 0) << session.Shown();
    EXPECT_EQ(session.Shown().find(Utf8(kTyped)), std::string::npos) << "the key was shown";
    EXPECT_TRUE(session.EchoIsOn());
    EXPECT_EQ(test::ReadFileBytes(folder.File(u"入力.dat")), JobContainer(source, kTyped));
}

TEST_F(TerminalKey, decrypt_asks_once)
{
    const Bytes data = test::PatternBytes(300, 2);
    const std::u16string container = folder.File(u"c.dat");
    test::WriteFileBytes(container, BuiltContainer(u"戻り.txt", data, kTyped));
    CTerminalSession session({u"decrypt", container});
    ASSERT_TRUE(session.Started());
    ASSERT_TRUE(session.WaitFor("Key: "));
    session.Type(Utf8(kTyped) + "\n");
    EXPECT_EQ(session.Finish(), 0) << session.Shown();
    EXPECT_EQ(session.Shown().find("Key again"), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(folder.File(u"戻り.txt")), data);
}

// What the user does at the prompt, and how the run ends: nothing written,
// and the terminal echoes again afterwards.
TEST_F(TerminalKey, prompt_refusals_write_nothing_and_restore_the_echo)
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
        {"end of input at the prompt", "\x04", "", 1, "no key was entered"},
        {"interrupt at the prompt", "\x03", "", 128 + SIGINT, ""},
        {"interrupt at the second prompt", "one\n", "\x03", 128 + SIGINT, ""},
    };
    const std::u16string source = folder.File(u"s.txt");
    test::WriteFileBytes(source, test::PatternBytes(10, 3));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto before = folder.Listing();
        CTerminalSession session({u"encrypt", source});
        ASSERT_TRUE(session.Started());
        ASSERT_TRUE(session.WaitFor("Key: "));
        session.Type(row.first);
        if (!row.second.empty()) {
            ASSERT_TRUE(session.WaitFor("Key again: "));
            session.Type(row.second);
        }
        EXPECT_EQ(session.Finish(), row.status) << session.Shown();
        if (!row.message.empty()) {
            EXPECT_NE(session.Shown().find(row.message), std::string::npos) << session.Shown();
        }
        EXPECT_TRUE(session.EchoIsOn());
        EXPECT_EQ(folder.Listing(), before);
    }
}

}  // namespace
}  // namespace quorvane::clitest
