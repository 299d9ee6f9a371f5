#include "tests/e2e/dialog_template.h"

#include <cstring>

#include "tests/e2e/gui_driver.h"

namespace quorvane::e2e {

namespace {

class CReader {
public:
    CReader(const void* data, std::size_t size) : data_(static_cast<const unsigned char*>(data)), size_(size) {}

    std::uint16_t Word()
    {
        Check(at_ + 2 <= size_, "dialog template ends early");
        std::uint16_t v;
        std::memcpy(&v, data_ + at_, 2);
        at_ += 2;
        return v;
    }
    std::uint32_t Dword() { return Word() | (std::uint32_t(Word()) << 16); }
    short Short() { return static_cast<short>(Word()); }
    std::wstring String()
    {
        std::wstring s;
        for (std::uint16_t c; (c = Word()) != 0;) s.push_back(wchar_t(c));
        return s;
    }
    // A string, or 0xFFFF and an ordinal.
    std::wstring StringOrOrdinal()
    {
        const std::uint16_t first = Word();
        if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
        if (first == 0) return {};
        return wchar_t(first) + String();
    }
    void AlignDword() { at_ = (at_ + 3) & ~std::size_t(3); }
    void Skip(std::size_t bytes) { at_ += bytes; }

private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

std::wstring PredefinedClass(const std::wstring& name)
{
    if (name == L"#128") return L"Button";
    if (name == L"#129") return L"Edit";
    if (name == L"#130") return L"Static";
    if (name == L"#131") return L"ListBox";
    return name;
}

}  // namespace

DialogTemplate ParseDialogTemplate(const void* data, std::size_t size)
{
    CReader in(data, size);
    DialogTemplate t;
    t.style = in.Dword();
    Check((t.style & 0xFFFF0000u) != 0xFFFF0000u, "an extended template, expected a classic one");
    in.Dword();  // extended style
    const std::uint16_t count = in.Word();
    in.Short();
    in.Short();
    t.cx = in.Short();
    t.cy = in.Short();
    Check(in.StringOrOrdinal().empty(), "the dialog has a menu");
    Check(in.StringOrOrdinal().empty(), "the dialog has its own class");
    t.title = in.String();
    if (t.style & 0x40) {  // DS_SETFONT
        t.pointSize = in.Word();
        t.font = in.String();
    }
    for (std::uint16_t i = 0; i < count; ++i) {
        in.AlignDword();
        TemplateItem item;
        item.style = in.Dword();
        in.Dword();
        item.x = in.Short();
        item.y = in.Short();
        item.cx = in.Short();
        item.cy = in.Short();
        item.id = in.Word();
        item.className = PredefinedClass(in.StringOrOrdinal());
        item.text = in.StringOrOrdinal();
        in.Skip(in.Word());  // creation data
        t.items.push_back(item);
    }
    return t;
}

}  // namespace quorvane::e2e
