#pragma once
#include <string>
#include <string_view>

namespace quorvane {

// The extended-length form of a full Windows path, which the file services take
// beyond the 260-unit limit: "C:\a" becomes "\\?\C:\a" and "\\server\share\a"
// becomes "\\?\UNC\server\share\a". A path already in a device form ("\\?\",
// "\\.\") or not a full path comes back unchanged. The path must be normalised
// first (no "/" nor "." or ".." parts): the extended form is taken literally.
std::u16string ExtendedLengthPath(std::u16string_view fullPath);

}  // namespace quorvane
