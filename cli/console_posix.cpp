#include "cli/console.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iterator>
#include <string>

#include "cli/shown_text.h"
#include "container/text_codec.h"
#include "jobs/platform_file.h"

namespace quorvane::cli {

namespace {

struct termios savedTerminal {};
volatile sig_atomic_t echoIsOff = 0;

constexpr int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// A user who interrupts the prompt must not be left with a terminal that
// shows nothing typed: put the echo back, then die of the signal as usual.
extern "C" void RestoreEchoAndReraise(int signalNumber)
{
    if (echoIsOff) tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

class CEchoOff {
public:
    CEchoOff()
    {
        if (tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return;
        struct sigaction action {};
        action.sa_handler = RestoreEchoAndReraise;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i)
            sigaction(kRestoringSignals[i], &action, &previous[i]);
        struct termios quiet = savedTerminal;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        echoIsOff = 1;
        // TCSAFLUSH drops anything typed before the prompt was shown.
        active = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        if (!active) Restore();
    }
    ~CEchoOff()
    {
        if (active) Restore();
    }
    CEchoOff(const CEchoOff&) = delete;
    CEchoOff& operator=(const CEchoOff&) = delete;
    bool Active() const { return active; }

private:
    void Restore()
    {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
        echoIsOff = 0;
        for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i)
            sigaction(kRestoringSignals[i], &previous[i], nullptr);
        active = false;
    }

    struct sigaction previous[std::size(kRestoringSignals)]{};
    bool active = false;
};

void WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

bool StandardInputIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

unsigned StandardErrorColumns()
{
    if (::isatty(STDERR_FILENO) != 1) return 0;
    struct winsize size {};
    // A terminal that doesn't say (a serial line) gets the classic width.
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return size.ws_col;
}

TerminalRead ReadHiddenLine(std::u16string_view prompt, CSecureText& line)
{
    CSecureBuffer bytes(kMaxKeyLineBytes);
    std::size_t length = 0;
    TerminalRead result = TerminalRead::ok;
    {
        CEchoOff echoOff;
        if (!echoOff.Active()) return TerminalRead::failed;
        WriteErrorText(prompt);
        for (;;) {
            std::uint8_t byte = 0;
            const ssize_t n = ::read(STDIN_FILENO, &byte, 1);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                result = TerminalRead::failed;
                break;
            }
            if (n == 0) {
                if (length == 0) result = TerminalRead::endOfInput;
                break;
            }
            if (byte == '\n') break;
            if (length == bytes.Size()) {
                result = TerminalRead::tooLong;
                break;
            }
            bytes.Data()[length++] = byte;
        }
    }
    // The typed line end was not echoed.
    WriteErrorText(u"\n");
    if (result != TerminalRead::ok) return result;

    std::u16string text;
    const bool valid = Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes.Data()), length), text);
    if (valid) line.Assign(text);
    WipeString(text);
    return valid ? TerminalRead::ok : TerminalRead::notUtf8;
}

CRawInput::~CRawInput()
{
    if (owned && fd >= 0) ::close(fd);
}

bool CRawInput::OpenFile(std::u16string_view path)
{
    fd = ::open(ToFsPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    owned = fd >= 0;
    return owned;
}

void CRawInput::OpenStandardInput()
{
    fd = STDIN_FILENO;
    owned = false;
}

long CRawInput::Read(std::uint8_t* buffer, std::size_t size)
{
    if (fd < 0) return -1;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

void WriteErrorLine(std::u16string_view text)
{
    WriteAll(STDERR_FILENO, Utf16ToUtf8(EscapeControls(text)) + "\n");
}

void WriteErrorText(std::u16string_view text)
{
    WriteAll(STDERR_FILENO, Utf16ToUtf8(text));
}

void WriteOutputText(std::string_view text)
{
    WriteAll(STDOUT_FILENO, std::string(text));
}

}  // namespace quorvane::cli
