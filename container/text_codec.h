#pragma once
#include <string>
#include <string_view>

namespace quorvane {

// Strict UTF-8 to UTF-16: false for overlong forms, surrogates encoded in
// UTF-8, code points past U+10FFFF and truncated sequences.
bool Utf8ToUtf16(std::string_view utf8, std::u16string& out);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// The halves of a character beyond U+FFFF in UTF-16.
inline bool IsHighSurrogate(char32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool IsLowSurrogate(char32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace quorvane
