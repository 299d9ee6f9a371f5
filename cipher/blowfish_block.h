#pragma once
// The single-block Blowfish network, written out round by round so that the
// compiler keeps both halves in registers. Shared by the cipher object and the
// ECB loops; internal to cipher/.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__GNUC__)
// The interleaved loops rely on every round being expanded in place; a call
// would put the halves back in memory.
#define QUORVANE_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define QUORVANE_ALWAYS_INLINE inline
#endif

namespace quorvane {

// The indices are byte values widened to size_t, so the compiler folds each
// box offset into the address instead of adding 512 at run time.
QUORVANE_ALWAYS_INLINE std::uint32_t BlowfishF(const std::uint32_t* s, std::uint32_t x) noexcept
{
    return ((s[x >> 24] + s[256 + std::size_t(std::uint8_t(x >> 16))]) ^ s[512 + std::size_t(std::uint8_t(x >> 8))]) +
           s[768 + std::size_t(std::uint8_t(x))];
}

QUORVANE_ALWAYS_INLINE void EncipherHalves(const std::uint32_t* p, const std::uint32_t* s, std::uint32_t& left,
                                           std::uint32_t& right) noexcept
{
    std::uint32_t l = left ^ p[0], r = right;
    r ^= BlowfishF(s, l) ^ p[1];
    l ^= BlowfishF(s, r) ^ p[2];
    r ^= BlowfishF(s, l) ^ p[3];
    l ^= BlowfishF(s, r) ^ p[4];
    r ^= BlowfishF(s, l) ^ p[5];
    l ^= BlowfishF(s, r) ^ p[6];
    r ^= BlowfishF(s, l) ^ p[7];
    l ^= BlowfishF(s, r) ^ p[8];
    r ^= BlowfishF(s, l) ^ p[9];
    l ^= BlowfishF(s, r) ^ p[10];
    r ^= BlowfishF(s, l) ^ p[11];
    l ^= BlowfishF(s, r) ^ p[12];
    r ^= BlowfishF(s, l) ^ p[13];
    l ^= BlowfishF(s, r) ^ p[14];
    r ^= BlowfishF(s, l) ^ p[15];
    l ^= BlowfishF(s, r) ^ p[16];
    r ^= p[17];
    left = r;
    right = l;
}

QUORVANE_ALWAYS_INLINE void DecipherHalves(const std::uint32_t* p, const std::uint32_t* s, std::uint32_t& left,
                                           std::uint32_t& right) noexcept
{
    std::uint32_t l = left ^ p[17], r = right;
    r ^= BlowfishF(s, l) ^ p[16];
    l ^= BlowfishF(s, r) ^ p[15];
    r ^= BlowfishF(s, l) ^ p[14];
    l ^= BlowfishF(s, r) ^ p[13];
    r ^= BlowfishF(s, l) ^ p[12];
    l ^= BlowfishF(s, r) ^ p[11];
    r ^= BlowfishF(s, l) ^ p[10];
    l ^= BlowfishF(s, r) ^ p[9];
    r ^= BlowfishF(s, l) ^ p[8];
    l ^= BlowfishF(s, r) ^ p[7];
    r ^= BlowfishF(s, l) ^ p[6];
    l ^= BlowfishF(s, r) ^ p[5];
    r ^= BlowfishF(s, l) ^ p[4];
    l ^= BlowfishF(s, r) ^ p[3];
    r ^= BlowfishF(s, l) ^ p[2];
    l ^= BlowfishF(s, r) ^ p[1];
    r ^= p[0];
    left = r;
    right = l;
}

// A half is stored least significant byte first, whatever the host's order.
// On a little-endian host that is one plain 32-bit access; the compiler
// merges the byte loads by itself but not the byte stores.
QUORVANE_ALWAYS_INLINE std::uint32_t LoadHalf(const std::uint8_t* b) noexcept
{
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t v;
        std::memcpy(&v, b, sizeof v);
        return v;
    } else {
        return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
    }
}

QUORVANE_ALWAYS_INLINE void StoreHalf(std::uint8_t* b, std::uint32_t v) noexcept
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(b, &v, sizeof v);
    } else {
        b[0] = std::uint8_t(v);
        b[1] = std::uint8_t(v >> 8);
        b[2] = std::uint8_t(v >> 16);
        b[3] = std::uint8_t(v >> 24);
    }
}

}  // namespace quorvane
