// The command line's key-file reader on any file head: a key is the first
// line exactly, as strict UTF-8, or a stated refusal.
#include <algorithm>
#include <memory>
#include <string>

#include "cli/console.h"
#include "cli/key_input.h"
#include "container/text_codec.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// Strict UTF-8, written out from the encoding's definition.
bool IsStrictUtf8(const std::uint8_t* s, std::size_t n)
{
    for (std::size_t i = 0; i < n;) {
        const std::uint8_t c = s[i];
        std::size_t extra;
        std::uint32_t cp, min;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
            min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
            min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
            min = 0x10000;
        } else
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if (i + k >= n || (s[i + k] & 0xC0) != 0x80) return false;
            cp = cp << 6 | (s[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += 1 + extra;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using quorvane::cli::KeyFailure;
    std::unique_ptr<std::uint8_t[]> head(new std::uint8_t[size]);  // exact size
    std::copy(data, data + size, head.get());

    quorvane::CSecureText key;
    const KeyFailure result = quorvane::cli::KeyTextFromBytes(head.get(), size, key);

    // The line: after an optional UTF-8 byte-order mark, up to the first LF,
    // without a CR right before that LF.
    std::size_t begin = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF ? 3 : 0;
    std::size_t end = begin;
    while (end < size && data[end] != '\n') ++end;
    if (end < size && end > begin && data[end - 1] == '\r') --end;

    if (end == begin) {
        FUZZ_REQUIRE(result == KeyFailure::empty);
    } else if (end - begin > quorvane::cli::kMaxKeyLineBytes) {
        FUZZ_REQUIRE(result == KeyFailure::tooLong);
    } else if (!IsStrictUtf8(data + begin, end - begin)) {
        FUZZ_REQUIRE(result == KeyFailure::notUtf8);
        FUZZ_REQUIRE(key.Empty());
    } else {
        FUZZ_REQUIRE(result == KeyFailure::none);
        FUZZ_REQUIRE(!key.Empty());
        // Strict UTF-8 in, so UTF-8 out again gives the very same bytes.
        const std::string again = quorvane::Utf16ToUtf8(key.Text());
        FUZZ_REQUIRE(again.size() == end - begin);
        FUZZ_REQUIRE(std::equal(again.begin(), again.end(), data + begin,
                                [](char a, std::uint8_t b) { return std::uint8_t(a) == b; }));
    }
    return 0;
}
