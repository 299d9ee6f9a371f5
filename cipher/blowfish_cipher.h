#pragma once
#include <cstdint>
#include <memory>
#include <string_view>

#include "cipher/secure_memory.h"

namespace quorvane {

// The aligned length: n raised to the next multiple of 8 (a multiple stays).
constexpr std::uint32_t AlignedLength(std::uint32_t n) noexcept
{
    return (n + 7u) & ~7u;
}

// Blowfish with 16 rounds. A block lies in memory as two 32-bit halves, each
// least significant byte first; this byte order is part of the container format.
class CBlowfishCipher {
public:
    CBlowfishCipher();
    ~CBlowfishCipher();
    CBlowfishCipher(const CBlowfishCipher&) = delete;
    CBlowfishCipher& operator=(const CBlowfishCipher&) = delete;

    // keyLength must be at least 1; only the first 72 bytes take part.
    // Throws std::invalid_argument for a shorter key instead of dividing by zero.
    void SetKey(const std::uint8_t* key, std::int32_t keyLength);

    void EncipherBlock(std::uint32_t& left, std::uint32_t& right) const noexcept;
    void DecipherBlock(std::uint32_t& left, std::uint32_t& right) const noexcept;

    // ECB over a buffer, ascending blocks. input == output works in place;
    // otherwise the two must not overlap. The output needs room for the aligned
    // length; a final partial block is completed with zeros. Returns that length.
    std::uint32_t EncodeBlocks(const std::uint8_t* input, std::uint8_t* output, std::uint32_t length) const;
    // Reads and writes whole blocks: the input must hold AlignedLength(length) bytes.
    void DecodeBlocks(const std::uint8_t* input, std::uint8_t* output, std::uint32_t length) const;

    const std::uint32_t* PArray() const noexcept { return pArray.get(); }
    const std::uint32_t* SBoxes() const noexcept { return sBoxes.get(); }

private:
    std::unique_ptr<std::uint32_t[]> pArray;  // 18 words
    std::unique_ptr<std::uint32_t[]> sBoxes;  // S-box k at words 256k .. 256k+255
};

// The key bytes of a key text: its UTF-16LE code units, low byte first, no terminator.
CSecureBuffer MakeKeyBytes(std::u16string_view keyText);

}  // namespace quorvane
