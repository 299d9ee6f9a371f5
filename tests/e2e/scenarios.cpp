// The end-to-end scenarios: each starts Quorvane.exe on the display of a Wine session, works it
// like a user and checks what the user would see and the files left behind.
//   quorvane_e2e SCENARIO PATH-TO-Quorvane.exe
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>

#include "tests/e2e/driver.h"
#include "tests/support/container_maker.h"

namespace quorvane::e2e {

namespace {

using test::Bytes;
using test::PatternBytes;
std::map<std::string, void (*)(const std::wstring& exe, const fs::path& folder)> scenarios;

// Each scenario becomes a test of its own in CMakeLists.txt, which reads the names from here.
#define QV_SCENARIO(name)                                                 \
    void name(const std::wstring& exe, const fs::path& f);                \
    const bool registered_##name = scenarios.emplace(#name, name).second; \
    void name(const std::wstring& exe, const fs::path& f)

void Write(const fs::path& file, const Bytes& bytes)
{
    test::WriteFileBytes(file.u16string(), bytes);
}

// What the program wrote must be the container made here from the format's table, byte for byte:
// a key that the prompt altered on capture would still round-trip through the program, but not here.
void ExpectContainer(const fs::path& file, std::wstring_view key, const fs::path& name, const Bytes& data)
{
    const Bytes expected = test::MakeContainer(name.u16string(), data, fs::path(key).u16string());
    Check(test::ReadFileBytes(file.u16string()) == expected,
          Utf8(file.wstring()) + " is not the container of " + Utf8(name.wstring()));
}

// What the eye checks in a dialog: it is centred on `on` (up to the halving's rounding), every
// control lies inside it, none covers another (a group box frames others), and every text shows
// whole, laid out at the dialogs' font as the control does.
void ExpectTidy(HWND dialog, RECT on)
{
    RECT inside = Rect(dialog), common{};
    const long dx = inside.left + inside.right - on.left - on.right,
               dy = inside.top + inside.bottom - on.top - on.bottom;
    Check(dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2, Describe(dialog) + " is not centred");
    GetClientRect(dialog, &inside);
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&inside), 2);
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ font = SelectObject(dc, CreateFontW(-MulDiv(9, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, 0, 0, 0,
                                                      0, DEFAULT_CHARSET, 0, 0, 0, 0, L"ＭＳ ゴシック"));
    std::vector<RECT> placed;
    std::string failure;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        const std::wstring cls = ClassOf(child), text = Text(child);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        RECT r = Rect(child), need{};
        if (!IntersectRect(&common, &r, &inside) || !EqualRect(&common, &r)) failure += Utf8(text) + " sticks out; ";
        if (cls == L"Button" && (style & BS_TYPEMASK) == BS_GROUPBOX) continue;
        for (const RECT& other : placed)
            if (IntersectRect(&common, &r, &other)) failure += Utf8(text) + " covers another control; ";
        placed.push_back(r);
        if (cls != L"Button" && (cls != L"Static" || (style & SS_TYPEMASK) == SS_ICON)) continue;
        GetClientRect(child, &r);
        const long room = need.right = r.right - (cls == L"Button" ? 4 : 0);  // a button's frame takes a little
        DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | (cls == L"Button" ? DT_SINGLELINE : DT_WORDBREAK));
        if (need.right > room || need.bottom > r.bottom) failure += Utf8(text) + " is cut; ";
    }
    DeleteObject(SelectObject(dc, font));
    ReleaseDC(nullptr, dc);
    Check(failure.empty(), "in " + Describe(dialog) + ": " + failure);
}

}  // namespace

QV_SCENARIO(program_is_a_large_address_aware_32_bit_window_program)
{
    char head[1024] = {};
    std::ifstream(fs::path(exe), std::ios::binary).read(head, sizeof head);
    IMAGE_NT_HEADERS32 nt{};
    const LONG at = reinterpret_cast<IMAGE_DOS_HEADER*>(head)->e_lfanew;
    Check(at > 0 && at + sizeof nt <= sizeof head, "no PE header in " + Utf8(exe + f.filename().wstring()));
    std::memcpy(&nt, head + at, sizeof nt);
    Check(nt.Signature == IMAGE_NT_SIGNATURE && nt.FileHeader.Machine == IMAGE_FILE_MACHINE_I386, "a 32-bit program");
    Check(nt.OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI, "a window program, not a console one");
    Check(nt.FileHeader.Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE, "large-address-aware");
}

QV_SCENARIO(main_window_shows_its_commands_ignores_arguments_and_ends_with_code_2)
{
    CUser user(exe, f, L"--encrypt C:\\nothing.txt /x");
    const wchar_t* buttons[] = {L"元ファイル", L"暗号化", L"復号化", L"終了(&X)", L"ﾊﾞｰｼﾞｮﾝ情報(&A)"};
    const int ids[] = {kSelectSource, kEncrypt, kDecrypt, IDCANCEL, kShowAbout};
    for (int i = 0; i < 5; ++i) CheckText(Text(user.Item(ids[i])), buttons[i], "button");
    Check(user.List().empty(), "the list starts empty");
    const LONG style = GetWindowLongW(user.Main(), GWL_STYLE);
    Check((style & WS_MINIMIZEBOX) && !(style & (WS_MAXIMIZEBOX | WS_THICKFRAME)), "minimise box, fixed size");
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ExpectTidy(user.Main(), work);
    // The focus starts on "元ファイル"; Tab passes over the list, which is no tab stop, to "暗号化".
    Poll("the focus on the first button", [&] { return FocusOf(user.Main()) == user.Item(kSelectSource); });
    user.PressKey(user.Item(kSelectSource), VK_TAB);
    Poll("the focus on the second button", [&] { return FocusOf(user.Main()) == user.Item(kEncrypt); });
    user.Exit();
    for (const bool escape : {true, false}) {  // Escape and the close box end it the same way
        CUser again(exe, f);
        if (escape) again.PressKey(again.Item(kSelectSource), VK_ESCAPE);
        if (!escape) PostMessageW(again.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
        again.ExpectExit(2);
    }
}

QV_SCENARIO(chosen_files_fill_the_list_in_the_choosers_order)
{
    std::vector<std::wstring> listed, many, tooMany;
    std::wstring typed;
    for (const wchar_t* name : {L"見積書.xlsx", L"報告書_2026年度.docx", L"打ち合わせメモ.txt", L"写真.jpg"}) {
        Write(f / name, PatternBytes(100, 1));
        listed.push_back((f / name).wstring());
        typed += L"\"" + std::wstring(name) + L"\" ";
    }
    CUser user(exe, f);
    user.ChooseSources(f, listed[2]);
    Check(user.List() == std::vector{listed[2]}, "one chosen file is listed by its full path");
    user.ChooseSources(f, typed);
    Check(user.List() == listed, "chosen files replace the list, folder joined to each name, in the chooser's order");
    user.Press(kSelectSource);
    user.Choose(nullptr, L"", IDCANCEL);
    // "元ファイル" is the default button, so Enter on the list opens the chooser.
    user.PressKey(user.Item(kFileList), VK_RETURN);
    user.Choose(nullptr, L"", IDCANCEL);
    Check(user.List() == listed, "a cancelled chooser keeps the list");

    // 400 long names need about 12,000 units, far beyond one path; 1,200 need more than the
    // chooser's 32,768 and must be refused with a notice, not a silent cancel.
    for (auto* entries : {&many, &tooMany}) {
        typed.clear();
        for (std::size_t i = 0; i < (entries == &many ? 400 : 1200); ++i) {
            const std::wstring name = L"file-" + std::to_wstring(10000 + i) + L"-とても長いファイルの名前です.txt";
            typed += L"\"" + name + L"\" ";
            entries->push_back((f / name).wstring());
        }
        user.ChooseSources(f, typed);
    }
    user.ExpectMessage(L"通知", L"選択したファイルが多すぎます");
    Check(user.List() == many, "400 chosen files are listed; too many keep the list");

    // A file in a root folder is listed with a doubled backslash, which the platform still opens.
    const std::wstring name = L"qv-e2e-" + std::to_wstring(GetCurrentProcessId());
    Write(L"C:\\" + name + L".txt", PatternBytes(16, 2));
    user.ChooseSources(L"C:\\", L"\"" + name + L".txt\" \"" + name + L".txt\"");
    Check(user.List() == std::vector(2, L"C:\\\\" + name + L".txt"), "C:\\\\name, twice");
    user.Press(kEncrypt);
    user.EnterKey(L"key");
    user.Choose(nullptr);
    user.Choose(nullptr, L"", IDCANCEL);
    user.ExpectIdle();
    ExpectContainer(L"C:\\" + name + L".dat", L"key", name + L".txt", PatternBytes(16, 2));
    for (const wchar_t* end : {L".txt", L".dat"}) fs::remove(L"C:\\" + name + end);
    user.Exit();
}

QV_SCENARIO(about_box_and_key_prompt_are_centred_focused_and_show_whole_texts)
{
    CUser user(exe, f);
    for (const bool escape : {false, true}) {
        user.Press(kShowAbout);
        const HWND about = user.NextDialog(L"バージョン情報"), text = GetDlgItem(about, kStatic);
        CheckText(Text(text), L"Quorvane Application v1.0\n\nCopyright (C) 2026 Quorvane developers", "about");
        CheckText(Text(about, IDOK), L"O&K", "about button");
        Check(SendMessageW(GetWindow(text, GW_HWNDNEXT), STM_GETICON, 0, 0) != 0, "the about box shows the icon");
        ExpectTidy(about, Rect(user.Main()));
        Check(FocusOf(about) == GetDlgItem(about, IDOK), "the focus starts on O&K");
        Check(!IsWindowEnabled(user.Main()), "the main window waits while the box is open");
        user.PressKey(GetDlgItem(about, IDOK), escape ? VK_ESCAPE : VK_RETURN);
        user.WaitGone(about);
    }
    user.Press(kEncrypt);
    const HWND prompt = user.NextDialog(L"キー入力"), field = GetDlgItem(prompt, kKeyEdit);
    CheckText(Text(GetWindow(field, GW_HWNDPREV)) + Text(prompt, IDOK) + Text(prompt, IDCANCEL),
              L"キー開始(&X)ｷｬﾝｾﾙ(&C)", "the prompt's label and buttons");
    ExpectTidy(prompt, Rect(user.Main()));
    Check(FocusOf(prompt) == field, "the focus starts in the key field");
    Check((GetWindowLongW(field, GWL_STYLE) & ES_PASSWORD) == 0, "the key shows as typed");
    // The field does not scroll: it stops taking characters once they fill its width.
    user.Type(field, std::wstring(200, L'W'));
    const std::size_t taken = Text(field).size();
    Check(taken > 20 && taken < 200, "the field took " + std::to_string(taken) + " characters");
    user.Close(prompt);
    user.ExpectIdle();
    user.Exit();
}

QV_SCENARIO(encrypt_then_decrypt_skipping_a_cancelled_file_and_replacing_an_existing_one)
{
    const Bytes a = PatternBytes(1000, 3), empty;
    Write(f / L"a.txt", a);
    Write(f / L"b.bin", PatternBytes(77, 4));
    Write(f / L"データ①.txt", empty);
    const std::wstring key = L"秘密のキー123";
    CUser user(exe, f);
    user.ChooseSources(f, L"\"a.txt\" \"b.bin\" \"データ①.txt\"");
    const auto sources = user.List();
    user.Press(kEncrypt);
    user.EnterKey(key);
    // The chooser opens in the proposal's folder and shows the name alone.
    user.Choose(L"a.dat");
    user.Choose(L"b.dat", L"", IDCANCEL);
    user.Choose(L"データ①.dat");
    user.ExpectIdle();  // a skipped file is no failure: no message
    ExpectContainer(f / L"a.dat", key, L"a.txt", a);
    Check(!fs::exists(f / L"b.dat"), "the cancelled file is not written");
    ExpectContainer(f / L"データ①.dat", key, L"データ①.txt", empty);
    Check(user.List() == sources, "the job leaves the list as it was");

    Write(f / L"a.txt", PatternBytes(9, 5));  // changed since it was encrypted
    user.ChooseSources(f, L"\"a.dat\" \"データ①.dat\"");
    user.Press(kDecrypt);
    user.EnterKey(key);
    user.Choose(L"a.txt", (f / L"a.txt").wstring(), IDYES);
    user.Choose(L"データ①.txt", (f / L"out.txt").wstring());
    user.ExpectIdle();
    Check(test::ReadFileBytes((f / L"a.txt").u16string()) == a &&
              test::ReadFileBytes((f / L"out.txt").u16string()).empty(),
          "the decrypted files are the originals");
    user.Exit();
}

QV_SCENARIO(key_prompt_cancels_silently_refuses_an_empty_key_and_reports_a_capture_without_memory)
{
    Write(f / L"a.txt", PatternBytes(300, 7));
    CUser user(exe, f);
    user.ChooseSources(f, (f / L"a.txt").wstring());
    for (const int command : {kEncrypt, kDecrypt}) {  // "ｷｬﾝｾﾙ(&C)", then Escape
        user.Press(command);
        const HWND prompt = user.NextDialog(L"キー入力");
        user.Type(GetDlgItem(prompt, kKeyEdit), L"typed");
        if (command == kEncrypt) user.Click(prompt, IDCANCEL);
        if (command == kDecrypt) user.PressKey(GetDlgItem(prompt, kKeyEdit), VK_ESCAPE);
        user.WaitGone(prompt);
        user.ExpectIdle();
    }
    Check(!fs::exists(f / L"a.dat"), "nothing is written after a cancel");
    user.Press(kEncrypt);
    user.Close(user.NextDialog(L"キー入力"), IDOK);  // "開始(&X)" with nothing typed
    user.ExpectMessage(L"通知", L"キーを入力してください");
    user.EnterKey(L"ｶﾀｶﾅ と 全角ＡＢＣ");
    user.Choose(nullptr);
    user.ExpectIdle();
    ExpectContainer(f / L"a.dat", L"ｶﾀｶﾅ と 全角ＡＢＣ", L"a.txt", PatternBytes(300, 7));

    user.Press(kEncrypt);
    const HWND prompt = user.NextDialog(L"キー入力");
    // A pasted key of a million units (a message to another process carries up to 2 MB) needs 2 MB
    // in one piece to be captured. The program's free address space is reserved from here, down to
    // smaller pieces, and given back once the prompt has gone.
    constexpr std::size_t kUnits = 1000000, kSmallest = 2 * kUnits & ~std::size_t(0xFFFF);
    user.SetText(GetDlgItem(prompt, kKeyEdit), std::wstring(kUnits, L'k'));
    std::vector<void*> reserved;
    for (std::size_t size = std::size_t(1) << 30; size >= kSmallest;
         size = size > kSmallest ? std::max(size / 2, kSmallest) : 0)
        while (void* at = VirtualAllocEx(user.Process(), nullptr, size, MEM_RESERVE, PAGE_NOACCESS))
            reserved.push_back(at);
    user.Close(prompt, IDOK);
    for (void* at : reserved) VirtualFreeEx(user.Process(), at, 0, MEM_RELEASE);
    user.ExpectMessage(L"エラー", L"メモリが不足しています");
    user.ExpectIdle();
    user.Exit();
}

QV_SCENARIO(empty_lists_missing_files_and_wrong_keys_are_reported_and_stop_the_job)
{
    Write(f / L"a.txt", PatternBytes(40, 5));
    Write(f / L"c.txt", PatternBytes(41, 6));      // not whole blocks
    Write(f / L"plain.bin", PatternBytes(64, 9));  // whole blocks, but no container
    CUser user(exe, f);
    user.Press(kEncrypt);  // an empty list is noticed after the key for encrypt...
    user.EnterKey(L"key");
    user.ExpectMessage(L"通知", L"ファイルを指定してください");
    user.Press(kDecrypt);  // ...and at once, without a key prompt, for decrypt
    user.ExpectMessage(L"通知", L"ファイルを指定してください");
    // The open chooser returns typed names whether or not the files exist.
    user.ChooseSources(f, L"\"a.txt\" \"missing.txt\" \"c.txt\"");
    Check(user.List().size() == 3, "the missing file is listed too");
    user.Press(kEncrypt);
    user.EnterKey(L"key");
    user.Choose(L"a.dat");
    user.ExpectMessage(L"エラー", L"開けませんでした");
    user.ExpectIdle();  // the third file is not processed
    for (const wchar_t* source : {L"a.dat", L"plain.bin", L"c.txt", L"missing.dat"}) {
        user.ChooseSources(f, (f / source).wstring());
        user.Press(kDecrypt);
        user.EnterKey(L"違うキー");
        user.ExpectMessage(L"エラー", *source == L'm' ? L"開けませんでした" : L"キーが違うか、ファイルが壊れています");
        user.ExpectIdle();
    }
    Check(std::distance(fs::directory_iterator(f), {}) == 4 && fs::exists(f / L"a.dat"), "only a.dat is written");
    user.Exit();
}

QV_SCENARIO(save_chooser_takes_a_259_unit_path_and_a_short_name_typed_over_a_long_one)
{
    // "<folder>\<name>.txt" of 259 units, the longest path there is; its container path is as long.
    const std::wstring stem(259 - f.wstring().size() - 5, L'n');
    Write(f / (stem + L".txt"), PatternBytes(33, 1));
    Write(f / L"x.txt", PatternBytes(44, 2));
    CUser user(exe, f);
    user.ChooseSources(f, L"\"" + stem + L".txt\" \"x.txt\"");
    user.Press(kEncrypt);
    user.EnterKey(L"key");
    user.Choose((stem + L".dat").c_str(), (f / L"short.dat").wstring());
    user.Choose(L"x.dat", (f / (stem + L".dat")).wstring());
    user.ExpectIdle();
    ExpectContainer(f / L"short.dat", L"key", stem + L".txt", PatternBytes(33, 1));
    ExpectContainer(f / (stem + L".dat"), L"key", L"x.txt", PatternBytes(44, 2));
    user.Exit();
}

}  // namespace quorvane::e2e

int wmain(int argc, wchar_t** argv)
{
    using namespace quorvane::e2e;
    const std::string name = argc == 3 ? Utf8(argv[1]) : "";
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    const fs::path folder = fs::path(temp) / L"qv-e2e" / name;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    try {
        Check(scenarios.contains(name), "usage: quorvane_e2e SCENARIO PATH-TO-Quorvane.exe");
        fs::create_directories(folder);
        scenarios[name](quorvane::test::HostPath(Utf8(argv[2])).wstring(), folder);
        fs::remove_all(folder, ignored);
        return std::printf("PASS %s\n", name.c_str()), 0;
    } catch (const std::exception& e) {
        return std::printf("FAIL %s: %s\n", name.c_str(), e.what()), 1;
    }
}
