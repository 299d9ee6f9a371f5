// The record reader on any record, held to an oracle restated from the format with 64-bit
// arithmetic, and the command line's streaming reader beside it on real files: for any record
// and chunk size both accept or refuse alike, restore the same bytes under the same stored name,
// and a refusal leaves the destination as it was with no temporary file behind. Proposed names
// never lead out of the chosen folder.
//
// Input: selector (below 32: streamed in chunks of 8 to 256 bytes), then the plaintext record,
// which is enciphered under a fixed key and written as the container file.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "cipher/blowfish_cipher.h"
#include "cli/stream_jobs.h"
#include "container/container_record.h"
#include "container/naming.h"
#include "jobs/platform_file.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/container_maker.h"

namespace {

using namespace quorvane;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Expected {
    bool fieldsInside = false;  // ParseContainerRecord must accept
    bool accepted = false;      // ... and HasWrittenFill too
    std::uint64_t dataOffset = 0;
    std::uint64_t dataSize = 0;
};

Expected ExpectedReading(const std::uint8_t* r, std::size_t length)
{
    Expected e;
    if (length < 8) return e;
    const std::int64_t dataSize = static_cast<std::int32_t>(test::Le32(r));
    const std::uint64_t nameBytes = test::Le32(r + 4);
    if (dataSize < 0 || nameBytes + std::uint64_t(dataSize) > length - 8) return e;
    e.fieldsInside = true;
    e.dataOffset = 8 + nameBytes;
    e.dataSize = std::uint64_t(dataSize);
    const std::uint64_t end = e.dataOffset + e.dataSize;
    const std::uint64_t fill = length - end;
    e.accepted = fill >= 1 && fill <= 8;
    for (std::uint64_t i = end; e.accepted && i < length; ++i) e.accepted = r[i] == 0;
    return e;
}

// A proposal never leads out of the chosen folder nor hides what it is; at most a device
// name's leading "_" is added.
void RequireSafeName(const std::u16string& stored, const std::u16string& safe)
{
    FUZZ_REQUIRE(safe.size() <= stored.size() + 1);
    FUZZ_REQUIRE(safe != u"." && safe != u"..");
    FUZZ_REQUIRE(safe.empty() || (safe.back() != u'.' && safe.back() != u' '));
    for (char16_t u : safe) {
        FUZZ_REQUIRE(u >= 0x20);
        FUZZ_REQUIRE(
            std::u16string_view(u"\\/<>:\"|?*\u200E\u200F\u202A\u202B\u202C\u202D\u202E\u2066\u2067\u2068\u2069")
                .find(u) == std::u16string_view::npos);
    }
}

// Runs the window's reader on an exact-size heap copy (so a read past the
// record is caught) and holds it to the oracle. Returns whether it accepted.
bool CheckReader(const std::uint8_t* bytes, std::size_t length, ContainerContents* out = nullptr)
{
    std::unique_ptr<std::uint8_t[]> record(new std::uint8_t[length]);
    std::copy(bytes, bytes + length, record.get());
    const Expected expected = ExpectedReading(record.get(), length);

    ContainerContents contents;
    const RecordCheck check = ParseContainerRecord(record.get(), length, contents);
    FUZZ_REQUIRE((check == RecordCheck::ok) == expected.fieldsInside);
    if (check != RecordCheck::ok) {
        FUZZ_REQUIRE(length >= 8 || check == RecordCheck::tooShort);
        return false;
    }
    FUZZ_REQUIRE(contents.dataOffset == expected.dataOffset);
    FUZZ_REQUIRE(std::uint64_t(contents.dataSize) == expected.dataSize);
    FUZZ_REQUIRE(contents.storedName.size() <= contents.nameBytes / 2);
    FUZZ_REQUIRE(contents.storedName.find(char16_t(0)) == std::u16string::npos);
    for (std::size_t i = 0; i < contents.storedName.size(); ++i) {
        const std::uint8_t* unit = record.get() + 8 + 2 * i;
        FUZZ_REQUIRE(contents.storedName[i] == char16_t(unit[0] | unit[1] << 8));
    }
    const bool fill = HasWrittenFill(record.get(), length, contents);
    FUZZ_REQUIRE(fill == expected.accepted);
    RequireSafeName(contents.storedName, MakeSafeFileName(contents.storedName));
    if (out) *out = contents;
    return fill;
}

const Bytes kSentinel = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > (1u << 20)) return 0;
    CheckReader(data + 1, size - 1);  // any length, in memory
    // Files are slow: one input in eight (and every seed) goes through the streaming reader too.
    if (data[0] >= 32) return 0;
    const std::size_t chunkBytes = 8 * (1 + data[0]);
    Bytes record(data + 1, data + size);
    record.resize(quorvane::AlignedLength(std::uint32_t(record.size())), 0);

    // One folder for the whole run (scripts/fuzz points TMPDIR at tmpfs): every run writes, syncs and renames.
    static const test::CTempFolder folder;
    const std::u16string input = folder.File(u"c.dat"), output = folder.File(u"out.bin");
    test::WriteFileBytes(input, test::EncipherRecord(record, u"fuzz key 鍵"));
    test::WriteFileBytes(output, kSentinel);

    quorvane::ContainerContents contents;
    const bool accepted = !record.empty() && CheckReader(record.data(), record.size(), &contents);

    std::optional<std::optional<std::u16string>> offered;
    quorvane::cli::DecryptTask task;
    task.inputPath = input;
    task.replaceExisting = true;
    task.chunkBytes = chunkBytes;
    task.chooseOutput = [&](const std::optional<std::u16string>& storedName) {
        offered = storedName;
        return storedName ? output : std::u16string();
    };
    const CSecureBuffer key = MakeKeyBytes(u"fuzz key 鍵");
    const quorvane::cli::StreamOutcome outcome = quorvane::cli::StreamDecryptFile(task, key);

    if (accepted && offered && *offered) {
        FUZZ_REQUIRE(outcome.failure == quorvane::cli::StreamFailure::none);
        FUZZ_REQUIRE(**offered == contents.storedName);
        const Bytes restored = test::ReadFileBytes(output);
        FUZZ_REQUIRE(restored.size() == std::size_t(contents.dataSize));
        FUZZ_REQUIRE(std::equal(restored.begin(), restored.end(), record.begin() + contents.dataOffset));
    } else if (accepted) {
        // Only a name too long to gather is not offered; nothing is written then.
        FUZZ_REQUIRE(offered && !*offered && contents.nameBytes / 2 > 32 * 1024);
        FUZZ_REQUIRE(outcome.failure == quorvane::cli::StreamFailure::noUsableName);
        FUZZ_REQUIRE(test::ReadFileBytes(output) == kSentinel);
    } else {
        FUZZ_REQUIRE(outcome.failure == quorvane::cli::StreamFailure::wrongKeyOrDamaged);
        FUZZ_REQUIRE(test::ReadFileBytes(output) == kSentinel);
    }
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder.Path())) ++entries;
    FUZZ_REQUIRE(entries == 2);  // the container and the destination, no temporary file
    return 0;
}
