// Stages the windows for the README's pictures. For each one it prints
//   SHOT <name> <left> <top> <right> <bottom>
// and waits for a line on its input, sent once the picture has been taken.
#include <cstdio>

#include "tests/e2e/app_user.h"
#include "tests/e2e/pose.h"

namespace quorvane::e2e {

namespace {

void Shot(const char* name, HWND window)
{
    // Paint now, so the picture shows what the window holds.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(300);
    const RECT r = WindowRect(window);
    std::printf("SHOT %s %ld %ld %ld %ld\n", name, r.left, r.top, r.right, r.bottom);
    std::fflush(stdout);
    char line[64];
    Check(std::fgets(line, sizeof line, stdin) != nullptr, "the picture taker went away");
}

}  // namespace

void RunPose(const std::wstring& exe, const std::filesystem::path& folder)
{
    const auto documents = folder / L"書類";
    std::filesystem::create_directories(documents);
    const wchar_t* names[] = {L"見積書.xlsx", L"報告書_2026年度.docx", L"打ち合わせメモ.txt", L"写真.jpg"};
    for (const wchar_t* n : names) WriteBytes(documents / n, Pattern(100, 1));

    CQuorvaneUser user(exe, documents);
    user.ChooseSourcesIn(documents, L"\"見積書.xlsx\" \"報告書_2026年度.docx\" \"打ち合わせメモ.txt\" \"写真.jpg\"");
    Shot("main", user.Main());

    user.Press(kEncrypt);
    const HWND prompt = user.ExpectKeyPrompt();
    const HWND field = GetDlgItem(prompt, kKeyEdit);
    TypeChars(field, L"ひみつの鍵2026");
    WaitForText(field, L"ひみつの鍵2026");
    Shot("key", prompt);
    Click(prompt, IDCANCEL);
    WaitGone(user.Pid(), prompt);

    user.Press(kShowAbout);
    const HWND about = user.NextDialog();
    Shot("about", about);
    Click(about, IDOK);
    WaitGone(user.Pid(), about);
    user.ExitWithButton();
}

}  // namespace quorvane::e2e
