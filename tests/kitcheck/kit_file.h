#pragma once
// Reads the container test kit (tests/kit/*.vec; the format is in its README).
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quorvane::kit {

using Bytes = std::vector<std::uint8_t>;

struct KitVector {
    std::string id;  // file name without ".vec"
    std::string about;
    bool expectSuccess = false;
    std::u16string key;       // exact, from the UTF-16LE hex
    std::string keyUtf8;      // the readable form, as a key file holds it
    bool hasContent = false;  // name, plain and sha256 are present
    std::u16string name;
    std::u16string safeName;
    Bytes plain;
    Bytes sha256;
    bool standard = false;  // container = encryption of the record of name and plain
    Bytes record;
    Bytes container;
};

// The kit folder in the source tree, in the form the platform's file access takes.
std::filesystem::path KitFolder();

// Every vector, sorted by id. Throws std::runtime_error for a malformed file.
std::vector<KitVector> LoadKit();

// A stored name that can be a file name on both Linux and Windows, so the
// encrypt job can be given a real file of that name.
bool IsPortableFileName(const std::u16string& name);

}  // namespace quorvane::kit
