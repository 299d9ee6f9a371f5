#include "container/naming.h"

namespace quorvane {

std::u16string ExtractFileName(std::u16string_view path)
{
    const auto slash = path.rfind(u'\\');
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

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

std::u16string MakeSafeFileName(std::u16string_view storedName)
{
    const auto sep = storedName.find_last_of(u"\\/");
    std::u16string name(sep == std::u16string_view::npos ? storedName : storedName.substr(sep + 1));
    for (char16_t& unit : name) {
        if (unit < 0x20 || std::u16string_view(u"<>:\"|?*").find(unit) != std::u16string_view::npos) unit = u'_';
    }
    if (name == u"." || name == u"..") name.clear();
    return name;
}

}  // namespace quorvane
