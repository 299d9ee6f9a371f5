#include <gtest/gtest.h>

#include <filesystem>

#include "jobs/file_stream.h"
#include "jobs/long_path.h"
#include "jobs/platform_file.h"
#include "tests/support/files.h"

namespace quorvane {
namespace {

using test::Bytes;

class FileStreamTest : public ::testing::Test {
protected:
    test::CTempFolder folder;

    bool WriteAll(CFileStream& s, const Bytes& bytes)
    {
        const std::uint8_t* p = bytes.data();
        int length = static_cast<int>(bytes.size());
        return s.WriteWholeStream(p, length);
    }
};

TEST_F(FileStreamTest, short_read_fails_when_file_shrank_after_sizing)
{
    const std::u16string path = folder.File(u"shrinks");
    test::WriteFileBytes(path, test::PatternBytes(100, 1));
    CFileStream s;
    ASSERT_TRUE(s.OpenFileStream(path, true));
    ASSERT_EQ(s.GetStreamSize(), 100);
    Bytes buffer(200);
    int length = 200;  // more than the file holds
    EXPECT_FALSE(s.ReadWholeStream(buffer.data(), length));
    EXPECT_EQ(length, 200);
}

TEST_F(FileStreamTest, kept_destination_made_after_open_is_not_replaced)
{
    const std::u16string path = folder.File(u"late.dat");
    CFileStream s;
    ASSERT_TRUE(s.OpenFileStream(path, false));
    ASSERT_TRUE(WriteAll(s, {1, 2, 3}));
    s.KeepExistingDestination();
    test::WriteFileBytes(path, {7});  // another program got there first
    EXPECT_FALSE(s.CloseFileStream());
    EXPECT_EQ(test::ReadFileBytes(path), (Bytes{7}));
    EXPECT_EQ(test::ListFolder(folder.Path()), (std::vector<std::u16string>{u"late.dat"}));

    CFileStream fresh;
    ASSERT_TRUE(fresh.OpenFileStream(folder.File(u"new.dat"), false));
    ASSERT_TRUE(WriteAll(fresh, {4}));
    fresh.KeepExistingDestination();
    EXPECT_TRUE(fresh.CloseFileStream());
    EXPECT_EQ(test::ReadFileBytes(folder.File(u"new.dat")), (Bytes{4}));
}

// The temporary name passes 260 units where the destination is near them; the
// extended form (taken on Windows) has no such limit.
TEST_F(FileStreamTest, destination_past_260_units_is_written_with_its_temporary_file)
{
    const std::u16string path = folder.FileIn(std::u16string(120, u'd'), std::u16string(130, u'n') + u".dat");
    CFileStream s;
    ASSERT_TRUE(s.OpenFileStream(path, false));
    ASSERT_TRUE(WriteAll(s, {5, 6}));
    EXPECT_TRUE(s.CloseFileStream());
    EXPECT_EQ(test::ReadFileBytes(path), (Bytes{5, 6}));
}

TEST(LongPath, full_paths_take_the_extended_form_and_others_stay)
{
    const std::pair<std::u16string, std::u16string> rows[] = {
        {u"C:\\a\\b.dat", u"\\\\?\\C:\\a\\b.dat"},
        {u"z:\\x", u"\\\\?\\z:\\x"},
        {u"\\\\server\\share\\f.dat", u"\\\\?\\UNC\\server\\share\\f.dat"},
        {u"\\\\?\\C:\\x", u"\\\\?\\C:\\x"},
        {u"\\\\.\\pipe\\p", u"\\\\.\\pipe\\p"},
        {u"relative\\x", u"relative\\x"},
        {u"C:x", u"C:x"},
        {u"1:\\x", u"1:\\x"},
        {u"\\x", u"\\x"},
        {u"", u""},
    };
    for (const auto& [full, extended] : rows) EXPECT_EQ(ExtendedLengthPath(full), extended) << test::Utf8(full);
}

}  // namespace
}  // namespace quorvane
