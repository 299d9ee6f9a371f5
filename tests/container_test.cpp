#include <gtest/gtest.h>

#include <cstring>

#include "container/container_record.h"
#include "container/naming.h"
#include "container/text_codec.h"
#include "tests/support/files.h"

namespace quorvane {
namespace {

using test::Bytes;

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
        Bytes head;
        test::PutLe32(head, 0, row.dataSize);
        test::PutLe32(head, 4, row.nameBytes);
        std::memcpy(r.get(), head.data(), std::min<std::size_t>(8, row.length));
        ContainerContents c;
        EXPECT_EQ(ParseContainerRecord(r.get(), row.length, c), row.expected) << row.what;
    }
}

TEST(Naming, stored_and_container_names)
{
    const std::u16string rows[][3] = {
        // path, stored name, container name
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
    for (const auto& [path, stored, container] : rows) {
        EXPECT_EQ(ExtractFileName(path), stored);
        EXPECT_EQ(MakeContainerName(path), container);
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
