// The ECB block loops. Every block is independent, so the order of work inside
// a call does not change the bytes.
#include "cipher/blowfish_block.h"
#include "cipher/blowfish_cipher.h"

namespace quorvane {

namespace {

template <bool Encipher>
void TransformBlocks(const std::uint32_t* p, const std::uint32_t* s, const std::uint8_t* in, std::uint8_t* out,
                     std::uint32_t blocks) noexcept
{
    for (std::uint32_t k = 0; k < blocks; ++k, in += 8, out += 8) {
        std::uint32_t l = LoadHalf(in), r = LoadHalf(in + 4);
        if constexpr (Encipher)
            EncipherHalves(p, s, l, r);
        else
            DecipherHalves(p, s, l, r);
        StoreHalf(out, l);
        StoreHalf(out + 4, r);
    }
}

}  // namespace

std::uint32_t CBlowfishCipher::EncodeBlocks(const std::uint8_t* input, std::uint8_t* output,
                                            std::uint32_t length) const
{
    const std::uint32_t n = AlignedLength(length);
    if (n == 0) return 0;
    const std::uint32_t whole = length / 8;
    TransformBlocks<true>(pArray.get(), sBoxes.get(), input, output, whole);
    if (const std::uint32_t rest = length % 8; rest != 0) {
        // The last partial block is completed with zeros before it is enciphered.
        std::uint8_t tail[8] = {};
        std::memcpy(tail, input + 8 * whole, rest);
        TransformBlocks<true>(pArray.get(), sBoxes.get(), tail, output + 8 * whole, 1);
    }
    return n;
}

void CBlowfishCipher::DecodeBlocks(const std::uint8_t* input, std::uint8_t* output, std::uint32_t length) const
{
    if (length == 0) return;
    TransformBlocks<false>(pArray.get(), sBoxes.get(), input, output, AlignedLength(length) / 8);
}

}  // namespace quorvane
