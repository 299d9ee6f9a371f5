// The open chooser's result buffer, as the platform may leave it: any units,
// with or without the closing empty segment, up to the buffer's end. The split
// never reads past the buffer and the joined paths are the folder and each name.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/logic/chooser_result.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quorvane::app;
    const std::size_t capacity = size / 2;
    std::unique_ptr<char16_t[]> buffer(new char16_t[capacity]);  // exact size
    for (std::size_t i = 0; i < capacity; ++i) buffer[i] = char16_t(data[2 * i] | data[2 * i + 1] << 8);
    const std::u16string_view units(buffer.get(), capacity);

    const std::vector<std::u16string> segments = SplitChooserResult(buffer.get(), capacity);
    // The segments are the buffer's runs up to the first empty one, in order.
    std::size_t at = 0;
    for (const auto& s : segments) {
        FUZZ_REQUIRE(!s.empty() && s.find(u'\0') == s.npos);
        FUZZ_REQUIRE(at <= capacity && units.substr(at, s.size()) == s);
        at += s.size();
        FUZZ_REQUIRE(at == capacity || units[at] == 0);
        ++at;
    }
    FUZZ_REQUIRE(at >= capacity || units[at] == 0);
    // The run fits exactly when its closing empty segment starts inside the buffer.
    FUZZ_REQUIRE(ChooserRunFits(buffer.get(), capacity) == (at < capacity));

    const std::vector<std::u16string> paths = JoinChosenPaths(segments);
    if (segments.size() <= 1) {
        FUZZ_REQUIRE(paths == segments);
    } else {
        FUZZ_REQUIRE(paths.size() == segments.size() - 1);
        for (std::size_t i = 0; i < paths.size(); ++i) FUZZ_REQUIRE(paths[i] == segments[0] + u"\\" + segments[i + 1]);
    }
    return 0;
}
