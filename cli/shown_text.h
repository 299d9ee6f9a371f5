#pragma once
// Text that reaches the terminal as it is written: a file name (from an
// argument or from a container) may carry escape sequences that retitle or
// recolour the terminal, or marks that reorder what is shown.
#include <string>
#include <string_view>

namespace quorvane::cli {

// `text` with every control shown as an escape: C0, DEL and C1 as "\x1b",
// "\x7f", "\x9b", the format and text-direction controls (U+061C, U+200B..F,
// U+2028..E, U+2060..F, U+FEFF, U+FFF9..B) as "\u202e". Everything else,
// the backslash too, stays as it is: the result is for reading, not to be parsed back.
std::u16string EscapeControls(std::u16string_view text);

}  // namespace quorvane::cli
