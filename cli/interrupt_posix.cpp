#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>

#include "cli/console.h"
#include "cli/interrupt.h"
#include "container/text_codec.h"
#include "jobs/platform_file.h"

namespace quorvane::cli {

namespace {

// Every signal whose default action ends the process, the real-time ones added at start. SIGPIPE too: it
// ends a run whose standard error has no reader; writing to standard output ignores it instead.
constexpr int kStopSignals[] = {SIGINT,  SIGTERM,   SIGHUP,  SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2,
                                SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGIO,   SIGPWR,  SIGSTKFLT,
                                SIGSYS,  SIGTRAP,   SIGABRT, SIGILL,  SIGFPE,  SIGBUS,  SIGSEGV};
struct sigaction previousActions[NSIG];  // by signal number

sigset_t StopSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int s : kStopSignals) sigaddset(&set, s);
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) sigaddset(&set, s);
    return set;
}

// Read by the handler, which may only make async-signal-safe calls: plain
// text behind pointers that are swapped whole. The strings change only on the
// thread that owns the run, with the signals held back there meanwhile, and
// never while workers run, so a handler never reads a string being changed.
std::string messageText;
std::string temporaryText;
std::atomic<const char*> message{nullptr};
std::atomic<const char*> temporary{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);

// A user who interrupts the key prompt must not be left with a terminal that shows nothing typed.
extern "C" void RemoveTemporaryAndDie(int signalNumber)
{
    RestoreEchoNow();
    if (const char* path = temporary.load()) RemoveFileNow(path);
    if (const char* text = message.load()) (void)!::write(STDERR_FILENO, text, std::strlen(text));
    ::signal(signalNumber, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signalNumber);
}

class CSignalsHeld {
public:
    CSignalsHeld()
    {
        const sigset_t stops = StopSignalSet();
        ::pthread_sigmask(SIG_BLOCK, &stops, &saved);
    }
    ~CSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &saved, nullptr); }
    CSignalsHeld(const CSignalsHeld&) = delete;
    CSignalsHeld& operator=(const CSignalsHeld&) = delete;

private:
    sigset_t saved;
};

void Publish(std::atomic<const char*>& pointer, std::string& storage, std::string text)
{
    CSignalsHeld held;
    pointer.store(nullptr);
    storage = std::move(text);
    if (!storage.empty()) pointer.store(storage.c_str());
}

}  // namespace

CInterruptGuard::CInterruptGuard()
{
    struct sigaction action {};
    action.sa_handler = RemoveTemporaryAndDie;
    // A second signal waits: the first one already ends the process.
    action.sa_mask = StopSignalSet();
    for (int s = 1; s < NSIG; ++s)
        if (sigismember(&action.sa_mask, s) == 1) ::sigaction(s, &action, &previousActions[s]);
    // Past the file-size limit a write then fails (EFBIG), reported as any failed write, instead of ending the run.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previousActions[SIGXFSZ]);
}

CInterruptGuard::~CInterruptGuard()
{
    const sigset_t stops = StopSignalSet();
    for (int s = 1; s < NSIG; ++s)
        if (s == SIGXFSZ || sigismember(&stops, s) == 1) ::sigaction(s, &previousActions[s], nullptr);
    NoteInterruptMessage({});
    NoteTemporaryOutput({});
}

void NoteInterruptMessage(std::u16string_view text)
{
    Publish(message, messageText, Utf16ToUtf8(text));
}

void NoteTemporaryOutput(const std::filesystem::path& path)
{
    Publish(temporary, temporaryText, path.native());
}

void IgnoreClosedReaders() noexcept
{
    ::signal(SIGPIPE, SIG_IGN);
}

bool CreateNotedTemporary(const std::filesystem::path& destination, TemporaryFile& made)
{
    CSignalsHeld held;
    if (!CreateTemporaryBeside(destination, made)) return false;
    NoteTemporaryOutput(made.path);
    return true;
}

}  // namespace quorvane::cli
