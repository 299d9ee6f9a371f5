#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/progress_line.h"
#include "container/text_codec.h"
#include "jobs/platform_file.h"

#ifdef _WIN32
#include <cwchar>

// The Windows shell leaves "*.txt" to the program, as every console tool
// expands it; the C runtime does so before wmain when this is set.
extern "C" {
int _dowildcard = -1;
}

// The wide entry point: file names and keys arrive as UTF-16, whatever the code page.
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i], argv[i] + std::wcslen(argv[i]));
    return quorvane::cli::RunCommandLine(args);
}

#else

int main(int argc, char** argv)
{
    quorvane::OccupyClosedStandardDescriptors();
    std::vector<std::u16string> args;
    // File names are bytes here: one that is not UTF-8 still names its file (FromFsPath keeps each stray byte).
    for (int i = 1; i < argc; ++i) args.push_back(quorvane::FromFsPath(std::filesystem::path(argv[i])));
    return quorvane::cli::RunCommandLine(args);
}

#endif
