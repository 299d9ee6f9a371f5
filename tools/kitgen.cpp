// Writes the container test kit from an implementation that shares nothing with
// the product: OpenSSL's Blowfish, and the record laid out here from the format
// description. Run once; the files it writes are committed (make kit).
//
//   kitgen OUTPUT_FOLDER
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kit_vectors.h"

namespace kitgen {

Bytes Utf16Le(const U16& text)
{
    Bytes out;
    for (char16_t u : text) {
        out.push_back(std::uint8_t(u & 0xFF));
        out.push_back(std::uint8_t(u >> 8));
    }
    return out;
}

// The container's byte order: each 4-byte half least significant byte first,
// where OpenSSL reads it most significant first. The key bytes go in unchanged.
static Bytes ReverseHalves(Bytes b)
{
    for (std::size_t i = 0; i + 4 <= b.size(); i += 4) std::reverse(b.begin() + i, b.begin() + i + 4);
    return b;
}

static Bytes Ecb(const U16& keyText, const Bytes& in, int mode)
{
    if (in.size() % 8 != 0) Fail("ECB input is not whole blocks");
    const Bytes key = Utf16Le(keyText);
    BF_KEY schedule;
    // OpenSSL reads at most 72 key bytes, as the format does: pass all of them.
    BF_set_key(&schedule, static_cast<int>(key.size()), key.data());
    const Bytes swapped = ReverseHalves(in);
    Bytes out(in.size());
    for (std::size_t i = 0; i < in.size(); i += 8) BF_ecb_encrypt(swapped.data() + i, out.data() + i, &schedule, mode);
    return ReverseHalves(out);
}

Bytes Encipher(const U16& keyText, const Bytes& record)
{
    return Ecb(keyText, record, BF_ENCRYPT);
}
Bytes Decipher(const U16& keyText, const Bytes& container)
{
    return Ecb(keyText, container, BF_DECRYPT);
}

static void PutLe32(Bytes& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}

static std::uint32_t GetLe32(const Bytes& in, std::size_t at)
{
    return std::uint32_t(in[at]) | std::uint32_t(in[at + 1]) << 8 | std::uint32_t(in[at + 2]) << 16 |
           std::uint32_t(in[at + 3]) << 24;
}

Bytes RawRecord(std::uint32_t dataSizeField, std::uint32_t nameBytesField, const Bytes& nameRegion, const Bytes& data,
                std::size_t fill, std::uint8_t fillByte)
{
    Bytes r;
    PutLe32(r, dataSizeField);
    PutLe32(r, nameBytesField);
    r.insert(r.end(), nameRegion.begin(), nameRegion.end());
    r.insert(r.end(), data.begin(), data.end());
    r.insert(r.end(), fill, fillByte);
    return r;
}

Bytes MakeRecord(const U16& name, const Bytes& data)
{
    const Bytes nameRegion = Utf16Le(name);
    const std::size_t l = 8 + nameRegion.size() + data.size();
    // 1 to 8 zero bytes, up to the smallest multiple of 8 above L.
    const std::size_t fill = 8 - l % 8;
    return RawRecord(std::uint32_t(data.size()), std::uint32_t(nameRegion.size()), nameRegion, data, fill, 0);
}

Inspection Inspect(const Bytes& record)
{
    Inspection in;
    if (record.size() < 8) return in;
    const auto dataSize = static_cast<std::int32_t>(GetLe32(record, 0));
    const std::uint64_t nameBytes = GetLe32(record, 4);
    const std::uint64_t room = record.size() - 8;
    if (nameBytes > room) return in;
    if (dataSize < 0 || std::uint64_t(dataSize) > room - nameBytes) return in;
    const std::uint64_t end = 8 + nameBytes + std::uint64_t(dataSize);
    const std::uint64_t fill = record.size() - end;
    if (fill < 1 || fill > 8) return in;
    for (std::uint64_t i = end; i < record.size(); ++i)
        if (record[i] != 0) return in;
    for (std::uint64_t i = 0; i + 1 < nameBytes; i += 2)
        in.name.push_back(char16_t(record[8 + i] | record[8 + i + 1] << 8));
    in.data.assign(record.begin() + std::ptrdiff_t(8 + nameBytes), record.begin() + std::ptrdiff_t(end));
    in.ok = true;
    return in;
}

U16 SafeName(const U16& stored)
{
    const auto sep = stored.find_last_of(u"\\/");
    U16 name = sep == U16::npos ? stored : stored.substr(sep + 1);
    if (name == u"." || name == u"..") return {};
    // Shown as nothing: controls, Unicode 15's Cf, Zl and Zp, the Hangul fillers, the tags, and a variation
    // selector that follows no character it could modify.
    static const std::uint32_t hidden[][2] = {
        {0x0000, 0x001F},   {0x007F, 0x009F},   {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},
        {0x06DD, 0x06DD},   {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x115F, 0x1160},
        {0x180E, 0x180E},   {0x200B, 0x200F},   {0x2028, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
        {0x3164, 0x3164},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
        {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE007F}};
    const auto selector = [](std::uint32_t c) {
        return (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF) || (c >= 0x180B && c <= 0x180D) ||
               c == 0x180F;
    };
    U16 kept;
    bool alone = true;
    for (std::size_t i = 0; i < name.size(); ++i) {
        std::uint32_t c = name[i];
        std::size_t units = 1;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (name[i + 1] - 0xDC00), units = 2;
        bool drop = selector(c) ? alone : U16(u"<>:\"|?*").find(name[i]) != U16::npos;
        for (const auto& range : hidden) drop = drop || (c >= range[0] && c <= range[1]);
        alone = drop || selector(c);
        kept += drop ? U16(u"_") : name.substr(i, units);
        i += units - 1;
    }
    name = kept;
    const auto last = name.find_last_not_of(u". ");
    for (std::size_t i = last == U16::npos ? 0 : last + 1; i < name.size(); ++i) name[i] = u'_';
    U16 base = name.substr(0, name.find(u'.'));
    while (!base.empty() && base.back() == u' ') base.pop_back();
    for (char16_t& u : base)
        if (u >= u'a' && u <= u'z') u = char16_t(u - u'a' + u'A');
    static const U16 devices[] = {u"CON",       u"PRN",       u"AUX",       u"NUL",       u"COM1",      u"COM2",
                                  u"COM3",      u"COM4",      u"COM5",      u"COM6",      u"COM7",      u"COM8",
                                  u"COM9",      u"LPT1",      u"LPT2",      u"LPT3",      u"LPT4",      u"LPT5",
                                  u"LPT6",      u"LPT7",      u"LPT8",      u"LPT9",      u"COM\u00B9", u"COM\u00B2",
                                  u"COM\u00B3", u"LPT\u00B9", u"LPT\u00B2", u"LPT\u00B3", u"CONIN$",    u"CONOUT$"};
    for (const U16& device : devices)
        if (base == device) return u"_" + name;
    return name;
}

// Plain UTF-8 decoding of the generator's own literals, which are all valid.
U16 FromUtf8(const std::string& s)
{
    U16 out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::uint32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if (c >> 5 == 6) {
            cp = c & 0x1F;
            extra = 1;
        } else if (c >> 4 == 14) {
            cp = c & 0x0F;
            extra = 2;
        } else {
            cp = c & 0x07;
            extra = 3;
        }
        for (int k = 1; k <= extra; ++k) cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += 1 + extra;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

// Readable form for the kit files; a lone surrogate shows as U+FFFD (the hex line is exact).
static std::string ToUtf8(const U16& s)
{
    std::string out;
    auto put = [&](std::uint32_t cp) {
        if (cp < 0x80)
            out += char(cp);
        else if (cp < 0x800) {
            out += char(0xC0 | cp >> 6);
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | cp >> 12);
            out += char(0x80 | (cp >> 6 & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | cp >> 18);
            out += char(0x80 | (cp >> 12 & 0x3F));
            out += char(0x80 | (cp >> 6 & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t u = s[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            put(0x10000 + ((std::uint32_t(u) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u < 0xE000) {
            put(0xFFFD);
        } else if (u < 0x20 || u == 0x7F) {
            put(0xFFFD);  // keeps every kit line on one line
        } else {
            put(u);
        }
    }
    return out;
}

static std::string Hex(const Bytes& b)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (std::uint8_t x : b) {
        out += digits[x >> 4];
        out += digits[x & 15];
    }
    return out;
}

static Bytes Sha256(const Bytes& b)
{
    Bytes out(32);
    unsigned int length = 0;
    if (!EVP_Digest(b.data(), b.size(), out.data(), &length, EVP_sha256(), nullptr) || length != 32)
        Fail("SHA-256 failed");
    return out;
}

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "kitgen: %s\n", what.c_str());
    std::exit(1);
}

static bool IsValidText(const U16& s)
{
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] >= 0xD800 && s[i] < 0xDC00) {
            if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] >= 0xE000) return false;
            ++i;
        } else if (s[i] >= 0xDC00 && s[i] < 0xE000) {
            return false;
        }
    }
    return true;
}

// Checks each vector's claim with the independent reader before it is written.
static void Verify(const Vector& v)
{
    if (v.key.empty() || !IsValidText(v.key)) Fail(v.id + ": the key must be non-empty, valid text");
    if (v.container.size() % 8 != 0 || v.container.empty()) {
        if (v.success) Fail(v.id + ": a container that is not whole blocks can't decrypt");
        return;
    }
    const Inspection in = Inspect(Decipher(v.key, v.container));
    if (in.ok != v.success)
        Fail(v.id + (v.success ? ": expected success, is refused" : ": expected refusal, decrypts"));
    if (!v.success) return;
    if (in.name != v.name || in.data != v.plain) Fail(v.id + ": decrypts to something other than stated");
    // Success under the stated key means its first 36 units made the container,
    // so encrypting with the stated key must give the same bytes.
    if (v.standard && Encipher(v.key, MakeRecord(v.name, v.plain)) != v.container)
        Fail(v.id + ": marked standard but is not the encryption of its name and data");
}

static void Write(const std::filesystem::path& folder, const Vector& v)
{
    std::ofstream out(folder / (v.id + ".vec"), std::ios::binary | std::ios::trunc);
    out << "expect: " << (v.success ? "success" : "refused") << '\n';
    out << "about: " << v.about << '\n';
    out << "key-text: " << ToUtf8(v.key) << '\n';
    out << "key: " << Hex(Utf16Le(v.key)) << '\n';
    if (v.encryptKey != v.key) {
        out << "encrypt-key-text: " << ToUtf8(v.encryptKey) << '\n';
        out << "encrypt-key: " << Hex(Utf16Le(v.encryptKey)) << '\n';
    }
    if (v.success || v.standard) {
        out << "name: " << ToUtf8(v.name) << '\n';
        out << "name-hex: " << Hex(Utf16Le(v.name)) << '\n';
        out << "size: " << v.plain.size() << '\n';
        out << "sha256: " << Hex(Sha256(v.plain)) << '\n';
        out << "plain: " << Hex(v.plain) << '\n';
    }
    if (v.success) {
        const U16 safe = SafeName(v.name);
        out << "safe-name: " << ToUtf8(safe) << '\n';
        out << "safe-name-hex: " << Hex(Utf16Le(safe)) << '\n';
    }
    out << "record-kind: " << (v.standard ? "standard" : "crafted") << '\n';
    if (!v.record.empty()) out << "record: " << Hex(v.record) << '\n';
    out << "container: " << Hex(v.container) << '\n';
    if (!out) Fail("cannot write " + v.id);
}

}  // namespace kitgen

int main(int argc, char** argv)
{
    if (argc != 2) kitgen::Fail("usage: kitgen OUTPUT_FOLDER");
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".vec") std::filesystem::remove(entry.path());

    const std::vector<kitgen::Vector> vectors = kitgen::AllVectors();
    int success = 0, refused = 0;
    std::vector<std::string> ids;
    for (const auto& v : vectors) {
        if (std::find(ids.begin(), ids.end(), v.id) != ids.end()) kitgen::Fail("duplicate id " + v.id);
        ids.push_back(v.id);
        kitgen::Verify(v);
        kitgen::Write(folder, v);
        (v.success ? success : refused)++;
    }
    std::printf("kitgen: %d vectors (%d success, %d refused) in %s\n", success + refused, success, refused,
                folder.string().c_str());
    return 0;
}
