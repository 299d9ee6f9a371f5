#include "container/naming.h"

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

// Marks that reorder the text around them: "report\u202Etxt.exe" shows as "reportexe.txt".
bool IsDirectionControl(char16_t unit)
{
    return unit == 0x061C || unit == 0x200E || unit == 0x200F || (unit >= 0x202A && unit <= 0x202E) ||
           (unit >= 0x2066 && unit <= 0x2069);
}

// C0, DEL and C1: a terminal or a list box may act on them instead of showing them.
bool IsControl(char16_t unit)
{
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
}

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

std::u16string MakeSafeFileName(std::u16string_view storedName)
{
    const auto sep = storedName.find_last_of(u"\\/");
    std::u16string name(sep == std::u16string_view::npos ? storedName : storedName.substr(sep + 1));
    if (name == u"." || name == u"..") return {};
    for (char16_t& unit : name) {
        if (IsControl(unit) || IsDirectionControl(unit) ||
            std::u16string_view(u"<>:\"|?*").find(unit) != std::u16string_view::npos)
            unit = u'_';
    }
    // Windows drops trailing dots and spaces, so "a.exe." would be saved as "a.exe".
    for (auto unit = name.rbegin(); unit != name.rend() && (*unit == u'.' || *unit == u' '); ++unit) *unit = u'_';
    if (IsDeviceName(name)) name.insert(name.begin(), u'_');
    return name;
}

}  // namespace quorvane
