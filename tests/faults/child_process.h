#pragma once
// Runs a program as a child process for the fault tests (POSIX).
#include <string>
#include <vector>

namespace quorvane::faults {

struct ChildResult {
    int exitCode = -1;  // when it exited
    int signal = 0;     // when a signal ended it
    std::string out;    // standard output
    std::string err;    // standard error
};

// Runs `argv` with `extraEnv` ("NAME=value") added to this process's
// environment, standard input from /dev/null, and waits for it.
ChildResult RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {});

// Runs `argv` with the stall shim preloaded: once `stallAfter` bytes have been
// written to regular files the child stops, and it is killed with SIGKILL
// right there. False when it ended before reaching that point.
bool RunChildAndKillMidWrite(const std::vector<std::string>& argv, const std::string& shim, long long stallAfter,
                             ChildResult& result);

}  // namespace quorvane::faults
