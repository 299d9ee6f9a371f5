#pragma once
#include <string>
#include <string_view>

namespace quorvane {

// The proposed container path: the file name's extension replaced by ".dat",
// or ".dat" appended when the file name has none. Only the text after the
// last backslash is searched, and a leading full stop is no extension.
std::u16string MakeContainerName(std::u16string_view path);

// Characters that show as nothing, or that move the text around them: the
// controls (U+0000..U+001F, U+007F..U+009F), Unicode's format characters (Cf:
// the text-direction marks, U+200B, U+FEFF, ...), the line and paragraph
// separators, the Hangul fillers (U+115F, U+1160, U+3164, U+FFA0) and the tags
// (U+E0000..U+E007F). A variation selector counts where it stands alone: first,
// or after another such character or selector (`afterHidden`).
bool IsHiddenCharacter(char32_t c, bool afterHidden);

// A stored name made safe to propose: the text after the last "\" or "/", with
// < > : " | ? * and each hidden character (IsHiddenCharacter) replaced by "_",
// as are trailing dots and spaces; a device name (CON, NUL, COM1, COM¹, CONIN$,
// ...) gets a leading "_". Empty when nothing usable is left (an empty name, "." or ".."):
// a container from someone else must not steer the output into another folder
// nor disguise what it holds.
std::u16string MakeSafeFileName(std::u16string_view storedName);

}  // namespace quorvane
