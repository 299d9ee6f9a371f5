#include "cipher/blowfish_cipher.h"

#include <cstring>
#include <stdexcept>

#include "cipher/blowfish_block.h"
#include "cipher/blowfish_tables.h"

namespace quorvane {

CBlowfishCipher::CBlowfishCipher() : pArray(new std::uint32_t[18]), sBoxes(new std::uint32_t[1024])
{
    // Defined contents before the first key, so a misuse never reads garbage.
    std::memcpy(pArray.get(), kInitialPArray, sizeof kInitialPArray);
    std::memcpy(sBoxes.get(), kInitialSBoxes, sizeof kInitialSBoxes);
}

CBlowfishCipher::~CBlowfishCipher()
{
    SecureWipe(pArray.get(), 18 * sizeof(std::uint32_t));
    SecureWipe(sBoxes.get(), 1024 * sizeof(std::uint32_t));
}

void CBlowfishCipher::SetKey(const std::uint8_t* key, std::int32_t keyLength)
{
    if (keyLength < 1 || key == nullptr) throw std::invalid_argument("Blowfish key of zero bytes");
    std::uint32_t* p = pArray.get();
    std::uint32_t* s = sBoxes.get();
    std::memcpy(p, kInitialPArray, sizeof kInitialPArray);
    std::memcpy(s, kInitialSBoxes, sizeof kInitialSBoxes);

    // The key is an endless cyclic stream; 18 words consume its first 72 bytes.
    const auto k = static_cast<std::uint32_t>(keyLength);
    std::uint32_t j = 0;
    for (int i = 0; i < 18; ++i) {
        std::uint32_t w = 0;
        for (int b = 0; b < 4; ++b) {
            w = (w << 8) | key[j];
            j = (j + 1 == k) ? 0 : j + 1;
        }
        p[i] ^= w;
    }

    std::uint32_t l = 0, r = 0;
    for (int i = 0; i < 18; i += 2) {
        EncipherBlock(l, r);
        p[i] = l;
        p[i + 1] = r;
    }
    for (int w = 0; w < 1024; w += 2) {
        EncipherBlock(l, r);
        s[w] = l;
        s[w + 1] = r;
    }
}

void CBlowfishCipher::EncipherBlock(std::uint32_t& left, std::uint32_t& right) const noexcept
{
    EncipherHalves(pArray.get(), sBoxes.get(), left, right);
}

void CBlowfishCipher::DecipherBlock(std::uint32_t& left, std::uint32_t& right) const noexcept
{
    DecipherHalves(pArray.get(), sBoxes.get(), left, right);
}

CSecureBuffer MakeKeyBytes(std::u16string_view keyText)
{
    CSecureBuffer bytes(keyText.size() * 2);
    for (std::size_t i = 0; i < keyText.size(); ++i) {
        bytes.Data()[2 * i] = static_cast<std::uint8_t>(keyText[i] & 0xFF);
        bytes.Data()[2 * i + 1] = static_cast<std::uint8_t>(keyText[i] >> 8);
    }
    return bytes;
}

}  // namespace quorvane
