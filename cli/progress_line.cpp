#include "cli/progress_line.h"

#include <cstdio>

#include "cli/console.h"
#include "container/naming.h"
#include "container/text_codec.h"

namespace quorvane::cli {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRedrawInterval = std::chrono::milliseconds(250);
// Speeds measured over less than this jump about too much to be shown.
constexpr double kFirstEstimateSeconds = 0.5;

// Columns a code unit takes on a terminal: East Asian wide characters take
// two, the second half of a surrogate pair none (the first counts it as wide).
unsigned UnitWidth(char16_t unit)
{
    if (IsLowSurrogate(unit)) return 0;
    if (IsHighSurrogate(unit)) return 2;
    const bool wide = (unit >= 0x1100 && unit <= 0x115F) || (unit >= 0x2E80 && unit <= 0xA4CF) ||
                      (unit >= 0xAC00 && unit <= 0xD7A3) || (unit >= 0xF900 && unit <= 0xFAFF) ||
                      (unit >= 0xFE30 && unit <= 0xFE4F) || (unit >= 0xFF00 && unit <= 0xFF60) ||
                      (unit >= 0xFFE0 && unit <= 0xFFE6);
    return wide ? 2 : 1;
}

std::size_t TextWidth(std::u16string_view text)
{
    std::size_t width = 0;
    for (const char16_t unit : text) width += UnitWidth(unit);
    return width;
}

// The figures after the name: "  42%  613 MiB/s  0:03 left".
std::u16string Figures(std::uint64_t done, std::uint64_t total, double seconds)
{
    char text[80];
    const unsigned percent = total == 0 ? 100 : static_cast<unsigned>(done * 100 / total);
    int length = total == kUnknownTotal
                     ? std::snprintf(text, sizeof text, "  %llu MiB", (unsigned long long)(done >> 20))
                     : std::snprintf(text, sizeof text, "  %u%%", percent);
    if (seconds < kFirstEstimateSeconds || done == 0) return Ascii(text);
    const double perSecond = double(done) / seconds;
    length += std::snprintf(text + length, sizeof text - length, "  %.0f MiB/s", perSecond / 1048576.0);
    if (total != kUnknownTotal) {
        const auto left = static_cast<unsigned long>(double(total - done) / perSecond + 0.5);
        std::snprintf(text + length, sizeof text - length, "  %lu:%02lu left", left / 60, left % 60);
    }
    return Ascii(text);
}

// The line's text, at most columns - 1 wide (the last column would wrap on
// some terminals); the name is shortened first. No speed or time left until
// `seconds` says enough has passed to tell.
std::u16string FormatProgress(std::u16string_view name, std::uint64_t done, std::uint64_t total, double seconds,
                              unsigned columns)
{
    const std::u16string figures = Figures(done, total, seconds);
    const std::size_t room = columns > figures.size() + 1 ? columns - 1 - figures.size() : 0;
    if (TextWidth(name) <= room) return std::u16string(name) + figures;
    // Too wide: the name's start and "...", or no name at all on a very narrow terminal.
    if (room < 8) return figures.substr(2);
    std::u16string shortened;
    std::size_t width = 0;
    for (const char16_t unit : name) {
        if (width + UnitWidth(unit) > room - 3) break;
        shortened.push_back(unit);
        width += UnitWidth(unit);
    }
    if (!shortened.empty() && IsHighSurrogate(shortened.back())) shortened.pop_back();
    return shortened + u"..." + figures;
}

}  // namespace

std::u16string EscapeControls(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    bool afterHidden = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool pair = IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]);
        const char32_t c = pair ? 0x10000 + ((char32_t(text[i]) - 0xD800) << 10) + (text[i + 1] - 0xDC00) : text[i];
        // The naming rule's hidden characters, and a lone surrogate (on POSIX a byte of a name that is not UTF-8).
        const bool hidden = IsHiddenCharacter(c, afterHidden) || (!pair && (IsHighSurrogate(c) || IsLowSurrogate(c)));
        afterHidden = hidden || IsHiddenCharacter(c, true);
        if (!hidden) {
            out.append(text, i, pair ? 2 : 1);
        } else {
            char escape[16];
            const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
            std::snprintf(escape, sizeof escape, control ? "\\x%02x" : c > 0xFFFF ? "\\U%08x" : "\\u%04x", unsigned(c));
            out.append(Ascii(escape));
        }
        i += pair ? 1 : 0;
    }
    return out;
}

std::u16string Ascii(std::string_view text)
{
    return std::u16string(text.begin(), text.end());
}

void WriteErrorLine(std::u16string_view text)
{
    WriteErrorText(EscapeControls(text) + u"\n");
}

std::u16string BlankLine(std::size_t width)
{
    std::u16string line(1, u'\r');
    line.append(width, u' ').push_back(u'\r');
    return line;
}

void CProgressLine::Begin(std::uint64_t totalBytes)
{
    total = totalBytes;
    done = 0;
    active = columns > 0 && totalBytes > kProgressMinimumBytes;
    start = Clock::now();
    if (!active || total == kUnknownTotal) return;
    const std::lock_guard<std::mutex> guard(drawing);
    Draw(start);  // at once: the user sees that a long file has begun
}

bool CProgressLine::Advance(std::uint64_t bytes)
{
    done += bytes;
    if (!active) return true;
    const auto now = Clock::now();
    // Whoever finds the line due draws it; a worker never waits for another's drawing.
    std::unique_lock<std::mutex> guard(drawing, std::try_to_lock);
    const bool worthShowing = total != kUnknownTotal || done.load() > kProgressMinimumBytes;
    if (guard.owns_lock() && now >= nextDraw && worthShowing) Draw(now);
    return true;
}

void CProgressLine::Draw(Clock::time_point now)
{
    const double seconds = std::chrono::duration<double>(now - start).count();
    const std::u16string text = FormatProgress(name, done.load(), total, seconds, columns);
    const std::size_t width = TextWidth(text);
    // Spaces over whatever a longer earlier line left.
    const std::size_t pad = shownWidth > width ? shownWidth - width : 0;
    std::u16string line(1, u'\r');
    line.append(text).append(pad, u' ');
    WriteErrorText(line);
    shownWidth = width;
    nextDraw = now + kRedrawInterval;
}

void CProgressLine::Clear() noexcept
{
    try {
        const std::lock_guard<std::mutex> guard(drawing);
        if (shownWidth > 0) WriteErrorText(BlankLine(shownWidth));
        shownWidth = 0;
        active = false;
    } catch (...) {
        // Only a lack of memory can get here; a line left standing harms nothing.
    }
}

}  // namespace quorvane::cli
