#pragma once
// One way to run a program as a child, natively (POSIX) and cross-built (Win32,
// e.g. quorvane-cli.exe under Wine), and collect what it said and how it ended.
#include <string>
#include <vector>

namespace quorvane::test {

struct ChildResult {
    int exitCode = -1;  // when it exited
    int signal = 0;     // the signal that ended it (POSIX)
    std::string out;    // standard output, CR removed (but through pipes)
    std::string err;    // standard error, CR removed
};

// Runs argv[0] with `input` as standard input (a file: never a terminal) and,
// on POSIX, `env` entries ("NAME=value") added to this process's environment.
ChildResult RunChild(const std::vector<std::u16string>& argv, const std::string& input = {},
                     const std::vector<std::string>& env = {});

// Runs argv with `input` written into a pipe on its standard input and its standard output read from
// a pipe, byte for byte; the reading end is closed once `keep` bytes have come (a reader that goes
// away early). On Windows the child gets both in text mode, as from a shell.
ChildResult RunChildThroughPipes(const std::vector<std::u16string>& argv, const std::string& input,
                                 std::size_t keep = std::string::npos);

// POSIX: runs argv with `shim` preloaded, which stops the child once `stallAfter` bytes went to
// regular files, and kills it there with SIGKILL. False when the child ended before that point.
bool RunChildKilledMidWrite(const std::vector<std::u16string>& argv, const std::string& shim, long long stallAfter,
                            ChildResult& result);

// The built quorvane-cli as this program sees it (a Z: path under Wine).
std::u16string CliProgram();

}  // namespace quorvane::test
