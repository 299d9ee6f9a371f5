// The encrypt and decrypt jobs as the user sees them: key prompt, save
// choosers, messages, and the files they leave behind.
#include <cstdint>

#include "cipher/blowfish_cipher.h"
#include "tests/e2e/app_user.h"
#include "tests/e2e/scenario.h"

namespace quorvane::e2e {

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

const std::wstring kTitleNotice = L"通知";
const std::wstring kTitleError = L"エラー";
const std::wstring kNoFiles = L"ファイルを指定してください";

// The container's length, computed here from the format's rule rather than
// taken from the program: header, UTF-16 name, data, then 1 to 8 zero bytes.
std::uintmax_t ContainerLength(std::size_t nameUnits, std::size_t dataSize)
{
    const std::uintmax_t plain = 8 + 2 * nameUnits + dataSize;
    return plain + 8 - plain % 8;
}

void CheckSameBytes(const fs::path& actual, const Bytes& expected, const std::string& what)
{
    const Bytes bytes = ReadBytes(actual);
    Check(bytes == expected, what + ": " + std::to_string(bytes.size()) + " bytes differ from the " +
                                 std::to_string(expected.size()) + " expected");
}

// The first 8 bytes a container would start with if nothing were enciphered.
Bytes PlainHeader(std::size_t dataSize, std::size_t nameUnits)
{
    Bytes head(8);
    for (int i = 0; i < 4; ++i) {
        head[i] = static_cast<unsigned char>(dataSize >> (8 * i));
        head[4 + i] = static_cast<unsigned char>((2 * nameUnits) >> (8 * i));
    }
    return head;
}

void CheckContainer(const fs::path& container, std::size_t nameUnits, std::size_t dataSize)
{
    Check(fs::exists(container), "container missing: " + Utf8(Wide(container)));
    const Bytes bytes = ReadBytes(container);
    Check(bytes.size() == ContainerLength(nameUnits, dataSize),
          Utf8(Wide(container)) + " is " + std::to_string(bytes.size()) + " bytes, expected " +
              std::to_string(ContainerLength(nameUnits, dataSize)));
    Check(!std::equal(bytes.begin(), bytes.begin() + 8, PlainHeader(dataSize, nameUnits).begin()),
          "the container's first block is not enciphered");
}

// Deciphers a container here, under the UTF-16LE code units of `key` exactly
// as they were typed, and checks every field of the record. A key that the
// prompt altered on capture would still round-trip through the program itself;
// this catches it.
void CheckDecipheredUnder(const fs::path& container, const std::wstring& key, const std::wstring& storedName,
                          const Bytes& data)
{
    Bytes keyBytes;
    for (const wchar_t unit : key) {
        keyBytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        keyBytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    Bytes record = ReadBytes(container);
    Check(!record.empty() && record.size() % 8 == 0, "container length is not a multiple of 8");
    CBlowfishCipher cipher;
    cipher.SetKey(keyBytes.data(), static_cast<std::int32_t>(keyBytes.size()));
    cipher.DecodeBlocks(record.data(), record.data(), static_cast<std::uint32_t>(record.size()));

    auto le32 = [&](std::size_t at) {
        return std::uint32_t(record[at]) | std::uint32_t(record[at + 1]) << 8 | std::uint32_t(record[at + 2]) << 16 |
               std::uint32_t(record[at + 3]) << 24;
    };
    Check(le32(0) == data.size() && le32(4) == 2 * storedName.size(),
          "the record's size fields under the typed key (was the key captured as typed?)");
    std::wstring name;
    for (std::size_t i = 0; i < storedName.size(); ++i)
        name.push_back(wchar_t(record[8 + 2 * i] | record[9 + 2 * i] << 8));
    CheckText(name, storedName, "stored name under the typed key");
    const std::size_t dataAt = 8 + 2 * storedName.size();
    Check(Bytes(record.begin() + std::ptrdiff_t(dataAt), record.begin() + std::ptrdiff_t(dataAt + data.size())) == data,
          "file bytes under the typed key");
    for (std::size_t i = dataAt + data.size(); i < record.size(); ++i) Check(record[i] == 0, "zero fill");
}

void EncryptOne(CQuorvaneUser& user, const std::wstring& key)
{
    user.Press(kEncrypt);
    user.EnterKey(key);
    user.ConfirmChooser(user.ExpectChooser());
    user.ExpectIdle();
}

}  // namespace

QV_SCENARIO(encrypt_then_decrypt_three_files_with_middle_chooser_cancelled)
{
    const fs::path& f = ctx.folder;
    const Bytes a = Pattern(1000, 3), b = Pattern(77, 4), c;  // c: an empty file
    WriteBytes(f / L"a.txt", a);
    WriteBytes(f / L"b.bin", b);
    WriteBytes(f / L"データ①.txt", c);
    const std::wstring key = L"秘密のキー123";

    CQuorvaneUser user(ctx.exe, f);
    user.ChooseSourcesIn(f, L"\"a.txt\" \"b.bin\" \"データ①.txt\"");
    const std::vector<std::wstring> sources = user.SourceList();
    Check(sources == std::vector<std::wstring>{Wide(f / L"a.txt"), Wide(f / L"b.bin"), Wide(f / L"データ①.txt")},
          "the three sources are listed");

    user.Press(kEncrypt);
    user.EnterKey(key);
    HWND chooser = user.ExpectChooser();
    // The chooser opens in the proposal's folder and shows the name alone.
    CheckText(user.ChooserName(chooser), L"a.dat", "proposed container name");
    user.ConfirmChooser(chooser);
    chooser = user.ExpectChooser();
    CheckText(user.ChooserName(chooser), L"b.dat", "proposed container name");
    user.CancelChooser(chooser);
    chooser = user.ExpectChooser();
    CheckText(user.ChooserName(chooser), L"データ①.dat", "proposed container name");
    user.ConfirmChooser(chooser);
    user.ExpectIdle();  // no message: a skipped file is not a failure

    CheckContainer(f / L"a.dat", 5, a.size());
    Check(!fs::exists(f / L"b.dat"), "the cancelled entry must not be written");
    CheckContainer(f / L"データ①.dat", 8, 0);
    CheckDecipheredUnder(f / L"a.dat", key, L"a.txt", a);
    CheckDecipheredUnder(f / L"データ①.dat", key, L"データ①.txt", c);
    Check(user.SourceList() == sources, "the job leaves the list as it was");

    user.ChooseSourcesIn(f, L"\"a.dat\" \"データ①.dat\"");
    Check(user.SourceList() == std::vector<std::wstring>{Wide(f / L"a.dat"), Wide(f / L"データ①.dat")},
          "the two containers are listed");
    user.Press(kDecrypt);
    user.EnterKey(key);
    chooser = user.ExpectChooser();
    CheckText(user.ChooserName(chooser), L"a.txt", "proposed stored name");
    user.AcceptChooser(chooser, Wide(f / L"out-a.txt"));
    chooser = user.ExpectChooser();
    CheckText(user.ChooserName(chooser), L"データ①.txt", "proposed stored name");
    user.AcceptChooser(chooser, Wide(f / L"out-データ①.txt"));
    user.ExpectIdle();

    CheckSameBytes(f / L"out-a.txt", a, "decrypted a.txt");
    CheckSameBytes(f / L"out-データ①.txt", c, "decrypted empty file");
    user.ExitWithButton();
}

QV_SCENARIO(empty_list_is_noticed_after_key_for_encrypt_and_at_once_for_decrypt)
{
    CQuorvaneUser user(ctx.exe, ctx.folder);
    user.Press(kEncrypt);
    user.EnterKey(L"key");
    user.ExpectMessage(kTitleNotice, kNoFiles);
    user.ExpectIdle();

    user.Press(kDecrypt);
    user.ExpectMessage(kTitleNotice, kNoFiles);  // no key prompt before it
    user.ExpectIdle();

    // A cancelled prompt ends the job without the notice.
    user.Press(kEncrypt);
    const HWND prompt = user.ExpectKeyPrompt();
    Click(prompt, IDCANCEL);
    WaitGone(user.Pid(), prompt);
    user.ExpectIdle();
    user.ExitWithButton();
}

QV_SCENARIO(open_failure_is_reported_and_stops_the_job)
{
    const fs::path& f = ctx.folder;
    WriteBytes(f / L"a.txt", Pattern(40, 5));
    WriteBytes(f / L"c.txt", Pattern(41, 6));
    CQuorvaneUser user(ctx.exe, f);
    // The open chooser returns typed names whether or not the files exist.
    user.ChooseSourcesIn(f, L"\"a.txt\" \"missing.txt\" \"c.txt\"");
    Check(user.SourceList() ==
              std::vector<std::wstring>{Wide(f / L"a.txt"), Wide(f / L"missing.txt"), Wide(f / L"c.txt")},
          "three sources listed, one of them missing");

    user.Press(kEncrypt);
    user.EnterKey(L"key");
    user.ConfirmChooser(user.ExpectChooser());
    user.ExpectMessage(kTitleError, L"開けませんでした");
    user.ExpectIdle();  // the third entry is not processed
    CheckContainer(f / L"a.dat", 5, 40);
    Check(!fs::exists(f / L"c.dat"), "entries after the failure are not processed");

    user.ChooseSources(Wide(f / L"missing.dat"));
    user.Press(kDecrypt);
    user.EnterKey(L"key");
    user.ExpectMessage(kTitleError, L"開けませんでした");
    user.ExpectIdle();
    user.ExitWithButton();
}

QV_SCENARIO(empty_key_is_refused_then_a_real_key_works)
{
    const fs::path& f = ctx.folder;
    const Bytes a = Pattern(300, 7);
    WriteBytes(f / L"a.txt", a);
    CQuorvaneUser user(ctx.exe, f);
    user.ChooseSources(Wide(f / L"a.txt"));

    user.Press(kEncrypt);
    const HWND prompt = user.ExpectKeyPrompt();
    Click(prompt, IDOK);  // "開始(&X)" with nothing typed
    WaitGone(user.Pid(), prompt);
    user.ExpectMessage(kTitleNotice, L"キーを入力してください");
    user.EnterKey(L"ｶﾀｶﾅ と 全角ＡＢＣ");
    user.ConfirmChooser(user.ExpectChooser());
    user.ExpectIdle();
    CheckContainer(f / L"a.dat", 5, a.size());
    CheckDecipheredUnder(f / L"a.dat", L"ｶﾀｶﾅ と 全角ＡＢＣ", L"a.txt", a);

    user.ChooseSources(Wide(f / L"a.dat"));
    user.Press(kDecrypt);
    user.EnterKey(L"ｶﾀｶﾅ と 全角ＡＢＣ");
    user.AcceptChooser(user.ExpectChooser(), Wide(f / L"back.txt"));
    user.ExpectIdle();
    CheckSameBytes(f / L"back.txt", a, "decrypted under the same key");
    user.ExitWithButton();
}

QV_SCENARIO(wrong_key_or_foreign_file_is_reported_and_nothing_written)
{
    const fs::path& f = ctx.folder;
    WriteBytes(f / L"a.txt", Pattern(500, 8));
    WriteBytes(f / L"plain.bin", Pattern(64, 9));  // whole blocks, but no container
    CQuorvaneUser user(ctx.exe, f);
    user.ChooseSources(Wide(f / L"a.txt"));
    EncryptOne(user, L"正しいキー");

    const std::wstring wrong = L"キーが違うか、ファイルが壊れています";
    for (const wchar_t* source : {L"a.dat", L"plain.bin", L"a.txt"}) {
        user.ChooseSources(Wide(f / source));
        user.Press(kDecrypt);
        user.EnterKey(L"違うキー");
        user.ExpectMessage(kTitleError, wrong);  // before any save chooser
        user.ExpectIdle();
    }
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(f)) ++entries;
    Check(entries == 3, "no output may be written for a wrong key (folder has " + std::to_string(entries) + " files)");
    user.ExitWithButton();
}

QV_SCENARIO(cancelled_key_prompt_ends_the_job_silently)
{
    const fs::path& f = ctx.folder;
    WriteBytes(f / L"a.txt", Pattern(20, 10));
    CQuorvaneUser user(ctx.exe, f);
    user.ChooseSources(Wide(f / L"a.txt"));

    user.Press(kEncrypt);
    HWND prompt = user.ExpectKeyPrompt();
    TypeChars(GetDlgItem(prompt, kKeyEdit), L"typed");
    Click(prompt, IDCANCEL);  // "ｷｬﾝｾﾙ(&C)"
    WaitGone(user.Pid(), prompt);
    user.ExpectIdle();

    user.Press(kDecrypt);
    prompt = user.ExpectKeyPrompt();
    PressKey(GetDlgItem(prompt, kKeyEdit), VK_ESCAPE);
    WaitGone(user.Pid(), prompt);
    user.ExpectIdle();
    Check(!fs::exists(f / L"a.dat"), "nothing is written after a cancel");
    user.ExitWithButton();
}

QV_SCENARIO(decrypting_onto_an_existing_file_asks_before_replacing_it)
{
    const fs::path& f = ctx.folder;
    const Bytes original = Pattern(123, 11);
    WriteBytes(f / L"a.txt", original);
    CQuorvaneUser user(ctx.exe, f);
    user.ChooseSources(Wide(f / L"a.txt"));
    EncryptOne(user, L"key");
    WriteBytes(f / L"a.txt", Pattern(9, 12));  // the original changes after it was encrypted

    user.ChooseSources(Wide(f / L"a.dat"));
    user.Press(kDecrypt);
    user.EnterKey(L"key");
    const HWND chooser = user.ExpectChooser();
    CheckText(user.ChooserName(chooser), L"a.txt", "proposed stored name");
    user.ConfirmOverwrite(chooser, Wide(f / L"a.txt"));
    user.ExpectIdle();
    CheckSameBytes(f / L"a.txt", original, "the replaced file");
    user.ExitWithButton();
}

}  // namespace quorvane::e2e
