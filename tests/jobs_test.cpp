#include <gtest/gtest.h>

#include <filesystem>

#include "cipher/blowfish_cipher.h"
#include "container/container_record.h"
#include "container/naming.h"
#include "jobs/file_jobs.h"
#include "jobs/job_messages.h"
#include "jobs/platform_file.h"
#include "tests/support/fake_window.h"
#include "tests/support/files.h"

namespace quorvane {
namespace {

using namespace messages;
using test::Bytes;
using test::CFakeWindow;
using test::Msg;
using test::Utf8;

const test::KeyAnswer kKey{kResultOk, u"正しい鍵"};
const test::SaveAnswer kCancelSave{kResultCancel, u""};

test::SaveAnswer SaveTo(const std::u16string& path)
{
    return {kResultOk, path};
}

// Encrypts `sources` under `key`, saving each container at the given outputs.
int Encrypt(const std::vector<std::u16string>& sources, const std::u16string& key,
            const std::vector<std::u16string>& outputs, CFakeWindow& window)
{
    window.sources = sources;
    window.keyAnswers = {{kResultOk, key}};
    for (const auto& o : outputs) window.saveAnswers.push_back(SaveTo(o));
    return RunEncryptJob(window);
}

int Decrypt(const std::vector<std::u16string>& sources, const std::u16string& key,
            const std::vector<std::u16string>& outputs, CFakeWindow& window)
{
    window.sources = sources;
    window.keyAnswers = {{kResultOk, key}};
    for (const auto& o : outputs) window.saveAnswers.push_back(SaveTo(o));
    return RunDecryptJob(window);
}

class JobsTest : public ::testing::Test {
protected:
    test::CTempFolder folder;
    std::u16string Put(std::u16string_view name, const Bytes& bytes)
    {
        const std::u16string path = folder.File(name);
        test::WriteFileBytes(path, bytes);
        return path;
    }
};

TEST_F(JobsTest, encrypt_asks_key_before_noticing_empty_list)
{
    CFakeWindow w;
    w.keyAnswers = {kKey};
    EXPECT_EQ(RunEncryptJob(w), kJobDone);
    EXPECT_EQ(w.events, (std::vector<std::u16string>{u"key", Msg(kTitleNotice, kNoFiles)}));
}

TEST_F(JobsTest, decrypt_notices_empty_list_without_asking_key)
{
    CFakeWindow w;
    EXPECT_EQ(RunDecryptJob(w), kJobDone);
    EXPECT_EQ(w.events, (std::vector<std::u16string>{Msg(kTitleNotice, kNoFiles)}));
}

// How each job ends at the key prompt, whatever the list holds.
TEST_F(JobsTest, key_prompt_outcomes_end_jobs_as_designed)
{
    const std::u16string source = Put(u"a.txt", test::PatternBytes(10, 1));
    struct Row {
        const char* what;
        std::deque<test::KeyAnswer> answers;
        int result;
        std::vector<std::u16string> events;
    };
    const Row rows[] = {
        {"cancel", {{kResultCancel, u"typed anyway"}}, kJobDone, {u"key"}},
        {"cannot be shown", {{-1, u""}}, kJobFailed, {u"key"}},
        {"empty then cancel",
         {{kResultOk, u""}, {kResultCancel, u""}},
         kJobDone,
         {u"key", Msg(kTitleNotice, kEnterKey), u"key"}},
        {"empty twice then cannot be shown",
         {{kResultOk, u""}, {kResultOk, u""}, {-1, u""}},
         kJobFailed,
         {u"key", Msg(kTitleNotice, kEnterKey), u"key", Msg(kTitleNotice, kEnterKey), u"key"}},
    };
    for (const auto& row : rows) {
        for (bool encrypt : {true, false}) {
            CFakeWindow w;
            w.sources = {source};
            w.keyAnswers = row.answers;
            EXPECT_EQ(encrypt ? RunEncryptJob(w) : RunDecryptJob(w), row.result) << row.what;
            EXPECT_EQ(w.events, row.events) << row.what << " " << Utf8(w.events);
        }
    }
}

TEST_F(JobsTest, empty_key_is_asked_again_then_job_runs)
{
    const std::u16string source = Put(u"a.txt", test::PatternBytes(10, 1));
    CFakeWindow w;
    w.sources = {source};
    w.keyAnswers = {{kResultOk, u""}, kKey};
    w.saveAnswers = {SaveTo(folder.File(u"a.dat"))};
    EXPECT_EQ(RunEncryptJob(w), kJobDone);
    EXPECT_EQ(w.Messages(), (std::vector<std::u16string>{Msg(kTitleNotice, kEnterKey)}));
    EXPECT_TRUE(test::FileExists(folder.File(u"a.dat")));
}

TEST_F(JobsTest, list_error_ends_after_key_without_message)
{
    for (bool encrypt : {true, false}) {
        CFakeWindow w;
        w.countOverride = -1;
        w.keyAnswers = {kKey};
        EXPECT_EQ(encrypt ? RunEncryptJob(w) : RunDecryptJob(w), kJobDone);
        EXPECT_EQ(w.events, (std::vector<std::u16string>{u"key"}));
    }
}

TEST_F(JobsTest, round_trip_restores_every_size_across_block_boundaries)
{
    std::vector<std::u16string> sources, containers, restored;
    std::vector<Bytes> originals;
    for (std::size_t size : {0, 1, 5, 6, 7, 8, 9, 15, 16, 17, 23, 24, 25, 31, 32, 33, 4095, 4096, 4097, 65543}) {
        originals.push_back(test::PatternBytes(size, static_cast<std::uint32_t>(size)));
        std::u16string n(u"f");
        n += char16_t(u'a' + sources.size());
        sources.push_back(Put(n + u".bin", originals.back()));
        containers.push_back(folder.File(n + u".dat"));
        restored.push_back(folder.File(n + u".out"));
    }
    CFakeWindow enc, dec;
    ASSERT_EQ(Encrypt(sources, u"k", containers, enc), kJobDone) << Utf8(enc.events);
    EXPECT_EQ(enc.Messages().size(), 0u);
    ASSERT_EQ(Decrypt(containers, u"k", restored, dec), kJobDone) << Utf8(dec.events);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        EXPECT_EQ(test::ReadFileBytes(restored[i]), originals[i]) << "size " << originals[i].size();
        // A container is always a whole number of blocks, with 1 to 8 bytes of fill.
        const auto containerSize = test::ReadFileBytes(containers[i]).size();
        EXPECT_EQ(containerSize % 8, 0u);
        EXPECT_GT(containerSize, 8 + 2 * ExtractFileName(sources[i]).size() + originals[i].size());
    }
}

TEST_F(JobsTest, large_file_round_trips_through_one_buffer)
{
    const Bytes original = test::PatternBytes(24u << 20 | 13, 21);
    const std::u16string src = Put(u"large.bin", original);
    CFakeWindow enc, dec;
    ASSERT_EQ(Encrypt({src}, u"鍵", {folder.File(u"large.dat")}, enc), kJobDone) << Utf8(enc.events);
    ASSERT_EQ(Decrypt({folder.File(u"large.dat")}, u"鍵", {folder.File(u"large.out")}, dec), kJobDone);
    EXPECT_TRUE(test::ReadFileBytes(folder.File(u"large.out")) == original);
}

TEST_F(JobsTest, japanese_paths_names_and_keys_round_trip)
{
    std::filesystem::create_directories(folder.Path() / ToFsPath(u"日本語フォルダ"));
    const Bytes original = test::PatternBytes(1234, 77);
    const std::u16string source = folder.FileIn(u"日本語フォルダ", u"報告書①.txt");
    test::WriteFileBytes(source, original);
    const std::u16string key = u"秘密🔑の鍵ｶﾀｶﾅ";
    CFakeWindow enc, dec;
    ASSERT_EQ(Encrypt({source}, key, {folder.File(u"暗号.dat")}, enc), kJobDone) << Utf8(enc.events);
    ASSERT_EQ(Decrypt({folder.File(u"暗号.dat")}, key, {folder.File(u"復元.txt")}, dec), kJobDone);
    EXPECT_EQ(test::ReadFileBytes(folder.File(u"復元.txt")), original);
    ASSERT_EQ(dec.Proposals().size(), 1u);
    EXPECT_EQ(dec.Proposals()[0], u"報告書①.txt");
}

TEST_F(JobsTest, cancelled_middle_chooser_skips_only_that_file)
{
    const std::u16string a = Put(u"a.txt", {1}), b = Put(u"b.txt", {2}), c = Put(u"c.txt", {3});
    CFakeWindow w;
    w.sources = {a, b, c};
    w.keyAnswers = {kKey};
    w.saveAnswers = {SaveTo(folder.File(u"a.dat")), kCancelSave, SaveTo(folder.File(u"c.dat"))};
    EXPECT_EQ(RunEncryptJob(w), kJobDone);
    EXPECT_TRUE(w.Messages().empty());
    EXPECT_TRUE(test::FileExists(folder.File(u"a.dat")));
    EXPECT_FALSE(test::FileExists(folder.File(u"b.dat")));
    EXPECT_TRUE(test::FileExists(folder.File(u"c.dat")));

    CFakeWindow d;
    d.sources = {folder.File(u"a.dat"), folder.File(u"c.dat"), folder.File(u"a.dat")};
    d.keyAnswers = {kKey};
    d.saveAnswers = {SaveTo(folder.File(u"a.out")), kCancelSave, SaveTo(folder.File(u"a2.out"))};
    EXPECT_EQ(RunDecryptJob(d), kJobDone);
    EXPECT_EQ(test::ReadFileBytes(folder.File(u"a2.out")), Bytes{1});
    EXPECT_FALSE(test::FileExists(folder.File(u"c.out")));
}

TEST_F(JobsTest, missing_middle_source_stops_job_and_keeps_first_output)
{
    const std::u16string a = Put(u"a.txt", {1}), c = Put(u"c.txt", {3});
    for (bool encrypt : {true, false}) {
        CFakeWindow w;
        w.sources = {encrypt ? a : folder.File(u"a.dat"), folder.File(u"missing"), c};
        w.keyAnswers = {kKey};
        w.saveAnswers = {SaveTo(folder.File(encrypt ? u"a.dat" : u"a.out"))};
        EXPECT_EQ(encrypt ? RunEncryptJob(w) : RunDecryptJob(w), kJobFailed);
        EXPECT_EQ(w.Messages(), (std::vector<std::u16string>{Msg(kTitleError, kOpenFailed)}));
        EXPECT_EQ(w.Proposals().size(), 1u) << "the third entry must not be processed";
        EXPECT_TRUE(test::FileExists(folder.File(encrypt ? u"a.dat" : u"a.out")));
    }
    EXPECT_EQ(test::ReadFileBytes(folder.File(u"a.out")), Bytes{1});
}

TEST_F(JobsTest, source_chosen_as_its_own_output_is_replaced_and_restored)
{
    const Bytes original = test::PatternBytes(3000, 5);
    const std::u16string path = Put(u"self.txt", original);
    CFakeWindow enc, dec;
    ASSERT_EQ(Encrypt({path}, u"鍵", {path}, enc), kJobDone) << Utf8(enc.events);
    EXPECT_NE(test::ReadFileBytes(path), original);
    ASSERT_EQ(Decrypt({path}, u"鍵", {path}, dec), kJobDone) << Utf8(dec.events);
    EXPECT_EQ(test::ReadFileBytes(path), original);
    EXPECT_EQ(test::ListFolder(folder.Path()), (std::vector<std::u16string>{u"self.txt"}));
}

TEST_F(JobsTest, two_runs_with_two_keys_each_use_their_own_key)
{
    const Bytes original = test::PatternBytes(100, 9);
    const std::u16string src = Put(u"x.txt", original);
    CFakeWindow one, two;
    ASSERT_EQ(Encrypt({src}, u"first", {folder.File(u"1.dat")}, one), kJobDone);
    ASSERT_EQ(Encrypt({src}, u"second", {folder.File(u"2.dat")}, two), kJobDone);
    EXPECT_NE(test::ReadFileBytes(folder.File(u"1.dat")), test::ReadFileBytes(folder.File(u"2.dat")));

    CFakeWindow wrong, right;
    EXPECT_EQ(Decrypt({folder.File(u"2.dat")}, u"first", {}, wrong), kJobFailed);
    EXPECT_EQ(Decrypt({folder.File(u"2.dat")}, u"second", {folder.File(u"x.out")}, right), kJobDone);
    EXPECT_EQ(test::ReadFileBytes(folder.File(u"x.out")), original);
}

TEST_F(JobsTest, encrypt_proposes_container_name_or_nothing_when_too_long)
{
    const std::u16string a = Put(u"report.txt", {1});
    CFakeWindow w;
    w.sources = {a};
    w.keyAnswers = {kKey};
    w.saveAnswers = {kCancelSave};
    RunEncryptJob(w);
    EXPECT_EQ(w.Proposals(), (std::vector<std::u16string>{folder.File(u"report.dat")}));

    // A path of 258 units fits the list, but its proposal of 260 would not fit
    // the chooser's name field.
    const std::u16string prefix = folder.File(u"");
    if (prefix.size() > 200) GTEST_SKIP() << "temp folder path too long for this case";
    const std::u16string longName = std::u16string(256 - prefix.size(), u'n') + u".t";
    const std::u16string longPath = folder.File(longName);
    ASSERT_EQ(longPath.size(), 258u);
    Put(longName, {2});
    CFakeWindow l;
    l.sources = {longPath};
    l.keyAnswers = {kKey};
    l.saveAnswers = {kCancelSave};
    RunEncryptJob(l);
    EXPECT_EQ(l.Proposals(), (std::vector<std::u16string>{u""}));
}

// Decryption refuses anything the encrypt side could not have written, and
// writes nothing for it.
TEST_F(JobsTest, decrypt_refuses_wrong_keys_and_non_containers)
{
    const std::u16string src = Put(u"plain.txt", test::PatternBytes(200, 3));
    CFakeWindow enc;
    ASSERT_EQ(Encrypt({src}, u"right key", {folder.File(u"c.dat")}, enc), kJobDone);
    const Bytes good = test::ReadFileBytes(folder.File(u"c.dat"));
    ASSERT_EQ(std::int64_t(good.size()), ContainerRecordLength(std::int64_t(ExtractFileName(src).size()), 200));

    Bytes extended = good;
    extended.insert(extended.end(), good.begin(), good.begin() + 8);
    Bytes flipped = good;
    flipped.back() ^= 0x01;  // breaks the last block, which holds the fill
    struct Row {
        const char* what;
        Bytes bytes;
        std::u16string key;
    };
    const Row rows[] = {
        {"wrong key", good, u"wrong key"},
        {"key differing in one unit", good, u"right kez"},
        {"empty file", {}, u"right key"},
        {"truncated by a block", Bytes(good.begin(), good.end() - 8), u"right key"},
        {"length not a multiple of 8", Bytes(good.begin(), good.end() - 3), u"right key"},
        {"one extra byte",
         [&] {
             Bytes b = good;
             b.push_back(0);
             return b;
         }(),
         u"right key"},
        {"extended by a block", extended, u"right key"},
        {"last block damaged", flipped, u"right key"},
        {"garbage of whole blocks", test::PatternBytes(256, 8), u"right key"},
        {"a single block", Bytes(good.begin(), good.begin() + 8), u"right key"},
    };
    for (const auto& row : rows) {
        const std::u16string path = Put(u"in.dat", row.bytes);
        CFakeWindow w;
        w.sources = {path};
        w.keyAnswers = {{kResultOk, row.key}};
        EXPECT_EQ(RunDecryptJob(w), kJobFailed) << row.what;
        EXPECT_EQ(w.events, (std::vector<std::u16string>{u"key", Msg(kTitleError, kWrongKeyOrDamaged)}))
            << row.what << ": " << Utf8(w.events);
    }
    EXPECT_EQ(test::ListFolder(folder.Path()), (std::vector<std::u16string>{u"c.dat", u"in.dat", u"plain.txt"}));
}

// A container made elsewhere may carry any stored name; only a plain file
// name is ever proposed.
TEST_F(JobsTest, decrypt_proposes_only_safe_names)
{
    const std::pair<std::u16string, std::u16string> rows[] = {
        {u"report.txt", u"report.txt"},
        {u"..\\..\\Windows\\evil.dll", u"evil.dll"},
        {u"C:\\Users\\x\\a.txt", u"a.txt"},
        {u"../etc/passwd", u"passwd"},
        {u"a:b*c?.txt", u"a_b_c_.txt"},
        {u"tab\there\x01.txt", u"tab_here_.txt"},
        {u"<>|\".txt", u"____.txt"},
        {u"..", u""},
        {u".", u""},
        {u"dir\\", u""},
        {u"", u""},
        {u"日本語の名前.txt", u"日本語の名前.txt"},
        {std::u16string(300, u'x'), u""},  // would not fit the chooser's name field
    };
    const CSecureBuffer key = MakeKeyBytes(u"k");
    for (const auto& [stored, proposed] : rows) {
        const Bytes data = test::PatternBytes(20, 1);
        CSecureBuffer record = BuildContainerRecord(stored, data.data(), 20);
        CBlowfishCipher bf;
        bf.SetKey(key.Data(), int(key.Size()));
        bf.EncodeBlocks(record.Data(), record.Data(), std::uint32_t(record.Size()));
        const std::u16string path = Put(u"named.dat", Bytes(record.Data(), record.Data() + record.Size()));

        CFakeWindow w;
        EXPECT_EQ(Decrypt({path}, u"k", {folder.File(u"out.bin")}, w), kJobDone);
        EXPECT_EQ(w.Proposals(), (std::vector<std::u16string>{proposed})) << Utf8(stored);
        EXPECT_EQ(test::ReadFileBytes(folder.File(u"out.bin")), data);
    }
}

TEST_F(JobsTest, unwritable_destinations_fail_creation_and_keep_what_was_there)
{
    const std::u16string src = Put(u"s.txt", {1, 2, 3});
    std::filesystem::create_directories(folder.Path() / "adir");
    const std::u16string readOnly = Put(u"ro.dat", {9, 9});
    std::filesystem::permissions(ToFsPath(readOnly), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::group_read |
                                                         std::filesystem::perms::others_read);
    const std::u16string targets[] = {FromFsPath(folder.Path() / "no such folder" / "x.dat"), folder.File(u"adir"),
                                      readOnly};
    for (const auto& target : targets) {
        CFakeWindow w;
        EXPECT_EQ(Encrypt({src}, u"k", {target}, w), kJobFailed) << Utf8(target);
        EXPECT_EQ(w.Messages(), (std::vector<std::u16string>{Msg(kTitleError, kCreateFailed)})) << Utf8(target);
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path() / "adir"));
    EXPECT_EQ(test::ReadFileBytes(readOnly), (Bytes{9, 9}));
    EXPECT_EQ(test::ListFolder(folder.Path()), (std::vector<std::u16string>{u"adir", u"ro.dat", u"s.txt"}));
}

// Sizes come from a sparse file, so no 2 GiB is ever written or read.
TEST_F(JobsTest, files_beyond_the_format_limit_are_too_large)
{
    const std::u16string big = Put(u"big.bin", {});
    std::filesystem::resize_file(ToFsPath(big), 0x80000000ull);
    const std::u16string nearly = Put(u"nearly.bin", {});
    std::filesystem::resize_file(ToFsPath(nearly), 0x7FFFFFFFull - 8);  // the record would pass 2 GiB
    for (const auto& [path, encrypt] : {std::pair{big, true}, std::pair{nearly, true}, std::pair{big, false}}) {
        CFakeWindow w;
        w.sources = {path};
        w.keyAnswers = {kKey};
        EXPECT_EQ(encrypt ? RunEncryptJob(w) : RunDecryptJob(w), kJobFailed);
        EXPECT_EQ(w.Messages(), (std::vector<std::u16string>{Msg(kTitleError, kTooLarge)})) << Utf8(path);
    }
}

#ifdef _WIN32
// In a 32-bit process a record near 2 GiB can't be had; the job says so and
// holds nothing afterwards.
TEST_F(JobsTest, allocation_failure_reports_out_of_memory)
{
    const std::u16string huge = Put(u"huge.bin", {});
    std::filesystem::resize_file(ToFsPath(huge), 0x7FFFFF00ull);
    CFakeWindow w;
    w.sources = {huge};
    w.keyAnswers = {kKey};
    EXPECT_EQ(RunEncryptJob(w), kJobFailed);
    EXPECT_EQ(w.Messages(), (std::vector<std::u16string>{Msg(kTitleError, kOutOfMemory)}));
}
#endif

}  // namespace
}  // namespace quorvane
