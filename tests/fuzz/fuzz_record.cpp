// The record reader on any record, held to the format restated in 64-bit arithmetic, and the safe name proposed
// from what it read; and the command line's streaming reader beside it on real files: for any record and chunk size
// both accept or refuse alike, restore the same bytes under the same stored name, and a refusal leaves the
// destination as it was with no temporary file behind.
//
// Input: selector (below 32: streamed in chunks of 8 to 256 bytes), then the plaintext record, which is enciphered
// under a fixed key and written as the container file.
#include <algorithm>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "cipher/blowfish_cipher.h"
#include "cli/stream_jobs.h"
#include "container/container_record.h"
#include "container/naming.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/container_maker.h"

namespace {

using namespace quorvane;

// Separators, what the file system refuses in a name, and the text-direction controls.
constexpr std::u16string_view kNeverInSafeName =
    u"\\/<>:\"|?*\u200E\u200F\u202A\u202B\u202C\u202D\u202E\u2066\u2067\u2068\u2069";
const test::Bytes kSentinel = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};

// Runs the window's reader on its own exact-size copy of the record (so a read past it is caught), holds it to
// the format and the proposed name to its rules. The contents when the record is accepted.
std::optional<ContainerContents> CheckReader(const test::Bytes record)
{
    ContainerContents contents;
    const RecordCheck check = ParseContainerRecord(record.data(), record.size(), contents);
    FUZZ_REQUIRE((check == RecordCheck::tooShort) == (record.size() < 8));
    if (record.size() < 8) return std::nullopt;
    // dataSize | nameBytes | name | data | 1 to 8 zero bytes
    const std::int64_t dataSize = std::int32_t(test::Le32(record.data()));
    const std::uint64_t dataOffset = 8 + std::uint64_t(test::Le32(record.data() + 4));
    const bool inside = dataSize >= 0 && dataOffset + dataSize <= record.size();
    FUZZ_REQUIRE((check == RecordCheck::ok) == inside);
    if (!inside) return std::nullopt;
    FUZZ_REQUIRE(contents.dataOffset == dataOffset);
    FUZZ_REQUIRE(contents.dataSize == dataSize);
    // The stored name is the name's units up to the first zero one.
    const std::u16string& name = contents.storedName;
    FUZZ_REQUIRE(name.size() <= contents.nameBytes / 2);
    for (std::size_t i = 0; i <= name.size() && i < contents.nameBytes / 2; ++i) {
        const char16_t unit = char16_t(record[8 + 2 * i] | record[9 + 2 * i] << 8);
        FUZZ_REQUIRE(i < name.size() ? unit != 0 && name[i] == unit : unit == 0);
    }
    const std::uint64_t fill = record.size() - dataOffset - dataSize;
    const auto isZero = [](std::uint8_t b) { return b == 0; };
    const bool written = fill >= 1 && fill <= 8 && std::all_of(record.end() - fill, record.end(), isZero);
    FUZZ_REQUIRE(HasWrittenFill(record.data(), record.size(), contents) == written);

    // A proposal never leads out of the chosen folder nor hides what it is; at most a device name's "_" is added.
    const std::u16string safe = MakeSafeFileName(name);
    FUZZ_REQUIRE(safe.size() <= name.size() + 1);
    FUZZ_REQUIRE(safe != u"." && safe != u"..");
    FUZZ_REQUIRE(safe.empty() || (safe.back() != u'.' && safe.back() != u' '));
    for (char16_t u : safe) FUZZ_REQUIRE(u >= 0x20 && kNeverInSafeName.find(u) == kNeverInSafeName.npos);
    return written ? std::optional(contents) : std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > (1u << 20)) return 0;
    test::Bytes record(data + 1, data + size);
    CheckReader(record);  // any length, in memory
    // Files are slow: one input in eight (and every seed) goes through the streaming reader too.
    if (data[0] >= 32) return 0;
    record.resize(AlignedLength(std::uint32_t(record.size())), 0);
    const std::optional<ContainerContents> contents = CheckReader(record);

    // One folder for the whole run (scripts/fuzz points TMPDIR at tmpfs): every run writes, syncs and renames.
    static const test::CTempFolder folder;
    const std::u16string input = folder.File(u"c.dat"), output = folder.File(u"out.bin");
    test::WriteFileBytes(input, test::EncipherRecord(record, u"fuzz key 鍵"));
    test::WriteFileBytes(output, kSentinel);

    std::optional<std::optional<std::u16string>> offered;
    cli::DecryptTask task{.inputPath = input, .replaceExisting = true, .chunkBytes = 8 * (1 + std::size_t(data[0]))};
    task.chooseOutput = [&](const std::optional<std::u16string>& storedName) {
        offered = storedName;
        return storedName ? output : std::u16string();
    };
    const cli::StreamOutcome outcome = cli::StreamDecryptFile(task, MakeKeyBytes(u"fuzz key 鍵"));

    if (contents && offered && *offered) {
        FUZZ_REQUIRE(outcome.failure == cli::StreamFailure::none);
        FUZZ_REQUIRE(**offered == contents->storedName);
        const auto stored = std::span(record).subspan(contents->dataOffset, contents->dataSize);
        FUZZ_REQUIRE(std::ranges::equal(test::ReadFileBytes(output), stored));
    } else {
        // Refused, or accepted with a name too long to gather, which alone is not offered: nothing is written.
        FUZZ_REQUIRE(test::ReadFileBytes(output) == kSentinel);
        FUZZ_REQUIRE(!contents || (offered && contents->nameBytes / 2 > 32 * 1024));
        FUZZ_REQUIRE(outcome.failure ==
                     (contents ? cli::StreamFailure::noUsableName : cli::StreamFailure::wrongKeyOrDamaged));
    }
    // The container and the destination, no temporary file.
    FUZZ_REQUIRE(test::ListFolder(folder.Path()) == std::vector<std::u16string>({u"c.dat", u"out.bin"}));
    return 0;
}
