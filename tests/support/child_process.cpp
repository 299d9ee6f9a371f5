#include "tests/support/child_process.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "jobs/platform_file.h"
#include "tests/support/files.h"

#include <thread>
#include <utility>

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

// Starts argv[0] with `files` as its descriptors 0 to 2: with _P_WAIT its exit code, with _P_NOWAIT its process.
intptr_t Spawn(const std::vector<std::u16string>& args, const int (&files)[3], int mode)
{
    std::vector<std::wstring> quoted;
    for (const auto& arg : args) quoted.push_back(QuoteArgument(arg));
    std::vector<const wchar_t*> argv;
    for (const auto& q : quoted) argv.push_back(q.c_str());
    argv.push_back(nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    // The child inherits descriptors 0 to 2, each in its mode: a shell hands standard input and
    // output over in text mode. The test's own descriptors are put back after.
    int saved[3];
    for (int fd = 0; fd < 3; ++fd) {
        saved[fd] = _dup(fd);
        _dup2(files[fd], fd);
        if (fd < 2) _setmode(fd, _O_TEXT);
    }
    const std::wstring program(args[0].begin(), args[0].end());
    const intptr_t result = _wspawnv(mode, program.c_str(), argv.data());
    for (int fd = 0; fd < 3; ++fd) {
        _dup2(saved[fd], fd);
        _close(saved[fd]);
    }
    return result;
}

int Open(const std::u16string& path, int flags)
{
    const std::wstring wide(path.begin(), path.end());
    return _wopen(wide.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

#else

// `pipes`: descriptors for the child's standard input and output instead of the files of `io`.
pid_t Spawn(const std::vector<std::u16string>& argv, const std::vector<std::string>& extraEnv, const CChildFiles& io,
            std::pair<int, int> pipes = {-1, -1})
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
    if (pipes.first >= 0) {
        posix_spawn_file_actions_adddup2(&actions, pipes.first, 0);
        posix_spawn_file_actions_adddup2(&actions, pipes.second, 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
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

// Writes `input` into `toChild` on a thread of its own while standard output is read from
// `fromChild`, until its end or until `keep` bytes have come; both ends are closed after.
std::string Exchange(int toChild, int fromChild, const std::string& input, std::size_t keep)
{
    std::thread writer([toChild, &input] {
#ifndef _WIN32
        // A child that stops reading must not end the test by SIGPIPE: the write fails instead.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
#endif
        for (std::size_t done = 0; done < input.size();) {
            const int n = ::write(toChild, input.data() + done,
                                  static_cast<unsigned>(std::min<std::size_t>(input.size() - done, 1 << 16)));
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::close(toChild);
    });
    std::string out;
    char buffer[1 << 16];
    for (int n = 0; out.size() < keep && (n = ::read(fromChild, buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<std::size_t>(n));
    ::close(fromChild);
    writer.join();
    return out;
}

}  // namespace

ChildResult RunChild(const std::vector<std::u16string>& argv, const std::string& input,
                     const std::vector<std::string>& env)
{
    CChildFiles io;
    WriteText(io.in, input);
    ChildResult result;
#ifdef _WIN32
    (void)env;
    const int files[3] = {Open(io.in, _O_RDONLY), Open(io.out, _O_WRONLY | _O_CREAT | _O_TRUNC),
                          Open(io.err, _O_WRONLY | _O_CREAT | _O_TRUNC)};
    result.exitCode = static_cast<int>(Spawn(argv, files, _P_WAIT));
    for (const int fd : files) _close(fd);
#else
    Wait(Spawn(argv, env, io), result);
#endif
    Collect(io, result);
    return result;
}

ChildResult RunChildThroughPipes(const std::vector<std::u16string>& argv, const std::string& input, std::size_t keep)
{
    CChildFiles io;
    ChildResult result;
    int in[2], out[2];
#ifdef _WIN32
    if (_pipe(in, 1 << 16, _O_BINARY | _O_NOINHERIT) != 0 || _pipe(out, 1 << 16, _O_BINARY | _O_NOINHERIT) != 0)
        throw std::runtime_error("no pipe");
    const int files[3] = {in[0], out[1], Open(io.err, _O_WRONLY | _O_CREAT | _O_TRUNC)};
    const intptr_t process = Spawn(argv, files, _P_NOWAIT);
    for (const int fd : files) _close(fd);
    if (process == -1) throw std::runtime_error("cannot start " + Utf8(argv[0]));
    result.out = Exchange(in[1], out[0], input, keep);
    int status = -1;
    _cwait(&status, process, 0);
    result.exitCode = status;
#else
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
    const pid_t pid = Spawn(argv, {}, io, {in[0], out[1]});
    ::close(in[0]);
    ::close(out[1]);
    result.out = Exchange(in[1], out[0], input, keep);
    Wait(pid, result);
#endif
    result.err = WithoutCarriageReturns(ReadFileBytes(io.err));
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
