#pragma once
// Runs the built quorvane-cli as a child process, natively or (cross-built)
// inside Wine, and collects what it said and how it ended.
#include <string>
#include <vector>

namespace quorvane::clitest {

struct CliResult {
    int status = -1;
    std::string out;  // standard output, UTF-8, CR removed
    std::string err;  // standard error, UTF-8, CR removed
};

// The program under test, found beside the test program's build folder.
std::u16string CliProgramPath();

// `input` becomes the child's standard input, read from a file: never a terminal.
CliResult RunCli(const std::vector<std::u16string>& args, const std::string& input = {});

}  // namespace quorvane::clitest
