#include "tests/cli/cli_test_support.h"

#include <algorithm>
#include <stdexcept>

#include "cipher/blowfish_cipher.h"
#include "container/container_record.h"
#include "container/text_codec.h"
#include "jobs/platform_file.h"

namespace quorvane::clitest {

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

void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
}

Bytes BuiltContainer(std::u16string_view storedName, const Bytes& data, const std::u16string& key)
{
    Bytes record(8, 0);
    PutLe32(record, 0, static_cast<std::uint32_t>(data.size()));
    PutLe32(record, 4, static_cast<std::uint32_t>(2 * storedName.size()));
    for (char16_t unit : storedName) record.insert(record.end(), {std::uint8_t(unit), std::uint8_t(unit >> 8)});
    record.insert(record.end(), data.begin(), data.end());
    record.resize(record.size() / 8 * 8 + 8, 0);
    return EncipherRecord(record, key);
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
