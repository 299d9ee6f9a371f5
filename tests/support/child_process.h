#pragma once
// One way to run a program as a child, natively and under Wine, and collect what it said and how it ended.
#include <functional>
#include <string>
#include <vector>

namespace quorvane::test {

struct ChildResult {
    int exitCode = -1;  // when it exited
    int signal = 0;     // the signal that ended it (POSIX)
    std::string out;    // standard output, byte for byte
    std::string err;    // standard error, CR removed
};

struct ChildInput {
    std::string bytes = {};                // what standard input holds
    bool piped = false;                    // a pipe; otherwise a file, as a shell's "<" gives (never a terminal)
    std::size_t keep = std::string::npos;  // standard output is closed once this many bytes came (a reader gone)
    std::vector<std::string> env = {};     // POSIX: "NAME=value" entries added to this process's environment
    int seconds = 300;                     // then the child is killed and RunChild throws: a hang fails the test
};

// Runs argv[0] with its standard output on a pipe. On POSIX a lone U+DC80..U+DCFF in an argument is
// passed as the byte 80..FF (an argument that is not UTF-8). On Windows the child gets standard input and
// output in text mode, as from a shell.
ChildResult RunChild(const std::vector<std::u16string>& argv, const ChildInput& input = {});

// The built quorvane-cli as this program sees it (a Z: path under Wine).
std::u16string CliProgram();

#ifndef _WIN32
// The unprivileged user and group (nobody) that another person on the machine stands for.
constexpr unsigned kAnotherUser = 65534;
// Runs `body` in a forked child as kAnotherUser: its exit status, or -1 when this process is not root.
int AsAnotherUser(const std::function<int()>& body);
#endif

}  // namespace quorvane::test
