#pragma once
// Text shown on the terminal. A file name (from an argument or from a
// container) may carry escape sequences that retitle or recolour the terminal,
// or marks that reorder what is shown, so controls are shown escaped.
//
// One line on the terminal for a long file: its name, how much is done, the
// speed and the time left, redrawn in place a few times a second and removed
// at the end. Drawn only when standard error is a terminal (a console on
// Windows), so scripts and logs see nothing of it.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "stream/stream_jobs.h"

namespace quorvane::cli {

// `text` with every control shown as an escape: C0, DEL and C1 as "\x1b",
// "\x7f", "\x9b", the format and text-direction controls (U+061C, U+200B..F,
// U+2028..E, U+2060..F, U+FEFF, U+FFF9..B) as "\u202e". Everything else,
// the backslash too, stays as it is: the result is for reading, not to be parsed back.
std::u16string EscapeControls(std::u16string_view text);

// ASCII text (a message of the standard library, a formatted figure) as UTF-16.
std::u16string Ascii(std::string_view text);

// Files up to this size are done before a line would say anything.
constexpr std::uint64_t kProgressMinimumBytes = std::uint64_t(64) << 20;

// A carriage return, `width` spaces and another: the line is empty again.
std::u16string BlankLine(std::size_t width);

// Of a pipe (kUnknownTotal), the line shows up once kProgressMinimumBytes are done, without percentage.
class CProgressLine : public CStreamProgress {
public:
    // `columns`: the terminal's width; 0 when standard error is not a terminal. The name is shown escaped.
    CProgressLine(std::u16string_view name_, unsigned columns_) : name(EscapeControls(name_)), columns(columns_) {}
    ~CProgressLine() override { Clear(); }
    CProgressLine(const CProgressLine&) = delete;
    CProgressLine& operator=(const CProgressLine&) = delete;

    // At the file's start, with the size of the input.
    void Begin(std::uint64_t totalBytes) override;
    // `bytes` more of the input are done. From any worker thread. The line never asks to stop.
    bool Advance(std::uint64_t bytes) override;
    // Removes the line, if one is shown.
    void Clear() noexcept;

private:
    void Draw(std::chrono::steady_clock::time_point now);

    const std::u16string name;
    const unsigned columns;
    std::uint64_t total = 0;
    bool active = false;
    std::atomic<std::uint64_t> done{0};
    std::mutex drawing;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point nextDraw;
    std::size_t shownWidth = 0;  // of the line on the terminal now
};

}  // namespace quorvane::cli
