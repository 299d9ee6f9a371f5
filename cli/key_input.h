#pragma once
// Where the key text comes from: the first line of a key file or of standard
// input, or typed on the terminal without echo.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "cipher/secure_memory.h"
#include "jobs/platform_file.h"

namespace quorvane::cli {

// cli_run.cpp tells each by its place in this order: a new value goes before unreadable, with its text.
enum class KeyFailure {
    none,
    noTerminal,       // no key file and no terminal to ask on
    echoingTerminal,  // "-k -" with standard input a terminal, which would show the key as it is typed
    cancelled,        // the prompt ended without a line
    mismatch,         // the confirmation differs from the first entry
    empty,
    notUtf8,
    tooLong,
    unreadable,  // the key file could not be opened or read
};

// The key text held in the bytes of a key file: its first line, without a
// leading UTF-8 byte-order mark and without the line end (LF or CRLF).
KeyFailure KeyTextFromBytes(const std::uint8_t* bytes, std::size_t size, CSecureText& key);

// The key text in the first line read from `file` (KeyTextFromBytes), read
// without any library buffering, so that no copy of the key is left behind in
// memory that is never wiped; `cancelled` when the input ends before a byte.
KeyFailure ReadKeyLine(NativeFile file, CSecureText& key);

// Reads the key from `keyFile` ("-": standard input) or, when there is none,
// asks on the terminal: once for decrypting, twice for encrypting (`confirm`).
KeyFailure ObtainKey(const std::optional<std::u16string>& keyFile, bool confirm, CSecureText& key);

}  // namespace quorvane::cli
