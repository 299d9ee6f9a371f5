#include "tests/cli/cli_process.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "jobs/platform_file.h"
#include "tests/cli/cli_test_support.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quorvane::clitest {

namespace {

std::string WithoutCarriageReturns(Bytes bytes)
{
    std::string text(bytes.begin(), bytes.end());
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

#ifdef _WIN32

// The child's command line is the arguments joined by spaces; each is quoted
// so that the child's argument parser hands it back unchanged.
std::wstring QuoteArgument(const std::u16string& arg)
{
    const std::wstring plain(arg.begin(), arg.end());
    if (!plain.empty() && plain.find_first_of(L" \t\"") == std::wstring::npos) return plain;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : plain) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(2 * backslashes, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

int Spawn(const std::u16string& program, const std::vector<std::u16string>& args, const std::u16string& inPath,
          const std::u16string& outPath, const std::u16string& errPath)
{
    const std::wstring wideProgram(program.begin(), program.end());
    std::vector<std::wstring> quoted{QuoteArgument(program)};
    for (const auto& arg : args) quoted.push_back(QuoteArgument(arg));
    std::vector<const wchar_t*> argv;
    for (const auto& q : quoted) argv.push_back(q.c_str());
    argv.push_back(nullptr);

    auto open = [](const std::u16string& path, int flags) {
        const std::wstring wide(path.begin(), path.end());
        return _wopen(wide.c_str(), flags | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    };
    // The child takes over each descriptor's mode; a shell hands standard input over in text mode.
    const int files[3] = {open(inPath, _O_RDONLY | _O_TEXT), open(outPath, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY),
                          open(errPath, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY)};
    std::fflush(stdout);
    std::fflush(stderr);
    // The child inherits descriptors 0 to 2; the test's own are put back after.
    int saved[3];
    for (int fd = 0; fd < 3; ++fd) {
        saved[fd] = _dup(fd);
        _dup2(files[fd], fd);
    }
    const intptr_t status = _wspawnv(_P_WAIT, wideProgram.c_str(), argv.data());
    for (int fd = 0; fd < 3; ++fd) {
        _dup2(saved[fd], fd);
        _close(saved[fd]);
        _close(files[fd]);
    }
    return static_cast<int>(status);
}

#else

int Spawn(const std::u16string& program, const std::vector<std::u16string>& args, const std::u16string& inPath,
          const std::u16string& outPath, const std::u16string& errPath)
{
    std::vector<std::string> strings{Utf8(program)};
    for (const auto& arg : args) strings.push_back(Utf8(arg));
    std::vector<char*> argv;
    for (auto& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    const std::string in = Utf8(inPath), out = Utf8(outPath), err = Utf8(errPath);

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int files[3] = {open(in.c_str(), O_RDONLY), open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
                              open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)};
        for (int fd = 0; fd < 3; ++fd) dup2(files[fd], fd);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {}
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#endif

}  // namespace

std::u16string CliProgramPath()
{
    static const std::u16string path = [] {
        std::filesystem::path p = std::filesystem::absolute(QUORVANE_CLI_RELATIVE_PATH).lexically_normal();
        p.make_preferred();
        if (!std::filesystem::exists(p)) throw std::runtime_error("quorvane-cli not found at " + p.string());
        return FromFsPath(p);
    }();
    return path;
}

CliResult RunCli(const std::vector<std::u16string>& args, const std::string& input)
{
    CScratchFolder io;
    const std::u16string inPath = io.File(u"stdin"), outPath = io.File(u"stdout"), errPath = io.File(u"stderr");
    WriteText(inPath, input);
    CliResult result;
    result.status = Spawn(CliProgramPath(), args, inPath, outPath, errPath);
    result.out = WithoutCarriageReturns(test::ReadFileBytes(outPath));
    result.err = WithoutCarriageReturns(test::ReadFileBytes(errPath));
    return result;
}

}  // namespace quorvane::clitest
