#pragma once
// The kit generator's own model of the container format; nothing here comes
// from the product's sources.
#include <cstdint>
#include <string>
#include <vector>

namespace kitgen {

using Bytes = std::vector<std::uint8_t>;
using U16 = std::u16string;

struct Vector {
    std::string id;        // file name without ".vec"
    std::string about;     // one line: what the vector shows
    bool success = true;   // decrypting under `key` restores `name` and `plain`
    U16 key;               // the key text to decrypt with
    U16 encryptKey;        // the key text the container was made with
    U16 name;              // stored name as the reader yields it
    Bytes plain;           // file bytes
    Bytes record;          // the enciphered plaintext record, when there is one
    Bytes container;       // the file's bytes
    bool standard = true;  // container = encryption of the record built from name and plain
};

struct Inspection {
    bool ok = false;
    U16 name;
    Bytes data;
};

[[noreturn]] void Fail(const std::string& what);

Bytes Utf16Le(const U16& text);
U16 FromUtf8(const std::string& text);
Bytes Encipher(const U16& keyText, const Bytes& record);
Bytes Decipher(const U16& keyText, const Bytes& container);

// dataSize | nameBytes | storedName | data | 1..8 zero bytes, as the format lays it out.
Bytes MakeRecord(const U16& name, const Bytes& data);
// Any header values and any fill, for records the encrypt side never writes.
Bytes RawRecord(std::uint32_t dataSizeField, std::uint32_t nameBytesField, const Bytes& nameRegion, const Bytes& data,
                std::size_t fill, std::uint8_t fillByte);
// The reader's limits: fields inside the record and 1..8 zero bytes after the data.
Inspection Inspect(const Bytes& record);
// The name the decrypt side proposes for a stored name.
U16 SafeName(const U16& stored);

std::vector<Vector> AllVectors();

}  // namespace kitgen
