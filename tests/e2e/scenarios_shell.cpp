// Starting and ending the program, and the about box.
#include "tests/e2e/app_user.h"
#include "tests/e2e/scenario.h"

namespace quorvane::e2e {

namespace {

void CheckMainWindowAtRest(CQuorvaneUser& user)
{
    const HWND main = user.Main();
    CheckText(ItemText(main, kSelectSource), L"元ファイル", "source button");
    CheckText(ItemText(main, kEncrypt), L"暗号化", "encrypt button");
    CheckText(ItemText(main, kDecrypt), L"復号化", "decrypt button");
    CheckText(ItemText(main, IDCANCEL), L"終了(&X)", "exit button");
    CheckText(ItemText(main, kShowAbout), L"ﾊﾞｰｼﾞｮﾝ情報(&A)", "about button");
    Check(user.SourceList().empty(), "the source list starts empty");
    const LONG style = GetWindowLongW(main, GWL_STYLE);
    Check((style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX)) == (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
          "main window has caption, system menu and minimise box");
    Check((style & (WS_MAXIMIZEBOX | WS_THICKFRAME)) == 0, "main window can be neither maximised nor resized");
}

}  // namespace

QV_SCENARIO(exit_button_ends_with_code_2)
{
    // Arguments are ignored: the program starts as it always does.
    CQuorvaneUser user(ctx.exe, ctx.folder, L"--encrypt C:\\nothing.txt /x");
    CheckMainWindowAtRest(user);
    user.ExitWithButton();
}

QV_SCENARIO(escape_ends_with_code_2)
{
    CQuorvaneUser user(ctx.exe, ctx.folder);
    // Escape reaches the dialog keyboard handling through the loop's filter.
    PressKey(GetDlgItem(user.Main(), kSelectSource), VK_ESCAPE);
    user.ExpectExitCode(2);
}

QV_SCENARIO(close_box_ends_with_code_2)
{
    CQuorvaneUser user(ctx.exe, ctx.folder);
    PostMessageW(user.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    user.ExpectExitCode(2);
}

}  // namespace quorvane::e2e

namespace quorvane::e2e {

namespace {

// Centred means the centres agree up to the halving's rounding.
void CheckCentredOn(HWND dialog, HWND on, const std::string& what)
{
    const RECT d = WindowRect(dialog), o = WindowRect(on);
    const long dx = (d.left + d.right) - (o.left + o.right), dy = (d.top + d.bottom) - (o.top + o.bottom);
    Check(dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2, what + " is not centred on its owner");
}

HWND FocusOf(HWND dialog)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    return info.hwndFocus;
}

BOOL CALLBACK FindIconStatic(HWND child, LPARAM param)
{
    if (ClassName(child) == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        *reinterpret_cast<HWND*>(param) = child;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

QV_SCENARIO(about_box_shows_version_and_closes_with_ok_or_escape)
{
    CQuorvaneUser user(ctx.exe, ctx.folder);
    user.Press(kShowAbout);
    HWND about = user.NextDialog();
    CheckText(Title(about), L"バージョン情報", "about box title");
    CheckText(ItemText(about, kStaticText), L"Quorvane Application v1.0\n\nCopyright (C) 2026 Quorvane developers",
              "about text");
    CheckText(ItemText(about, IDOK), L"O&K", "about button");
    HWND icon = nullptr;
    EnumChildWindows(about, FindIconStatic, reinterpret_cast<LPARAM>(&icon));
    Check(icon != nullptr && SendMessageW(icon, STM_GETICON, 0, 0) != 0, "the about box shows the icon");
    CheckCentredOn(about, user.Main(), "the about box");
    Check(FocusOf(about) == GetDlgItem(about, IDOK), "the focus starts on O&K");
    Check(!IsWindowEnabled(user.Main()), "the main window is disabled while the box is open");
    Click(about, IDOK);
    WaitGone(user.Pid(), about);

    user.Press(kShowAbout);
    about = user.NextDialog();
    PressKey(GetDlgItem(about, IDOK), VK_ESCAPE);
    WaitGone(user.Pid(), about);
    user.ExitWithButton();
}

QV_SCENARIO(key_prompt_is_centred_focused_and_limited_to_its_width)
{
    CQuorvaneUser user(ctx.exe, ctx.folder);
    user.Press(kEncrypt);
    const HWND prompt = user.ExpectKeyPrompt();
    const HWND field = GetDlgItem(prompt, kKeyEdit);
    CheckCentredOn(prompt, user.Main(), "the key prompt");
    Check(FocusOf(prompt) == field, "the focus starts in the key field");
    CheckText(ItemText(prompt, IDOK), L"開始(&X)", "start button");
    CheckText(ItemText(prompt, IDCANCEL), L"ｷｬﾝｾﾙ(&C)", "cancel button");
    Check((GetWindowLongW(field, GWL_STYLE) & ES_PASSWORD) == 0, "the key is shown as typed");

    // The field does not scroll: it stops taking characters once they fill its width.
    const std::wstring flood(200, L'W');
    TypeChars(field, flood);
    PostMessageW(field, EM_SETSEL, 0, 0);  // processed after the typing: marks its end
    DWORD start = 1, end = 1;
    const ULONGLONG deadline = GetTickCount64() + kStepTimeoutMs;
    while (start != 0 || end != 0) {
        Check(GetTickCount64() < deadline, "the typing was never processed");
        Sleep(20);
        SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    }
    const std::size_t taken = Text(field).size();
    Check(taken > 10 && taken < flood.size(),
          "the field took " + std::to_string(taken) + " of " + std::to_string(flood.size()) + " characters");
    Click(prompt, IDCANCEL);
    WaitGone(user.Pid(), prompt);
    user.ExpectIdle();
    user.ExitWithButton();
}

}  // namespace quorvane::e2e
