#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <tuple>

#include "container/naming.h"
#include "jobs/file_jobs.h"
#include "jobs/job_messages.h"
#include "jobs/long_path.h"
#include "jobs/platform_file.h"
#include "stream/stream_jobs.h"
#include "tests/support/fake_window.h"
#include "tests/support/child_process.h"
#include "tests/support/container_maker.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

// Counts the allocations of at least gWatchedSize bytes while a test sets it; fails all of them while
// gNoMemory is set.
static std::atomic<std::size_t> gWatchedSize{0};
static std::atomic<int> gWatchedAllocations{0};
static std::atomic<bool> gNoMemory{false};
static std::atomic<std::size_t> gLargest{0};  // the largest allocation since the last reset

void* operator new(std::size_t size)
{
    if (gNoMemory) throw std::bad_alloc();
    const std::size_t watched = gWatchedSize.load();
    if (watched != 0 && size >= watched) ++gWatchedAllocations;
    for (std::size_t largest = gLargest; size > largest && !gLargest.compare_exchange_weak(largest, size);) {}
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// The array forms too: a sanitizer's runtime would otherwise take them past the count.
void* operator new[](std::size_t size)
{
    return ::operator new(size);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace quorvane {
namespace {

using namespace messages;
using test::Bytes;
using test::CFakeWindow;
using test::Msg;
using test::Utf8;
using Paths = std::vector<std::u16string>;

const std::u16string kKey = u"正しい鍵";

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

// What each job shows, in order: the key prompt and its outcomes, an empty list (the decrypt job
// notices it before asking for the key) and a list in error. Every chooser is cancelled.
TEST_F(JobsTest, prompt_order_and_outcomes_follow_the_design_for_both_jobs)
{
    const std::u16string source = Put(u"a.dat", test::MakeContainer(u"a.txt", {1, 2}, kKey));
    const std::u16string empty = Msg(kTitleNotice, kEnterKey), none = Msg(kTitleNotice, kNoFiles);
    const test::KeyAnswer key{kResultOk, kKey}, blank{kResultOk, u""}, fails{-1, u""}, cancel{kResultCancel, u""};
    const std::u16string k = u"key", save = u"save:" + source;
    struct Row {
        const char* what;
        int count;  // entries the list reports: the source, none, or an error
        std::deque<test::KeyAnswer> answers;
        int result;
        Paths encrypt, decrypt;  // decrypt: as encrypt when empty
    };
    const Row rows[] = {
        {"cancel", 1, {{kResultCancel, u"typed anyway"}}, kJobDone, {k}, {}},
        {"cannot be shown", 1, {fails}, kJobFailed, {k}, {}},
        {"empty then cancel", 1, {blank, cancel}, kJobDone, {k, empty, k}, {}},
        {"empty twice then cannot be shown", 1, {blank, blank, fails}, kJobFailed, {k, empty, k, empty, k}, {}},
        {"empty then a key", 1, {blank, key}, kJobDone, {k, empty, k, save}, {k, empty, k, u"save:a.txt"}},
        {"empty list", 0, {key}, kJobDone, {k, none}, {none}},
        {"list error", -1, {key}, kJobDone, {k}, {}},
    };
    for (const auto& row : rows) {
        for (bool encrypt : {true, false}) {
            CFakeWindow w({}, u"", {u""});
            if (row.count == 1) w.sources = {source};
            w.countOverride = row.count < 0 ? row.count : 0;
            w.keyAnswers = row.answers;
            EXPECT_EQ((encrypt ? RunEncryptJob(w) : RunDecryptJob(w)), row.result) << row.what;
            EXPECT_EQ(w.events, encrypt || row.decrypt.empty() ? row.encrypt : row.decrypt)
                << row.what << (encrypt ? ", encrypt" : ", decrypt");
        }
    }
}

TEST_F(JobsTest, cancelled_middle_chooser_skips_only_that_file)
{
    const Paths sources = {Put(u"a.txt", {1}), Put(u"b.txt", {2}), Put(u"c.txt", {3})};
    CFakeWindow e(sources, kKey, {folder.File(u"a.dat"), u"", folder.File(u"c.dat")});
    EXPECT_EQ(RunEncryptJob(e), kJobDone);
    EXPECT_TRUE(e.Messages().empty());
    CFakeWindow d({folder.File(u"a.dat"), folder.File(u"c.dat"), folder.File(u"a.dat")}, kKey,
                  {folder.File(u"a.out"), u"", folder.File(u"a2.out")});
    EXPECT_EQ(RunDecryptJob(d), kJobDone);
    EXPECT_EQ(test::ListFolder(folder.Path()),
              (Paths{u"a.dat", u"a.out", u"a.txt", u"a2.out", u"b.txt", u"c.dat", u"c.txt"}));
    EXPECT_EQ(test::ReadFileBytes(folder.File(u"a2.out")), Bytes{1});
}

TEST_F(JobsTest, missing_middle_source_stops_job_and_keeps_first_output)
{
    const std::u16string a = Put(u"a.txt", {1}), c = Put(u"c.txt", {3});
    for (bool encrypt : {true, false}) {
        const std::u16string output = folder.File(encrypt ? u"a.dat" : u"a.out");
        CFakeWindow w({encrypt ? a : folder.File(u"a.dat"), folder.File(u"missing"), c}, kKey, {output});
        EXPECT_EQ((encrypt ? RunEncryptJob(w) : RunDecryptJob(w)), kJobFailed);
        // The first is proposed as the design says (its container name, or its stored name); the third is not
        // processed.
        const std::u16string proposal = encrypt ? folder.File(u"a.dat") : u"a.txt";
        const std::u16string pass = encrypt ? u"pass:encrypt:a.txt" : u"pass:decrypt:a.dat";
        EXPECT_EQ(w.events, (Paths{u"key", u"save:" + proposal, pass, Msg(kTitleError, kOpenFailed)}));
        EXPECT_TRUE(std::filesystem::exists(ToFsPath(output)));
    }
    EXPECT_EQ(test::ReadFileBytes(folder.File(u"a.out")), Bytes{1});
}

TEST_F(JobsTest, source_chosen_as_its_own_output_is_replaced_and_restored)
{
    const Bytes original = test::PatternBytes(3000, 5);
    const std::u16string path = Put(u"self.txt", original);
    CFakeWindow enc({path}, u"鍵", {path}), dec({path}, u"鍵", {path});
    ASSERT_EQ(RunEncryptJob(enc), kJobDone) << ::testing::PrintToString(enc.events);
    EXPECT_NE(test::ReadFileBytes(path), original);
    ASSERT_EQ(RunDecryptJob(dec), kJobDone) << ::testing::PrintToString(dec.events);
    EXPECT_EQ(test::ReadFileBytes(path), original);
    EXPECT_EQ(test::ListFolder(folder.Path()), (Paths{u"self.txt"}));
}

// A path of 258 units fits the list, but its proposal of 260 would not fit the chooser's name field.
TEST_F(JobsTest, encrypt_proposes_container_name_or_nothing_when_too_long)
{
    const std::u16string prefix = folder.File(u"");
    if (prefix.size() > 200) GTEST_SKIP() << "temp folder path too long for this case";
    const std::u16string longName = std::u16string(256 - prefix.size(), u'n') + u".t";
    ASSERT_EQ(folder.File(longName).size(), 258u);
    CFakeWindow w({Put(u"report.txt", {1}), Put(longName, {2})}, kKey, {u"", u""});
    RunEncryptJob(w);
    EXPECT_EQ(w.events, (Paths{u"key", u"save:" + folder.File(u"report.dat"), u"save:"}));
}

// The temporary file must fit wherever the destination's name fits: 255 bytes on Linux, 255 units on
// Windows (under Wine, names are UTF-8 on the Linux side, so a long Japanese name does not fit there).
TEST_F(JobsTest, destination_name_at_the_length_limit_is_written)
{
    const std::u16string source = Put(u"s.txt", {1, 2, 3});
    Paths names = {std::u16string(251, u'n') + u".bin"};
#ifndef _WIN32
    names.push_back(std::u16string(85, u'名'));
#endif
    for (const std::u16string& name : names) {
        const std::u16string destination = folder.FileIn(u"out", name);
        test::WriteFileBytes(destination, {9});
        CFakeWindow w({source}, u"k", {destination});
        EXPECT_EQ(RunEncryptJob(w), kJobDone) << ::testing::PrintToString(w.events);
        EXPECT_EQ(test::ListFolder(folder.Path() / "out"), Paths{name});
        EXPECT_NE(test::ReadFileBytes(destination), Bytes{9});
        std::filesystem::remove(ToFsPath(destination));
    }
}

// Sparse files of 2 GiB and of one block past the format's limit are refused before the chooser.
TEST_F(JobsTest, files_beyond_the_format_limit_are_too_large)
{
    const std::u16string big = Put(u"big.bin", {}), edge = Put(u"edge.bin", {});
    std::filesystem::resize_file(ToFsPath(big), 0x80000000ull);
    std::filesystem::resize_file(ToFsPath(edge), 0x7FFFFFF8ull - 8 - 2 * StoredNameFor(edge).size());
    for (const auto& [path, encrypt] : {std::pair{big, true}, {edge, true}, {big, false}}) {
        CFakeWindow w({path}, kKey);
        EXPECT_EQ((encrypt ? RunEncryptJob(w) : RunDecryptJob(w)), kJobFailed);
        EXPECT_EQ(w.events, (Paths{u"key", Msg(kTitleError, kTooLarge)})) << Utf8(path);
    }
}

// A wrong key reads as random sizes: the job must not ask for the memory they claim before the fill
// tells it is wrong. Here the name claims nearly all of a 1 MiB record.
TEST_F(JobsTest, refused_container_costs_no_memory_for_its_claimed_name)
{
    Bytes record(1 << 20, 0x41);
    test::PutLe32(record, 0, 0);
    test::PutLe32(record, 4, std::uint32_t(record.size() - 24));  // 16 bytes of fill: refused
    CFakeWindow w({Put(u"named.dat", test::EncipherRecord(record, kKey))}, kKey);
    gWatchedSize = record.size() / 2;
    gWatchedAllocations = 0;
    EXPECT_EQ(RunDecryptJob(w), kJobFailed);
    gWatchedSize = 0;
    EXPECT_EQ(w.Messages(), (Paths{Msg(kTitleError, kWrongKeyOrDamaged)}));
    EXPECT_EQ(gWatchedAllocations, 0);
}

constexpr std::size_t kSmallChunk = 4096;

// A file of many small chunks each way: the containers are the format's, byte for byte, the pass is the window's,
// and the largest allocation is a chunk, whatever the file's size.
TEST_F(JobsTest, files_stream_in_chunks_through_the_windows_pass_in_constant_memory)
{
    const Bytes plain = test::PatternBytes(40 * kSmallChunk + 5, 7);
    const std::u16string source = Put(u"many.bin", plain), container = folder.File(u"many.dat");
    const std::u16string output = folder.File(u"many.out");
    for (bool encrypt : {true, false}) {
        CFakeWindow w({encrypt ? source : container}, kKey, {encrypt ? container : output});
        gLargest = 0;
        EXPECT_EQ((encrypt ? RunEncryptJob(w, kSmallChunk) : RunDecryptJob(w, kSmallChunk)), kJobDone);
        EXPECT_LE(gLargest, 2 * kSmallChunk) << (encrypt ? "encrypt" : "decrypt");
        EXPECT_EQ(w.events.back(), encrypt ? u"pass:encrypt:many.bin" : u"pass:decrypt:many.dat");
    }
    EXPECT_EQ(test::ReadFileBytes(container), test::MakeContainer(u"many.bin", plain, kKey));
    EXPECT_EQ(test::ReadFileBytes(output), plain);
}

// A window whose pass changes the source after the first chunk's report, or stops the pass there.
class CChangingWindow : public CFakeWindow {
public:
    using CFakeWindow::CFakeWindow;
    std::function<void()> afterFirstReport;

    void RunPass(PassAction action, std::u16string_view fileName, std::uint64_t total,
                 const std::function<void(CPassMonitor&)>& work) override
    {
        CFakeWindow::RunPass(action, fileName, total, [&](CPassMonitor& inner) {
            struct CMonitor : CPassMonitor {
                CPassMonitor* inner;
                std::function<void()>* first;
                std::uint64_t last = 0;
                int reports = 0;
                bool Report(std::uint64_t done) noexcept override
                {
                    EXPECT_GE(done, last);  // one at a time, never going back
                    last = done;
                    if (reports++ == 0 && *first) (*first)();
                    return inner->Report(done);
                }
            } monitor;
            monitor.inner = &inner;
            monitor.first = &afterFirstReport;
            work(monitor);
        });
    }
};

// A read cut short in the middle, a file that grows while it is read, and a pass the user stops: nothing at the
// chosen path, not even a temporary file; the earlier output stays. A stop ends the job silently.
TEST_F(JobsTest, a_pass_that_fails_or_stops_midway_leaves_nothing_at_the_chosen_path)
{
    const Bytes plain = test::PatternBytes(20 * kSmallChunk, 3);
    enum Change { shrinks, grows, stops };
    for (const Change change : {shrinks, grows, stops}) {
        for (const bool encrypt : {true, false}) {
            SCOPED_TRACE(std::to_string(change) + (encrypt ? " encrypt" : " decrypt"));
            test::CTempFolder here;
            const std::u16string source = here.File(u"s.bin"), chosen = here.File(u"out.bin");
            test::WriteFileBytes(source, encrypt ? plain : test::MakeContainer(u"p.bin", plain, kKey));
            test::WriteFileBytes(chosen, {9});
            CChangingWindow w({source}, kKey, {chosen});
            if (change == stops) w.stopAfterReports = 1;
            w.afterFirstReport = [&] {
                if (change == stops) return;
                const auto size = std::filesystem::file_size(ToFsPath(source));
                std::filesystem::resize_file(ToFsPath(source), change == shrinks ? size / 2 : size + 8);
            };
            const int result = encrypt ? RunEncryptJob(w, kSmallChunk) : RunDecryptJob(w, kSmallChunk);
            EXPECT_EQ(result, change == stops ? kJobDone : kJobFailed);
            EXPECT_EQ(w.Messages(), change == stops ? Paths{} : Paths{Msg(kTitleError, kReadFailed)});
            EXPECT_EQ(test::ListFolder(here.Path()), (Paths{u"out.bin", u"s.bin"}));
            EXPECT_EQ(test::ReadFileBytes(chosen), Bytes{9});
        }
    }
}

// The output under the jobs and the command line.
using FileStreamTest = JobsTest;

// The command line's replace without -f: a destination that another program made meanwhile is kept.
TEST_F(FileStreamTest, replace_without_overwriting_keeps_a_destination_made_meanwhile)
{
    const std::u16string from = Put(u"from", {1}), late = Put(u"late.dat", {7});
    EXPECT_FALSE(ReplaceFileAtomically(ToFsPath(from), ToFsPath(late), false));
    EXPECT_EQ(test::ReadFileBytes(late), (Bytes{7}));
    EXPECT_TRUE(ReplaceFileAtomically(ToFsPath(from), ToFsPath(folder.File(u"new.dat")), false));
    EXPECT_EQ(test::ListFolder(folder.Path()), (Paths{u"late.dat", u"new.dat"}));
    EXPECT_EQ(test::ReadFileBytes(folder.File(u"new.dat")), (Bytes{1}));
}

// The temporary name passes 260 units where the destination is near them; Windows takes the extended form.
TEST_F(FileStreamTest, destination_past_260_units_is_written_with_its_temporary_file)
{
    const std::u16string path = folder.FileIn(std::u16string(120, u'd'), std::u16string(130, u'n') + u".dat");
    CFakeWindow w({Put(u"s.txt", {5, 6})}, kKey, {path});
    EXPECT_EQ(RunEncryptJob(w), kJobDone);
    EXPECT_EQ(test::ReadFileBytes(path), test::MakeContainer(u"s.txt", {5, 6}, kKey));
}

// Memory runs out while an output is open: dropping it must neither throw nor leave its temporary file.
TEST_F(FileStreamTest, output_dropped_without_memory_leaves_no_temporary_file)
{
    const std::u16string path = Put(u"earlier.dat", {9});
    {
        auto s = std::make_unique<CSink>(SinkHooks{});
        ASSERT_EQ(s->OpenFile(path, true), StreamFailure::none);
        const std::uint8_t bytes[] = {1, 2};
        ASSERT_EQ(s->Write(0, bytes, 2), StreamFailure::none);
        gNoMemory = true;
        s.reset();
        gNoMemory = false;
    }
    EXPECT_EQ(test::ListFolder(folder.Path()), (Paths{u"earlier.dat"}));
    EXPECT_EQ(test::ReadFileBytes(path), (Bytes{9}));
}

#ifndef _WIN32
// The modes of the files this process holds open in `folder`, named or still without a name.
std::vector<mode_t> OpenFileModes(const std::filesystem::path& folder)
{
    std::vector<mode_t> modes;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        struct stat st {};
        if (std::filesystem::read_symlink(fd.path(), error).parent_path() == folder && !error &&
            ::stat(fd.path().c_str(), &st) == 0 && S_ISREG(st.st_mode))
            modes.push_back(st.st_mode & 07777);
    }
    return modes;
}

// The output is its owner's alone while written; it then takes the replaced file's permissions, never setuid,
// setgid or sticky, or for a new file or one of another user the default ones. Root leaves another's file theirs.
TEST_F(FileStreamTest, output_is_owner_only_until_it_takes_the_replaced_permissions_without_special_bits)
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct Row {
        mode_t before;
        bool another;  // the replaced file is another user's (root only)
        mode_t after;
    };
    const Row rows[] = {{0600, false, 0600},  {04755, false, 0755},     {02770, false, 0770},
                        {01644, false, 0644}, {0, false, 0666 & ~mask}, {0666, true, 0666 & ~mask}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.before);
        if (row.another && ::geteuid() != 0) continue;
        const std::u16string path = folder.File(u"out.dat");
        std::filesystem::remove(ToFsPath(path));
        if (row.before != 0) {
            test::WriteFileBytes(path, {9});
            ASSERT_EQ(::chmod(Utf8(path).c_str(), row.before), 0);
            if (row.another) {
                ASSERT_EQ(::chown(Utf8(path).c_str(), test::kAnotherUser, test::kAnotherUser), 0);
            }
        }
        CSink s{SinkHooks{}};
        ASSERT_EQ(s.OpenFile(path, true), StreamFailure::none);
        EXPECT_EQ(OpenFileModes(folder.Path()), std::vector<mode_t>{0600});
        CSource input;
        ASSERT_EQ(s.Finish(input, 8), StreamFailure::none);
        struct stat st {};
        ASSERT_EQ(::stat(Utf8(path).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, row.after);
        EXPECT_EQ(st.st_uid, row.another ? test::kAnotherUser : ::geteuid());
        EXPECT_EQ(st.st_gid, row.another ? test::kAnotherUser : ::getegid());
    }
    EXPECT_EQ(test::ListFolder(folder.Path()), (Paths{u"out.dat"}));
}

// In a folder everyone may write, someone leaves a file readable by all where a user's output goes: replacing it,
// the user's output gets the user's own default mode, never the other's.
TEST_F(FileStreamTest, a_replaced_file_of_another_user_lends_the_output_none_of_its_permissions)
{
    std::filesystem::permissions(folder.Path(), std::filesystem::perms::all);
    const std::u16string path = Put(u"out.dat", {9});
    ASSERT_EQ(::chmod(Utf8(path).c_str(), 0666), 0);
    // The user's default: the mode the user's new output gets.
    const std::u16string fresh = folder.File(u"new.dat");
    const int status = test::AsAnotherUser([&] {
        const auto write = [](const std::u16string& to) {
            CSink sink{SinkHooks{}};
            CSource input;
            return sink.OpenFile(to, true) == StreamFailure::none && sink.Finish(input, 8) == StreamFailure::none;
        };
        struct stat st {
        }, madeStat{};
        if (!write(path) || !write(fresh) || ::stat(Utf8(path).c_str(), &st) != 0 ||
            ::stat(Utf8(fresh).c_str(), &madeStat) != 0 || st.st_uid != test::kAnotherUser)
            return 1;
        return st.st_mode == madeStat.st_mode ? 0 : 2 + int(st.st_mode & 077);
    });
    if (status == -1) GTEST_SKIP() << "needs root, to act as another user";
    EXPECT_EQ(status, 0) << "1: not replaced as that user's; else 2 + the group's and others' bits";
}
#endif

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
