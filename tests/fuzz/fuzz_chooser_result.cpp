// The open chooser's result buffer, as the platform may leave it: any units,
// with or without the closing empty segment, up to the buffer's end. The split
// never reads past the buffer and the joined paths are the folder and each name.
#include <memory>
#include <string>
#include <vector>

#include "app/logic/chooser_result.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using quorvane::app::JoinChosenPaths;
    using quorvane::app::SplitChooserResult;
    const std::size_t capacity = size / 2;
    std::unique_ptr<char16_t[]> buffer(new char16_t[capacity]);  // exact size
    for (std::size_t i = 0; i < capacity; ++i) buffer[i] = char16_t(data[2 * i] | data[2 * i + 1] << 8);

    const std::vector<std::u16string> segments = SplitChooserResult(buffer.get(), capacity);
    // The segments are the buffer's runs up to the first empty one, in order.
    std::size_t at = 0;
    for (const auto& s : segments) {
        FUZZ_REQUIRE(!s.empty());
        FUZZ_REQUIRE(s.find(char16_t(0)) == std::u16string::npos);
        FUZZ_REQUIRE(at + s.size() <= capacity);
        FUZZ_REQUIRE(std::u16string(buffer.get() + at, s.size()) == s);
        at += s.size();
        FUZZ_REQUIRE(at == capacity || buffer[at] == 0);
        ++at;
    }
    FUZZ_REQUIRE(at >= capacity || buffer[at] == 0);

    const std::vector<std::u16string> paths = JoinChosenPaths(segments);
    if (segments.size() <= 1) {
        FUZZ_REQUIRE(paths == segments);
    } else {
        FUZZ_REQUIRE(paths.size() == segments.size() - 1);
        for (std::size_t i = 0; i < paths.size(); ++i) FUZZ_REQUIRE(paths[i] == segments[0] + u"\\" + segments[i + 1]);
    }
    return 0;
}
