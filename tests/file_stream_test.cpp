#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

TEST_F(FileStreamTest, bytes_round_trip_exactly_including_line_ends_and_ctrl_z)
{
    const Bytes tricky = {0x41, 0x0D, 0x0A, 0x1A, 0x00, 0xFF, 0x0A, 0x5A, 0x0D, 0x1A, 0x1A};
    for (const Bytes& content : {tricky, Bytes{}, test::PatternBytes(1 << 20, 4)}) {
        const std::u16string path = folder.File(u"データ①.bin");
        CFileStream out;
        ASSERT_TRUE(out.OpenFileStream(path, false));
        ASSERT_TRUE(WriteAll(out, content));
        ASSERT_TRUE(out.CloseFileStream());

        CFileStream in;
        ASSERT_TRUE(in.OpenFileStream(path, true));
        int size = in.GetStreamSize();
        ASSERT_EQ(size, static_cast<int>(content.size()));
        Bytes back(content.size());
        int length = size;
        ASSERT_TRUE(in.ReadWholeStream(back.data(), length));
        EXPECT_EQ(length, size);
        EXPECT_EQ(back, content);
        EXPECT_TRUE(in.CloseFileStream());
    }
}

TEST_F(FileStreamTest, missing_file_fails_and_stays_failed)
{
    CFileStream s;
    EXPECT_FALSE(s.OpenFileStream(folder.File(u"absent"), true));
    EXPECT_EQ(s.GetStreamSize(), 0);
    std::uint8_t b[4];
    int length = 4;
    EXPECT_FALSE(s.ReadWholeStream(b, length));
    EXPECT_EQ(length, 4);
    // Sticky: a later open of a real file still reports the earlier failure.
    test::WriteFileBytes(folder.File(u"present"), {1});
    EXPECT_FALSE(s.OpenFileStream(folder.File(u"present"), true));
    EXPECT_FALSE(s.CloseFileStream());
}

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

TEST_F(FileStreamTest, size_query_rewinds_to_first_byte)
{
    const std::u16string path = folder.File(u"f");
    test::WriteFileBytes(path, {7, 8, 9});
    CFileStream s;
    ASSERT_TRUE(s.OpenFileStream(path, true));
    std::uint8_t b[2];
    int two = 2;
    ASSERT_TRUE(s.ReadWholeStream(b, two));
    ASSERT_EQ(s.GetStreamSize(), 3);
    std::uint8_t all[3];
    int three = 3;
    ASSERT_TRUE(s.ReadWholeStream(all, three));
    EXPECT_EQ(Bytes(all, all + 3), (Bytes{7, 8, 9}));
}

TEST_F(FileStreamTest, close_without_open_or_twice_changes_nothing)
{
    CFileStream s;
    EXPECT_TRUE(s.CloseFileStream());
    EXPECT_TRUE(s.CloseFileStream());
    EXPECT_EQ(s.GetStreamSize(), 0);
}

TEST_F(FileStreamTest, one_object_reads_then_writes_another_file)
{
    const std::u16string src = folder.File(u"src"), dst = folder.File(u"dst");
    test::WriteFileBytes(src, {1, 2, 3});
    CFileStream s;
    ASSERT_TRUE(s.OpenFileStream(src, true));
    Bytes b(3);
    int n = s.GetStreamSize();
    ASSERT_TRUE(s.ReadWholeStream(b.data(), n));
    s.CloseFileStream();
    ASSERT_TRUE(s.OpenFileStream(dst, false));
    ASSERT_TRUE(WriteAll(s, {4, 5}));
    ASSERT_TRUE(s.CloseFileStream());
    EXPECT_EQ(test::ReadFileBytes(dst), (Bytes{4, 5}));
}

// The earlier content stays until the new one is complete on disk.
TEST_F(FileStreamTest, destination_keeps_old_content_until_commit)
{
    const std::u16string path = folder.File(u"report.dat");
    test::WriteFileBytes(path, {9, 9, 9, 9, 9, 9});
    {
        CFileStream s;
        ASSERT_TRUE(s.OpenFileStream(path, false));
        ASSERT_TRUE(WriteAll(s, {1, 2}));
        EXPECT_EQ(test::ReadFileBytes(path), (Bytes{9, 9, 9, 9, 9, 9})) << "replaced before commit";
        ASSERT_TRUE(s.CloseFileStream());
    }
    EXPECT_EQ(test::ReadFileBytes(path), (Bytes{1, 2})) << "no trace of the old tail";
    EXPECT_EQ(test::ListFolder(folder.Path()), (std::vector<std::u16string>{u"report.dat"}));
}

TEST_F(FileStreamTest, destroying_uncommitted_output_leaves_destination_and_no_temporary)
{
    const std::u16string existing = folder.File(u"kept.dat"), fresh = folder.File(u"never.dat");
    test::WriteFileBytes(existing, {5});
    {
        CFileStream a, b;
        ASSERT_TRUE(a.OpenFileStream(existing, false));
        ASSERT_TRUE(b.OpenFileStream(fresh, false));
        ASSERT_TRUE(WriteAll(a, test::PatternBytes(5000, 1)));
        ASSERT_TRUE(WriteAll(b, test::PatternBytes(5000, 2)));
    }
    EXPECT_EQ(test::ReadFileBytes(existing), (Bytes{5}));
    EXPECT_EQ(test::ListFolder(folder.Path()), (std::vector<std::u16string>{u"kept.dat"}));
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

TEST_F(FileStreamTest, write_after_failure_is_refused_and_nothing_committed)
{
    const std::u16string path = folder.File(u"out.dat");
    CFileStream s;
    EXPECT_FALSE(s.OpenFileStream(folder.File(u"absent"), true));
    EXPECT_FALSE(s.OpenFileStream(path, false));
    EXPECT_FALSE(WriteAll(s, {1}));
    EXPECT_FALSE(s.CloseFileStream());
    EXPECT_FALSE(test::FileExists(path));
    EXPECT_EQ(test::ListFolder(folder.Path()).size(), 0u);
}

TEST_F(FileStreamTest, unreplaceable_destinations_refuse_open_and_stay_intact)
{
    std::filesystem::create_directories(folder.Path() / "folder.dat");
    const std::u16string readOnly = folder.File(u"ro.dat");
    test::WriteFileBytes(readOnly, {4, 2});
    std::filesystem::permissions(ToFsPath(readOnly), std::filesystem::perms::owner_read);
    for (const auto& target : {folder.File(u"folder.dat"), readOnly, FromFsPath(folder.Path() / "absent" / "x")}) {
        CFileStream s;
        EXPECT_FALSE(s.OpenFileStream(target, false)) << test::ListFolder(folder.Path()).size();
        EXPECT_FALSE(s.CloseFileStream());
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path() / "folder.dat"));
    EXPECT_EQ(test::ReadFileBytes(readOnly), (Bytes{4, 2}));
    EXPECT_EQ(test::ListFolder(folder.Path()), (std::vector<std::u16string>{u"folder.dat", u"ro.dat"}));
}

TEST_F(FileStreamTest, file_of_two_gib_is_too_large_not_wrapped)
{
    const std::u16string path = folder.File(u"sparse.bin");
    test::WriteFileBytes(path, {});
    for (std::uintmax_t size : {0x80000000ull, 0xFFFFFFFFull, 0x100000010ull}) {
        std::filesystem::resize_file(ToFsPath(path), size);
        CFileStream s;
        ASSERT_TRUE(s.OpenFileStream(path, true));
        EXPECT_EQ(s.GetStreamSize(), 0) << size;
        EXPECT_TRUE(s.IsTooLarge()) << size;
    }
    std::filesystem::resize_file(ToFsPath(path), 0x7FFFFFFFull);
    CFileStream s;
    ASSERT_TRUE(s.OpenFileStream(path, true));
    EXPECT_EQ(s.GetStreamSize(), 0x7FFFFFFF);
    EXPECT_FALSE(s.IsTooLarge());
}

}  // namespace
}  // namespace quorvane
