#pragma once
// The command line of quorvane-cli:
//   quorvane-cli encrypt [-k KEYFILE] [-o OUT | -d DIR] [-f] FILE...
//   quorvane-cli encrypt -k KEYFILE [--name NAME] [-o OUT | -d DIR] [-f] -
//   quorvane-cli decrypt [-k KEYFILE] [-o OUT | -d DIR] [-f] CONTAINER...
//   quorvane-cli check [-k KEYFILE] [--keep-going] CONTAINER...
//   quorvane-cli list [-k KEYFILE] [-0] CONTAINER...
//   quorvane-cli --help | --version
// "-" as the input is standard input, as OUT standard output.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stream/stream_jobs.h"  // kStandardStreamName: also a key file from standard input

namespace quorvane::cli {

enum class CliCommand { encrypt, decrypt, check, list, help, version };

struct CliOptions {
    CliCommand command = CliCommand::help;
    std::optional<std::u16string> keyFile;    // "-" for standard input
    std::optional<std::u16string> output;     // only with a single input
    std::optional<std::u16string> directory;  // the outputs' folder
    std::optional<std::u16string> name;       // stored when encrypting standard input
    bool force = false;
    bool keepGoing = false;      // check: on to the last container after a failure
    bool nulTerminated = false;  // list: lines end with NUL
    std::vector<std::u16string> inputs;
};

struct ParsedCommandLine {
    CliOptions options;
    std::u16string error;  // one line, English; empty when the command line is good
};

// `args` without the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::u16string>& args);

// The text of --help.
const char* UsageText();

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;  // a file (or the key) failed; the run stopped there
constexpr int kExitUsage = 2;

// Runs quorvane-cli with `args` (without the program name) and returns the
// exit status. Every failure is one English line on standard error.
int RunCommandLine(const std::vector<std::u16string>& args) noexcept;

}  // namespace quorvane::cli
