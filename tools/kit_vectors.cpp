// The list of kit vectors: what each one is made of and what it should show.
#include <cstdio>

#include "kit_vectors.h"

namespace kitgen {

namespace {

U16 T(const char* utf8)
{
    return FromUtf8(utf8);
}

Bytes Pattern(std::size_t n, std::uint32_t seed)
{
    Bytes b(n);
    std::uint32_t x = seed * 747796405u + 2891336453u;
    for (auto& v : b) {
        x = x * 1664525u + 1013904223u;
        v = std::uint8_t(x >> 24);
    }
    return b;
}

Bytes Text(const char* s)
{
    return Bytes(s, s + std::char_traits<char>::length(s));
}

std::string Num(std::size_t n, int width)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*zu", width, n);
    return buf;
}

Vector Standard(std::string id, std::string about, const U16& key, const U16& name, Bytes plain)
{
    Vector v;
    v.id = "success-" + id;
    v.about = std::move(about);
    v.key = v.encryptKey = key;
    v.name = name;
    v.plain = std::move(plain);
    v.record = MakeRecord(v.name, v.plain);
    v.container = Encipher(key, v.record);
    return v;
}

// A container made under one key, decrypted under another that agrees in its
// first 36 code units.
Vector SameEffectiveKey(std::string id, std::string about, const U16& encryptKey, const U16& decryptKey,
                        const U16& name, Bytes plain)
{
    Vector v = Standard(std::move(id), std::move(about), encryptKey, name, std::move(plain));
    v.key = decryptKey;
    return v;
}

Vector WrongKey(std::string id, std::string about, const U16& encryptKey, const U16& decryptKey, const U16& name,
                Bytes plain)
{
    Vector v = Standard(std::move(id), std::move(about), encryptKey, name, std::move(plain));
    v.id = "refused-" + v.id.substr(8);
    v.success = false;
    v.key = decryptKey;
    return v;
}

// A record the encrypt side would never write, enciphered under the right key.
Vector Crafted(std::string id, std::string about, bool success, const U16& key, Bytes record, const U16& name = U16(),
               Bytes plain = Bytes())
{
    Vector v;
    v.id = (success ? "success-" : "refused-") + id;
    v.about = std::move(about);
    v.success = success;
    v.key = v.encryptKey = key;
    v.name = name;
    v.plain = std::move(plain);
    v.record = std::move(record);
    v.container = Encipher(key, v.record);
    v.standard = false;
    return v;
}

// Container bytes changed after encryption, or bytes that never were a container.
Vector Damaged(std::string id, std::string about, const U16& key, Bytes container, Bytes record = Bytes())
{
    Vector v;
    v.id = "refused-" + id;
    v.about = std::move(about);
    v.success = false;
    v.key = v.encryptKey = key;
    v.record = std::move(record);
    v.container = std::move(container);
    v.standard = false;
    return v;
}

Bytes Concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Cut(const Bytes& a, std::size_t length)
{
    return Bytes(a.begin(), a.begin() + std::ptrdiff_t(length));
}

}  // namespace

std::vector<Vector> AllVectors()
{
    std::vector<Vector> all;
    auto add = [&](Vector v) { all.push_back(std::move(v)); };

    const U16 kAscii = u"key";
    const U16 kJapanese = T("秘密の合言葉");
    const U16 kSurrogates = T("🔑鍵𠮷");                       // two surrogate pairs
    const U16 k36 = u"0123456789abcdefghijklmnopqrstuvwxyz";  // exactly 36 units
    const U16 k37 = k36 + u"!";
    const U16 k50 = k36 + u"-and-more-ignored";
    const U16 k36Off = u"0123456789abcdefghijklmnopqrstuvwxyZ";  // differs in unit 36, the last that counts
    const U16 kStraddle = U16(35, u'x') + T("😀");                // units 36/37 are one surrogate pair
    const U16 kStraddleSameHigh = U16(35, u'x') + T("😃");        // same high surrogate, other low one
    const U16 kStraddleOtherHigh = U16(35, u'x') + T("𠀀");
    const U16 kOne = u"a";
    const U16 kLongJapanese =
        T("いろはにほへとちりぬるをわかよたれそつねならむうゐのおくやまけふこえてあさきゆめみしゑひもせす");
    const U16 kSpaces = u"pass phrase 1";

    // Every residue of L mod 8, several times: name "a.txt" gives L = 18 + size.
    for (std::size_t size = 0; size <= 24; ++size) {
        const std::size_t l = 18 + size, r = l + 8 - l % 8;
        add(Standard("size-" + Num(size, 4) + "-name-a.txt",
                     "a.txt with " + std::to_string(size) + " bytes: L=" + std::to_string(l) +
                         ", R=" + std::to_string(r) + ", fill " + std::to_string(r - l),
                     kAscii, u"a.txt", Pattern(size, unsigned(size))));
    }

    add(Standard("empty-file-name-1-unit", "empty file, one-unit name: L=10, R=16, fill 6", kAscii, u"x", {}));
    add(Standard("empty-file-name-3-units", "empty file, three-unit name: L=14, R=16", kAscii, u"abc", {}));
    add(Standard("empty-file-name-4-units", "empty file, four-unit name: L=16, R=24, a whole block of fill", kAscii,
                 u"abcd", {}));
    add(Standard("name-4-units-8-bytes", "four-unit name, 8 bytes: L=24, R=32, fill 8", kAscii, u"abcd",
                 Pattern(8, 40)));
    add(Standard("name-5-units-6-bytes", "five-unit name, 6 bytes: L=24, R=32, fill 8", kAscii, u"abcde",
                 Pattern(6, 41)));

    // Block boundaries of bigger files, keys rotating; "data.bin" gives L = 24 + size.
    const U16 rotation[] = {kAscii, kJapanese, kSurrogates, k36, kOne};
    const std::size_t sizes[] = {31,  32,  33,  63,  64,   65,   127,  128,  129,  255, 256,
                                 257, 511, 512, 513, 1023, 1024, 1025, 4095, 4096, 4097};
    int turn = 0;
    for (std::size_t size : sizes) {
        add(Standard("size-" + Num(size, 4) + "-name-data.bin",
                     "data.bin with " + std::to_string(size) + " bytes, key #" + std::to_string(turn % 5),
                     rotation[turn % 5], u"data.bin", Pattern(size, unsigned(1000 + size))));
        ++turn;
    }

    add(Standard("empty-name-empty-file", "empty stored name, no data: L=8, R=16, a whole block of fill", kAscii, u"",
                 {}));
    add(Standard("empty-name-1-byte", "empty stored name, 1 byte: L=9, R=16", kAscii, u"", Pattern(1, 7)));
    add(Standard("empty-name-8-bytes", "empty stored name, 8 bytes: L=16, R=24", kAscii, u"", Pattern(8, 8)));

    add(Standard("name-japanese", "Japanese stored name", kAscii, T("報告書.txt"), Text("四半期の数字\r\n")));
    add(Standard("name-japanese-long", "long Japanese stored name, Japanese key", kJapanese,
                 T("日本語のファイル名（第二版）.docx"), Pattern(100, 5)));
    add(Standard("name-surrogate-pairs", "stored name with surrogate pairs, key with surrogate pairs", kSurrogates,
                 T("𠮷野家🍣.bin"), Pattern(7, 6)));
    add(Standard("name-one-emoji", "stored name of one surrogate pair, empty file", kAscii, T("😀"), {}));
    add(Standard("name-fullwidth", "full-width letters and an ideographic space in the name", kJapanese,
                 T("Ａｂｃ　スペース.txt"), Pattern(33, 9)));

    add(Standard("key-japanese", "Japanese key", kJapanese, u"j.bin", Pattern(16, 11)));
    add(Standard("key-surrogate-pairs", "key with surrogate pairs", kSurrogates, u"s.bin", Pattern(9, 12)));
    add(Standard("key-36-units", "key of exactly 36 units (72 key bytes, all used)", k36, u"k.bin", Pattern(20, 13)));
    add(Standard("key-37-units", "key of 37 units: the 37th is ignored", k37, u"k.bin", Pattern(20, 13)));
    add(SameEffectiveKey("key-50-decrypts-key-37",
                         "made with a 37-unit key, decrypted with a 50-unit key that "
                         "agrees in the first 36 units",
                         k37, k50, u"k.bin", Pattern(20, 13)));
    add(SameEffectiveKey("key-straddling-surrogate-pair",
                         "only the high surrogate of a pair at units 36/37 counts: "
                         "another character with the same high surrogate decrypts",
                         kStraddle, kStraddleSameHigh, u"straddle.bin", Pattern(24, 14)));
    add(Standard("key-one-unit", "key of one unit (2 key bytes)", kOne, u"one.bin", Pattern(3, 15)));
    add(Standard("key-long-japanese", "Japanese key of 47 units", kLongJapanese, u"iroha.txt", Pattern(50, 16)));
    add(Standard("key-with-spaces", "key with inner spaces", kSpaces, u"spaces.txt", Pattern(12, 17)));
    add(Standard("plain-text-crlf-ctrl-z", "bytes 0D 0A 1A 00 FF pass unchanged", kAscii, u"bytes.txt",
                 Bytes{0x0D, 0x0A, 0x1A, 0x00, 0xFF, 0x0A, 0x0D, 0x1A}));

    // Stored names a container from someone else may carry: the proposal must stay in the chosen folder.
    struct Unsafe {
        const char* id;
        U16 name;
        const char* about;
    };
    U16 lone = u"a";
    lone += char16_t(0xD800);
    lone += u".txt";
    const Unsafe unsafe[] = {
        {"unsafe-name-backslash-parents", T("..\\..\\Windows\\evil.dll"), "parent folders with backslashes"},
        {"unsafe-name-slash-parents", T("../../etc/cron.d/job"), "parent folders with slashes"},
        {"unsafe-name-drive-path", T("C:\\Users\\Public\\a.txt"), "a full Windows path"},
        {"unsafe-name-absolute-slash", T("/abs/path.txt"), "an absolute POSIX path"},
        {"unsafe-name-reserved-characters", T("a:b*c?d\"e<f>g|h.txt"), "characters a Windows name can't hold"},
        {"unsafe-name-dot-dot", T(".."), "the parent folder itself"},
        {"unsafe-name-dot", T("."), "the folder itself"},
        {"unsafe-name-trailing-backslash", T("dir\\"), "a folder path: nothing after the last separator"},
        {"unsafe-name-slash-dot-dot", T("dir/.."), "ends in the parent folder"},
        {"unsafe-name-control-characters", T("tab\there\nnew\x01line\x1f.txt"), "control characters"},
        {"unsafe-name-lone-surrogate", lone, "a lone high surrogate (kept: it is a legal Windows name unit)"},
        {"unsafe-name-300-units", U16(296, u'n') + u".txt", "longer than the save chooser's 259 units"},
        {"unsafe-name-right-to-left-override", u"report\u202Etxt.exe", "a program shown as reportexe.txt"},
        {"unsafe-name-direction-marks", u"\u200E\u200Fa\u202A\u202B\u202C\u202Db\u2066\u2067\u2068\u2069.txt",
         "every text-direction control"},
        {"unsafe-name-device-con", T("CON"), "a device name"},
        {"unsafe-name-device-nul-extension", T("nul.tar.gz"), "a device name in lower case with extensions"},
        {"unsafe-name-device-com9-space", T("Com9 .log"), "a device name with a space before the extension"},
        {"unsafe-name-device-lpt1", T("dir\\LPT1.txt"), "a device name after a folder"},
        {"unsafe-name-device-lookalikes", T("CONSOLE.txt"), "not a device name: CON is only its start"},
        {"unsafe-name-device-com10", T("COM10.txt"), "not a device name: the ports are numbered 1 to 9"},
        {"unsafe-name-trailing-dot", T("evil.exe."), "a trailing dot, which Windows drops"},
        {"unsafe-name-trailing-dots-spaces", T("a.txt . ."), "trailing dots and spaces"},
        {"unsafe-name-dots-only", T("..."), "three dots"},
        {"unsafe-name-del-and-c1-controls", u"a\u007Fb\u0080c\u009Bd\u009F.txt", "DEL and C1 controls"},
        {"unsafe-name-arabic-letter-mark", u"report\u061C.txt", "the Arabic letter mark"},
        {"unsafe-name-device-com-superscript", u"com\u00B9.txt", "a port with a superscript digit"},
        {"unsafe-name-device-lpt-superscript", u"LPT\u00B3", "a printer with a superscript digit"},
        {"unsafe-name-device-conin", T("CONIN$"), "the console's input"},
        {"unsafe-name-device-conout", T("conout$.log"), "the console's output with an extension"},
        {"unsafe-name-device-lookalike-superscript", u"COM\u2074.txt", "not a device: only superscripts 1 to 3"},
        {"unsafe-name-zero-width-and-byte-order-mark", u"\uFEFFa\u200Bb\u2060.txt", "invisible format characters"},
        {"unsafe-name-line-and-paragraph-separators", u"a\u2028b\u2029c.txt", "the separators Zl and Zp"},
        {"unsafe-name-soft-hyphen-and-arabic-format", u"re\u00ADport\u0600\u070F.txt", "more format characters"},
        {"unsafe-name-hangul-fillers", u"\u115F\u1160a\u3164b\uFFA0.txt", "the four Hangul fillers"},
        {"unsafe-name-tags", u"a\U000E0001\U000E0041\U000E007F.txt", "tag characters, each a surrogate pair"},
        {"unsafe-name-lone-variation-selectors", u"\uFE0Fa\u200B\uFE0E\U000E0100.txt",
         "variation selectors first and after an invisible character"},
        {"name-variation-selector-kept", u"\u2764\uFE0F\u2764\uFE0E.txt", "variation selectors after their characters"},
    };
    int seed = 50;
    for (const auto& u : unsafe)
        add(Standard(u.id, std::string("stored name: ") + u.about, kAscii, u.name, Pattern(11, unsigned(seed++))));

    // Records the encrypt side never writes but the format allows.
    {
        const Bytes region = Concat(Concat(Utf16Le(u"ok.txt"), Bytes{0, 0}), Utf16Le(u"../evil"));
        const Bytes data = Pattern(5, 60);
        const std::size_t l = 8 + region.size() + data.size();
        add(Crafted("crafted-name-with-zero-unit",
                    "name region holds a zero unit: kept in the name (the proposal makes it \"_\"), the data "
                    "starts after the whole region",
                    true, kAscii, RawRecord(5, std::uint32_t(region.size()), region, data, 8 - l % 8, 0),
                    U16(u"ok.txt") + u'\0' + u"../evil", data));
    }
    {
        const U16 name = U16(u"a") + u'\0' + u"b.txt";
        const Bytes data = Pattern(6, 62);
        add(Crafted("crafted-name-zero-unit-kept", "a\\0b.txt: the zero unit becomes \"_\", not the name's end", true,
                    kAscii, MakeRecord(name, data), name, data));
    }
    {
        const Bytes region = Concat(Utf16Le(u"ab"), Bytes{'c'});
        const Bytes data = Pattern(3, 61);
        add(Crafted("crafted-odd-name-bytes", "nameBytes = 5: a name of two units, data from offset 13", true, kAscii,
                    RawRecord(3, 5, region, data, 8 - (8 + 5 + 3) % 8, 0), u"ab", data));
    }

    // Wrong keys: the reader's limits and the zero fill must catch them.
    const Bytes small = Pattern(13, 70);
    add(WrongKey("wrong-key-case", "made with \"key\", decrypted with \"Key\"", kAscii, u"Key", u"a.txt", small));
    add(WrongKey("wrong-key-longer", "made with \"key\", decrypted with \"keys\"", kAscii, u"keys", u"a.txt", small));
    add(WrongKey("wrong-key-prefix", "made with \"key\", decrypted with \"ke\"", kAscii, u"ke", u"a.txt", small));
    add(WrongKey("wrong-key-unit-36", "keys differ only in unit 36, the last that counts", k36, k36Off, u"k.bin",
                 Pattern(20, 71)));
    add(WrongKey("wrong-key-straddle-high-surrogate", "keys differ in the high surrogate at unit 36", kStraddle,
                 kStraddleOtherHigh, u"straddle.bin", Pattern(24, 72)));
    add(WrongKey("wrong-key-japanese", "made with a Japanese key, decrypted with another", kJapanese, kSurrogates,
                 T("報告書.txt"), Pattern(40, 73)));
    add(WrongKey("wrong-key-empty-file", "an empty file's container under a wrong key", kAscii, u"kez", u"e.txt", {}));
    add(WrongKey("wrong-key-4097-bytes", "a bigger container under a wrong key", kJapanese, kAscii, u"data.bin",
                 Pattern(4097, 74)));

    // Truncated and extended containers.
    const Bytes r13 = MakeRecord(u"a.txt", small);  // L = 31, R = 32
    const Bytes c13 = Encipher(kAscii, r13);
    const Bytes r6 = MakeRecord(u"a.txt", Pattern(6, 75));  // L = 24, R = 32, fill 8
    const Bytes c6 = Encipher(kAscii, r6);
    add(Damaged("truncated-last-block", "last block cut off: the data reaches past the end", kAscii, Cut(c13, 24),
                r13));
    add(Damaged("truncated-whole-fill-block", "the block of fill cut off: no fill is left", kAscii, Cut(c6, 24), r6));
    add(Damaged("truncated-to-header", "only the first block is left", kAscii, Cut(c13, 8), r13));
    add(Damaged("truncated-one-byte", "one byte short: not whole blocks", kAscii, Cut(c13, 31), r13));
    add(Damaged("truncated-to-7-bytes", "7 bytes: shorter than a block", kAscii, Cut(c13, 7), r13));
    add(Damaged("truncated-to-1-byte", "1 byte", kAscii, Cut(c13, 1), r13));
    add(Damaged("empty-file", "an empty file is no container", kAscii, {}));
    add(Damaged("extended-zero-block", "a block of enciphered zeros appended: 9 bytes of fill", kAscii,
                Concat(c13, Encipher(kAscii, Bytes(8, 0))), r13));
    add(Damaged("extended-repeated-block", "the first block appended again", kAscii, Concat(c13, Cut(c13, 8)), r13));
    add(Damaged("extended-one-byte", "one byte appended: not whole blocks", kAscii, Concat(c13, Bytes{0}), r13));
    add(Damaged("extended-seven-bytes", "seven bytes appended", kAscii, Concat(c13, Bytes(7, 0x5A)), r13));
    add(Damaged("extended-second-container", "two containers one after the other", kAscii, Concat(c13, c6), r13));
    add(Damaged("length-9", "9 bytes that are no container", kAscii, Pattern(9, 76)));
    add(Damaged("length-15", "15 bytes that are no container", kAscii, Pattern(15, 77)));
    add(Damaged("length-17", "17 bytes that are no container", kAscii, Pattern(17, 78)));
    add(Damaged("length-100", "100 bytes that are no container", kAscii, Pattern(100, 79)));
    add(Damaged("plain-text-16-bytes", "a text file of 16 bytes taken as a container", kAscii,
                Text("hello world, hi!")));
    add(Damaged("random-64-bytes", "64 random bytes taken as a container", kAscii, Pattern(64, 80)));
    {
        Bytes flipped = c13;
        flipped[2] ^= 0x01;  // one bit of the first block: the header becomes noise
        add(Damaged("bit-flip-header-block", "one bit changed in the first block", kAscii, flipped, r13));
    }

    // Broken fills and fields beyond the record, under the right key.
    const Bytes nameA = Utf16Le(u"a.txt");
    add(Crafted("fill-last-byte-nonzero", "fill of 1 byte that is not zero", false, kAscii,
                RawRecord(13, 10, nameA, small, 1, 0x01)));
    {
        Bytes r = RawRecord(6, 10, nameA, Pattern(6, 75), 8, 0);
        r[24] = 0x80;  // first of 8 fill bytes
        add(Crafted("fill-first-byte-nonzero", "fill of 8 bytes, the first not zero", false, kAscii, r));
    }
    add(Crafted("fill-missing", "L a multiple of 8 and no fill at all", false, kAscii,
                RawRecord(6, 10, nameA, Pattern(6, 75), 0, 0)));
    add(Crafted("fill-9-bytes", "9 zero bytes of fill: one block too many", false, kAscii,
                RawRecord(13, 10, nameA, small, 9, 0)));
    add(Crafted("fill-16-bytes", "16 zero bytes of fill", false, kAscii,
                RawRecord(6, 10, nameA, Pattern(6, 75), 16, 0)));
    add(Crafted("header-only-no-fill", "an 8-byte record of two zero fields: no fill", false, kAscii,
                RawRecord(0, 0, {}, {}, 0, 0)));
    add(Crafted("data-size-negative", "dataSize = -1", false, kAscii, RawRecord(0xFFFFFFFFu, 10, nameA, small, 1, 0)));
    add(Crafted("data-size-int-min", "dataSize = -2147483648", false, kAscii,
                RawRecord(0x80000000u, 10, nameA, small, 1, 0)));
    add(Crafted("data-size-int-max", "dataSize = 2147483647", false, kAscii,
                RawRecord(0x7FFFFFFFu, 10, nameA, small, 1, 0)));
    add(Crafted("data-size-one-too-many", "dataSize one more than the bytes after the name", false, kAscii,
                RawRecord(15, 10, nameA, small, 1, 0)));
    add(Crafted("name-bytes-all-ones", "nameBytes = 4294967295", false, kAscii,
                RawRecord(13, 0xFFFFFFFFu, nameA, small, 1, 0)));
    add(Crafted("name-bytes-one-past-end", "nameBytes reaches one byte past the record", false, kAscii,
                RawRecord(0, 25, nameA, small, 1, 0)));
    add(Crafted("name-bytes-wraps-with-data", "nameBytes + dataSize wraps around 2^32 to a small number", false, kAscii,
                RawRecord(16, 0xFFFFFFF8u, nameA, small, 1, 0)));
    add(Crafted("name-fills-record-data-1", "nameBytes takes the whole record, dataSize 1", false, kAscii,
                RawRecord(1, 24, nameA, small, 1, 0)));
    return all;
}

}  // namespace kitgen
