#include "container/naming.h"

#include <utility>

#include "container/text_codec.h"

namespace quorvane {

std::u16string MakeContainerName(std::u16string_view path)
{
    const auto slash = path.rfind(u'\\');
    const std::size_t nameStart = slash == std::u16string_view::npos ? 0 : slash + 1;
    const auto dot = path.rfind(u'.');
    std::u16string result(path);
    // A full stop in a folder name, or one that opens the file name, is no extension.
    if (dot != std::u16string_view::npos && dot > nameStart) result.resize(dot);
    result += u".dat";
    return result;
}

namespace {

bool IsVariationSelector(char32_t c)
{
    return (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF) || (c >= 0x180B && c <= 0x180D) ||
           c == 0x180F;
}

// Unicode's format characters (Cf), the separators Zl and Zp, the Hangul fillers and the tags, in ranges.
constexpr char32_t kInvisibleRanges[][2] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
    {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x115F, 0x1160},   {0x180E, 0x180E},   {0x200B, 0x200F},
    {0x2028, 0x202E},   {0x2060, 0x206F},   {0x3164, 0x3164},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},
    {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A}, {0xE0000, 0xE007F},
};

char16_t AsciiUpper(char16_t unit)
{
    return unit >= u'a' && unit <= u'z' ? char16_t(unit - 32) : unit;
}

// The port digits Windows knows: 1-9 and the superscripts one, two and three.
bool IsPortDigit(char16_t unit)
{
    return (unit >= u'1' && unit <= u'9') || unit == 0x00B9 || unit == 0x00B2 || unit == 0x00B3;
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9 and LPT1-9 (and COM¹-³, LPT¹-³) open a
// device, not a file, with any extension and in any case; Windows also ignores
// spaces before the first dot.
bool IsDeviceName(std::u16string_view name)
{
    std::u16string stem(name.substr(0, name.find(u'.')));
    while (!stem.empty() && stem.back() == u' ') stem.pop_back();
    for (char16_t& unit : stem) unit = AsciiUpper(unit);
    if (stem == u"CON" || stem == u"PRN" || stem == u"AUX" || stem == u"NUL" || stem == u"CONIN$" || stem == u"CONOUT$")
        return true;
    return stem.size() == 4 && (stem.starts_with(u"COM") || stem.starts_with(u"LPT")) && IsPortDigit(stem[3]);
}

}  // namespace

bool IsHiddenCharacter(char32_t c, bool afterHidden)
{
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
    if (IsVariationSelector(c)) return afterHidden;
    for (const auto& [first, last] : kInvisibleRanges)
        if (c >= first && c <= last) return true;
    return false;
}

std::u16string MakeSafeFileName(std::u16string_view storedName)
{
    const auto sep = storedName.find_last_of(u"\\/");
    std::u16string name(sep == std::u16string_view::npos ? storedName : storedName.substr(sep + 1));
    if (name == u"." || name == u"..") return {};
    std::u16string safe;
    bool afterHidden = true;  // a selector at the start modifies nothing
    for (std::size_t i = 0; i < name.size(); ++i) {
        const bool pair = IsHighSurrogate(name[i]) && i + 1 < name.size() && IsLowSurrogate(name[i + 1]);
        const char32_t c = pair ? 0x10000 + ((char32_t(name[i]) - 0xD800) << 10) + (name[i + 1] - 0xDC00) : name[i];
        const bool hidden = IsHiddenCharacter(c, afterHidden);
        afterHidden = hidden || IsVariationSelector(c);
        if (hidden || std::u16string_view(u"<>:\"|?*").find(name[i]) != std::u16string_view::npos) {
            safe.push_back(u'_');
        } else {
            safe.append(name, i, pair ? 2 : 1);
        }
        i += pair ? 1 : 0;
    }
    name = std::move(safe);
    // Windows drops trailing dots and spaces, so "a.exe." would be saved as "a.exe".
    for (auto unit = name.rbegin(); unit != name.rend() && (*unit == u'.' || *unit == u' '); ++unit) *unit = u'_';
    if (IsDeviceName(name)) name.insert(name.begin(), u'_');
    return name;
}

}  // namespace quorvane
