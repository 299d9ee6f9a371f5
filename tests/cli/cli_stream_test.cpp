// The streaming core of quorvane-cli, in process and with chunks down to a
// single block, so that every part of a record meets every chunk boundary.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>

#include "cli/chunk_source.h"
#include "cli/record_stream.h"
#include "cli/stream_jobs.h"
#include "cipher/blowfish_cipher.h"
#include "container/container_record.h"
#include "jobs/platform_file.h"
#include "tests/cli/cli_test_support.h"

namespace quorvane::clitest {
namespace {

using cli::StreamFailure;
const std::u16string kKey = u"ストリーム";

struct Decrypted {
    StreamFailure failure;
    std::optional<std::u16string> storedName;
    Bytes data;
};

Decrypted DecryptFile(const std::u16string& container, const std::u16string& output, std::size_t chunkBytes)
{
    Decrypted result;
    cli::DecryptTask task;
    task.inputPath = container;
    task.chunkBytes = chunkBytes;
    task.replaceExisting = true;
    task.chooseOutput = [&](const std::optional<std::u16string>& name) {
        result.storedName = name;
        return output;
    };
    result.failure = cli::StreamDecryptFile(task, MakeKeyBytes(kKey)).failure;
    if (result.failure == StreamFailure::none) result.data = test::ReadFileBytes(output);
    return result;
}

TEST(StreamCipher, every_chunk_size_gives_the_built_container_and_its_file_back)
{
    struct Row {
        std::u16string name;
        std::size_t size;
    };
    const std::vector<Row> rows = {
        {u"a", 0},        {u"x", 6},                         // L = 16: the fill is a whole block
        {u"名前.txt", 5}, {std::u16string(20, u'長'), 100},  // the name alone spans several chunks
        {u"b.bin", 1000},
    };
    CScratchFolder folder;
    for (const std::size_t chunk : {8u, 16u, 24u, 48u, 4096u}) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE("chunk " + std::to_string(chunk) + ", " + Utf8(rows[i].name));
            const Bytes data = test::PatternBytes(rows[i].size, static_cast<std::uint32_t>(i + chunk));
            const std::u16string source = folder.File(u"source");
            test::WriteFileBytes(source, data);

            cli::EncryptTask task;
            task.inputPath = source;
            task.storedName = rows[i].name;
            task.outputPath = folder.File(u"container");
            task.replaceExisting = true;
            task.chunkBytes = chunk;
            ASSERT_EQ(cli::StreamEncryptFile(task, MakeKeyBytes(kKey)).failure, StreamFailure::none);
            EXPECT_EQ(test::ReadFileBytes(task.outputPath), BuiltContainer(rows[i].name, data, kKey));

            const Decrypted back = DecryptFile(task.outputPath, folder.File(u"restored"), chunk);
            ASSERT_EQ(back.failure, StreamFailure::none);
            EXPECT_EQ(back.storedName, rows[i].name);
            EXPECT_EQ(back.data, data);
        }
    }
}

// Records with every head field on and around its limits: the head check made
// before the rest is read, plus the fill seen chunk by chunk, must accept
// exactly the records that the whole-record reader accepts.
TEST(StreamCipher, streamed_record_check_agrees_with_the_whole_record_reader)
{
    int accepted = 0, refused = 0;
    for (std::size_t length = 8; length <= 48; length += 8) {
        const std::int64_t room = static_cast<std::int64_t>(length) - 8;
        for (const std::int64_t nameBytes : {std::int64_t(0), std::int64_t(1), std::int64_t(2), std::int64_t(3),
                                             room - 1, room, room + 1, std::int64_t(0xFFFFFFFF)}) {
            if (nameBytes < 0) continue;
            const std::int64_t left = room - nameBytes;
            for (const std::int64_t dataSize : {std::int64_t(INT_MIN), std::int64_t(-1), std::int64_t(0), left - 9,
                                                left - 8, left - 1, left, left + 1}) {
                for (const bool dirtyFill : {false, true}) {
                    Bytes record = test::PatternBytes(length, static_cast<std::uint32_t>(length + nameBytes));
                    for (int k = 0; k < 4; ++k) {
                        record[k] = std::uint8_t(std::uint32_t(dataSize) >> (8 * k));
                        record[4 + k] = std::uint8_t(std::uint32_t(nameBytes) >> (8 * k));
                    }
                    const std::int64_t fillStart = 8 + nameBytes + std::max<std::int64_t>(dataSize, 0);
                    for (std::int64_t b = std::max<std::int64_t>(fillStart, 8); b < std::int64_t(length); ++b)
                        record[b] = 0;
                    if (dirtyFill) record.back() = 0x5A;

                    ContainerContents contents;
                    const bool whole = ParseContainerRecord(record.data(), length, contents) == RecordCheck::ok &&
                                       HasWrittenFill(record.data(), length, contents);

                    cli::RecordLayout layout;
                    bool streamed = cli::ReadRecordLayout(record.data(), length, layout);
                    std::optional<cli::CStoredNameCollector> name;
                    if (streamed) name.emplace(layout.nameBytes);
                    for (std::size_t offset = 0; streamed && offset < length; offset += 8) {
                        name->Take(record.data() + offset, offset, 8);
                        streamed = cli::IsZeroSpan(record.data() + offset,
                                                   cli::Overlap(layout.dataEnd, layout.length, offset, 8));
                    }
                    SCOPED_TRACE("length " + std::to_string(length) + " nameBytes " + std::to_string(nameBytes) +
                                 " dataSize " + std::to_string(dataSize) + (dirtyFill ? " dirty" : ""));
                    ASSERT_EQ(streamed, whole);
                    if (whole) {
                        EXPECT_EQ(name->Name(), contents.storedName);
                        EXPECT_EQ(layout.nameEnd, contents.dataOffset);
                        ++accepted;
                    } else {
                        ++refused;
                    }
                }
            }
        }
    }
    // The grid must hold both kinds, or it proves nothing.
    EXPECT_GT(accepted, 20);
    EXPECT_GT(refused, 20);
}

TEST(StreamCipher, stored_name_is_read_like_the_whole_record_reader_up_to_its_bound)
{
    constexpr std::size_t kBound = cli::CStoredNameCollector::kMaxCollectedUnits;
    struct Row {
        const char* what;
        Bytes nameRegion;
        std::optional<std::u16string> expected;
    };
    auto units = [](std::size_t count, char16_t unit) {
        Bytes b;
        for (std::size_t i = 0; i < count; ++i) b.insert(b.end(), {std::uint8_t(unit), std::uint8_t(unit >> 8)});
        return b;
    };
    Bytes zeroInside = units(3, u'語');
    zeroInside.insert(zeroInside.end(), {0, 0, 'z', 0});
    Bytes oddTail = units(2, u'o');
    oddTail.push_back('!');
    Bytes longButCut = units(kBound + 50, u'c');
    longButCut[20] = longButCut[21] = 0;
    const std::vector<Row> rows = {
        {"empty", {}, u""},
        {"zero unit inside", zeroInside, u"語語語"},
        {"odd last byte", oddTail, u"oo"},
        {"exactly the bound", units(kBound, u'b'), std::u16string(kBound, u'b')},
        {"beyond the bound", units(kBound + 1, u'b'), std::nullopt},
        {"beyond the bound but cut early", longButCut, std::u16string(10, u'c')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Bytes record(8, 0);
        const auto nameBytes = static_cast<std::uint32_t>(row.nameRegion.size());
        for (int k = 0; k < 4; ++k) record[4 + k] = std::uint8_t(nameBytes >> (8 * k));
        record.insert(record.end(), row.nameRegion.begin(), row.nameRegion.end());
        record.resize(AlignedLength(static_cast<std::uint32_t>(record.size() + 1)));

        cli::CStoredNameCollector collector(nameBytes);
        for (std::size_t offset = 0; offset < record.size(); offset += 24)
            collector.Take(record.data() + offset, offset, std::min<std::size_t>(24, record.size() - offset));
        EXPECT_EQ(collector.Name(), row.expected);
        ContainerContents contents;
        ASSERT_EQ(ParseContainerRecord(record.data(), record.size(), contents), RecordCheck::ok);
        if (row.expected) {
            EXPECT_EQ(contents.storedName, *row.expected);
        }
    }
}

TEST(StreamCipher, fill_failing_at_the_end_leaves_no_output_and_no_temporary)
{
    CScratchFolder folder;
    Bytes record(8 + 2 + 1000 + 6, 0);
    record[0] = 0xE8;  // dataSize 1000
    record[1] = 0x03;
    record[4] = 2;
    record[8] = 'n';
    record.back() = 1;
    const std::u16string container = folder.FileIn(u"in", u"c.dat");
    test::WriteFileBytes(container, EncipherRecord(record, kKey));
    const std::u16string output = folder.FileIn(u"out", u"n");
    EXPECT_EQ(DecryptFile(container, output, 64).failure, StreamFailure::wrongKeyOrDamaged);
    EXPECT_TRUE(std::filesystem::is_empty(ToFsPath(folder.FileIn(u"out", u""))));
}

// A file that grows or shrinks between taking its size and reading it is
// refused rather than streamed as it happens to be.
TEST(ChunkSource, size_change_while_reading_is_reported)
{
    CScratchFolder folder;
    const std::u16string path = folder.File(u"moving");
    Bytes buffer(64);

    test::WriteFileBytes(path, test::PatternBytes(64, 1));
    {
        cli::CChunkSource source;
        ASSERT_EQ(source.Open(path), cli::SourceStatus::ok);
        ASSERT_EQ(source.Size(), 64u);
        std::ofstream(ToFsPath(path), std::ios::binary | std::ios::app) << "more";
        ASSERT_EQ(source.Read(buffer.data(), 64), cli::SourceStatus::ok);
        EXPECT_EQ(source.CheckAtEnd(), cli::SourceStatus::changed);
    }
    test::WriteFileBytes(path, test::PatternBytes(64, 1));
    {
        cli::CChunkSource source;
        ASSERT_EQ(source.Open(path), cli::SourceStatus::ok);
        std::filesystem::resize_file(ToFsPath(path), 40);
        ASSERT_EQ(source.Read(buffer.data(), 32), cli::SourceStatus::ok);
        EXPECT_EQ(source.Read(buffer.data(), 32), cli::SourceStatus::changed);
    }
    test::WriteFileBytes(path, test::PatternBytes(64, 1));
    {
        cli::CChunkSource source;
        ASSERT_EQ(source.Open(path), cli::SourceStatus::ok);
        ASSERT_EQ(source.Read(buffer.data(), 64), cli::SourceStatus::ok);
        EXPECT_EQ(source.CheckAtEnd(), cli::SourceStatus::ok);
    }
}

}  // namespace
}  // namespace quorvane::clitest
