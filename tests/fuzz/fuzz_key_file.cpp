// The command line's key-file reader on any file head: a key is the first
// line exactly, as strict UTF-8, or a stated refusal.
#include <iconv.h>

#include <string_view>
#include <vector>

#include "cli/console.h"
#include "cli/key_input.h"
#include "container/text_codec.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// Strict UTF-8 as the C library's converter (no code of ours) reads it.
bool IsStrictUtf8(std::string_view text)
{
    static const iconv_t converter = iconv_open("UTF-16LE", "UTF-8");
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> units(2 * text.size());  // no UTF-8 sequence is shorter than its UTF-16 form
    char* in = const_cast<char*>(text.data());
    char* out = units.data();
    std::size_t inLeft = text.size(), outLeft = units.size();
    return iconv(converter, &in, &inLeft, &out, &outLeft) != std::size_t(-1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using quorvane::cli::KeyFailure;
    quorvane::CSecureText key;
    // libFuzzer hands over an exact-size heap copy, so a read past the head is caught.
    const KeyFailure result = quorvane::cli::KeyTextFromBytes(data, size, key);

    // The line: after an optional UTF-8 byte-order mark, up to the first LF, without a CR right before that LF.
    std::string_view line(reinterpret_cast<const char*>(data), size);
    if (line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    const std::size_t lf = line.find('\n');
    if (lf != line.npos) line = line.substr(0, lf > 0 && line[lf - 1] == '\r' ? lf - 1 : lf);

    if (line.empty()) {
        FUZZ_REQUIRE(result == KeyFailure::empty);
    } else if (line.size() > quorvane::cli::kMaxKeyLineBytes) {
        FUZZ_REQUIRE(result == KeyFailure::tooLong);
    } else if (!IsStrictUtf8(line)) {
        FUZZ_REQUIRE(result == KeyFailure::notUtf8);
        FUZZ_REQUIRE(key.Empty());
    } else {
        FUZZ_REQUIRE(result == KeyFailure::none);
        // Strict UTF-8 in, so UTF-8 out again gives the very same bytes.
        FUZZ_REQUIRE(quorvane::Utf16ToUtf8(key.Text()) == line);
    }
    return 0;
}
