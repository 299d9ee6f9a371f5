#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <iterator>
#include <string>

#include "cli/interrupt.h"
#include "container/text_codec.h"
#include "jobs/platform_file.h"

namespace quorvane::cli {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousActions[std::size(kStopSignals)];

// Read by the handler, which may only make async-signal-safe calls: plain
// text behind pointers that are swapped whole. The strings change only on the
// thread that owns the run, with the signals held back there meanwhile, and
// never while workers run, so a handler never reads a string being changed.
std::string messageText;
std::string temporaryText;
std::atomic<const char*> message{nullptr};
std::atomic<const char*> temporary{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);

extern "C" void RemoveTemporaryAndDie(int signalNumber)
{
    if (const char* path = temporary.load()) (void)::unlink(path);
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
        sigset_t stops;
        sigemptyset(&stops);
        for (const int s : kStopSignals) sigaddset(&stops, s);
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
    sigemptyset(&action.sa_mask);
    for (const int s : kStopSignals) sigaddset(&action.sa_mask, s);
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
        ::sigaction(kStopSignals[i], &action, &previousActions[i]);
}

CInterruptGuard::~CInterruptGuard()
{
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
        ::sigaction(kStopSignals[i], &previousActions[i], nullptr);
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

bool CreateNotedTemporary(const std::filesystem::path& destination, TemporaryFile& made)
{
    CSignalsHeld held;
    if (!CreateTemporaryBeside(destination, made)) return false;
    NoteTemporaryOutput(made.path);
    return true;
}

}  // namespace quorvane::cli
