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
