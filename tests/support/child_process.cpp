#include "tests/support/child_process.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "jobs/platform_file.h"
#include "tests/support/files.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace quorvane::test {

namespace {

struct CChildFiles {
    CTempFolder folder;
    std::u16string in = folder.File(u"stdin"), out = folder.File(u"stdout"), err = folder.File(u"stderr");
};

std::string WithoutCarriageReturns(const Bytes& bytes)
{
    std::string text(bytes.begin(), bytes.end());
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

void Collect(const CChildFiles& files, ChildResult& result)
{
    result.out = WithoutCarriageReturns(ReadFileBytes(files.out));
    result.err = WithoutCarriageReturns(ReadFileBytes(files.err));
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

int Spawn(const std::vector<std::u16string>& args, const CChildFiles& io)
{
    std::vector<std::wstring> quoted;
    for (const auto& arg : args) quoted.push_back(QuoteArgument(arg));
    std::vector<const wchar_t*> argv;
    for (const auto& q : quoted) argv.push_back(q.c_str());
    argv.push_back(nullptr);
    auto open = [](const std::u16string& path, int flags) {
        const std::wstring wide(path.begin(), path.end());
        return _wopen(wide.c_str(), flags | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    };
    // The child takes over each descriptor's mode; a shell hands standard input over in text mode.
    const int files[3] = {open(io.in, _O_RDONLY | _O_TEXT), open(io.out, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY),
                          open(io.err, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY)};
    std::fflush(stdout);
    std::fflush(stderr);
    // The child inherits descriptors 0 to 2; the test's own are put back after.
    int saved[3];
    for (int fd = 0; fd < 3; ++fd) {
        saved[fd] = _dup(fd);
        _dup2(files[fd], fd);
    }
    const std::wstring program(args[0].begin(), args[0].end());
    const intptr_t status = _wspawnv(_P_WAIT, program.c_str(), argv.data());
    for (int fd = 0; fd < 3; ++fd) {
        _dup2(saved[fd], fd);
        _close(saved[fd]);
        _close(files[fd]);
    }
    return static_cast<int>(status);
}

#else

pid_t Spawn(const std::vector<std::u16string>& argv, const std::vector<std::string>& extraEnv, const CChildFiles& io)
{
    // The additions come first: the first of two equal names wins.
    std::vector<std::string> args, env(extraEnv);
    for (const auto& a : argv) args.push_back(Utf8(a));
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    std::vector<char*> argp, envp;
    for (auto& a : args) argp.push_back(a.data());
    for (auto& e : env) envp.push_back(e.data());
    argp.push_back(nullptr);
    envp.push_back(nullptr);
    const std::string in = Utf8(io.in), out = Utf8(io.out), err = Utf8(io.err);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed) throw std::runtime_error("cannot start " + args[0]);
    return pid;
}

void Wait(pid_t pid, ChildResult& result)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {}
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
}

#endif

}  // namespace

ChildResult RunChild(const std::vector<std::u16string>& argv, const std::string& input,
                     const std::vector<std::string>& env)
{
    CChildFiles io;
    WriteText(io.in, input);
    ChildResult result;
#ifdef _WIN32
    (void)env;
    result.exitCode = Spawn(argv, io);
#else
    Wait(Spawn(argv, env, io), result);
#endif
    Collect(io, result);
    return result;
}

#ifndef _WIN32
bool RunChildKilledMidWrite(const std::vector<std::u16string>& argv, const std::string& shim, long long stallAfter,
                            ChildResult& result)
{
    int fds[2];
    if (::pipe(fds) != 0) return false;
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);  // only the write end goes to the child
    CChildFiles io;
    WriteText(io.in, "");
    const pid_t pid = Spawn(argv,
                            {"LD_PRELOAD=" + shim, "QUORVANE_STALL_AFTER=" + std::to_string(stallAfter),
                             "QUORVANE_STALL_FD=" + std::to_string(fds[1]),
                             // A sanitized child would refuse a library loaded before its runtime.
                             "ASAN_OPTIONS=verify_asan_link_order=0"},
                            io);
    ::close(fds[1]);
    // Either the stall byte arrives, or the pipe closes because the child ended.
    pollfd p{fds[0], POLLIN, 0};
    char byte = 0;
    const bool stalled = ::poll(&p, 1, 120000) == 1 && ::read(fds[0], &byte, 1) == 1;
    if (stalled) ::kill(pid, SIGKILL);
    ::close(fds[0]);
    Wait(pid, result);
    Collect(io, result);
    return stalled;
}
#endif

std::u16string CliProgram()
{
#ifdef QUORVANE_CLI_PATH
    return FromFsPath(HostPath(QUORVANE_CLI_PATH));
#else
    throw std::logic_error("this build has no quorvane-cli");
#endif
}

}  // namespace quorvane::test
