// Real faults under each front end: the jobs (with their Win32 file code under Wine) and the command line. Each
// run fails with the fault's own message and leaves the earlier destination and its folder as they were. Natively,
// a preloaded shim (fault_shim.c) also fails every file-system call of a run in turn, and kills a run mid-write.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "jobs/file_jobs.h"
#include "jobs/job_messages.h"
#include "jobs/platform_file.h"
#include "tests/support/child_process.h"
#include "tests/support/container_maker.h"
#include "tests/support/fake_window.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#else
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

const std::u16string kKey = u"故障の鍵";
enum Failure { kOpen, kRead, kCreate, kSave, kFolder, kMove };

// What the front end said when it failed as it must (one error box, or exit status 1 and one line
// on standard error), or else what it did.
std::string RunFrontEnd(bool cli, bool encrypt, const std::u16string& input, const std::u16string& destination)
{
    if (cli) {
        test::CTempFolder keyFolder;
        test::WriteText(keyFolder.File(u"key"), test::Utf8(kKey) + "\n");
        const auto r = test::RunChild({test::CliProgram(), encrypt ? u"encrypt" : u"decrypt", u"-k",
                                       keyFolder.File(u"key"), u"-f", u"-o", destination, input});
        const auto colon = r.err.find(": ", std::string_view("quorvane-cli: ").size());  // after the subject
        if (r.exitCode != 1 || colon == std::string::npos || r.err.find('\n') + 1 != r.err.size())
            return "exit status " + std::to_string(r.exitCode) + ": " + r.err;
        return r.err.substr(colon + 2);
    }
    test::CFakeWindow w({input}, kKey, {destination});
    const int result = encrypt ? RunEncryptJob(w) : RunDecryptJob(w);
    const auto messages = w.Messages();
    const std::u16string title = test::Msg(messages::kTitleError, u"");
    if (result != kJobFailed || messages.size() != 1 || !messages[0].starts_with(title))
        return ::testing::PrintToString(w.events);
    return test::Utf8(messages[0].substr(title.size()));
}

// What each failure says, in the order of Failure, when decrypting and when encrypting.
const std::u16string_view kJobSays[][2] = {{messages::kOpenFailed, messages::kOpenFailed},
                                           {messages::kReadFailed, messages::kReadFailed},
                                           {messages::kCreateFailed, messages::kCreateFailed},
                                           {messages::kSaveDecryptedFailed, messages::kSaveEncryptedFailed},
                                           {messages::kCreateFailed, messages::kCreateFailed},
                                           {messages::kSaveDecryptedFailed, messages::kSaveEncryptedFailed}};
const char* const kCliSays[][2] = {
    {"not a regular file\n", "not a regular file\n"},
    {"cannot read\n", "cannot read\n"},
    {"cannot create\n", "cannot create\n"},
    {"cannot write the decrypted data\n", "cannot write the encrypted data\n"},
    {"is a folder; give the output file's name with -o\n", "is a folder; give the output file's name with -o\n"},
    {"cannot move the finished output into place\n", "cannot move the finished output into place\n"}};

#ifdef _WIN32
// Another program holding the file open with no sharing at all, as an editor or a scanner may.
struct CHeld {
    explicit CHeld(const fs::path& path) : fd(_wsopen(path.c_str(), _O_RDWR | _O_BINARY, _SH_DENYRW)) {}
    ~CHeld() { _close(fd); }
    const int fd;
};
constexpr bool kCliRows[] = {false};
#else
constexpr bool kCliRows[] = {false, true};
#endif

struct Row {
    const char* what;
    const char* mount;  // the fault-mounts.sh entry it needs, or none
    const char* place;  // where the destination (or for a source fault, the input) is
    bool sourceFault;   // the input is the faulty part
    Failure failure;
    const char* reason;  // the system's, which the command line adds to its message
};

TEST(Faults, each_fault_fails_with_its_message_and_keeps_the_earlier_destination_in_each_front_end)
{
    const Row rows[] = {
        {"full disk during the write", "small", "small/out.bin", false, kSave, "No space left on device"},
        {"no inode left for the temporary file", "full", "full/out.bin", false, kCreate, "No space left on device"},
        {"read-only file system", "ro", "ro/out.bin", false, kCreate, "Read-only file system"},
        {"read-only destination", nullptr, "read-only", false, kCreate, "Permission denied"},
        {"missing folder", nullptr, "missing", false, kCreate, "No such file or directory"},
        {"folder of the destination's name", nullptr, "folder", false, kFolder, nullptr},
        {"read failing halfway", "damaged-text", "damaged", true, kRead, "Input/output error"},
        {"folder as the source", nullptr, "folder", true, kOpen, nullptr},
#ifdef _WIN32
        {"destination held open without sharing", nullptr, "held", false, kSave, nullptr},
        {"source held open without sharing", nullptr, "held", true, kOpen, nullptr},
#else
        {"immutable destination, refused at the replace", "immutable", "immutable/out.bin", false, kMove,
         "Operation not permitted"},
        {"pipe as the source", nullptr, "pipe", true, kOpen, nullptr},
#endif
    };
    const fs::path mounts = test::HostPath(QUORVANE_FAULT_MOUNTS);
    // Only a host that cannot make the mounts at all skips their rows; a mount that is simply missing fails.
    const bool unavailable = fs::exists(mounts / "unavailable");
    for (const Row& row : rows) {
        if (row.mount && !fs::exists(mounts / (std::string(row.mount) + ".ready"))) {
            EXPECT_TRUE(unavailable) << row.mount << " was not mounted";
            continue;
        }
        for (const bool cli : kCliRows) {
            // The command line's own tests prove its refusal of a pipe.
            if (cli && std::string_view(row.place) == "pipe") continue;
            for (const bool encrypt : {true, false}) {
                SCOPED_TRACE(std::string(row.what) + (cli ? ", cli " : ", job ") + (encrypt ? "encrypt" : "decrypt"));
                test::CTempFolder folder;
                const std::string place = row.place;
                fs::path input = folder.Path() / "input.bin", destination = folder.Path() / "out.bin";
                const Bytes plain = test::PatternBytes(256 * 1024, 5);
                test::WriteFileBytes(FromFsPath(input), encrypt ? plain : test::MakeContainer(u"p.bin", plain, kKey));
                fs::path& faulty = row.sourceFault ? input : destination;
                if (row.mount) {
                    faulty = mounts / place;
                    if (place == "damaged")
                        faulty = encrypt ? mounts / "damaged-text/report.txt" : mounts / "damaged-blocks/blocks.dat";
                }
                if (place == "folder") {
                    if (row.sourceFault) fs::remove(faulty);
                    fs::create_directory(faulty);
                }
                if (place == "missing") destination = folder.Path() / "missing" / "out.bin";
                const fs::path kept = place == "folder" && !row.sourceFault ? destination / "inside.txt"
                                      : place == "missing"                  ? input
                                                                            : destination;
                if (!fs::exists(kept)) test::WriteFileBytes(FromFsPath(kept), test::PatternBytes(1000, 99));
                const Bytes earlier = test::ReadFileBytes(FromFsPath(kept));
                const fs::path listed = place == "missing" ? folder.Path() : destination.parent_path();
                const auto before = test::ListFolder(listed);
                if (place == "read-only") fs::permissions(destination, fs::perms::owner_read);
#ifdef _WIN32
                std::optional<CHeld> held;
                if (place == "held") held.emplace(faulty);
#else
                if (place == "pipe") {
                    fs::remove(faulty);
                    ASSERT_EQ(::mkfifo(faulty.c_str(), 0600), 0);
                }
#endif
                const std::string said = RunFrontEnd(cli, encrypt, FromFsPath(input), FromFsPath(destination));
#ifdef _WIN32
                held.reset();
#endif
                // The decrypt job's verdict comes from the head and the last block, before the chooser: the damaged
                // file of repeated text is no container, and its middle is never read.
                const bool noContainer = !cli && !encrypt && place == "damaged";
                std::string cliSays = kCliSays[row.failure][encrypt];
                if (row.reason) cliSays.insert(cliSays.size() - 1, std::string(": ") + row.reason);
                EXPECT_EQ(said, cli           ? cliSays
                                : noContainer ? test::Utf8(messages::kWrongKeyOrDamaged)
                                              : test::Utf8(kJobSays[row.failure][encrypt]));
                EXPECT_EQ(test::ReadFileBytes(FromFsPath(kept)), earlier);
                EXPECT_EQ(test::ListFolder(listed), before);
                if (place == "read-only") fs::permissions(destination, fs::perms::owner_all);
                if (place == "small/out.bin") fs::remove(destination);
            }
        }
    }
    if (unavailable) {
        const Bytes why = test::ReadFileBytes(FromFsPath(mounts / "unavailable"));
        GTEST_SKIP() << "skipped the rows on fault mounts: " << std::string(why.begin(), why.end() - 1);
    }
}

#ifndef _WIN32
enum class Through { files, standardOutput, pipe };
struct FrontEnd {
    const char* name;
    bool cli, encrypt;
    bool keep = false;                 // no -f, no destination yet, a named temporary, the link fallback for its rename
    Through through = Through::files;  // or to standard output, or from a pipe on standard input
    std::size_t size = 70000;          // 5 MiB: three chunks, on two workers
    int calls = 0;                     // the calls on its files of a run without a fault
};
// A new call on the run's files changes a count here: it must then be failed in turn and found harmless or fatal.
constexpr FrontEnd kFrontEnds[] = {
    {"encrypt job", false, true, false, Through::files, 70000, 19},
    {"decrypt job", false, false, false, Through::files, 70000, 23},
    {"cli encrypt", true, true, false, Through::files, 70000, 27},
    {"cli decrypt", true, false, false, Through::files, 70000, 27},
    {"cli encrypt without -f by hard link", true, true, true, Through::files, 70000, 28},
    {"cli decrypt to standard output", true, false, false, Through::standardOutput, 70000, 8},
    {"cli encrypt from a pipe", true, true, false, Through::pipe, 70000, 21},
    {"cli encrypt of three chunks on two workers", true, true, false, Through::files, 5u << 20, 31},
};
const std::string kShim = "LD_PRELOAD=" QUORVANE_FAULT_SHIM, kAsan = "ASAN_OPTIONS=verify_asan_link_order=0";
constexpr mode_t kEarlierMode = 0640;

// A front end's run over `size` bytes in a folder of its own: source.bin to out.bin, which holds `earlier`.
struct CRun {
    CRun(const FrontEnd& frontEnd, std::size_t size) : end(frontEnd), plain(test::PatternBytes(size, 3))
    {
        test::WriteText(keyFile, test::Utf8(kKey) + "\n");
        test::WriteFileBytes(source, end.encrypt ? plain : test::MakeContainer(u"plain.bin", plain, kKey));
        const std::u16string direction = end.encrypt ? u"encrypt" : u"decrypt";
        const std::u16string output = end.through == Through::standardOutput ? u"-" : destination;
        argv = {test::CliProgram(),
                direction,
                u"-k",
                keyFile,
                u"-f",
                u"-o",
                output,
                end.through == Through::pipe ? u"-" : source};
        if (end.keep) argv.erase(argv.begin() + 4);                                               // the -f
        const std::u16string self = FromFsPath(std::filesystem::read_symlink("/proc/self/exe"));  // see main
        if (!end.cli) argv = {self, u"--job", direction, kKey, source, destination};
        Reset();
    }
    void Reset() const
    {
        if (end.keep) std::filesystem::remove(ToFsPath(destination));
        if (!end.keep) test::WriteFileBytes(destination, earlier);
        if (!end.keep) std::filesystem::permissions(ToFsPath(destination), std::filesystem::perms(kEarlierMode));
    }
    // The child's input and environment, with these additions.
    test::ChildInput Input(std::vector<std::string> env) const
    {
        env.insert(env.end(), {kShim, kAsan});
        if (end.through == Through::standardOutput) env.push_back("QUORVANE_FAULT_STDOUT=1");
        return {std::string(plain.begin(), plain.end()), end.through == Through::pipe, std::string::npos, env};
    }
    // What the run wrote: standard output's bytes, or the destination's and its mode.
    std::pair<Bytes, mode_t> Output(const test::ChildResult& r) const
    {
        if (end.through == Through::standardOutput) return {Bytes(r.out.begin(), r.out.end()), 0};
        struct stat st {};
        ::stat(test::Utf8(destination).c_str(), &st);
        return {test::ReadFileBytes(destination), st.st_mode & 07777};
    }

    const FrontEnd& end;
    test::CTempFolder folder, logs;
    const Bytes plain, earlier = test::PatternBytes(900, 4);
    const std::u16string source = folder.File(u"source.bin"), destination = folder.File(u"out.bin");
    const std::u16string keyFile = logs.File(u"key.txt"), log = logs.File(u"calls.log");
    std::vector<std::u16string> argv;
};

// The children of this thread run on two processors where there are two: the command line then has two workers.
struct CTwoProcessors {
    CTwoProcessors()
    {
        ::sched_getaffinity(0, sizeof saved, &saved);
        cpu_set_t two;
        CPU_ZERO(&two);
        for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < 2; ++cpu)
            if (CPU_ISSET(cpu, &saved)) CPU_SET(cpu, &two), ++taken;
        ::sched_setaffinity(0, sizeof two, &two);
    }
    ~CTwoProcessors() { ::sched_setaffinity(0, sizeof saved, &saved); }
    cpu_set_t saved;
};

// Run N fails the N-th call on the run's files, for N = 1, 2, ... until a run gets through. Unless harmless to the
// output, a failed call ends the run with its message (or exit 1), the earlier destination intact, no temporary.
TEST(NthCall, every_failed_call_ends_with_its_message_and_the_earlier_destination_intact)
{
    constexpr int kMaxCalls = 400;  // far above any run's count; the loop must end well before
    for (const FrontEnd& end : kFrontEnds) {
        const CRun run(end, end.size);
        const CTwoProcessors processors;
        const auto clean = test::RunChild(run.argv, run.Input({}));
        ASSERT_EQ(clean.exitCode, 0) << end.name << clean.err;
        const auto expected = run.Output(clean);  // what a run without a fault leaves
        int n = 0;
        while (++n <= kMaxCalls) {
            run.Reset();
            std::filesystem::remove(ToFsPath(run.log));
            const auto r =
                test::RunChild(run.argv, run.Input({"QUORVANE_FAIL_CALL=" + std::to_string(n),
                                                    "QUORVANE_FAULT_DIR=" + test::Utf8(FromFsPath(run.folder.Path())),
                                                    "QUORVANE_FAULT_LOG=" + test::Utf8(run.log),
                                                    "QUORVANE_NO_NOREPLACE=" + std::string(end.keep ? "1" : ""),
                                                    "QUORVANE_NO_TMPFILE=" + std::string(end.keep ? "1" : "")}));
            std::ifstream logged(ToFsPath(run.log));
            const std::string failed{std::istreambuf_iterator<char>(logged), std::istreambuf_iterator<char>()};
            const std::string where = std::string(end.name) + ", call " + std::to_string(n) + " (" + failed + ")";
            const std::vector<std::u16string> listing = {u"out.bin", u"source.bin"};
            const bool outputThere = !end.keep || r.exitCode == 0;
            EXPECT_EQ(test::ListFolder(run.folder.Path()), outputThere ? listing : std::vector{listing[1]}) << where;
            // Harmless to go on after: the folder's flush once the output is in place, closing a file that was only
            // read or had nothing written through that descriptor, or a look at a path (the output must then be
            // right to its mode).
            const bool harmless = failed.ends_with(" dir\n") || failed.starts_with("stat ") ||
                                  failed.starts_with("lstat ") ||
                                  (failed.find("close ") != std::string::npos && !failed.ends_with(" written\n"));
            if (failed.empty() || (r.exitCode == 0 && harmless)) {
                EXPECT_EQ(r.exitCode, 0) << where << r.out << r.err;
                EXPECT_TRUE(run.Output(r) == expected) << where;
                if (failed.empty()) break;
                continue;
            }
            EXPECT_EQ(r.exitCode, 1) << where << " ended as if nothing failed: " << r.out << r.err;
            // Without -f there is no earlier destination: the listing above holds no output.
            if (!end.keep) {
                EXPECT_EQ(test::ReadFileBytes(run.destination), run.earlier) << where;
            }
            // One message: one line on standard error, or one message box, an error.
            const bool oneMessage =
                end.cli ? r.err.starts_with("quorvane-cli: ") && r.err.find('\n') + 1 == r.err.size()
                        : r.out.find("msg:") == r.out.rfind("msg:") && r.out.find("msg:エラー:") != r.out.npos;
            EXPECT_TRUE(oneMessage) << where << r.out << r.err;
        }
        EXPECT_EQ(n - 1, end.calls) << end.name << ": the calls on its files (0: the shim was not loaded)";
    }
}

// A signal after 1 MiB of an 8 MiB output: the earlier destination stays, and the run ends by that signal. Only
// SIGKILL, which no program can catch, may leave the temporary file; the command line removes it for every other
// signal that ends a process.
TEST(Faults, signals_mid_write_end_the_run_by_that_signal_and_leave_only_the_earlier_destination)
{
    const int caught[] = {SIGINT,  SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM,  SIGVTALRM,
                          SIGPROF, SIGXCPU, SIGIO,  SIGPWR,  SIGSYS,  SIGTRAP, SIGABRT, SIGRTMIN, SIGRTMAX};
    for (const FrontEnd& end : kFrontEnds) {
        if (end.keep || end.through != Through::files || end.size != 70000) continue;
        std::vector<int> signals;
        if (end.cli) signals.assign(std::begin(caught), std::end(caught));
        signals.push_back(SIGKILL);  // last: its temporary file stays where it has a name
        const CRun run(end, 8u << 20);
        // Where the system makes files without a name, not even SIGKILL leaves one.
        const int unnamed = ::open(run.folder.Path().c_str(), O_TMPFILE | O_WRONLY, 0600);
        if (unnamed >= 0) ::close(unnamed);
        for (const int signal : signals) {
            SCOPED_TRACE(std::string(end.name) + ", signal " + std::to_string(signal));
            run.Reset();
            const auto r = test::RunChild(run.argv, {.env = {kShim, kAsan, "QUORVANE_KILL_AFTER=1048576",
                                                             "QUORVANE_KILL_SIGNAL=" + std::to_string(signal)}});
            EXPECT_EQ(r.signal, signal) << "it ended before writing 1 MiB: " << r.out << r.err;
            EXPECT_EQ(test::ReadFileBytes(run.destination), run.earlier);
            for (const auto& name : test::ListFolder(run.folder.Path()))
                EXPECT_TRUE(name == u"out.bin" || name == u"source.bin" ||
                            (signal == SIGKILL && unnamed < 0 && name.starts_with(u"out.bin.") &&
                             name.ends_with(u".quorvane.tmp")))
                    << test::Utf8(name);
        }
        if (!end.cli) continue;
        // A signal ignored when the program started (nohup, trap '') stays ignored: the run goes on to its end.
        const auto clean = test::RunChild(run.argv);
        ASSERT_EQ(clean.exitCode, 0) << clean.err;
        const Bytes whole = test::ReadFileBytes(run.destination);
        for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1}) {
            SCOPED_TRACE(std::string(end.name) + ", ignored signal " + std::to_string(signal));
            run.Reset();
            std::vector<std::u16string> argv = {
                u"/bin/sh", u"-c", u"trap '' " + test::Utf16(std::to_string(signal)) + u"; exec \"$0\" \"$@\""};
            argv.insert(argv.end(), run.argv.begin(), run.argv.end());
            const auto r = test::RunChild(argv, {.env = {kShim, kAsan, "QUORVANE_KILL_AFTER=1048576",
                                                         "QUORVANE_KILL_SIGNAL=" + std::to_string(signal)}});
            EXPECT_EQ(r.exitCode, 0) << "signal " << r.signal << r.err;
            EXPECT_TRUE(test::ReadFileBytes(run.destination) == whole);
        }
    }
}

// Someone who may write the folder plants a file or a link at the temporary's name just before it is made, or
// swaps the finished temporary file for one of their own just before the move: the first is never opened, let
// alone written through; the second fails the run, which says so, instead of passing their file off as the output.
TEST(Planted, nothing_at_the_temporary_name_is_written_through_nor_a_swapped_one_passed_off)
{
    struct PlantRow {
        const char* what;
        std::vector<std::string> env;
        bool swapped;
    };
    const PlantRow rows[] = {
        {"a file at the first name", {"QUORVANE_NO_TMPFILE=1", "QUORVANE_PLANT=file"}, false},
        {"a link at the first name", {"QUORVANE_NO_TMPFILE=1", "QUORVANE_PLANT=link"}, false},
        {"the named temporary swapped for a file", {"QUORVANE_NO_TMPFILE=1", "QUORVANE_SWAP=file"}, true},
        {"the named temporary swapped for a link", {"QUORVANE_NO_TMPFILE=1", "QUORVANE_SWAP=link"}, true},
        {"the unnamed temporary, once named, swapped for a file", {"QUORVANE_SWAP=file"}, true},
    };
    const FrontEnd& decrypt = kFrontEnds[3];
    for (const PlantRow& row : rows) {
        SCOPED_TRACE(row.what);
        const CRun run(decrypt, decrypt.size);
        const std::u16string victim = run.logs.File(u"victim");
        test::WriteText(victim, "the victim's");
        std::vector<std::string> env = row.env;
        env.push_back("QUORVANE_VICTIM=" + test::Utf8(victim));
        const auto r = test::RunChild(run.argv, run.Input(env));
        EXPECT_EQ(test::ReadFileBytes(victim), (Bytes{'t', 'h', 'e', ' ', 'v', 'i', 'c', 't', 'i', 'm', '\'', 's'}));
        const fs::path destination = ToFsPath(run.destination);
        if (row.swapped) {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_NE(r.err.find("out.bin: was replaced by someone else after it was written"), std::string::npos)
                << r.err;
            EXPECT_TRUE(fs::is_symlink(destination) || test::ReadFileBytes(run.destination) != run.plain);
            continue;
        }
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(test::ReadFileBytes(run.destination) == run.plain);
        std::vector<std::u16string> planted;
        for (const auto& name : test::ListFolder(run.folder.Path()))
            if (name.ends_with(u".quorvane.tmp")) planted.push_back(run.folder.File(name));
        EXPECT_EQ(planted.size(), 1u) << "what was planted is gone";
        if (planted.size() == 1 && !fs::is_symlink(ToFsPath(planted[0]))) {
            EXPECT_EQ(test::ReadFileBytes(planted[0]), (Bytes{'p', 'l', 'a', 'n', 't', 'e', 'd'}));
        }
    }
}

// List reads the head, the name's blocks and the block of the fill, never the file bytes; check reads every
// byte. Neither opens a file for writing, in the container's folder or the temporary one, even for a moment. A job
// whose save chooser is cancelled reads no file bytes either: encrypt reads nothing, decrypt what list reads.
TEST(Counted, list_reads_no_file_bytes_and_check_and_list_open_nothing_for_writing)
{
    test::CTempFolder folder, logs;
    const std::u16string key = logs.File(u"key"), log = logs.File(u"counts"), good = folder.File(u"c.dat");
    const std::u16string damaged = folder.File(u"d.dat"), tmp = folder.FileIn(u"tmp", u"");
    test::WriteText(key, test::Utf8(kKey) + "\n");
    Bytes container = test::MakeContainer(u"n.txt", test::PatternBytes(3u << 20, 5), kKey);  // 2 chunks
    const std::string piped(container.begin(), container.end());
    test::WriteFileBytes(good, container);
    container.back() ^= 1;
    test::WriteFileBytes(damaged, container);
    const long size = static_cast<long>(container.size());
    struct Case {
        const char* what;
        std::u16string command, input;
        bool piped;
        int status;
        long bytesRead;  // from the container's folder
    };
    const Case rows[] = {
        {"list", u"list", good, false, 0, 8 + 16 + 8},
        {"list of a bad fill", u"list", damaged, false, 1, 8 + 16 + 8},
        {"check", u"check", good, false, 0, size},
        {"check of a bad fill", u"check", damaged, false, 1, size},
        {"check of a pipe", u"check", u"-", true, 0, 0},
        {"list of a pipe", u"list", u"-", true, 0, 0},
        {"encrypt job, chooser cancelled", u"encrypt", good, false, 0, 0},
        {"decrypt job, chooser cancelled", u"decrypt", good, false, 0, 8 + 16 + 8},
    };
    const std::u16string self = FromFsPath(std::filesystem::read_symlink("/proc/self/exe"));
    for (const Case& row : rows) {
        SCOPED_TRACE(row.what);
        const bool job = std::string_view(row.what).ends_with("cancelled");
        // An empty destination is the scripted window's cancel.
        const auto r =
            test::RunChild(job ? std::vector<std::u16string>{self, u"--job", row.command, kKey, row.input, u""}
                               : std::vector<std::u16string>{test::CliProgram(), row.command, u"-k", key, row.input},
                           {piped,
                            row.piped,
                            std::string::npos,
                            {kShim, kAsan, "QUORVANE_FAULT_DIR=" + test::Utf8(FromFsPath(folder.Path())),
                             "QUORVANE_COUNT_LOG=" + test::Utf8(log), "TMPDIR=" + test::Utf8(tmp)}});
        EXPECT_EQ(r.exitCode, row.status) << r.err;
        std::ifstream counts(fs::path(test::Utf8(log)));
        long bytesRead = -1, writableOpens = -1;
        counts >> bytesRead >> writableOpens;
        EXPECT_EQ(bytesRead, row.bytesRead);
        EXPECT_EQ(writableOpens, 0);
    }
}

#endif

}  // namespace
}  // namespace quorvane

// With "--job encrypt|decrypt KEY SOURCE DESTINATION" this program runs one job through the scripted window,
// prints every event and exits with the job's result.
int main(int argc, char** argv)
{
    using namespace quorvane;
    if (argc == 6 && std::string_view(argv[1]) == "--job") {
        test::CFakeWindow window({test::Utf16(argv[4])}, test::Utf16(argv[3]), {test::Utf16(argv[5])});
        const int result = std::string_view(argv[2]) == "encrypt" ? RunEncryptJob(window) : RunDecryptJob(window);
        for (const auto& event : window.events) std::printf("%s\n", test::Utf8(event).c_str());
        return result;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
