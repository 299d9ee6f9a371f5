#include "jobs/long_path.h"

namespace quorvane {

namespace {

bool IsDriveLetter(char16_t unit)
{
    return (unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z');
}

std::u16string Prefixed(std::u16string_view prefix, std::u16string_view rest)
{
    std::u16string result(prefix);
    result.append(rest);
    return result;
}

}  // namespace

std::u16string ExtendedLengthPath(std::u16string_view fullPath)
{
    if (fullPath.starts_with(u"\\\\?\\") || fullPath.starts_with(u"\\\\.\\")) return std::u16string(fullPath);
    if (fullPath.size() >= 3 && IsDriveLetter(fullPath[0]) && fullPath[1] == u':' && fullPath[2] == u'\\')
        return Prefixed(u"\\\\?\\", fullPath);
    if (fullPath.size() > 2 && fullPath.starts_with(u"\\\\") && fullPath[2] != u'\\')
        return Prefixed(u"\\\\?\\UNC\\", fullPath.substr(2));
    return std::u16string(fullPath);
}

}  // namespace quorvane
