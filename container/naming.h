#pragma once
#include <string>
#include <string_view>

namespace quorvane {

// The proposed container path: the file name's extension replaced by ".dat",
// or ".dat" appended when the file name has none. Only the text after the
// last backslash is searched, and a leading full stop is no extension.
std::u16string MakeContainerName(std::u16string_view path);

// A stored name made safe to propose: the text after the last "\" or "/", with
// < > : " | ? *, the controls (U+0000..U+001F, U+007F..U+009F) and the
// text-direction marks (U+061C, U+200E/F, U+202A..E, U+2066..9) replaced by "_",
// as are trailing dots and spaces; a device name (CON, NUL, COM1, COM¹, CONIN$,
// ...) gets a leading "_". Empty when nothing usable is left (an empty name, "." or ".."):
// a container from someone else must not steer the output into another folder
// nor disguise what it holds.
std::u16string MakeSafeFileName(std::u16string_view storedName);

}  // namespace quorvane
