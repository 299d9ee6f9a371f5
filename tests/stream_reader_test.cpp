// The command line's streaming readers in this process: standard input a real pipe, standard output a file, so
// that hundreds of runs cost no process each and what was read and what went out can be counted exactly.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "stream/stream_jobs.h"
#include "container/container_record.h"
#include "tests/support/container_maker.h"
#include "tests/support/files.h"

namespace quorvane::test {
namespace {

const std::u16string kKey = u"流れ key";
constexpr std::size_t kChunk = 16 * 1024;  // several chunks fit in a pipe's buffer

// The file-to-file path sees the input's size at the start and again at the end.
TEST(StreamEncrypt, a_file_that_grows_while_it_is_read_is_refused_and_nothing_is_written)
{
    CTempFolder folder;
    const std::u16string input = folder.File(u"growing.bin"), output = folder.File(u"growing.dat");
    WriteFileBytes(input, PatternBytes(4 * kChunk, 1));
    std::atomic<bool> done{false}, started{false};
    std::thread appender([&] {
        std::ofstream file(ToFsPath(input), std::ios::binary | std::ios::app);
        while (!done) {
            file.put('x').flush();
            started = true;
        }
    });
    while (!started) std::this_thread::yield();
    EncryptTask task;
    task.inputPath = input;
    task.storedName = u"growing.bin";
    task.outputPath = output;
    task.chunkBytes = 8;  // thousands of chunks: the file grows during the run
    const StreamOutcome outcome = StreamEncryptFile(task, MakeKeyBytes(kKey));
    done = true;
    appender.join();
    EXPECT_EQ(outcome.failure, StreamFailure::inputChanged);
    EXPECT_EQ(ListFolder(folder.Path()), std::vector<std::u16string>{u"growing.bin"});
}

#ifndef _WIN32

// Standard input reads a pipe that holds `input` and is then closed; standard output writes a file.
struct PipedRun {
    StreamOutcome outcome;
    Bytes out;
    std::size_t unread = 0;  // bytes the reader left in the pipe
};

PipedRun DecryptPiped(const Bytes& input, std::u16string_view key)
{
    CTempFolder folder;
    const std::u16string outFile = folder.File(u"out");
    int ends[2];
    if (pipe(ends) != 0 || fcntl(ends[1], F_SETPIPE_SZ, 1 << 20) < 0) throw std::runtime_error("pipe");
    if (write(ends[1], input.data(), input.size()) != ssize_t(input.size())) throw std::runtime_error("write");
    close(ends[1]);
    std::fflush(stdout);
    const int savedIn = dup(STDIN_FILENO), savedOut = dup(STDOUT_FILENO);
    const int out = open(Utf8(outFile).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(ends[0], STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    close(out);

    DecryptTask task;
    task.inputPath = u"-";
    task.chooseOutput = [](const std::optional<std::u16string>&) { return OutputChoice{u"-"}; };
    task.chunkBytes = kChunk;
    PipedRun run;
    run.outcome = StreamDecryptInOrder(task, MakeKeyBytes(key));
    int unread = 0;
    ioctl(ends[0], FIONREAD, &unread);
    run.unread = static_cast<std::size_t>(unread);

    dup2(savedIn, STDIN_FILENO);
    dup2(savedOut, STDOUT_FILENO);
    for (const int fd : {savedIn, savedOut, ends[0]}) close(fd);
    run.out = ReadFileBytes(outFile);
    return run;
}

// The sizes a wrong key deciphers are random: a pipe must refuse them on the first chunk, before any byte goes out.
TEST(StreamDecryptInOrder, random_wrong_keys_are_refused_on_the_first_chunk_before_any_output)
{
    const Bytes container = MakeContainer(u"p.bin", PatternBytes(3 * kChunk, 2), kKey);
    std::mt19937 random(20261207);
    for (int i = 0; i < 300; ++i) {
        std::u16string key(1 + random() % 12, u' ');
        for (char16_t& unit : key) unit = static_cast<char16_t>(0x21 + random() % 0x3000);
        const PipedRun run = DecryptPiped(container, key);
        ASSERT_EQ(run.outcome.failure, StreamFailure::wrongKeyOrDamaged) << i;
        ASSERT_EQ(run.out.size(), 0u) << i;
        ASSERT_EQ(run.unread, container.size() - kChunk) << i;
    }
}

// What the encrypt side always writes is asked of a pipe; a container cut short or followed by more is refused at its
// end, and then the bytes already out are to be thrown away.
TEST(StreamDecryptInOrder, a_pipe_takes_only_what_the_encrypt_side_writes_and_exactly_its_length)
{
    // "p.bin" and the head take 18 bytes; the second record ends on a chunk boundary, after 8 bytes of fill.
    const Bytes data = PatternBytes(100, 3), longData = PatternBytes(3 * kChunk + 5, 4);
    const Bytes boundaryData = PatternBytes(3 * kChunk - 26, 5);
    auto record = [&data](std::int32_t dataSize, Bytes name) {
        Bytes head(8);
        PutLe32(head, 0, static_cast<std::uint32_t>(dataSize));
        PutLe32(head, 4, static_cast<std::uint32_t>(name.size()));
        head.insert(head.end(), name.begin(), name.end());
        head.insert(head.end(), data.begin(), data.end());
        head.push_back(0);
        return EncipherRecord(head, kKey);
    };
    const Bytes longest(2 * kMaxStoredNameUnits, 'n'), zeroUnit{'a', 0, 0, 0, 'b', 0};
    Bytes cut = MakeContainer(u"p.bin", longData, kKey), extended = MakeContainer(u"p.bin", boundaryData, kKey);
    cut.resize(cut.size() - 8);
    extended.resize(extended.size() + 8, 0);
    auto head = [](const Bytes& bytes, std::size_t chunks) {
        return Bytes(bytes.begin(), bytes.begin() + chunks * kChunk - 18);
    };
    using F = StreamFailure;
    struct Row {
        const char* what;
        Bytes input;
        F failure;
        Bytes out;
    };
    const std::vector<Row> rows = {
        {"a name of 255 units", record(100, longest), F::none, data},
        {"a name of 256 units", record(100, Bytes(2 * kMaxStoredNameUnits + 2, 'n')), F::wrongKeyOrDamaged, {}},
        {"an odd name size", record(100, Bytes(5, 'n')), F::wrongKeyOrDamaged, {}},
        {"a zero unit in the name", record(100, zeroUnit), F::wrongKeyOrDamaged, {}},
        {"a negative size", record(-100, {}), F::wrongKeyOrDamaged, {}},
        {"several chunks", MakeContainer(u"p.bin", longData, kKey), F::none, longData},
        {"several chunks cut short by a block", cut, F::wrongKeyOrDamaged, head(longData, 3)},
        {"several chunks and a block after the end", extended, F::wrongKeyOrDamaged, head(boundaryData, 2)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const PipedRun run = DecryptPiped(row.input, kKey);
        EXPECT_EQ(run.outcome.failure, row.failure);
        EXPECT_EQ(run.outcome.sentBeforeFailure, row.failure != F::none && !row.out.empty());
        EXPECT_EQ(run.out.size(), row.out.size());
        EXPECT_EQ(run.out, row.out);
    }
}

// Standard output a pipe that holds less than a chunk: the run waits in its first write until the test reads.
TEST(StreamDecryptInOrder, a_file_cut_short_after_output_went_out_says_so)
{
    CTempFolder folder;
    const std::u16string input = folder.File(u"c.dat");
    WriteFileBytes(input, MakeContainer(u"p.bin", PatternBytes(3 * kChunk, 6), kKey));
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    fcntl(ends[1], F_SETPIPE_SZ, 4096);
    std::fflush(stdout);
    const int savedOut = dup(STDOUT_FILENO);
    dup2(ends[1], STDOUT_FILENO);
    close(ends[1]);
    DecryptTask task;
    task.inputPath = input;
    task.chooseOutput = [](const std::optional<std::u16string>&) { return OutputChoice{u"-"}; };
    task.chunkBytes = kChunk;
    StreamOutcome outcome;
    std::atomic<bool> done{false};
    std::thread run([&] {
        outcome = StreamDecryptInOrder(task, MakeKeyBytes(kKey));
        done = true;
    });
    char byte = 0;
    pollfd first{ends[0], POLLIN, 0};  // a run that sends nothing must not leave this test waiting
    EXPECT_TRUE(poll(&first, 1, 20000) == 1 && read(ends[0], &byte, 1) == 1);
    std::filesystem::resize_file(ToFsPath(input), kChunk);
    fcntl(ends[0], F_SETFL, O_NONBLOCK);
    for (char buffer[4096];;) {
        const bool finished = done;  // taken first: once the run has ended, one more read empties the pipe
        if (read(ends[0], buffer, sizeof buffer) <= 0 && finished) break;
    }
    run.join();
    dup2(savedOut, STDOUT_FILENO);
    for (const int fd : {savedOut, ends[0]}) close(fd);
    EXPECT_EQ(outcome.failure, StreamFailure::inputChanged);
    EXPECT_TRUE(outcome.sentBeforeFailure);
}

#endif

}  // namespace
}  // namespace quorvane::test
