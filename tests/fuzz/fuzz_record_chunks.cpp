// The record read whole, as one chunk, held to the format restated in 64-bit arithmetic, and the
// same bytes read in chunks of 8 to 256 bytes: in memory by the same reader, and through the command line's two
// drivers (by offset and in order) from a real file and, in order, from a pipe on standard input. Every reading
// gives the same verdict: refused, or the same stored name and the same file bytes; a refusal leaves the
// destination as it was with no temporary file behind. From a pipe, whose length is known only at its end, a
// record the encrypt side never writes (a name of odd bytes, over 255 units or holding a zero unit) is refused too.
//
// Input: selector (the chunk size, 8 * (1 + selector % 32); below 32 the files are read too), then the plaintext
// record, which is enciphered under a fixed key and written as the container file.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <span>
#include <string_view>
#include <thread>
#include <vector>

#include "stream/stream_jobs.h"
#include "container/container_record.h"
#include "container/naming.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/container_maker.h"

namespace {

using namespace quorvane;

// Separators, what the file system refuses in a name, the text-direction controls and some invisible characters.
constexpr std::u16string_view kNeverInSafeName =
    u"\\/<>:\"|?*\u200E\u200F\u202A\u202B\u202C\u202D\u202E\u2066\u2067\u2068\u2069\u200B\u2028\u3164\uFEFF";
const test::Bytes kSentinel = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};

struct Verdict {
    std::optional<std::u16string> name;  // none when the name is longer than a bounded reader gathers
    test::Bytes data;
    bool operator==(const Verdict&) const = default;
};

// Reads the record in chunks of `chunk` bytes (all of it at once for 0), bounding the name as the command line does
// or not at all as the window's job does. None when refused.
std::optional<Verdict> Read(const test::Bytes& record, std::size_t chunk, bool bounded)
{
    CRecordReader reader;
    if (record.size() < 8) return std::nullopt;
    if (!reader.Begin(record.data(), record.size(), bounded ? CRecordReader::kMaxGatheredUnits : record.size()))
        return std::nullopt;
    Verdict verdict;
    for (std::size_t offset = 0; offset < record.size(); offset += chunk ? chunk : record.size()) {
        const std::size_t length = std::min(record.size() - offset, chunk ? chunk : record.size());
        const ChunkSpan data = reader.Take(record.data() + offset, offset, length);
        verdict.data.insert(verdict.data.end(), record.begin() + offset + data.offset,
                            record.begin() + offset + data.offset + data.length);
    }
    if (!reader.FillIsZero()) return std::nullopt;
    verdict.name = reader.Name();
    return verdict;
}

// The whole-record reading against the format, and the safe name proposed for what it read.
std::optional<Verdict> CheckWholeReader(const test::Bytes& record)
{
    const std::optional<Verdict> whole = Read(record, 0, false);
    // dataSize | nameBytes | name | data | 1 to 8 zero bytes
    const auto isZero = [](std::uint8_t b) { return b == 0; };
    const std::int64_t dataSize = record.size() < 8 ? -1 : std::int32_t(test::Le32(record.data()));
    const std::uint64_t dataOffset = record.size() < 8 ? 0 : 8 + std::uint64_t(test::Le32(record.data() + 4));
    const bool inside = dataSize >= 0 && dataOffset + dataSize < record.size();
    const std::uint64_t fill = inside ? record.size() - dataOffset - dataSize : 0;
    const bool written = inside && fill <= 8 && std::all_of(record.end() - fill, record.end(), isZero);
    FUZZ_REQUIRE(whole.has_value() == written);
    if (!whole) return whole;
    FUZZ_REQUIRE(whole->name.has_value());
    FUZZ_REQUIRE(std::ranges::equal(whole->data, std::span(record).subspan(dataOffset, dataSize)));
    // The stored name is every whole unit of the name, zero ones included.
    const std::u16string& name = *whole->name;
    const std::uint64_t units = (dataOffset - 8) / 2;
    FUZZ_REQUIRE(name.size() == units);
    for (std::size_t i = 0; i < units; ++i)
        FUZZ_REQUIRE(name[i] == char16_t(record[8 + 2 * i] | record[9 + 2 * i] << 8));
    // A proposal never leads out of the chosen folder nor hides what it is; at most a device name's "_" is added.
    const std::u16string safe = MakeSafeFileName(name);
    FUZZ_REQUIRE(safe.size() <= name.size() + 1);
    FUZZ_REQUIRE(safe != u"." && safe != u"..");
    FUZZ_REQUIRE(safe.empty() || (safe.back() != u'.' && safe.back() != u' '));
    for (char16_t u : safe) FUZZ_REQUIRE(u >= 0x20 && kNeverInSafeName.find(u) == kNeverInSafeName.npos);
    return whole;
}

// The chunked reading agrees with the whole one; a name too long to gather is the one difference allowed.
void RequireSameVerdict(const std::optional<Verdict>& whole, const std::optional<Verdict>& chunked)
{
    FUZZ_REQUIRE(whole.has_value() == chunked.has_value());
    if (!whole) return;
    FUZZ_REQUIRE(whole->data == chunked->data);
    FUZZ_REQUIRE(!chunked->name || chunked->name == whole->name);
    FUZZ_REQUIRE(chunked->name || whole->name->size() >= CRecordReader::kMaxGatheredUnits);
}

enum class Driver { byOffset, inOrder, pipe };

// Standard input a pipe that a thread fills with `bytes` and then closes, for the life of this object.
class CPipedInput {
public:
    explicit CPipedInput(const test::Bytes& bytes)
    {
        int ends[2];
        FUZZ_REQUIRE(::pipe(ends) == 0);
        ::dup2(ends[0], STDIN_FILENO);
        ::close(ends[0]);
        // A reader that stops early closes its end: the write then fails (SIGPIPE is ignored) and the thread ends.
        writer = std::thread([&bytes, fd = ends[1]] {
            for (std::size_t done = 0; done < bytes.size();) {
                const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
                if (n <= 0) break;
                done += std::size_t(n);
            }
            ::close(fd);
        });
    }
    ~CPipedInput()
    {
        ::dup2(saved, STDIN_FILENO);
        ::close(saved);
        writer.join();
    }

private:
    const int saved = ::dup(STDIN_FILENO);
    std::thread writer;
};

// One of the command line's drivers on the container: its verdict, read from the destination.
std::optional<Verdict> ReadThrough(const test::Bytes& record, std::size_t chunk, Driver driver)
{
    // One folder for the whole run (scripts/fuzz points TMPDIR at tmpfs): every run writes, syncs and renames.
    static const test::CTempFolder folder;
    const std::u16string input = folder.File(u"c.dat"), output = folder.File(u"out.bin");
    const test::Bytes container = test::EncipherRecord(record, u"fuzz key 鍵");
    test::WriteFileBytes(input, container);
    test::WriteFileBytes(output, kSentinel);

    std::optional<std::optional<std::u16string>> offered;
    DecryptTask task{.inputPath = driver == Driver::pipe ? u"-" : input, .replaceExisting = true, .chunkBytes = chunk};
    task.chooseOutput = [&](const std::optional<std::u16string>& storedName) {
        offered = storedName;
        return storedName ? OutputChoice{output} : OutputChoice{};
    };
    const CSecureBuffer key = MakeKeyBytes(u"fuzz key 鍵");
    StreamOutcome outcome;
    if (driver == Driver::pipe) {
        const CPipedInput piped(container);
        outcome = StreamDecryptInOrder(task, key);
    } else {
        outcome = driver == Driver::inOrder ? StreamDecryptInOrder(task, key) : StreamDecryptFile(task, key);
    }
    // The container and the destination, no temporary file.
    FUZZ_REQUIRE(test::ListFolder(folder.Path()) == std::vector<std::u16string>({u"c.dat", u"out.bin"}));
    const test::Bytes written = test::ReadFileBytes(output);
    if (outcome.failure == StreamFailure::none) return Verdict{offered.value_or(std::nullopt), written};
    // Refused, or accepted with a name too long to gather, which alone is not offered: nothing is written.
    FUZZ_REQUIRE(written == kSentinel);
    if (outcome.failure == StreamFailure::wrongKeyOrDamaged) return std::nullopt;
    FUZZ_REQUIRE(outcome.failure == StreamFailure::noUsableName && offered && !*offered);
    return Verdict{std::nullopt, {}};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ::signal(SIGPIPE, SIG_IGN);  // as the in-order driver has it
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > (1u << 20)) return 0;
    const std::size_t chunk = 8 * (1 + std::size_t(data[0] % 32));
    test::Bytes record(data + 1, data + size);
    RequireSameVerdict(CheckWholeReader(record), Read(record, chunk, true));
    // Files are slow: one input in eight (and every seed) goes through the drivers too, as a container is: whole
    // blocks.
    if (data[0] >= 32) return 0;
    record.resize(AlignedLength(std::uint32_t(record.size())), 0);
    const std::optional<Verdict> whole = CheckWholeReader(record);
    for (const Driver driver : {Driver::byOffset, Driver::inOrder}) {
        const std::optional<Verdict> driven = ReadThrough(record, chunk, driver);
        // A name too long to gather is not offered, so nothing is written.
        if (driven && !driven->name)
            FUZZ_REQUIRE(whole && whole->name->size() >= CRecordReader::kMaxGatheredUnits);
        else
            RequireSameVerdict(whole, driven);
    }
    const std::uint32_t nameBytes = whole ? test::Le32(record.data() + 4) : 0;
    const bool written =
        whole && nameBytes % 2 == 0 && nameBytes <= 2 * 255 && whole->name->find(u'\0') == std::u16string::npos;
    RequireSameVerdict(written ? whole : std::nullopt, ReadThrough(record, chunk, Driver::pipe));
    return 0;
}
