// The command line's streaming decrypt against the window's reader, on real
// files: for any record and any chunk size both must accept or refuse alike,
// restore the same bytes under the same stored name, and a refusal must leave
// the destination as it was with no temporary file behind.
//
// Input: chunk selector (chunks of 8 to 256 bytes), then the plaintext record,
// which is enciphered under a fixed key and written as the container file.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "cipher/blowfish_cipher.h"
#include "cli/stream_jobs.h"
#include "jobs/platform_file.h"
#include "tests/fuzz/record_oracle.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const Bytes kSentinel = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};

// tmpfs where there is one: every run writes, syncs and renames a file.
const fs::path& WorkFolder()
{
    static const fs::path folder = [] {
        const char* base = std::getenv("QUORVANE_FUZZ_TMP");
        fs::path root = base                     ? fs::path(base)
                        : fs::exists("/dev/shm") ? fs::path("/dev/shm")
                                                 : fs::temp_directory_path();
        fs::path f = root / ("quorvane-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(f);
        std::atexit([] {
            std::error_code e;
            fs::remove_all(WorkFolder(), e);
        });
        return f;
    }();
    return folder;
}

void Write(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    FUZZ_REQUIRE(out.good());
}

Bytes Read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > (1u << 20)) return 0;
    const std::size_t chunkBytes = 8 * (1 + data[0] % 32);
    Bytes record(data + 1, data + size);
    record.resize(quorvane::AlignedLength(std::uint32_t(record.size())), 0);

    const quorvane::CSecureBuffer key = quorvane::MakeKeyBytes(u"fuzz key 鍵");
    Bytes container(record.size());
    quorvane::CBlowfishCipher cipher;
    cipher.SetKey(key.Data(), std::int32_t(key.Size()));
    if (!record.empty()) cipher.EncodeBlocks(record.data(), container.data(), std::uint32_t(record.size()));

    const fs::path input = WorkFolder() / "c.dat";
    const fs::path output = WorkFolder() / "out.bin";
    Write(input, container);
    Write(output, kSentinel);

    quorvane::ContainerContents contents;
    const bool accepted = !record.empty() && quorvane::fuzz::CheckReader(record.data(), record.size(), &contents);

    std::optional<std::optional<std::u16string>> offered;
    quorvane::cli::DecryptTask task;
    task.inputPath = quorvane::FromFsPath(input);
    task.replaceExisting = true;
    task.chunkBytes = chunkBytes;
    task.chooseOutput = [&](const std::optional<std::u16string>& storedName) {
        offered = storedName;
        return storedName ? quorvane::FromFsPath(output) : std::u16string();
    };
    const quorvane::cli::StreamOutcome outcome = quorvane::cli::StreamDecryptFile(task, key);

    if (accepted && offered && *offered) {
        FUZZ_REQUIRE(outcome.failure == quorvane::cli::StreamFailure::none);
        FUZZ_REQUIRE(**offered == contents.storedName);
        const Bytes restored = Read(output);
        FUZZ_REQUIRE(restored.size() == std::size_t(contents.dataSize));
        FUZZ_REQUIRE(std::equal(restored.begin(), restored.end(), record.begin() + contents.dataOffset));
    } else if (accepted) {
        // Only a name too long to gather is not offered; nothing is written then.
        FUZZ_REQUIRE(offered && !*offered && contents.nameBytes / 2 > 32 * 1024);
        FUZZ_REQUIRE(outcome.failure == quorvane::cli::StreamFailure::noUsableName);
        FUZZ_REQUIRE(Read(output) == kSentinel);
    } else {
        FUZZ_REQUIRE(outcome.failure == quorvane::cli::StreamFailure::wrongKeyOrDamaged);
        FUZZ_REQUIRE(Read(output) == kSentinel);
    }
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(WorkFolder())) ++entries;
    FUZZ_REQUIRE(entries == 2);  // the container and the destination, no temporary file
    return 0;
}
