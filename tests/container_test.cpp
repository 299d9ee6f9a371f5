#include <gtest/gtest.h>

#include <cstring>

#include "container/container_record.h"
#include "container/naming.h"
#include "container/text_codec.h"
#include "tests/support/files.h"

namespace quorvane {
namespace {

using test::Bytes;

Bytes ToBytes(const CSecureBuffer& b)
{
    return Bytes(b.Data(), b.Data() + b.Size());
}

void PutLe32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
}

TEST(ContainerRecord, length_leaves_one_to_eight_bytes_of_fill)
{
    struct Row {
        std::size_t nameUnits;
        std::int32_t dataSize;
        std::int64_t length;
    };
    const Row rows[] = {{1, 0, 16},  {3, 0, 16}, {4, 0, 24},
                        {4, 8, 32},  {5, 6, 32}, {0, 0, 16},
                        {0, 16, 32}, {8, 7, 32}, {0, 0x7FFFFFF0 - 8, 0x7FFFFFF8}};
    for (const auto& r : rows) {
        EXPECT_EQ(ContainerRecordLength(std::int64_t(r.nameUnits), r.dataSize), r.length)
            << r.nameUnits << " units, " << r.dataSize << " bytes";
    }
    EXPECT_GT(ContainerRecordLength(0, 0x7FFFFFFF - 8), kMaxRecordLength);
}

TEST(ContainerRecord, build_lays_out_fields_little_endian)
{
    const Bytes data = {0xAA, 0xBB, 0xCC};
    const CSecureBuffer record = BuildContainerRecord(u"名a", data.data(), 3);
    const Bytes expected = {3, 0, 0, 0, 4, 0, 0, 0, 0x0D, 0x54, 0x61, 0x00, 0xAA, 0xBB, 0xCC, 0};
    EXPECT_EQ(ToBytes(record), expected);
}

TEST(ContainerRecord, round_trip_over_names_and_sizes_around_block_boundaries)
{
    const std::u16string names[] = {u"", u"a", u"abc", u"abcd", u"日本語のファイル名.txt", u"\U0001F511key"};
    for (const auto& name : names) {
        for (std::int32_t size = 0; size <= 40; ++size) {
            const Bytes data = test::PatternBytes(std::size_t(size), std::uint32_t(size));
            const CSecureBuffer record = BuildContainerRecord(name, data.data(), size);
            ASSERT_EQ(std::int64_t(record.Size()), ContainerRecordLength(std::int64_t(name.size()), size));
            ContainerContents c;
            ASSERT_EQ(ParseContainerRecord(record.Data(), record.Size(), c), RecordCheck::ok);
            EXPECT_EQ(c.storedName, name);
            EXPECT_EQ(c.dataSize, size);
            EXPECT_EQ(Bytes(record.Data() + c.dataOffset, record.Data() + c.dataOffset + size), data);
            EXPECT_TRUE(HasWrittenFill(record.Data(), record.Size(), c));
        }
    }
}

TEST(ContainerRecord, odd_name_bytes_drop_last_byte_but_count_for_data_offset)
{
    Bytes r(24, 0);
    PutLe32(r, 0, 2);
    PutLe32(r, 4, 5);
    const char16_t units[] = {u'x', u'y'};
    std::memcpy(&r[8], units, 4);
    r[12] = 'z';
    r[13] = 0x11;
    r[14] = 0x22;
    ContainerContents c;
    ASSERT_EQ(ParseContainerRecord(r.data(), r.size(), c), RecordCheck::ok);
    EXPECT_EQ(c.storedName, u"xy");
    EXPECT_EQ(c.dataOffset, 13u);
}

TEST(ContainerRecord, name_ends_at_zero_unit_and_data_still_follows_whole_name)
{
    Bytes r(32, 0);
    PutLe32(r, 0, 1);
    PutLe32(r, 4, 8);
    r[8] = 'a';
    r[12] = 'b';  // after the zero unit at 10..11
    r[16] = 0x5A;
    ContainerContents c;
    ASSERT_EQ(ParseContainerRecord(r.data(), r.size(), c), RecordCheck::ok);
    EXPECT_EQ(c.storedName, u"a");
    EXPECT_EQ(c.dataOffset, 16u);
}

// Each field at its limit is accepted; one past it is refused, and nothing
// outside the record is read (the sanitizer run checks the latter).
TEST(ContainerRecord, hostile_fields_are_refused_at_exactly_their_limits)
{
    struct Row {
        const char* what;
        std::size_t length;
        std::uint32_t dataSize;
        std::uint32_t nameBytes;
        RecordCheck expected;
    };
    const Row rows[] = {
        {"empty record", 0, 0, 0, RecordCheck::tooShort},
        {"seven bytes", 7, 0, 0, RecordCheck::tooShort},
        {"header only", 8, 0, 0, RecordCheck::ok},
        {"name fills record", 32, 0, 24, RecordCheck::ok},
        {"name one past record", 32, 0, 25, RecordCheck::nameOutOfRange},
        {"name size all ones", 32, 0, 0xFFFFFFFF, RecordCheck::nameOutOfRange},
        {"name size 2^31", 32, 0, 0x80000000, RecordCheck::nameOutOfRange},
        {"data fills record", 32, 20, 4, RecordCheck::ok},
        {"data one past record", 32, 21, 4, RecordCheck::dataOutOfRange},
        {"negative data size", 32, 0xFFFFFFFF, 0, RecordCheck::dataOutOfRange},
        {"most negative data size", 32, 0x80000000, 0, RecordCheck::dataOutOfRange},
        {"largest data size", 32, 0x7FFFFFFF, 0, RecordCheck::dataOutOfRange},
        {"sizes that wrap when added", 32, 0x7FFFFFFF, 0x80000010, RecordCheck::nameOutOfRange},
    };
    for (const auto& row : rows) {
        // Exactly `length` bytes on the heap, so a read past them is caught.
        std::unique_ptr<std::uint8_t[]> r(new std::uint8_t[row.length + (row.length == 0)]());
        Bytes head(8, 0);
        PutLe32(head, 0, row.dataSize);
        PutLe32(head, 4, row.nameBytes);
        std::memcpy(r.get(), head.data(), std::min<std::size_t>(8, row.length));
        ContainerContents c;
        EXPECT_EQ(ParseContainerRecord(r.get(), row.length, c), row.expected) << row.what;
    }
}

TEST(ContainerRecord, fill_must_be_one_to_eight_zero_bytes)
{
    const Bytes data = test::PatternBytes(5, 2);
    const CSecureBuffer good = BuildContainerRecord(u"ab", data.data(), 5);  // L = 17, R = 24
    ContainerContents c;
    ASSERT_EQ(ParseContainerRecord(good.Data(), good.Size(), c), RecordCheck::ok);
    ASSERT_TRUE(HasWrittenFill(good.Data(), good.Size(), c));

    Bytes nonZero = ToBytes(good);
    nonZero.back() = 1;
    EXPECT_FALSE(HasWrittenFill(nonZero.data(), nonZero.size(), c)) << "non-zero fill";
    Bytes longer = ToBytes(good);
    longer.resize(longer.size() + 8, 0);
    EXPECT_FALSE(HasWrittenFill(longer.data(), longer.size(), c)) << "nine or more bytes of fill";
    ContainerContents exact = c;
    exact.dataSize = 24 - 12;  // data reaching the very end leaves no fill
    EXPECT_FALSE(HasWrittenFill(good.Data(), good.Size(), exact)) << "no fill at all";
}

TEST(ContainerRecord, oversized_layout_is_refused_before_allocation)
{
    EXPECT_THROW(LayoutContainerRecord(u"name", 0x7FFFFFF0), std::length_error);
    EXPECT_THROW(LayoutContainerRecord(u"", -1), std::length_error);
}

TEST(Naming, stored_and_container_names)
{
    struct Row {
        std::u16string path, stored, container;
    };
    const Row rows[] = {
        {u"C:\\work\\report.txt", u"report.txt", u"C:\\work\\report.dat"},
        {u"C:\\work\\archive.tar.gz", u"archive.tar.gz", u"C:\\work\\archive.tar.dat"},
        {u"C:\\proj.old\\notes", u"notes", u"C:\\proj.old\\notes.dat"},
        {u"C:\\work\\notes", u"notes", u"C:\\work\\notes.dat"},
        {u"C:\\work\\.profile", u".profile", u"C:\\work\\.profile.dat"},
        {u"C:\\work\\.config.ini", u".config.ini", u"C:\\work\\.config.dat"},
        {u"C:\\work\\trailing.", u"trailing.", u"C:\\work\\trailing.dat"},
        {u"C:\\work\\", u"", u"C:\\work\\.dat"},
        {u"report.txt", u"report.txt", u"report.dat"},
        {u"notes", u"notes", u"notes.dat"},
        {u"C:\\データ\\報告書.docx", u"報告書.docx", u"C:\\データ\\報告書.dat"},
        {u"C:\\a/b.txt", u"a/b.txt", u"C:\\a/b.dat"},  // only the backslash separates
    };
    for (const auto& r : rows) {
        EXPECT_EQ(ExtractFileName(r.path), r.stored);
        EXPECT_EQ(MakeContainerName(r.path), r.container);
    }
}

TEST(TextCodec, utf8_decoding_accepts_valid_and_refuses_malformed)
{
    std::u16string out;
    EXPECT_TRUE(Utf8ToUtf16("key \xE9\x8D\xB5 \xF0\x9F\x94\x91", out));
    EXPECT_EQ(out, u"key 鍵 \U0001F511");
    EXPECT_EQ(Utf16ToUtf8(out), "key \xE9\x8D\xB5 \xF0\x9F\x94\x91");
    const char* bad[] = {"\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE9\x8D", "\xFF"};
    for (const char* b : bad)
        EXPECT_FALSE(Utf8ToUtf16(b, out)) << "bytes " << test::Bytes(b, b + std::strlen(b)).size();
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace quorvane
