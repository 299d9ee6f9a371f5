#include "cli/shown_text.h"

namespace quorvane::cli {

namespace {

bool IsFormatControl(char16_t unit)
{
    return unit == 0x061C || (unit >= 0x200B && unit <= 0x200F) || (unit >= 0x2028 && unit <= 0x202E) ||
           (unit >= 0x2060 && unit <= 0x206F) || unit == 0xFEFF || (unit >= 0xFFF9 && unit <= 0xFFFB);
}

void AppendHex(std::u16string& out, char16_t unit, int digits)
{
    constexpr char16_t kHex[] = u"0123456789abcdef";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out.push_back(kHex[(unit >> shift) & 0xF]);
}

}  // namespace

std::u16string EscapeControls(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t unit : text) {
        if (unit < 0x20 || (unit >= 0x7F && unit <= 0x9F)) {
            out.append(u"\\x");
            AppendHex(out, unit, 2);
        } else if (IsFormatControl(unit)) {
            out.append(u"\\u");
            AppendHex(out, unit, 4);
        } else {
            out.push_back(unit);
        }
    }
    return out;
}

}  // namespace quorvane::cli
