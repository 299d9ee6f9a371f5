// The ECB block loops. Every block is independent, so neither the grouping of
// blocks inside a call nor the split across threads changes the bytes.
#include <cstring>

#include "cipher/blowfish_block.h"
#include "cipher/blowfish_cipher.h"
#include "cipher/blowfish_lanes.h"
#include "cipher/ecb_parallel.h"

namespace quorvane {

namespace {

// Deciphering is the enciphering network with the P-array reversed, so both
// directions run the very same interleaved code on their own copy of P.
enum class Direction { encipher, decipher };

// Whole blocks from in to out (the same buffer, or two that don't overlap):
// groups of kEcbLanes interleaved, then the rest one at a time.
void TransformRun(const std::uint32_t* pArray, const std::uint32_t* s, Direction direction, const std::uint8_t* in,
                  std::uint8_t* out, std::size_t blocks) noexcept
{
    // The private copy also sits next to the spilled halves on the stack and
    // frees the register that a pointer to P would take; wiped before returning.
    std::uint32_t p[18];
    for (int i = 0; i < 18; ++i) p[i] = pArray[direction == Direction::encipher ? i : 17 - i];
    for (; blocks >= kEcbLanes; blocks -= kEcbLanes, in += 8 * kEcbLanes, out += 8 * kEcbLanes)
        EncipherLanes<kEcbLanes>(p, s, in, out);
    for (; blocks != 0; --blocks, in += 8, out += 8) {
        std::uint32_t l = LoadHalf(in), r = LoadHalf(in + 4);
        EncipherHalves(p, s, l, r);
        StoreHalf(out, l);
        StoreHalf(out + 4, r);
    }
    SecureWipe(p, sizeof p);
}

void TransformBlocks(const CBlowfishCipher& cipher, Direction direction, const std::uint8_t* in, std::uint8_t* out,
                     std::size_t blocks, unsigned threadCount)
{
    const std::uint32_t* p = cipher.PArray();
    const std::uint32_t* s = cipher.SBoxes();
    SplitBlocks(blocks, threadCount, [=](std::size_t first, std::size_t count) {
        TransformRun(p, s, direction, in + 8 * first, out + 8 * first, count);
    });
}

}  // namespace

std::uint32_t EncodeBlocksOnThreads(const CBlowfishCipher& cipher, const std::uint8_t* input, std::uint8_t* output,
                                    std::uint32_t length, unsigned threadCount)
{
    const std::uint32_t whole = length / 8;
    TransformBlocks(cipher, Direction::encipher, input, output, whole, threadCount);
    if (const std::uint32_t rest = length % 8; rest != 0) {
        // The last partial block is completed with zeros before it is enciphered;
        // in place, those zeros land in the buffer too.
        std::uint8_t tail[8] = {};
        std::memcpy(tail, input + 8 * std::size_t{whole}, rest);
        TransformRun(cipher.PArray(), cipher.SBoxes(), Direction::encipher, tail, output + 8 * std::size_t{whole}, 1);
        SecureWipe(tail, sizeof tail);
    }
    return AlignedLength(length);
}

void DecodeBlocksOnThreads(const CBlowfishCipher& cipher, const std::uint8_t* input, std::uint8_t* output,
                           std::uint32_t length, unsigned threadCount)
{
    if (length == 0) return;
    // Rounded up without overflow: every block is read whole.
    const std::size_t blocks = (std::size_t{length} - 1) / 8 + 1;
    TransformBlocks(cipher, Direction::decipher, input, output, blocks, threadCount);
}

std::uint32_t CBlowfishCipher::EncodeBlocks(const std::uint8_t* input, std::uint8_t* output, std::uint32_t length) const
{
    return EncodeBlocksOnThreads(*this, input, output, length, AutomaticThreadCount(length));
}

void CBlowfishCipher::DecodeBlocks(const std::uint8_t* input, std::uint8_t* output, std::uint32_t length) const
{
    DecodeBlocksOnThreads(*this, input, output, length, AutomaticThreadCount(length));
}

}  // namespace quorvane
