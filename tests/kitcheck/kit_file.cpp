#include "tests/kitcheck/kit_file.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <stdexcept>

namespace quorvane::kit {

namespace {

Bytes FromHex(const std::string& hex, const std::string& where)
{
    if (hex.size() % 2 != 0) throw std::runtime_error(where + ": odd hex length");
    auto nibble = [&](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        throw std::runtime_error(where + ": not lowercase hex");
    };
    Bytes out(hex.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = std::uint8_t(nibble(hex[2 * i]) << 4 | nibble(hex[2 * i + 1]));
    return out;
}

std::u16string FromUtf16LeHex(const std::string& hex, const std::string& where)
{
    const Bytes b = FromHex(hex, where);
    if (b.size() % 2 != 0) throw std::runtime_error(where + ": UTF-16 of odd length");
    std::u16string out;
    for (std::size_t i = 0; i < b.size(); i += 2) out.push_back(char16_t(b[i] | b[i + 1] << 8));
    return out;
}

KitVector ReadVector(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + file.string());
    std::map<std::string, std::string> fields;
    std::string line, first;
    while (std::getline(in, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) throw std::runtime_error(file.string() + ": line without a field name");
        std::string value = line.substr(colon + 1);
        if (!value.empty() && value[0] == ' ') value.erase(0, 1);
        if (first.empty()) first = line.substr(0, colon);
        fields[line.substr(0, colon)] = value;
    }
    const std::string id = file.stem().string();
    auto need = [&](const char* name) -> const std::string& {
        const auto it = fields.find(name);
        if (it == fields.end()) throw std::runtime_error(id + ": no field " + name);
        return it->second;
    };
    if (first != "expect") throw std::runtime_error(id + ": the first line must be expect");

    KitVector v;
    v.id = id;
    v.about = need("about");
    const std::string& expect = need("expect");
    if (expect != "success" && expect != "refused") throw std::runtime_error(id + ": expect " + expect);
    v.expectSuccess = expect == "success";
    v.key = FromUtf16LeHex(need("key"), id);
    v.keyUtf8 = need("key-text");
    v.hasContent = fields.count("plain") != 0;
    if (v.hasContent) {
        v.name = FromUtf16LeHex(need("name-hex"), id);
        v.plain = FromHex(need("plain"), id);
        v.sha256 = FromHex(need("sha256"), id);
        if (std::stoul(need("size")) != v.plain.size()) throw std::runtime_error(id + ": size and plain disagree");
    }
    if (v.expectSuccess) {
        if (!v.hasContent) throw std::runtime_error(id + ": a success vector needs its content");
        v.safeName = FromUtf16LeHex(need("safe-name-hex"), id);
    }
    const std::string& kind = need("record-kind");
    if (kind != "standard" && kind != "crafted") throw std::runtime_error(id + ": record-kind " + kind);
    v.standard = kind == "standard";
    if (fields.count("record")) v.record = FromHex(fields["record"], id);
    v.container = FromHex(need("container"), id);
    return v;
}

}  // namespace

std::filesystem::path KitFolder()
{
    std::string folder = QUORVANE_KIT_DIR;
#ifdef _WIN32
    // Under Wine the Linux file system is drive Z:.
    std::replace(folder.begin(), folder.end(), '/', '\\');
    folder = "Z:" + folder;
#endif
    return std::filesystem::path(std::u8string(folder.begin(), folder.end()));
}

std::vector<KitVector> LoadKit()
{
    std::vector<KitVector> kit;
    for (const auto& entry : std::filesystem::directory_iterator(KitFolder()))
        if (entry.path().extension() == ".vec") kit.push_back(ReadVector(entry.path()));
    std::sort(kit.begin(), kit.end(), [](const KitVector& a, const KitVector& b) { return a.id < b.id; });
    return kit;
}

bool IsPortableFileName(const std::u16string& name)
{
    if (name.empty() || name.size() > 100 || name == u"." || name == u"..") return false;
    if (name.back() == u'.' || name.back() == u' ') return false;  // Windows drops them
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t u = name[i];
        if (u < 0x20 || std::u16string_view(u"\\/:*?\"<>|").find(u) != std::u16string_view::npos) return false;
        if (u >= 0xD800 && u < 0xDC00) {
            if (i + 1 == name.size() || name[i + 1] < 0xDC00 || name[i + 1] >= 0xE000) return false;
            ++i;
        } else if (u >= 0xDC00 && u < 0xE000) {
            return false;
        }
    }
    return true;
}

}  // namespace quorvane::kit
