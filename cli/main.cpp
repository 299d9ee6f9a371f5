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
    for (int i = 1; i < argc; ++i) {
        std::u16string arg;
        // Paths go to the file system as UTF-8 again, so anything else could not name the same file.
        if (!quorvane::Utf8ToUtf16(argv[i], arg)) {
            quorvane::cli::WriteErrorLine(u"quorvane-cli: argument " + quorvane::cli::Ascii(std::to_string(i)) +
                                          u" is not valid UTF-8");
            return quorvane::cli::kExitUsage;
        }
        args.push_back(std::move(arg));
    }
    return quorvane::cli::RunCommandLine(args);
}

#endif
