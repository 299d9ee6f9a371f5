#include "tests/support/child_process.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include "jobs/platform_file.h"
#include "tests/support/files.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace quorvane::test {

namespace {

#ifdef _WIN32

int OpenFile(const std::u16string& path, bool write)
{
    const std::wstring wide(path.begin(), path.end());
    const int mode = write ? _O_WRONLY | _O_CREAT | _O_TRUNC : _O_RDONLY;
    return _wopen(wide.c_str(), mode | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

bool MakePipe(int (&fds)[2])
{
    return _pipe(fds, 1 << 16, _O_BINARY | _O_NOINHERIT) == 0;
}

// The child's command line is the arguments joined by spaces: one with a blank is quoted, its trailing
// backslashes doubled so that they don't escape the closing quote. No test argument holds a quote.
std::wstring QuoteArgument(const std::u16string& arg)
{
    const std::wstring plain(arg.begin(), arg.end());
    if (plain.find(L'"') != std::wstring::npos) throw std::logic_error("a quote in a test argument");
    if (!plain.empty() && plain.find_first_of(L" \t") == std::wstring::npos) return plain;
    const std::size_t backslashes = plain.size() - 1 - plain.find_last_not_of(L'\\');  // all of them: npos + 1 = 0
    return L'"' + plain + std::wstring(backslashes, L'\\') + L'"';
}

// Starts argv[0] with `fds` as its descriptors 0 to 2; -1 when it can't be started.
intptr_t Start(const std::vector<std::u16string>& args, const int (&fds)[3], const std::vector<std::string>&)
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
        _dup2(fds[fd], fd);
        if (fd < 2) _setmode(fd, _O_TEXT);
    }
    const std::wstring program(args[0].begin(), args[0].end());
    const intptr_t process = _wspawnv(_P_NOWAIT, program.c_str(), argv.data());
    for (int fd = 0; fd < 3; ++fd) {
        _dup2(saved[fd], fd);
        _close(saved[fd]);
    }
    return process;
}

using ChildId = intptr_t;

void Kill(intptr_t process)
{
    TerminateProcess(reinterpret_cast<HANDLE>(process), 1);
}

// Until the child has ended; its handle stays valid for Wait.
void AwaitEnd(intptr_t process)
{
    WaitForSingleObject(reinterpret_cast<HANDLE>(process), INFINITE);
}

void Wait(intptr_t process, ChildResult& result)
{
    _cwait(&result.exitCode, process, 0);
}

#else

int OpenFile(const std::u16string& path, bool write)
{
    return ::open(Utf8(path).c_str(), write ? O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC : O_RDONLY | O_CLOEXEC, 0600);
}

bool MakePipe(int (&fds)[2])
{
    return ::pipe2(fds, O_CLOEXEC) == 0;
}

// A lone U+DC80..U+DCFF stands for the byte 80..FF itself: how a test gives an argument that is not UTF-8.
std::string ArgumentBytes(const std::u16string& arg)
{
    std::string bytes;
    std::u16string run;
    for (std::size_t i = 0; i < arg.size(); ++i) {
        const bool paired = i > 0 && arg[i - 1] >= 0xD800 && arg[i - 1] <= 0xDBFF;
        if (arg[i] < 0xDC80 || arg[i] > 0xDCFF || paired) {
            run.push_back(arg[i]);
            continue;
        }
        bytes += Utf8(std::exchange(run, {}));
        bytes.push_back(static_cast<char>(arg[i] & 0xFF));
    }
    return bytes + Utf8(run);
}

pid_t Start(const std::vector<std::u16string>& argv, const int (&fds)[3], const std::vector<std::string>& extraEnv)
{
    // The additions come first: the first of two equal names wins.
    std::vector<std::string> args, env(extraEnv);
    for (const auto& a : argv) args.push_back(ArgumentBytes(a));
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    std::vector<char*> argp, envp;
    for (auto& a : args) argp.push_back(a.data());
    for (auto& e : env) envp.push_back(e.data());
    argp.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd < 3; ++fd) posix_spawn_file_actions_adddup2(&actions, fds[fd], fd);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

using ChildId = pid_t;

void Kill(pid_t pid)
{
    ::kill(pid, SIGKILL);
}

// Until the child has ended, without reaping it: its pid can't be taken by another process meanwhile.
void AwaitEnd(pid_t pid)
{
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {}
}

void Wait(pid_t pid, ChildResult& result)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {}
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
}

#endif

// Kills the child once it has run `seconds`, unless stopped first.
class CWatchdog {
public:
    CWatchdog(ChildId child, int seconds)
        : thread([this, child, seconds] {
              std::unique_lock<std::mutex> lock(mutex);
              if (ended.wait_for(lock, std::chrono::seconds(seconds), [this] { return done; })) return;
              fired = true;
              Kill(child);
          })
    {
    }
    ~CWatchdog() { Stop(); }
    CWatchdog(const CWatchdog&) = delete;
    CWatchdog& operator=(const CWatchdog&) = delete;
    // True when it had to kill the child.
    bool Stop()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        ended.notify_one();
        if (thread.joinable()) thread.join();
        return fired;
    }

private:
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::atomic<bool> fired{false};
    std::thread thread;  // last: it starts once the rest is there
};

// Writes `input` into `toChild` (if any) on a thread of its own while standard output is read from
// `fromChild`, until its end or until `keep` bytes have come; both ends are closed after.
std::string Exchange(int toChild, int fromChild, const std::string& input, std::size_t keep)
{
    std::thread writer([toChild, &input] {
        if (toChild < 0) return;
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

ChildResult RunChild(const std::vector<std::u16string>& argv, const ChildInput& input)
{
    const CTempFolder folder;
    const std::u16string inFile = folder.File(u"stdin"), errFile = folder.File(u"stderr");
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if (!input.piped) WriteText(inFile, input.bytes);
    if (!input.piped) in[0] = OpenFile(inFile, false);
    if ((input.piped && !MakePipe(in)) || !MakePipe(out)) throw std::runtime_error("no pipe");
    const int fds[3] = {in[0], out[1], OpenFile(errFile, true)};
    const auto child = Start(argv, fds, input.env);
    for (const int fd : fds) ::close(fd);
    if (child == -1) {
        for (const int fd : {in[1], out[0]}) ::close(fd);
        throw std::runtime_error("cannot start " + Utf8(argv[0]));
    }
    ChildResult result;
    CWatchdog watchdog(child, input.seconds);
    result.out = Exchange(in[1], out[0], input.bytes, input.keep);
    AwaitEnd(child);
    const bool killed = watchdog.Stop();
    Wait(child, result);
    if (killed) throw std::runtime_error(Utf8(argv[0]) + " ran past " + std::to_string(input.seconds) + " s: killed");
    const Bytes err = ReadFileBytes(errFile);
    std::copy_if(err.begin(), err.end(), std::back_inserter(result.err), [](char c) { return c != '\r'; });
    return result;
}

std::u16string CliProgram()
{
    return FromFsPath(HostPath(QUORVANE_CLI_PATH));
}

#ifndef _WIN32
int AsAnotherUser(const std::function<int()>& body)
{
    if (::geteuid() != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const bool other = ::setgroups(0, nullptr) == 0 && ::setresgid(kAnotherUser, kAnotherUser, kAnotherUser) == 0 &&
                           ::setresuid(kAnotherUser, kAnotherUser, kAnotherUser) == 0;
        _exit(other ? body() : 125);
    }
    int raw = 0;
    while (pid > 0 && ::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {}
    return pid < 0 ? 126 : WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}
#endif

}  // namespace quorvane::test
