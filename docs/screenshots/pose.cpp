// Stages Quorvane's windows for the README's pictures (scripts/screenshots): the main window with
// a filled list, the key prompt, the about box and the progress of a long pass. For each it prints
//   SHOT name left top right bottom
// and waits for a line on its input, sent once the picture has been taken.
//   quorvane_pose PATH-TO-Quorvane.exe
#include <cstdio>

#include "tests/e2e/driver.h"

namespace quorvane::e2e {

void Shot(const char* name, HWND window)
{
    // Painted now, so the picture shows what the window holds.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(300);
    const RECT r = Rect(window);
    std::printf("SHOT %s %ld %ld %ld %ld\n", name, r.left, r.top, r.right, r.bottom);
    std::fflush(stdout);
    char line[64];
    Check(std::fgets(line, sizeof line, stdin) != nullptr, "the picture taker went away");
}

void Pose(const std::wstring& exe, const fs::path& folder)
{
    std::wstring typed;
    for (const wchar_t* name : {L"見積書.xlsx", L"報告書_2026年度.docx", L"打ち合わせメモ.txt", L"写真.jpg"}) {
        test::WriteFileBytes((folder / name).u16string(), test::PatternBytes(100, 1));
        typed += L"\"" + std::wstring(name) + L"\" ";
    }
    CUser user(exe, folder);
    user.ChooseSources(folder, typed);
    Shot("main", user.Main());
    user.Press(kEncrypt);
    const HWND prompt = user.NextDialog(L"キー入力");
    user.Type(GetDlgItem(prompt, kKeyEdit), L"ひみつの鍵2026");
    Shot("key", prompt);
    user.Close(prompt);
    user.Press(kShowAbout);
    const HWND about = user.NextDialog(L"バージョン情報");
    Shot("about", about);
    user.Close(about, IDOK);

    // A file large enough for its pass to show the progress, held there for the picture, then stopped.
    const fs::path large = folder / L"会議の録画.mp4";
    WriteLargeFile(large, 300);
    user.ChooseSources(folder, large.wstring());
    user.EnterKey(L"ひみつの鍵2026", kEncrypt);
    user.Choose(L"会議の録画.dat");
    const HWND progress = user.NextDialog(L"進行状況");
    {
        const CHeldWork held(user.Main());
        Shot("progress", progress);
        user.Click(progress, IDCANCEL);
        Poll("the stop", [&] { return !IsWindowEnabled(GetDlgItem(progress, IDCANCEL)); });
    }
    user.WaitGone(progress);
    user.Exit();
}

}  // namespace quorvane::e2e

int wmain(int argc, wchar_t** argv)
{
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    const std::filesystem::path folder = std::filesystem::path(temp) / L"書類";
    std::filesystem::create_directories(folder);
    try {
        quorvane::e2e::Pose(quorvane::test::HostPath(argc == 2 ? quorvane::e2e::Utf8(argv[1]) : "").wstring(), folder);
        std::filesystem::remove_all(folder);
        return 0;
    } catch (const std::exception& e) {
        std::printf("FAIL pose: %s\n", e.what());
        return 1;
    }
}
