// The end-to-end scenarios: each starts Quorvane.exe on the display of a Wine session, works it
// like a user and checks what the user would see and the files left behind.
//   quorvane_e2e SCENARIO PATH-TO-Quorvane.exe
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>

#include <shlobj.h>

#include "tests/e2e/driver.h"
#include "tests/support/child_process.h"
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
    void name(const std::wstring& exe, [[maybe_unused]] const fs::path& f)

// What the program wrote must be the container made here from the format's table, byte for byte:
// a key that the prompt altered on capture would still round-trip through the program, but not here.
void ExpectContainer(const fs::path& file, std::wstring_view key, const fs::path& name, const Bytes& data)
{
    const Bytes expected = test::MakeContainer(name.u16string(), data, fs::path(key).u16string());
    Check(test::ReadFileBytes(file.u16string()) == expected,
          Utf8(file.wstring()) + " is not the container of " + Utf8(name.wstring()));
}

// A template's x, y, cx, cy in pixels, as the dialog manager maps them at the dialogs' font (MapDialogRect
// answers only inside the program). The font is the one the texts are measured in below.
HFONT DialogFont(HDC dc)
{
    return CreateFontW(-MulDiv(9, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, 0, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                       L"ＭＳ ゴシック");
}

RECT InPixels(RECT unit)
{
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, DialogFont(dc));
    TEXTMETRICW metric{};
    SIZE letters{};
    GetTextMetricsW(dc, &metric);
    GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letters);
    DeleteObject(SelectObject(dc, old));
    ReleaseDC(nullptr, dc);
    const int x = (letters.cx / 26 + 1) / 2, y = metric.tmHeight;
    const int left = MulDiv(unit.left, x, 4), top = MulDiv(unit.top, y, 8);
    return {left, top, left + MulDiv(unit.right, x, 4), top + MulDiv(unit.bottom, y, 8)};
}

// What the eye checks: the dialog is centred on `on` (to the halving's rounding), its controls lie inside it and
// apart (a group box frames others), and every text shows whole at the dialogs' font, laid out as the control does.
void ExpectTidy(HWND dialog, RECT on)
{
    RECT box = Rect(dialog), inside{}, common{};
    const long dx = box.left + box.right - on.left - on.right, dy = box.top + box.bottom - on.top - on.bottom;
    Check(std::abs(dx) <= 2 && std::abs(dy) <= 2, Describe(dialog) + " is not centred");
    GetClientRect(dialog, &inside);
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&inside), 2);
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ font = SelectObject(dc, DialogFont(dc));
    std::vector<RECT> placed;
    std::string failure;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[64] = {};
        GetClassNameW(child, name, 64);
        const std::wstring cls = name, text = Text(child);
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

// The program's PE headers; all zeros when there are none. This driver is built for the program's processor.
IMAGE_NT_HEADERS Headers(const std::wstring& exe)
{
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS nt{};
    std::ifstream program(fs::path(exe), std::ios::binary);
    program.read(reinterpret_cast<char*>(&dos), sizeof dos).seekg(dos.e_lfanew);
    program.read(reinterpret_cast<char*>(&nt), sizeof nt);
    return nt;
}

QV_SCENARIO(program_is_a_window_program_for_the_processor_it_was_built_for)
{
    const IMAGE_NT_HEADERS nt = Headers(exe);
    constexpr WORD machine = k64Bit ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    Check(nt.Signature == IMAGE_NT_SIGNATURE && nt.FileHeader.Machine == machine,
          k64Bit ? "a 64-bit program" : "a 32-bit program");
    Check(nt.OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI, "a window program, not a console one");
}

QV_SCENARIO(program_is_large_address_aware)
{
    if (k64Bit) Skip("large-address-aware is a flag of 32-bit programs; a 64-bit one has the whole address space");
    Check(Headers(exe).FileHeader.Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE, "large-address-aware");
}

QV_SCENARIO(main_window_and_about_box_show_whole_texts_centred_and_focused_ignore_arguments_and_end_with_code_2)
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
    for (const bool escape : {false, true}) {
        user.Press(kShowAbout);
        const HWND about = user.NextDialog(L"バージョン情報"), text = GetDlgItem(about, kStatic);
        CheckText(Text(text), L"Quorvane Application v1.0\n\nCopyright (C) 2026", "about");
        CheckText(Text(about, IDOK), L"O&K", "about button");
        Check(SendMessageW(GetWindow(text, GW_HWNDNEXT), STM_GETICON, 0, 0) != 0, "the about box shows the icon");
        // The box keeps its layout in dialog units; the icon takes its image's size, so only its corner counts.
        HWND control = text;
        for (const RECT unit : {RECT{25, 57, 78, 32}, RECT{55, 26, 0, 0}, RECT{7, 7, 115, 88}}) {  // x, y, cx, cy
            RECT got = Rect(control), want = InPixels(unit);
            MapWindowPoints(nullptr, about, reinterpret_cast<POINT*>(&got), 2);
            if (unit.right == 0) want.right = got.right, want.bottom = got.bottom;
            Check(EqualRect(&got, &want), "an about box control at " + std::to_string(got.left) + "," +
                                              std::to_string(got.top) + " is not where its template says");
            control = GetWindow(control, GW_HWNDNEXT);
        }
        ExpectTidy(about, Rect(user.Main()));
        Check(FocusOf(about) == GetDlgItem(about, IDOK), "the focus starts on O&K");
        Check(!IsWindowEnabled(user.Main()), "the main window waits while the box is open");
        user.Close(about, IDOK, escape ? VK_ESCAPE : VK_RETURN);
    }
    user.Exit();
    CUser(exe, f).Exit(kSelectSource, WM_KEYDOWN, VK_ESCAPE);  // Escape and the close box end it the same way
    CUser(exe, f).Exit(0, WM_SYSCOMMAND, SC_CLOSE);
}

QV_SCENARIO(chosen_files_fill_the_list_in_the_choosers_order)
{
    std::vector<std::wstring> listed, many;
    std::wstring typed;
    for (const wchar_t* name : {L"見積書.xlsx", L"報告書_2026年度.docx", L"打ち合わせメモ.txt", L"写真.jpg"}) {
        test::WriteFileBytes((f / name).u16string(), PatternBytes(100, 1));
        listed.push_back((f / name).wstring());
        typed += L"\"" + std::wstring(name) + L"\" ";
    }
    CUser user(exe, f);
    user.ChooseSources(f, listed[2]);
    Check(user.List() == std::vector{listed[2]}, "one chosen file is listed by its full path");
    user.ChooseSources(f, typed);
    Check(user.List() == listed, "chosen files replace the list, folder joined to each name, in the chooser's order");
    // "元ファイル" is the default button, so Enter on the list opens the chooser.
    user.PressKey(user.Item(kFileList), VK_RETURN);
    user.Choose(nullptr, L"", IDCANCEL);
    Check(user.List() == listed, "a cancelled chooser keeps the list");

    // 400 long names need about 12,000 units, far beyond one path; 1,200 need more than the
    // chooser's 32,768 and must be refused with a notice, not a silent cancel.
    typed.clear();
    for (int i = 0; i < 1200; ++i) {
        const std::wstring name = L"file-" + std::to_wstring(10000 + i) + L"-とても長いファイルの名前です.txt";
        typed += L"\"" + name + L"\" ";
        if (i < 400) many.push_back((f / name).wstring());
        if (i == 399) user.ChooseSources(f, typed);
    }
    user.ChooseSources(f, typed);
    user.ExpectMessage(L"通知", L"選択したファイルが多すぎます");
    Check(user.List() == many, "400 chosen files are listed; too many keep the list");

    // A file in a root folder is listed with a doubled backslash, which the platform still opens.
    const std::wstring name = L"qv-e2e-" + std::to_wstring(GetCurrentProcessId());
    test::WriteFileBytes(fs::path(L"C:\\" + name + L".txt").u16string(), PatternBytes(16, 2));
    user.ChooseSources(L"C:\\", L"\"" + name + L".txt\" \"" + name + L".txt\"");
    Check(user.List() == std::vector(2, L"C:\\\\" + name + L".txt"), "C:\\\\name, twice");
    user.EnterKey(L"key", kEncrypt);
    user.Choose(nullptr);
    user.Choose(nullptr, L"", IDCANCEL);
    user.ExpectIdle();
    ExpectContainer(L"C:\\" + name + L".dat", L"key", name + L".txt", PatternBytes(16, 2));
    for (const wchar_t* end : {L".txt", L".dat"}) fs::remove(L"C:\\" + name + end);
    user.Exit();
}

QV_SCENARIO(key_prompt_is_tidy_never_scrolls_cancels_silently_and_reports_an_empty_key)
{
    test::WriteFileBytes((f / L"a.txt").u16string(), PatternBytes(300, 7));
    CUser user(exe, f);
    user.ChooseSources(f, (f / L"a.txt").wstring());
    for (const int command : {kEncrypt, kDecrypt}) {  // "ｷｬﾝｾﾙ(&C)", then Escape
        user.Press(command);
        const HWND prompt = user.NextDialog(L"キー入力"), field = GetDlgItem(prompt, kKeyEdit);
        CheckText(Text(GetWindow(field, GW_HWNDPREV)) + Text(prompt, IDOK) + Text(prompt, IDCANCEL),
                  L"キー開始(&X)ｷｬﾝｾﾙ(&C)", "the prompt's label and buttons");
        ExpectTidy(prompt, Rect(user.Main()));
        Check(FocusOf(prompt) == field, "the focus starts in the key field");
        Check((GetWindowLongW(field, GWL_STYLE) & ES_PASSWORD) == 0, "the key shows as typed");
        user.Type(field, std::wstring(200, L'W'));  // the field does not scroll: it takes what fits its width
        const std::size_t taken = Text(field).size();
        Check(taken > 20 && taken < 200, "the field took " + std::to_string(taken) + " characters");
        user.Close(prompt, IDCANCEL, command == kDecrypt ? VK_ESCAPE : 0);
        user.ExpectIdle();
    }
    Check(!fs::exists(f / L"a.dat"), "nothing is written after a cancel");
    user.EnterKey(L"", kEncrypt);  // "開始(&X)" with nothing typed
    user.ExpectMessage(L"通知", L"キーを入力してください");
    user.EnterKey(L"ｶﾀｶﾅ と 全角ＡＢＣ");  // the prompt opens again
    user.Choose(nullptr);
    user.ExpectIdle();
    ExpectContainer(f / L"a.dat", L"ｶﾀｶﾅ と 全角ＡＢＣ", L"a.txt", PatternBytes(300, 7));
    user.Exit();
}

QV_SCENARIO(key_capture_without_memory_reports_it_and_writes_nothing)
{
    if (k64Bit) Skip("a 64-bit program's address space is too large to exhaust");
    test::WriteFileBytes((f / L"a.txt").u16string(), PatternBytes(300, 7));
    CUser user(exe, f);
    user.ChooseSources(f, (f / L"a.txt").wstring());
    user.Press(kEncrypt);
    const HWND prompt = user.NextDialog(L"キー入力"), field = GetDlgItem(prompt, kKeyEdit);
    // A pasted key of a million units (a message to another process carries up to 2 MB) needs 2 MB in one
    // piece to be captured: from here, every free piece that large is reserved until the prompt has gone.
    constexpr std::size_t kUnits = 1000000, kPiece = 2 * kUnits & ~std::size_t(0xFFFF);
    user.SetText(field, std::wstring(kUnits, L'k'));
    PostMessageW(field, EM_SETSEL, 3, 7);  // taken only after the program has freed its copy of the pasted text
    Poll("the pasted key", [&] { return SendMessageW(field, EM_GETSEL, 0, 0) == MAKELRESULT(3, 7); });
    std::vector<void*> reserved;
    for (std::size_t size = kPiece << 9; size >= kPiece; size /= 2)  // large pieces first: fewer calls
        while (void* at = VirtualAllocEx(user.Process(), nullptr, size, MEM_RESERVE, PAGE_NOACCESS))
            reserved.push_back(at);
    user.Close(prompt, IDOK);
    for (void* at : reserved) VirtualFreeEx(user.Process(), at, 0, MEM_RELEASE);
    user.ExpectMessage(L"エラー", L"メモリが不足しています");
    user.ExpectIdle();
    Check(!fs::exists(f / L"a.dat"), "nothing is written without the key");
    user.Exit();
}

QV_SCENARIO(jobs_take_259_unit_paths_skip_cancelled_files_replace_on_request_and_stop_at_empty_lists_and_errors)
{
    // "<folder>\<stem>.txt" is 259 units long, the longest path there is, and so is "<folder>\<stem>.dat".
    const std::wstring stem(259 - f.wstring().size() - 5, L'n'), key = L"秘密のキー123";
    const Bytes a = PatternBytes(1000, 3), n = PatternBytes(33, 1), empty;
    test::WriteFileBytes((f / L"a.txt").u16string(), a);
    test::WriteFileBytes((f / (stem + L".txt")).u16string(), n);
    test::WriteFileBytes((f / L"b.bin").u16string(), PatternBytes(77, 4));
    test::WriteFileBytes((f / L"データ①.txt").u16string(), empty);
    test::WriteFileBytes((f / L"c.txt").u16string(), PatternBytes(41, 6));      // not whole blocks
    test::WriteFileBytes((f / L"plain.bin").u16string(), PatternBytes(64, 9));  // whole blocks, but no container
    CUser user(exe, f);
    user.EnterKey(L"key", kEncrypt);  // an empty list is noticed after the key for encrypt...
    user.ExpectMessage(L"通知", L"ファイルを指定してください");
    user.Press(kDecrypt);  // ...and at once, without a key prompt, for decrypt
    user.ExpectMessage(L"通知", L"ファイルを指定してください");

    user.ChooseSources(f, L"\"a.txt\" \"" + stem + L".txt\" \"b.bin\" \"データ①.txt\"");
    const auto sources = user.List();
    user.EnterKey(key, kEncrypt);
    // The chooser opens in the proposal's folder and shows the name alone; a typed path replaces it.
    user.Choose(L"a.dat");
    user.Choose((stem + L".dat").c_str(), (f / L"short.dat").wstring());
    user.Choose(L"b.dat", L"", IDCANCEL);
    user.Choose(L"データ①.dat", (f / (stem + L".dat")).wstring());
    user.ExpectIdle();  // a skipped file is no failure: no message
    ExpectContainer(f / L"a.dat", key, L"a.txt", a);
    ExpectContainer(f / L"short.dat", key, stem + L".txt", n);
    Check(!fs::exists(f / L"b.dat"), "the cancelled file is not written");
    ExpectContainer(f / (stem + L".dat"), key, L"データ①.txt", empty);
    Check(user.List() == sources, "the job leaves the list as it was");

    test::WriteFileBytes((f / L"a.txt").u16string(), PatternBytes(9, 5));  // changed since it was encrypted
    user.ChooseSources(f, L"\"a.dat\" \"" + stem + L".dat\"");
    user.EnterKey(key, kDecrypt);
    user.Choose(L"a.txt", (f / L"a.txt").wstring(), IDYES);
    user.Choose(L"データ①.txt", (f / L"out.txt").wstring());
    user.ExpectIdle();
    Check(test::ReadFileBytes((f / L"a.txt").u16string()) == a &&
              test::ReadFileBytes((f / L"out.txt").u16string()).empty(),
          "the decrypted files are the originals");

    // The open chooser lists typed names whether or not the files exist; a missing one stops the job there.
    user.ChooseSources(f, L"\"b.bin\" \"missing.txt\" \"c.txt\"");
    user.EnterKey(key, kEncrypt);
    user.Choose(L"b.dat");
    user.ExpectMessage(L"エラー", L"開けませんでした");
    user.ExpectIdle();  // the third file is not processed
    for (const wchar_t* source : {L"a.dat", L"plain.bin", L"c.txt", L"missing.dat"}) {
        user.ChooseSources(f, (f / source).wstring());
        user.EnterKey(L"違うキー", kDecrypt);
        user.ExpectMessage(L"エラー", *source == L'm' ? L"開けませんでした" : L"キーが違うか、ファイルが壊れています");
        user.ExpectIdle();
    }
    Check(std::distance(fs::directory_iterator(f), {}) == 11 && fs::exists(f / L"b.dat"), "nothing else is written");
    user.Exit();
}

// Drops `paths` onto the main window as the shell hands a drop over: a DROPFILES block in the program's own
// memory, posted. The block is the caller's to free once the drop has been handled.
void* DropFiles(CUser& user, const std::vector<std::wstring>& paths)
{
    std::wstring names;
    for (const std::wstring& path : paths) names += path + L'\0';
    std::vector<char> block(sizeof(DROPFILES) + (names.size() + 1) * sizeof(wchar_t), 0);
    DROPFILES header{};
    header.pFiles = sizeof header;
    header.fWide = TRUE;
    std::memcpy(block.data(), &header, sizeof header);
    std::memcpy(block.data() + sizeof header, names.data(), names.size() * sizeof(wchar_t));
    void* at = VirtualAllocEx(user.Process(), nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    Check(at != nullptr && WriteProcessMemory(user.Process(), at, block.data(), block.size(), nullptr),
          "cannot place the drop in the program");
    PostMessageW(user.Main(), WM_DROPFILES, WPARAM(at), 0);
    return at;
}

QV_SCENARIO(dropped_files_replace_the_list_in_the_order_dropped_without_folders_or_too_long_paths)
{
    const fs::path a = f / L"a.txt", b = f / L"報告書_2026年度.docx", c = f / L"c.bin", folder = f / L"フォルダ";
    const fs::path tooLong = f / (std::wstring(260 - f.wstring().size() - 5, L'n') + L".txt");  // 260 units
    for (const fs::path& file : {a, b, c, tooLong}) test::WriteFileBytes(file.u16string(), PatternBytes(50, 8));
    fs::create_directory(folder);
    CUser user(exe, f);
    user.ChooseSources(f, a.wstring());
    std::vector<void*> drops{DropFiles(user, {c.wstring(), folder.wstring(), tooLong.wstring(), b.wstring()})};
    const std::vector<std::wstring> listed{c.wstring(), b.wstring()};
    Poll("the dropped files in the list", [&] { return user.List() == listed; });
    // Nothing usable: no message, and the list stays. A drop onto a running job waits for its end.
    drops.push_back(DropFiles(user, {folder.wstring(), tooLong.wstring()}));
    user.ExpectIdle();
    user.Press(kEncrypt);
    const HWND prompt = user.NextDialog(L"キー入力");
    user.Type(GetDlgItem(prompt, kKeyEdit), L"key");
    drops.push_back(DropFiles(user, {a.wstring()}));  // comes before the click below: both are posted
    user.Close(prompt, IDOK);
    user.Choose(L"c.dat");
    user.Choose(L"報告書_2026年度.dat");
    // Short passes show nothing, and the focus comes back from under them.
    Poll("the focus back on 元ファイル", [&] { return FocusOf(user.Main()) == user.Item(kSelectSource); });
    user.ExpectIdle();
    Check(user.List() == std::vector{a.wstring()}, "the drop made during the job fills the list after it");
    ExpectContainer(f / L"c.dat", L"key", L"c.bin", PatternBytes(50, 8));
    ExpectContainer(f / L"報告書_2026年度.dat", L"key", b.filename(), PatternBytes(50, 8));
    for (void* drop : drops) VirtualFreeEx(user.Process(), drop, 0, MEM_RELEASE);
    user.Exit();
}

// Two files hold the same bytes; read a MiB at a time, as 300 MB would not fit twice in a 32-bit driver.
bool SameFiles(const fs::path& one, const fs::path& other)
{
    std::ifstream a(one, std::ios::binary), b(other, std::ios::binary);
    std::vector<char> x(1 << 20), y(1 << 20);
    while (a && b) {
        a.read(x.data(), std::streamsize(x.size()));
        b.read(y.data(), std::streamsize(y.size()));
        if (a.gcount() != b.gcount() || std::memcmp(x.data(), y.data(), std::size_t(a.gcount())) != 0) return false;
    }
    return a.eof() && b.eof();
}

// The next dialog must be the progress of a pass with `action`; it is stopped with "中止" (button), Escape (a
// key) or the close box (a system command). The pass is held meanwhile, so the stop comes before its end.
// The progress dialog of the running pass, its work held as soon as it shows, so that nothing checked while it is
// held depends on how fast the pass runs.
HWND HeldProgress(CUser& user, std::optional<CHeldWork>& held)
{
    const HWND progress = user.NextDialog(kProgressTitle.data());
    held.emplace(user.Main());
    return progress;
}

void StopPass(CUser& user, const wchar_t* action, int button, UINT key, WPARAM command)
{
    std::optional<CHeldWork> held;
    const HWND progress = HeldProgress(user, held);
    {
        CheckText(Text(progress, kProgressAction), action, "the pass's action");
        if (button != 0) user.Click(progress, button);
        if (key != 0) user.PressKey(FocusOf(progress), key);
        if (command != 0) PostMessageW(progress, WM_SYSCOMMAND, command, 0);
        Poll("the stop to be taken", [&] { return !IsWindowEnabled(GetDlgItem(progress, IDCANCEL)); });
        held.reset();
    }
    user.WaitGone(progress);
    user.ExpectIdle();  // the job has ended, with no message and no chooser for a later file
}

QV_SCENARIO(long_passes_show_their_progress_keep_the_window_answering_and_stop_on_request_leaving_nothing)
{
    const fs::path big = f / L"動画 2026.mp4", key = f / L"key.txt";
    // Long enough that the data is still going through when the progress shows, even on a loaded machine whose
    // window thread is slow to get its turn; held from then on, the pass's speed no longer matters.
    WriteLargeFile(big, 640);
    for (const wchar_t* name : {L"a.txt", L"c.txt"}) test::WriteFileBytes((f / name).u16string(), PatternBytes(90, 4));
    test::WriteText(key.u16string(), "鍵\n");
    const test::ChildResult cli = test::RunChild(
        {test::CliProgram(), u"encrypt", u"-k", key.u16string(), u"-o", (f / L"cli.dat").u16string(), big.u16string()});
    Check(cli.exitCode == 0, "quorvane-cli: " + cli.err);
    CUser user(exe, f);

    // "中止" ends the whole job: the file before stays, the one after is not asked for, nothing else is left.
    user.ChooseSources(f, L"\"a.txt\" \"動画 2026.mp4\" \"c.txt\"");
    user.EnterKey(L"鍵", kEncrypt);
    user.Choose(L"a.dat");
    user.Choose(L"動画 2026.dat");
    StopPass(user, L"暗号化しています", IDCANCEL, 0, 0);
    ExpectContainer(f / L"a.dat", L"鍵", L"a.txt", PatternBytes(90, 4));
    user.ChooseSources(f, big.wstring());
    user.EnterKey(L"鍵", kEncrypt);
    user.Choose(L"動画 2026.dat");
    StopPass(user, L"暗号化しています", 0, VK_ESCAPE, 0);
    const std::vector<std::u16string> files{u"a.dat", u"a.txt", u"c.txt", u"cli.dat", u"key.txt", u"動画 2026.mp4"};
    Check(test::ListFolder(f) == files, "a stopped pass leaves no file, temporary or not");

    // Left to run, the pass shows its progress over the main window, which keeps answering but takes no command.
    user.EnterKey(L"鍵", kEncrypt);
    user.Choose(L"動画 2026.dat");
    std::optional<CHeldWork> held;
    const HWND progress = HeldProgress(user, held), bar = GetDlgItem(progress, kProgressBar);
    LRESULT position = 0;
    {
        CheckText(
            Text(progress, kProgressAction) + L"|" + Text(progress, kProgressName) + L"|" + Text(progress, IDCANCEL),
            L"暗号化しています|動画 2026.mp4|中止", "the progress dialog");
        ExpectTidy(progress, Rect(user.Main()));
        Check(FocusOf(progress) == GetDlgItem(progress, IDCANCEL), "the focus starts on 中止");
        Check(!IsWindowEnabled(user.Main()), "the main window is disabled under the progress dialog");
        position = SendMessageW(bar, PBM_GETPOS, 0, 0);
        const LRESULT full = SendMessageW(bar, PBM_GETRANGE, FALSE, 0);
        Check(position >= 0 && position < full,
              "the bar is not full before the end: " + std::to_string(position) + " of " + std::to_string(full));
        InvalidateRect(user.Main(), nullptr, TRUE);
        Poll("the main window to repaint", [&] { return !GetUpdateRect(user.Main(), nullptr, FALSE); });
    }
    // The pass runs a moment at a time, far too short for it to end unseen, until the bar has moved on; the main
    // window must answer while it runs.
    Poll("the bar to move on", [&] {
        held.reset();
        DWORD_PTR answer = 0;
        Check(SendMessageTimeoutW(user.Main(), WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer) != 0,
              "the main window answers within a second while a pass runs");
        Sleep(20);
        held.emplace(user.Main());
        Check(IsWindow(progress), "the pass ended before its bar moved");
        return SendMessageW(bar, PBM_GETPOS, 0, 0) > position;
    });
    held.reset();
    user.WaitGone(progress, 300000);  // the rest of the pass, however slow the machine
    Poll("the focus back on 元ファイル", [&] { return FocusOf(user.Main()) == user.Item(kSelectSource); });
    user.ExpectIdle();
    Check(SameFiles(f / L"動画 2026.dat", f / L"cli.dat"), "the window's container is the command line's");

    // A decrypt pass shows its own action and stops at the close box the same way.
    user.ChooseSources(f, (f / L"動画 2026.dat").wstring());
    user.EnterKey(L"鍵", kDecrypt);
    user.Choose(L"動画 2026.mp4", (f / L"out.mp4").wstring());
    StopPass(user, L"復号化しています", 0, 0, SC_CLOSE);
    Check(!fs::exists(f / L"out.mp4") && test::ListFolder(f).size() == files.size() + 1,
          "a stopped decrypt leaves nothing");
    user.Exit();
}

}  // namespace quorvane::e2e

int wmain(int argc, wchar_t** argv)
{
    using namespace quorvane::e2e;
    const std::string name = argc == 3 ? Utf8(argv[1]) : "";
    try {
        Check(scenarios.contains(name), "usage: quorvane_e2e SCENARIO PATH-TO-Quorvane.exe");
        const quorvane::test::CTempFolder folder;
        scenarios[name](quorvane::test::HostPath(Utf8(argv[2])).wstring(), folder.Path());
        return std::printf("PASS %s\n", name.c_str()), 0;
    } catch (const CSkipped& skipped) {
        return std::printf("%s: Skipped\n%s\n", name.c_str(), skipped.why.c_str()), kSkippedExitCode;
    } catch (const std::exception& e) {
        return std::printf("FAIL %s: %s\n", name.c_str(), e.what()), 1;
    }
}
