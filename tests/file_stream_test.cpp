#include <gtest/gtest.h>

#include <filesystem>

#include "jobs/file_stream.h"
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

}  // namespace
}  // namespace quorvane
