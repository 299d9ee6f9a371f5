#include "tests/faults/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

extern char** environ;

namespace quorvane::faults {

namespace {

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct CSpawned {
    pid_t pid = -1;
    std::string outPath, errPath;
};

CSpawned Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv, int keepFd)
{
    static int counter = 0;
    CSpawned s;
    const std::string base = "/tmp/quorvane-child-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    s.outPath = base + ".out";
    s.errPath = base + ".err";

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp, args;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argCopy(argv);
    for (auto& a : argCopy) args.push_back(a.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, s.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, s.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    (void)keepFd;  // inherited: it is opened without close-on-exec
    if (posix_spawn(&s.pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) s.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return s;
}

void Collect(const CSpawned& s, int status, ChildResult& result)
{
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = Slurp(s.outPath);
    result.err = Slurp(s.errPath);
    std::remove(s.outPath.c_str());
    std::remove(s.errPath.c_str());
}

}  // namespace

ChildResult RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv)
{
    ChildResult result;
    const CSpawned s = Spawn(argv, extraEnv, -1);
    if (s.pid < 0) {
        result.err = "cannot start " + argv[0];
        return result;
    }
    int status = 0;
    ::waitpid(s.pid, &status, 0);
    Collect(s, status, result);
    return result;
}

bool RunChildAndKillMidWrite(const std::vector<std::string>& argv, const std::string& shim, long long stallAfter,
                             ChildResult& result)
{
    int fds[2];
    if (::pipe(fds) != 0) return false;
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);  // only the write end goes to the child
    const std::vector<std::string> env = {"LD_PRELOAD=" + shim, "QUORVANE_STALL_AFTER=" + std::to_string(stallAfter),
                                          "QUORVANE_STALL_FD=" + std::to_string(fds[1]),
                                          // A sanitized child would refuse a library loaded before its runtime.
                                          "ASAN_OPTIONS=verify_asan_link_order=0"};
    const CSpawned s = Spawn(argv, env, fds[1]);
    ::close(fds[1]);
    bool stalled = false;
    if (s.pid >= 0) {
        // Either the stall byte arrives, or the pipe closes because the child ended.
        pollfd p{fds[0], POLLIN, 0};
        char byte = 0;
        if (::poll(&p, 1, 120000) == 1 && ::read(fds[0], &byte, 1) == 1) {
            stalled = true;
            ::kill(s.pid, SIGKILL);
        }
        int status = 0;
        ::waitpid(s.pid, &status, 0);
        Collect(s, status, result);
    }
    ::close(fds[0]);
    return stalled;
}

}  // namespace quorvane::faults
