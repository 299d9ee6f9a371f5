#include "tests/cli/cli_test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>

#include "cipher/blowfish_cipher.h"
#include "container/container_record.h"
#include "container/text_codec.h"
#include "jobs/file_jobs.h"
#include "jobs/job_window.h"
#include "jobs/platform_file.h"

namespace quorvane::clitest {

namespace {

// The window reduced to what the encrypt job asks: one key, one source, one save path.
class CScriptedWindow : public CJobWindow {
public:
    CScriptedWindow(std::u16string source_, std::u16string key_, std::u16string savePath_)
        : source(std::move(source_)), key(std::move(key_)), savePath(std::move(savePath_))
    {
    }
    int GetSourceCount() override { return 1; }
    std::u16string GetSourceEntry(int) override { return source; }
    int PromptKey(CSecureText& keyText) override
    {
        keyText.Assign(key);
        return kResultOk;
    }
    int ChooseSavePath(std::u16string_view, std::u16string& chosenPath) override
    {
        chosenPath = savePath;
        return kResultOk;
    }
    void ShowMessage(std::u16string_view text, std::u16string_view) override { messages.push_back(Utf8(text)); }

    std::vector<std::string> messages;

private:
    std::u16string source, key, savePath;
};

}  // namespace

CScratchFolder::CScratchFolder()
{
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path = std::filesystem::temp_directory_path() /
           ("quorvane-cli-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path);
}

CScratchFolder::~CScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::u16string CScratchFolder::File(std::u16string_view name) const { return FromFsPath(path / ToFsPath(name)); }

std::u16string CScratchFolder::FileIn(std::u16string_view folder, std::u16string_view name) const
{
    std::filesystem::create_directories(path / ToFsPath(folder));
    return FromFsPath(path / ToFsPath(folder) / ToFsPath(name));
}

std::u16string CScratchFolder::Path() const { return FromFsPath(path); }

std::vector<std::u16string> CScratchFolder::Listing() const
{
    std::vector<std::u16string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
        std::u16string line = FromFsPath(entry.path().lexically_relative(path));
        if (entry.is_regular_file()) {
            const std::string size = std::to_string(entry.file_size());
            line.push_back(u' ');
            line.append(size.begin(), size.end());
        }
        entries.push_back(std::move(line));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

Bytes ReadBytes(const std::u16string& path)
{
    std::ifstream in(ToFsPath(path), std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + Utf8(path));
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::u16string& path, const Bytes& bytes)
{
    std::ofstream out(ToFsPath(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + Utf8(path));
}

void WriteText(const std::u16string& path, const std::string& utf8)
{
    WriteBytes(path, Bytes(utf8.begin(), utf8.end()));
}

bool Exists(const std::u16string& path)
{
    std::error_code ignored;
    return std::filesystem::exists(ToFsPath(path), ignored);
}

Bytes Pattern(std::size_t size, std::uint32_t seed)
{
    Bytes bytes(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return bytes;
}

namespace {

// The window's list holds names whose folder ends at a backslash; run from the
// source's folder, the job sees the bare name and stores it on every platform.
class CWorkingFolder {
public:
    explicit CWorkingFolder(const std::filesystem::path& folder) : previous(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder);
    }
    ~CWorkingFolder()
    {
        std::error_code ignored;
        std::filesystem::current_path(previous, ignored);
    }

private:
    std::filesystem::path previous;
};

}  // namespace

Bytes JobContainer(const std::u16string& source, const std::u16string& key)
{
    CScratchFolder elsewhere;
    const std::u16string saved = elsewhere.File(u"job.dat");
    const std::filesystem::path sourcePath = ToFsPath(source);
    CWorkingFolder inSourceFolder(sourcePath.parent_path());
    CScriptedWindow window(FromFsPath(sourcePath.filename()), key, saved);
    if (RunEncryptJob(window) != kJobDone || !window.messages.empty())
        throw std::runtime_error("the encrypt job failed on " + Utf8(source));
    return ReadBytes(saved);
}

Bytes BuiltContainer(std::u16string_view storedName, const Bytes& data, const std::u16string& key)
{
    const CSecureBuffer record = BuildContainerRecord(storedName, data.data(), static_cast<std::int32_t>(data.size()));
    return EncipherRecord(Bytes(record.Data(), record.Data() + record.Size()), key);
}

Bytes EncipherRecord(Bytes record, const std::u16string& key)
{
    const CSecureBuffer keyBytes = MakeKeyBytes(key);
    CBlowfishCipher cipher;
    cipher.SetKey(keyBytes.Data(), static_cast<std::int32_t>(keyBytes.Size()));
    record.resize(AlignedLength(static_cast<std::uint32_t>(record.size())));
    cipher.EncodeBlocks(record.data(), record.data(), static_cast<std::uint32_t>(record.size()));
    return record;
}

std::string Utf8(std::u16string_view text) { return Utf16ToUtf8(text); }

std::u16string Numbered(std::u16string_view stem, std::size_t number, std::u16string_view suffix)
{
    const std::string digits = std::to_string(number);
    std::u16string name(stem);
    name.append(digits.begin(), digits.end());
    name.append(suffix);
    return name;
}

}  // namespace quorvane::clitest
