// The executable itself: dialog templates, version record, icon, manifest,
// the tables nothing loads, and how it was linked. No window is shown.
#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/e2e/app_user.h"
#include "tests/e2e/dialog_template.h"
#include "tests/e2e/scenario.h"

namespace quorvane::e2e {

namespace {

constexpr WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

struct ExpectedItem {
    WORD id;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    short x, y, cx, cy;
};

class CResources {
public:
    explicit CResources(const std::wstring& exe)
        : module_(LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
        Check(module_ != nullptr, "cannot load the resources of " + Utf8(exe));
    }
    ~CResources() { FreeLibrary(module_); }
    CResources(const CResources&) = delete;
    CResources& operator=(const CResources&) = delete;

    std::pair<const void*, DWORD> Find(LPCWSTR type, WORD id, WORD language, const std::string& what) const
    {
        const HRSRC found = FindResourceExW(module_, type, MAKEINTRESOURCEW(id), language);
        Check(found != nullptr, what + " " + std::to_string(id) + " missing in language " + std::to_string(language));
        return {LockResource(LoadResource(module_, found)), SizeofResource(module_, found)};
    }
    HMODULE Module() const { return module_; }

private:
    HMODULE module_;
};

std::string Hex(DWORD v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(v));
    return text;
}

void CheckDialog(const CResources& res, WORD id, const wchar_t* title, DWORD style, short cx, short cy,
                 const std::vector<ExpectedItem>& items)
{
    const auto [data, size] = res.Find(RT_DIALOG, id, kJapanese, "dialog");
    const DialogTemplate t = ParseDialogTemplate(data, size);
    const std::string name = "dialog " + std::to_string(id);
    CheckText(t.title, title, name + " title");
    Check(t.style == style, name + " style " + Hex(t.style) + ", expected " + Hex(style));
    Check(t.cx == cx && t.cy == cy, name + " size");
    Check(t.pointSize == 9, name + " font size");
    CheckText(t.font, L"ＭＳ ゴシック", name + " font");
    Check(t.items.size() == items.size(), name + " control count " + std::to_string(t.items.size()));
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TemplateItem& got = t.items[i];
        const ExpectedItem& want = items[i];
        const std::string where = name + " control " + std::to_string(i);
        Check(got.id == want.id, where + " id " + std::to_string(got.id));
        // Class names are case-insensitive; resource compilers differ in how they store them.
        Check(_wcsicmp(got.className.c_str(), want.className) == 0, where + " class " + Utf8(got.className));
        CheckText(got.text, want.text, where + " text");
        Check(got.style == want.style, where + " style " + Hex(got.style) + ", expected " + Hex(want.style));
        Check(got.x == want.x && got.y == want.y && got.cx == want.cx && got.cy == want.cy, where + " rectangle");
    }
}

std::wstring VersionString(const std::vector<unsigned char>& info, const wchar_t* name)
{
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
    Check(VerQueryValueW(info.data(), path.c_str(), &value, &length) && value != nullptr,
          "version string " + Utf8(name) + " missing");
    return static_cast<const wchar_t*>(value);
}

// The file's PE headers: flags and the names of the DLLs it imports.
struct PeFacts {
    WORD characteristics = 0;
    std::vector<std::string> imports;
};

PeFacts ReadPe(const std::wstring& exe)
{
    std::ifstream in(std::filesystem::path(exe), std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), {});
    Check(file.size() > sizeof(IMAGE_DOS_HEADER), "cannot read the executable");
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, file.data(), sizeof dos);
    IMAGE_NT_HEADERS32 nt;
    Check(std::size_t(dos.e_lfanew) + sizeof nt <= file.size(), "bad PE header offset");
    std::memcpy(&nt, file.data() + dos.e_lfanew, sizeof nt);
    Check(nt.Signature == IMAGE_NT_SIGNATURE && nt.FileHeader.Machine == IMAGE_FILE_MACHINE_I386, "not a 32-bit PE");
    Check(nt.OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI, "not a GUI executable");

    PeFacts facts{nt.FileHeader.Characteristics, {}};
    const std::size_t sections =
        std::size_t(dos.e_lfanew) + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
    auto toOffset = [&](DWORD rva) -> std::size_t {
        for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER s;
            std::memcpy(&s, file.data() + sections + i * sizeof s, sizeof s);
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + std::max(s.Misc.VirtualSize, s.SizeOfRawData))
                return rva - s.VirtualAddress + s.PointerToRawData;
        }
        throw CheckFailure("import address outside every section");
    };
    std::size_t at = toOffset(nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR d;
        Check(at + sizeof d <= file.size(), "import table runs off the file");
        std::memcpy(&d, file.data() + at, sizeof d);
        if (d.Name == 0) break;
        facts.imports.emplace_back(file.data() + toOffset(d.Name));
    }
    return facts;
}

}  // namespace

QV_SCENARIO(executable_carries_the_designed_resources)
{
    (void)ctx.folder;
    const CResources res(ctx.exe);

    CheckDialog(res, 129, L"Quorvane", 0x00CA0040, 325, 95,
                {{32776, L"Button", L"元ファイル", kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 10, 12, 50, 14},
                 {32775, L"ListBox", L"", kChild | WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY, 65, 10, 235, 56},
                 {32777, L"Button", L"暗号化", kChild | WS_TABSTOP | BS_PUSHBUTTON, 10, 71, 70, 14},
                 {32778, L"Button", L"復号化", kChild | WS_TABSTOP | BS_PUSHBUTTON, 85, 71, 70, 14},
                 {2, L"Button", L"終了(&X)", kChild | WS_TABSTOP | BS_PUSHBUTTON, 160, 71, 80, 14},
                 {57664, L"Button", L"ﾊﾞｰｼﾞｮﾝ情報(&A)", kChild | WS_TABSTOP | BS_PUSHBUTTON, 245, 71, 70, 14}});
    CheckDialog(res, 100, L"バージョン情報", 0x80C800C0, 187, 102,
                {{1, L"Button", L"O&K", kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 130, 81, 50, 14},
                 {0xFFFF, L"Static", L"Quorvane Application v1.0\n\nCopyright (C) 2026 Quorvane developers",
                  kChild | WS_GROUP | SS_CENTER, 25, 57, 78, 32},
                 {0xFFFF, L"Static", L"#128", kChild | SS_ICON, 55, 26, 18, 20},
                 {0xFFFF, L"Button", L"", kChild | BS_GROUPBOX, 7, 7, 115, 88}});
    CheckDialog(res, 130, L"キー入力", 0x80C80040, 300, 52,
                {{0xFFFF, L"Static", L"キー", kChild | WS_GROUP | SS_CENTER, 10, 12, 40, 14},
                 {32778, L"Edit", L"", kChild | WS_BORDER | WS_TABSTOP | ES_LEFT, 55, 10, 235, 14},
                 {1, L"Button", L"開始(&X)", kChild | WS_TABSTOP | BS_PUSHBUTTON, 80, 29, 80, 14},
                 {2, L"Button", L"ｷｬﾝｾﾙ(&C)", kChild | WS_TABSTOP | BS_PUSHBUTTON, 170, 29, 80, 14}});

    // One 32x32 image of 16 colours in the icon group.
    const auto [group, groupSize] = res.Find(RT_GROUP_ICON, 128, kJapanese, "icon group");
    Check(groupSize >= 6 + 14, "icon group too short");
    const auto* g = static_cast<const unsigned char*>(group);
    Check(g[4] == 1 && g[5] == 0, "the icon group holds exactly one image");
    Check(g[6] == 32 && g[7] == 32 && g[8] == 16, "the icon image is 32x32 with 16 colours");

    const auto [manifest, manifestSize] = res.Find(RT_MANIFEST, 1, kEnglishUs, "manifest");
    const std::string text(static_cast<const char*>(manifest), manifestSize);
    Check(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"") != std::string::npos &&
              text.find("processorArchitecture=\"x86\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"") !=
                  std::string::npos,
          "the manifest binds the common controls 6.0.0.0");

    wchar_t product[64] = {};
    Check(LoadStringW(res.Module(), 128, product, 64) > 0, "string 128 missing");
    CheckText(product, L"Quorvane", "string 128");
    res.Find(RT_ACCELERATOR, 128, kJapanese, "accelerator table");

    const DWORD infoSize = GetFileVersionInfoSizeW(ctx.exe.c_str(), nullptr);
    Check(infoSize > 0, "no version record");
    std::vector<unsigned char> info(infoSize);
    Check(GetFileVersionInfoW(ctx.exe.c_str(), 0, infoSize, info.data()) != FALSE, "version record unreadable");
    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"CompanyName", L"Quorvane developers"},
        {L"FileDescription", L"Quorvanee"},
        {L"FileVersion", L"1, 0, 2, 0"},
        {L"InternalName", L"Quorvane"},
        {L"LegalCopyright", L"Copyright (C) 2026 Quorvane developers"},
        {L"OriginalFilename", L"Quorvane.exe"},
        {L"ProductName", L"Quorvane"},
        {L"ProductVersion", L"1, 0, 2, 0"}};
    for (const auto& [name, value] : strings) CheckText(VersionString(info, name), value, Utf8(name));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    Check(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) && fixed != nullptr,
          "fixed version info missing");
    Check(fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 0x00020000 &&
              fixed->dwProductVersionMS == 0x00010000 && fixed->dwProductVersionLS == 0x00020000,
          "file and product version 1.0.2.0");
    DWORD* translation = nullptr;
    UINT translationSize = 0;
    Check(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                         &translationSize) &&
              translationSize >= 4 && *translation == MAKELONG(0x0411, 1200),
          "translation 0x0411 / 1200");

    const PeFacts pe = ReadPe(ctx.exe);
    Check((pe.characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE) != 0, "not large-address-aware");
    const char* system[] = {"kernel32.dll", "user32.dll", "gdi32.dll",    "comctl32.dll", "comdlg32.dll",
                            "ole32.dll",    "msvcrt.dll", "advapi32.dll", "shell32.dll"};
    for (const std::string& dll : pe.imports) {
        bool known = false;
        for (const char* s : system) known = known || _stricmp(dll.c_str(), s) == 0;
        Check(known, "imports a DLL that is not part of the system: " + dll);
    }
}

}  // namespace quorvane::e2e
