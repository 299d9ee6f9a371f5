#pragma once
// One way to run a program as a child, natively (POSIX) and cross-built (Win32,
// e.g. quorvane-cli.exe under Wine), and collect what it said and how it ended.
#include <string>
#include <vector>

namespace quorvane::test {

struct ChildResult {
    int exitCode = -1;  // when it exited
    int signal = 0;     // the signal that ended it (POSIX)
    std::string out;    // standard output, CR removed
    std::string err;    // standard error, CR removed
};

// Runs argv[0] with `input` as standard input (a file: never a terminal) and,
// on POSIX, `env` entries ("NAME=value") added to this process's environment.
ChildResult RunChild(const std::vector<std::u16string>& argv, const std::string& input = {},
                     const std::vector<std::string>& env = {});

// POSIX: runs argv with `shim` preloaded, which stops the child once `stallAfter` bytes went to
// regular files, and kills it there with SIGKILL. False when the child ended before that point.
bool RunChildKilledMidWrite(const std::vector<std::u16string>& argv, const std::string& shim, long long stallAfter,
                            ChildResult& result);

// The built quorvane-cli as this program sees it (a Z: path under Wine).
std::u16string CliProgram();

}  // namespace quorvane::test
