#pragma once
// Blowfish over several independent blocks at once, for the ECB loops. Each
// round is written out for every block before the next round starts, so the
// table lookups of one block fill the wait on the loads of the others; one
// block alone spends most of its time waiting. Internal to cipher/.
#include <cstddef>
#include <cstdint>
#include <utility>

#include "cipher/blowfish_block.h"

namespace quorvane {

// Blocks in flight per iteration: two halves each must stay in registers next
// to the box pointer and the temporaries of F. x86-64 has 16 registers (6 is
// the measured best); i686 has 7, and 4 still wins there although some
// halves live on the stack.
#if defined(__x86_64__) || defined(_M_X64)
inline constexpr std::size_t kEcbLanes = 6;
#elif defined(__aarch64__)
inline constexpr std::size_t kEcbLanes = 8;
#else
inline constexpr std::size_t kEcbLanes = 4;
#endif

namespace lanes {

// out ^= F(in) ^ key for every lane; the fold expands to straight-line code.
template <std::size_t... I>
QUORVANE_ALWAYS_INLINE void Round(const std::uint32_t* s, std::uint32_t key, const std::uint32_t* in,
                                  std::uint32_t* out, std::index_sequence<I...>) noexcept
{
    ((out[I] ^= BlowfishF(s, in[I]) ^ key), ...);
}

template <std::size_t... I>
QUORVANE_ALWAYS_INLINE void Whiten(std::uint32_t key, std::uint32_t* half, std::index_sequence<I...>) noexcept
{
    ((half[I] ^= key), ...);
}

template <std::size_t... I>
QUORVANE_ALWAYS_INLINE void Load(const std::uint8_t* in, std::uint32_t* l, std::uint32_t* r,
                                 std::index_sequence<I...>) noexcept
{
    ((l[I] = LoadHalf(in + 8 * I), r[I] = LoadHalf(in + 8 * I + 4)), ...);
}

// The halves change places on the way out, as in the one-block network.
template <std::size_t... I>
QUORVANE_ALWAYS_INLINE void StoreSwapped(std::uint8_t* out, const std::uint32_t* l, const std::uint32_t* r,
                                         std::index_sequence<I...>) noexcept
{
    ((StoreHalf(out + 8 * I, r[I]), StoreHalf(out + 8 * I + 4, l[I])), ...);
}

}  // namespace lanes

// N consecutive blocks, read whole before any is written, so in == out works.
// Given the P-array reversed, this deciphers.
template <std::size_t N>
QUORVANE_ALWAYS_INLINE void EncipherLanes(const std::uint32_t* p, const std::uint32_t* s, const std::uint8_t* in,
                                          std::uint8_t* out) noexcept
{
    constexpr auto lane = std::make_index_sequence<N>{};
    std::uint32_t l[N], r[N];
    lanes::Load(in, l, r, lane);
    lanes::Whiten(p[0], l, lane);
    lanes::Round(s, p[1], l, r, lane);
    lanes::Round(s, p[2], r, l, lane);
    lanes::Round(s, p[3], l, r, lane);
    lanes::Round(s, p[4], r, l, lane);
    lanes::Round(s, p[5], l, r, lane);
    lanes::Round(s, p[6], r, l, lane);
    lanes::Round(s, p[7], l, r, lane);
    lanes::Round(s, p[8], r, l, lane);
    lanes::Round(s, p[9], l, r, lane);
    lanes::Round(s, p[10], r, l, lane);
    lanes::Round(s, p[11], l, r, lane);
    lanes::Round(s, p[12], r, l, lane);
    lanes::Round(s, p[13], l, r, lane);
    lanes::Round(s, p[14], r, l, lane);
    lanes::Round(s, p[15], l, r, lane);
    lanes::Round(s, p[16], r, l, lane);
    lanes::Whiten(p[17], r, lane);
    lanes::StoreSwapped(out, l, r, lane);
}

}  // namespace quorvane
