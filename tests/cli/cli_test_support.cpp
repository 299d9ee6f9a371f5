#include "tests/cli/cli_test_support.h"

#include <algorithm>
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

std::u16string CScratchFolder::Path() const
{
    return FromFsPath(test::CTempFolder::Path());
}

std::vector<std::u16string> CScratchFolder::Listing() const
{
    std::vector<std::u16string> entries;
    const std::filesystem::path& root = test::CTempFolder::Path();
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::u16string line = FromFsPath(entry.path().lexically_relative(root));
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

void WriteText(const std::u16string& path, const std::string& utf8)
{
    test::WriteFileBytes(path, Bytes(utf8.begin(), utf8.end()));
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
    return test::ReadFileBytes(saved);
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

std::string Utf8(std::u16string_view text)
{
    return Utf16ToUtf8(text);
}

std::u16string Numbered(std::u16string_view stem, std::size_t number, std::u16string_view suffix)
{
    const std::string digits = std::to_string(number);
    std::u16string name(stem);
    name.append(digits.begin(), digits.end());
    name.append(suffix);
    return name;
}

}  // namespace quorvane::clitest
