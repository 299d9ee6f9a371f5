#pragma once
#include <string>
#include <vector>

namespace quorvane::cli {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;  // a file (or the key) failed; the run stopped there
constexpr int kExitUsage = 2;

// Runs quorvane-cli with `args` (without the program name) and returns the
// exit status. Every failure is one English line on standard error.
int RunCommandLine(const std::vector<std::u16string>& args) noexcept;

}  // namespace quorvane::cli
