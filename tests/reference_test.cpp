// Checks the cipher against OpenSSL's independent Blowfish (native builds only).
#define OPENSSL_SUPPRESS_DEPRECATED
#include <gtest/gtest.h>
#include <openssl/blowfish.h>

#include <algorithm>
#include <random>

#include "cipher/blowfish_cipher.h"
#include "tests/support/files.h"

namespace quorvane {
namespace {

using test::Bytes;

// OpenSSL reads each half most significant byte first; ours reads it least
// significant first. Reversing the bytes of every half maps one onto the other.
Bytes ReverseHalves(Bytes b)
{
    for (std::size_t i = 0; i + 4 <= b.size(); i += 4) std::reverse(b.begin() + i, b.begin() + i + 4);
    return b;
}

Bytes OpenSslEcb(const Bytes& key, const Bytes& data, int mode)
{
    BF_KEY schedule;
    BF_set_key(&schedule, static_cast<int>(key.size()), key.data());
    Bytes out(data.size());
    for (std::size_t i = 0; i < data.size(); i += 8) BF_ecb_encrypt(data.data() + i, out.data() + i, &schedule, mode);
    return out;
}

TEST(OpenSslReference, encode_and_decode_match_for_random_keys_and_lengths)
{
    std::mt19937 rng(2026);
    for (int round = 0; round < 200; ++round) {
        const std::size_t keyLength = 1 + rng() % 80;  // past 72 on purpose: OpenSSL cuts there too
        const Bytes key = test::PatternBytes(keyLength, rng());
        const Bytes plain = test::PatternBytes(8 * (rng() % 40), rng());

        CBlowfishCipher bf;
        bf.SetKey(key.data(), static_cast<std::int32_t>(key.size()));
        Bytes ours(plain.size());
        bf.EncodeBlocks(plain.data(), ours.data(), static_cast<std::uint32_t>(plain.size()));
        const Bytes theirs = ReverseHalves(OpenSslEcb(key, ReverseHalves(plain), BF_ENCRYPT));
        ASSERT_EQ(ours, theirs) << "key length " << keyLength;

        Bytes back(ours.size());
        bf.DecodeBlocks(ours.data(), back.data(), static_cast<std::uint32_t>(ours.size()));
        ASSERT_EQ(back, ReverseHalves(OpenSslEcb(key, ReverseHalves(ours), BF_DECRYPT)));
        ASSERT_EQ(back, plain);
    }
}

}  // namespace
}  // namespace quorvane
