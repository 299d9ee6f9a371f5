#include "cli/key_input.h"

#include <algorithm>

#include "cli/cli_options.h"
#include "cli/console.h"
#include "container/text_codec.h"
#include "jobs/platform_file.h"

namespace quorvane::cli {

namespace {

constexpr std::uint8_t kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
// Room for the longest line with its mark and a CRLF.
constexpr std::size_t kMaxKeyFileHead = kMaxKeyLineBytes + sizeof kByteOrderMark + 2;

KeyFailure ReadKeyFile(const std::u16string& keyFile, CSecureText& key)
{
    const bool standard = keyFile == kStandardStreamName;
    if (standard && IsTerminal(StandardInput())) return KeyFailure::echoingTerminal;
    struct COpened {
        NativeFile file;
        const bool owned;
        ~COpened()
        {
            if (owned) CloseFile(file);
        }
    } input{standard ? StandardInput() : OpenForReading(keyFile), !standard};
    if (input.file == -1) return KeyFailure::unreadable;
    const KeyFailure result = ReadKeyLine(input.file, key);
    return result == KeyFailure::cancelled ? KeyFailure::empty : result;
}

KeyFailure AskOnTerminal(bool confirm, CSecureText& key)
{
    if (!IsTerminal(StandardInput())) return KeyFailure::noTerminal;
    if (const KeyFailure f = ReadHiddenLine(u"Key: ", key); f != KeyFailure::none) return f;
    if (key.Empty()) return KeyFailure::empty;
    if (!confirm) return KeyFailure::none;
    CSecureText again;
    if (const KeyFailure f = ReadHiddenLine(u"Key again: ", again); f != KeyFailure::none) return f;
    return again.Text() == key.Text() ? KeyFailure::none : KeyFailure::mismatch;
}

}  // namespace

KeyFailure KeyTextFromBytes(const std::uint8_t* bytes, std::size_t size, CSecureText& key)
{
    std::size_t begin = 0;
    if (size >= sizeof kByteOrderMark && std::equal(kByteOrderMark, kByteOrderMark + sizeof kByteOrderMark, bytes))
        begin = sizeof kByteOrderMark;
    const std::uint8_t* lineEnd = std::find(bytes + begin, bytes + size, std::uint8_t('\n'));
    std::size_t end = static_cast<std::size_t>(lineEnd - bytes);
    // A CR counts as part of the line end only right before the LF.
    if (end < size && end > begin && bytes[end - 1] == '\r') --end;

    if (end == begin) return KeyFailure::empty;
    if (end - begin > kMaxKeyLineBytes) return KeyFailure::tooLong;
    std::u16string text;
    const bool valid = Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes + begin), end - begin), text);
    if (valid) key.Assign(text);
    WipeString(text);
    return valid ? KeyFailure::none : KeyFailure::notUtf8;
}

KeyFailure ReadKeyLine(NativeFile file, CSecureText& key)
{
    // Only the first line is read: a key on standard input may be followed by anything.
    CSecureBuffer head(kMaxKeyFileHead);
    std::size_t length = 0;
    for (;;) {
        if (length == head.Size()) return KeyFailure::tooLong;
        const std::optional<std::size_t> n = ReadSome(file, head.Data() + length, head.Size() - length);
        if (!n) return KeyFailure::unreadable;
        if (*n == 0) break;
        std::uint8_t* fresh = head.Data() + length;
        length += *n;
        if (std::find(fresh, head.Data() + length, std::uint8_t('\n')) != head.Data() + length) break;
    }
    return length == 0 ? KeyFailure::cancelled : KeyTextFromBytes(head.Data(), length, key);
}

KeyFailure ObtainKey(const std::optional<std::u16string>& keyFile, bool confirm, CSecureText& key)
{
    return keyFile ? ReadKeyFile(*keyFile, key) : AskOnTerminal(confirm, key);
}

}  // namespace quorvane::cli
