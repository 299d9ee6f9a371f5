// Filling the source file list through the open chooser.
#include <cwchar>

#include "tests/e2e/app_user.h"
#include "tests/e2e/scenario.h"

namespace quorvane::e2e {

namespace {

using Entries = std::vector<std::wstring>;

std::string Show(const Entries& entries)
{
    std::string text = "[";
    for (const auto& e : entries) text.append(" \"").append(Utf8(e)).append("\"");
    return text + " ]";
}

void CheckList(CQuorvaneUser& user, const Entries& expected, const std::string& when)
{
    const Entries actual = user.SourceList();
    Check(actual == expected, "source list " + when + ": " + Show(actual) + ", expected " + Show(expected));
}

}  // namespace

QV_SCENARIO(choosing_one_file_lists_its_full_path)
{
    const auto file = ctx.folder / L"報告書.txt";
    WriteBytes(file, Pattern(10, 1));
    CQuorvaneUser user(ctx.exe, ctx.folder);
    user.ChooseSources(Wide(file));
    CheckList(user, {Wide(file)}, "after choosing one file");
    user.ExitWithButton();
}

QV_SCENARIO(choosing_several_files_joins_folder_and_names)
{
    const auto folder = ctx.folder / L"日本語フォルダ";
    std::filesystem::create_directories(folder);
    const Entries names = {L"b.bin", L"データ①.txt", L"a.txt"};
    for (const auto& n : names) WriteBytes(folder / n, Pattern(5, 2));
    CQuorvaneUser user(ctx.exe, folder);
    user.ChooseSourcesIn(folder, L"\"b.bin\" \"データ①.txt\" \"a.txt\"");
    CheckList(user, {Wide(folder / L"b.bin"), Wide(folder / L"データ①.txt"), Wide(folder / L"a.txt")},
              "after choosing three files");
    user.ExitWithButton();
}

}  // namespace quorvane::e2e

namespace quorvane::e2e {

QV_SCENARIO(cancel_keeps_the_list_and_enter_on_the_list_opens_the_chooser)
{
    const auto a = ctx.folder / L"a.txt", b = ctx.folder / L"b.txt";
    WriteBytes(a, Pattern(3, 1));
    WriteBytes(b, Pattern(3, 2));
    CQuorvaneUser user(ctx.exe, ctx.folder);
    user.ChooseSourcesIn(ctx.folder, L"\"a.txt\" \"b.txt\"");
    CheckList(user, {Wide(a), Wide(b)}, "after choosing two files");
    user.ChooseSources(Wide(b));
    CheckList(user, {Wide(b)}, "after a new choice replaced the old one");

    user.Press(kSelectSource);
    user.CancelChooser(user.ExpectChooser());
    CheckList(user, {Wide(b)}, "after a cancelled chooser");

    // "元ファイル" is the default button, so Enter on the list opens the chooser.
    PressKey(GetDlgItem(user.Main(), kFileList), VK_RETURN);
    user.CancelChooser(user.ExpectChooser());
    CheckList(user, {Wide(b)}, "after Enter and a cancel");
    user.ExitWithButton();
}

QV_SCENARIO(several_files_in_a_root_folder_get_a_doubled_backslash)
{
    // The join adds its backslash whatever the folder ends with; the platform
    // still opens "C:\\name", so encrypting such an entry works.
    const std::filesystem::path root = L"C:\\";
    const std::wstring stem = L"qv-e2e-" + std::to_wstring(GetCurrentProcessId());
    const auto one = root / (stem + L"-1.txt"), two = root / (stem + L"-2.txt");
    WriteBytes(one, Pattern(16, 1));
    WriteBytes(two, Pattern(17, 2));
    struct Cleanup {
        std::filesystem::path files[4];
        ~Cleanup()
        {
            std::error_code ignored;
            for (auto& f : files) std::filesystem::remove(f, ignored);
        }
    } cleanup{{one, two, root / (stem + L"-1.dat"), root / (stem + L"-2.dat")}};

    CQuorvaneUser user(ctx.exe, root);
    user.ChooseSourcesIn(root, L"\"" + stem + L"-1.txt\" \"" + stem + L"-2.txt\"");
    CheckList(user, {L"C:\\\\" + stem + L"-1.txt", L"C:\\\\" + stem + L"-2.txt"}, "for files in C:\\");

    user.Press(kEncrypt);
    user.EnterKey(L"key");
    user.ConfirmChooser(user.ExpectChooser());
    user.ConfirmChooser(user.ExpectChooser());
    user.ExpectIdle();
    // Stored names are the text after the last backslash: "<stem>-N.txt".
    const std::uintmax_t units = stem.size() + 6;
    const auto length = [&](std::uintmax_t data) { return (8 + 2 * units + data) / 8 * 8 + 8; };
    Check(std::filesystem::file_size(root / (stem + L"-1.dat")) == length(16), "container of the first root file");
    Check(std::filesystem::file_size(root / (stem + L"-2.dat")) == length(17), "container of the second root file");
    user.ExitWithButton();
}

}  // namespace quorvane::e2e

namespace quorvane::e2e {

namespace {

// `count` quoted names in `folder`, the entries they should give, and the
// code units the chooser needs for them: folder, names, their NULs and one more.
std::wstring ManyNames(const std::filesystem::path& folder, int count, std::vector<std::wstring>& entries,
                       std::size_t& resultUnits)
{
    std::wstring typed;
    resultUnits = Wide(folder).size() + 2;
    for (int i = 0; i < count; ++i) {
        wchar_t name[64];
        swprintf(name, 64, L"file-%05d-とても長いファイルの名前です.txt", i);
        typed.append(L"\"").append(name).append(L"\" ");
        entries.push_back(Wide(folder / name));
        resultUnits += std::wcslen(name) + 1;
    }
    return typed;
}

}  // namespace

QV_SCENARIO(many_files_fit_the_chooser_and_too_many_get_a_notice)
{
    CQuorvaneUser user(ctx.exe, ctx.folder);
    constexpr std::size_t kBufferUnits = 32768;
    // Far beyond one path's 260 units, well within the open chooser's buffer.
    std::vector<std::wstring> fitting;
    std::size_t units = 0;
    const std::wstring few = ManyNames(ctx.folder, 400, fitting, units);
    Check(units > 10000 && units < kBufferUnits, "400 names should need about 12,000 units");
    user.ChooseSourcesIn(ctx.folder, few);
    CheckList(user, fitting, "after choosing 400 files");

    std::vector<std::wstring> tooMany;
    const std::wstring typed = ManyNames(ctx.folder, 1200, tooMany, units);
    Check(units > kBufferUnits, "1,200 names should need more than the buffer holds");
    user.Press(kSelectSource);
    const HWND chooser = user.ExpectChooser();
    user.GoToFolder(chooser, ctx.folder);
    SetText(GetDlgItem(chooser, kChooserName), typed);
    Click(chooser, IDOK);
    WaitGone(user.Pid(), chooser);
    user.ExpectMessage(L"通知", L"選択したファイルが多すぎます");
    CheckList(user, fitting, "after a selection too long for the chooser");
    user.ExpectIdle();
    user.ExitWithButton();
}

}  // namespace quorvane::e2e
