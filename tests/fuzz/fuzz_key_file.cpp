// The command line's key-file reader on any file head: a key is the first
// line exactly, as strict UTF-8, or a stated refusal.
#include <iconv.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/key_input.h"
#include "container/text_codec.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// Strict UTF-8 as the C library's converter (no code of ours) reads it.
bool IsStrictUtf8(const std::uint8_t* bytes, std::size_t size)
{
    static const iconv_t converter = iconv_open("UTF-16LE", "UTF-8");
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> units(2 * size);  // no UTF-8 sequence is shorter than its UTF-16 form
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
    char* out = units.data();
    std::size_t outLeft = units.size();
    return iconv(converter, &in, &size, &out, &outLeft) != std::size_t(-1);
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
