#include "tests/e2e/app_user.h"

#include <fstream>
#include <iterator>

namespace quorvane::e2e {

namespace {

bool IsChooser(HWND dialog)
{
    return GetDlgItem(dialog, kChooserName) != nullptr;
}

}  // namespace

CQuorvaneUser::CQuorvaneUser(const std::wstring& exe, const std::filesystem::path& workFolder,
                             const std::wstring& arguments)
    : process_(std::make_unique<CAppProcess>(exe, Wide(workFolder), arguments))
{
    main_ = WaitForTopLevel(Pid(), L"Quorvane");
}

HWND CQuorvaneUser::ExpectChooser()
{
    const HWND dialog = NextDialog();
    Check(IsChooser(dialog), "expected a file chooser, got " + Describe(dialog));
    return dialog;
}

void CQuorvaneUser::AcceptChooser(HWND chooser, std::wstring_view typed)
{
    SetText(GetDlgItem(chooser, kChooserName), typed);
    Click(chooser, IDOK);
    WaitGone(Pid(), chooser);
}

void CQuorvaneUser::ConfirmChooser(HWND chooser)
{
    Click(chooser, IDOK);
    WaitGone(Pid(), chooser);
}

void CQuorvaneUser::ConfirmOverwrite(HWND chooser, std::wstring_view typed)
{
    SetText(GetDlgItem(chooser, kChooserName), typed);
    Click(chooser, IDOK);
    const HWND question = WaitForOwned(Pid(), chooser);
    Check(GetDlgItem(question, IDYES) != nullptr, "expected the replace question, got " + Describe(question));
    Click(question, IDYES);
    WaitGone(Pid(), chooser);
}

void CQuorvaneUser::CancelChooser(HWND chooser)
{
    Click(chooser, IDCANCEL);
    WaitGone(Pid(), chooser);
}

void CQuorvaneUser::GoToFolder(HWND chooser, const std::filesystem::path& folder)
{
    SetText(GetDlgItem(chooser, kChooserName), Wide(folder));
    // Sent, not posted: the names typed next must not reach the box before the chooser has moved.
    DWORD_PTR ignored = 0;
    Check(SendMessageTimeoutW(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                              reinterpret_cast<LPARAM>(GetDlgItem(chooser, IDOK)), SMTO_NORMAL, kStepTimeoutMs,
                              &ignored) != 0,
          "the chooser did not take the folder " + Utf8(Wide(folder)));
    Check(IsWindowVisible(chooser) != FALSE, "the chooser closed on a folder name");
}

void CQuorvaneUser::ChooseSources(std::wstring_view typed)
{
    Press(kSelectSource);
    AcceptChooser(ExpectChooser(), typed);
}

void CQuorvaneUser::ChooseSourcesIn(const std::filesystem::path& folder, std::wstring_view typed)
{
    Press(kSelectSource);
    const HWND chooser = ExpectChooser();
    GoToFolder(chooser, folder);
    AcceptChooser(chooser, typed);
}

HWND CQuorvaneUser::ExpectKeyPrompt()
{
    const HWND dialog = NextDialog();
    CheckText(Title(dialog), L"キー入力", "title of " + Describe(dialog));
    return dialog;
}

void CQuorvaneUser::EnterKey(std::wstring_view key)
{
    const HWND prompt = ExpectKeyPrompt();
    const HWND field = GetDlgItem(prompt, kKeyEdit);
    TypeChars(field, key);
    WaitForText(field, key);
    Click(prompt, IDOK);
    WaitGone(Pid(), prompt);
}

void CQuorvaneUser::ExpectMessage(std::wstring_view title, std::wstring_view text)
{
    const HWND box = NextDialog();
    CheckText(Title(box), title, "message title of " + Describe(box));
    CheckText(ItemText(box, kStaticText), text, "message text");
    Check(GetDlgItem(box, IDOK) != nullptr && GetDlgItem(box, IDCANCEL) == nullptr && GetDlgItem(box, IDYES) == nullptr,
          "the message box should have one OK button");
    Click(box, IDOK);
    WaitGone(Pid(), box);
}

void CQuorvaneUser::ExpectIdle()
{
    Press(kShowAbout);
    const HWND about = WaitForOwned(Pid(), main_);
    CheckText(Title(about), L"バージョン情報", "first dialog after the command ended, " + Describe(about));
    for (const HWND dialog : Dialogs(Pid()))
        Check(dialog == main_ || dialog == about, "still open: " + Describe(dialog));
    Click(about, IDOK);
    WaitGone(Pid(), about);
}

void CQuorvaneUser::ExitWithButton()
{
    Check(IsWindowEnabled(main_) != FALSE, "the main window is still disabled by a dialog");
    const HWND button = GetDlgItem(main_, IDCANCEL);
    CheckText(Text(button), L"終了(&X)", "exit button");
    PostMessageW(button, BM_CLICK, 0, 0);
    ExpectExitCode(2);
}

void CQuorvaneUser::ExpectExitCode(DWORD expected)
{
    const DWORD code = process_->WaitExit();
    Check(code == expected, "exit code " + std::to_string(code) + ", expected " + std::to_string(expected));
    Check(!IsWindow(main_), "the main window outlived the process");
}

std::vector<unsigned char> ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    Check(in.good(), "cannot read " + Utf8(Wide(path)));
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    Check(out.good(), "cannot write " + Utf8(Wide(path)));
}

std::vector<unsigned char> Pattern(std::size_t size, unsigned seed)
{
    static const unsigned char awkward[] = {0x00, 0x0D, 0x0A, 0x1A, 0xFF};
    std::vector<unsigned char> bytes(size);
    unsigned state = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = (i % 7 == 3) ? awkward[(state >> 16) % 5] : static_cast<unsigned char>(state >> 16);
    }
    return bytes;
}

std::wstring Wide(const std::filesystem::path& path)
{
    return path.wstring();
}

}  // namespace quorvane::e2e
