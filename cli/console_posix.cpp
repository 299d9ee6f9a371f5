#include "cli/console.h"

#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include "container/text_codec.h"
#include "jobs/platform_file.h"
#include "jobs/signals_held_posix.h"

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

// A signal's default action, from its handler, where it is held: it takes effect as it is let through.
void RaiseHeld(int signalNumber)
{
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    ::raise(signalNumber);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
}

struct termios savedTerminal {};
struct termios quietTerminal {};
volatile sig_atomic_t echoIsOff = 0;
// The prompt again, shown when the program continues after a stop; null for none.
std::atomic<const char*> promptAgain{nullptr};

// Puts back the echo that ReadHiddenLine turned off, if it is off; safe in a signal handler.
void RestoreEchoNow() noexcept
{
    if (echoIsOff) tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
}

// Ctrl+Z, and a read or a terminal change from the background. A signal that ends the process puts the echo back
// in the interrupt's handler below.
constexpr int kStoppingSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

// A failed write to standard error or output has no one left to tell. Safe in a signal handler.
void WriteText(NativeFile file, std::string_view text)
{
    bool readerGone = false;
    (void)quorvane::WriteAll(file, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), readerGone);
}

// Only from the foreground: a background process would be stopped for trying.
void HideInputIfForeground(bool showPrompt)
{
    if (!echoIsOff || ::tcgetpgrp(STDIN_FILENO) != ::getpgrp()) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &quietTerminal);
    if (const char* prompt = promptAgain.load(); prompt && showPrompt) WriteText(STDERR_FILENO, prompt);
}

// The shell the user returns to gets an echoing terminal; the stop itself is the default one.
extern "C" void RestoreEchoAndStop(int signalNumber)
{
    const int savedErrno = errno;
    RestoreEchoNow();
    struct sigaction ours {
    }, stop{};
    stop.sa_handler = SIG_DFL;
    sigaction(signalNumber, &stop, &ours);
    RaiseHeld(signalNumber);  // stopped here until SIGCONT
    sigaction(signalNumber, &ours, nullptr);
    // An orphaned process group is not stopped at all (no SIGCONT comes): hide the input again either way.
    HideInputIfForeground(false);
    errno = savedErrno;
}

extern "C" void HideInputOnContinue(int)
{
    const int savedErrno = errno;
    HideInputIfForeground(true);
    errno = savedErrno;
}

class CEchoOff {
public:
    explicit CEchoOff(const std::string& prompt)
    {
        if (tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return;
        quietTerminal = savedTerminal;
        quietTerminal.c_lflag &= ~tcflag_t(ECHO);
        promptText = prompt;
        struct sigaction stopping {
        }, continuing{};
        stopping.sa_handler = RestoreEchoAndStop;
        // Restarted: a read or the terminal change below goes on after the stop.
        stopping.sa_flags = SA_RESTART;
        sigemptyset(&stopping.sa_mask);
        // Held during the handler, so that its own terminal change is allowed from the background.
        for (const int s : kStoppingSignals) sigaddset(&stopping.sa_mask, s);
        continuing.sa_handler = HideInputOnContinue;
        continuing.sa_flags = SA_RESTART;
        sigemptyset(&continuing.sa_mask);
        for (std::size_t i = 0; i < std::size(kStoppingSignals); ++i) {
            // A signal the caller ignores stays ignored.
            sigaction(kStoppingSignals[i], nullptr, &previous[i]);
            if (previous[i].sa_handler != SIG_IGN) sigaction(kStoppingSignals[i], &stopping, nullptr);
        }
        sigaction(SIGCONT, nullptr, &previousContinue);
        if (previousContinue.sa_handler != SIG_IGN) sigaction(SIGCONT, &continuing, nullptr);
        echoIsOff = 1;
        // TCSAFLUSH drops anything typed before the prompt was shown.
        active = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quietTerminal) == 0;
        if (!active) Restore();
        promptAgain.store(active ? promptText.c_str() : nullptr);
    }
    ~CEchoOff()
    {
        if (active) Restore();
    }
    CEchoOff(const CEchoOff&) = delete;
    CEchoOff& operator=(const CEchoOff&) = delete;
    bool Active() const { return active; }

private:
    // With every signal held: none may hide the input again after it is shown.
    void Restore()
    {
        const CSignalsHeld held;
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
        echoIsOff = 0;
        promptAgain.store(nullptr);
        for (std::size_t i = 0; i < std::size(kStoppingSignals); ++i)
            sigaction(kStoppingSignals[i], &previous[i], nullptr);
        sigaction(SIGCONT, &previousContinue, nullptr);
        active = false;
    }

    struct sigaction previous[std::size(kStoppingSignals)]{};
    struct sigaction previousContinue {};
    std::string promptText;
    bool active = false;
};

}  // namespace

bool IsTerminal(NativeFile standardStream)
{
    return ::isatty(static_cast<int>(standardStream)) == 1;
}

unsigned StandardErrorColumns()
{
    if (::isatty(STDERR_FILENO) != 1) return 0;
    struct winsize size {};
    // A terminal that doesn't say (a serial line) gets the classic width.
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return size.ws_col;
}

KeyFailure ReadHiddenLine(std::u16string_view prompt, CSecureText& line)
{
    KeyFailure result = KeyFailure::none;
    {
        CEchoOff echoOff(Utf16ToUtf8(prompt));
        if (!echoOff.Active()) return KeyFailure::unreadable;
        WriteErrorText(prompt);
        result = ReadKeyLine(STDIN_FILENO, line);
    }
    // The typed line end was not echoed.
    WriteErrorText(u"\n");
    return result;
}

void WriteErrorText(std::u16string_view text)
{
    WriteText(STDERR_FILENO, Utf16ToUtf8(text));
}

bool WriteOutputText(std::string_view text)
{
    bool readerGone = false;
    return quorvane::WriteAll(STDOUT_FILENO, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                              readerGone);
}

bool WriteOutputUnicode(std::u16string_view text, bool& readerGone)
{
    // A name's stray bytes go back as they came, as for a path.
    const std::string utf8 = ToFsPath(text).native();
    return quorvane::WriteAll(STDOUT_FILENO, reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size(),
                              readerGone);
}

namespace {

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
    // What was typed of the key so far must not become the start of the shell's next command.
    if (echoIsOff) tcflush(STDIN_FILENO, TCIFLUSH);
    RestoreEchoNow();
    if (const char* path = temporary.load()) RemoveFileNow(path);
    if (const char* text = message.load()) (void)!::write(STDERR_FILENO, text, std::strlen(text));
    ::signal(signalNumber, SIG_DFL);
    RaiseHeld(signalNumber);
}

void Publish(std::atomic<const char*>& pointer, std::string& storage, std::string text)
{
    const CSignalsHeld held(StopSignalSet());
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
    for (int s = 1; s < NSIG; ++s) {
        if (sigismember(&action.sa_mask, s) != 1) continue;
        // A signal ignored at start (nohup, a shell's trap '' or env --ignore-signal) stays ignored.
        ::sigaction(s, nullptr, &previousActions[s]);
        if (previousActions[s].sa_handler != SIG_IGN) ::sigaction(s, &action, nullptr);
    }
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
    const CSignalsHeld held(StopSignalSet());
    if (!CreateTemporaryBeside(destination, made)) return false;
    NoteTemporaryOutput(made.path);
    return true;
}

}  // namespace quorvane::cli
