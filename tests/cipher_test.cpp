#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "cipher/blowfish_cipher.h"
#include "tests/support/files.h"

namespace quorvane {
namespace {

using test::Bytes;
using test::HexBytes;

// Published Blowfish vectors (key, plaintext, ciphertext), halves most
// significant byte first as published.
struct PublishedVector {
    const char* key;
    const char* plain;
    const char* cipher;
};
constexpr PublishedVector kPublished[] = {
    {"0000000000000000", "0000000000000000", "4ef997456198dd78"},
    {"ffffffffffffffff", "ffffffffffffffff", "51866fd5b85ecb8a"},
    {"3000000000000000", "1000000000000001", "7d856f9a613063f2"},
    {"1111111111111111", "1111111111111111", "2466dd878b963c9d"},
    {"0123456789abcdef", "1111111111111111", "61f9c3802281b096"},
    {"1111111111111111", "0123456789abcdef", "7d0cc630afda1ec7"},
    {"fedcba9876543210", "0123456789abcdef", "0aceab0fc6a0a28d"},
    {"7ca110454a1a6e57", "01a1d6d039776742", "59c68245eb05282b"},
    {"0131d9619dc1376e", "5cd54ca83def57da", "b1b8cc0b250f09a0"},
};

std::uint32_t BigEndian(const Bytes& b, std::size_t at)
{
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 | std::uint32_t(b[at + 2]) << 8 | b[at + 3];
}

// The container's byte order: each 4-byte half is reversed against the published one.
Bytes ReverseHalves(Bytes b)
{
    for (std::size_t i = 0; i + 4 <= b.size(); i += 4) std::reverse(b.begin() + i, b.begin() + i + 4);
    return b;
}

TEST(BlowfishCipher, halves_match_published_vectors)
{
    for (const auto& v : kPublished) {
        const Bytes key = HexBytes(v.key), plain = HexBytes(v.plain), cipher = HexBytes(v.cipher);
        CBlowfishCipher bf;
        bf.SetKey(key.data(), static_cast<std::int32_t>(key.size()));
        std::uint32_t l = BigEndian(plain, 0), r = BigEndian(plain, 4);
        bf.EncipherBlock(l, r);
        EXPECT_EQ(l, BigEndian(cipher, 0)) << v.key << " " << v.plain;
        EXPECT_EQ(r, BigEndian(cipher, 4)) << v.key << " " << v.plain;
        bf.DecipherBlock(l, r);
        EXPECT_EQ(l, BigEndian(plain, 0));
        EXPECT_EQ(r, BigEndian(plain, 4));
    }
}

TEST(BlowfishCipher, buffer_bytes_follow_reversed_halves_rule)
{
    for (const auto& v : kPublished) {
        const Bytes key = HexBytes(v.key);
        const Bytes plain = ReverseHalves(HexBytes(v.plain));
        CBlowfishCipher bf;
        bf.SetKey(key.data(), static_cast<std::int32_t>(key.size()));
        Bytes out(8);
        EXPECT_EQ(bf.EncodeBlocks(plain.data(), out.data(), 8), 8u);
        EXPECT_EQ(out, ReverseHalves(HexBytes(v.cipher))) << v.key;
    }
}

TEST(BlowfishCipher, initial_tables_start_with_pi_digits)
{
    CBlowfishCipher bf;  // unkeyed objects hold the initial tables
    EXPECT_EQ(bf.PArray()[0], 0x243f6a88u);
    EXPECT_EQ(bf.PArray()[17], 0x8979fb1bu);
    EXPECT_EQ(bf.SBoxes()[0], 0xd1310ba6u);
    EXPECT_EQ(bf.SBoxes()[1023], 0x3ac372e6u);
}

// A key of n bytes is read as an endless cyclic stream: it must key exactly
// like its cyclic expansion to 72 bytes, and bytes past 72 never count.
TEST(BlowfishCipher, short_key_equals_its_cyclic_expansion)
{
    for (int n : {1, 2, 3, 4, 5, 7, 8, 9, 35, 36, 71, 72, 73, 100}) {
        const Bytes key = test::PatternBytes(static_cast<std::size_t>(n), static_cast<std::uint32_t>(n));
        Bytes expanded(72);
        for (std::size_t i = 0; i < expanded.size(); ++i) expanded[i] = key[i % key.size()];
        CBlowfishCipher a, b;
        a.SetKey(key.data(), n);
        b.SetKey(expanded.data(), 72);
        EXPECT_EQ(0, std::memcmp(a.PArray(), b.PArray(), 18 * 4)) << "key length " << n;
        EXPECT_EQ(0, std::memcmp(a.SBoxes(), b.SBoxes(), 1024 * 4)) << "key length " << n;
    }
}

TEST(BlowfishCipher, keys_differing_after_byte_72_give_same_tables)
{
    Bytes a = test::PatternBytes(90, 1), b = a;
    b[72] ^= 0xFF;
    b[89] ^= 0x01;
    CBlowfishCipher x, y;
    x.SetKey(a.data(), 90);
    y.SetKey(b.data(), 80);
    EXPECT_EQ(0, std::memcmp(x.SBoxes(), y.SBoxes(), 4096));
    b[71] ^= 1;
    y.SetKey(b.data(), 90);
    EXPECT_NE(0, std::memcmp(x.SBoxes(), y.SBoxes(), 4096));
}

TEST(BlowfishCipher, rekeying_equals_fresh_object)
{
    const Bytes first = test::PatternBytes(16, 2), second = test::PatternBytes(5, 3);
    CBlowfishCipher reused, fresh;
    reused.SetKey(first.data(), 16);
    reused.SetKey(second.data(), 5);
    fresh.SetKey(second.data(), 5);
    EXPECT_EQ(0, std::memcmp(reused.PArray(), fresh.PArray(), 72));
    EXPECT_EQ(0, std::memcmp(reused.SBoxes(), fresh.SBoxes(), 4096));
}

TEST(BlowfishCipher, decipher_inverts_encipher_for_random_keys)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        const Bytes key = test::PatternBytes(1 + rng() % 72, rng());
        CBlowfishCipher bf;
        bf.SetKey(key.data(), static_cast<std::int32_t>(key.size()));
        for (int i = 0; i < 20; ++i) {
            const std::uint32_t l0 = rng(), r0 = rng();
            std::uint32_t l = l0, r = r0;
            bf.EncipherBlock(l, r);
            EXPECT_FALSE(l == l0 && r == r0);
            bf.DecipherBlock(l, r);
            EXPECT_EQ(l, l0);
            EXPECT_EQ(r, r0);
        }
    }
}

TEST(BlowfishCipher, zero_length_key_is_refused_not_divided_by)
{
    CBlowfishCipher bf;
    const std::uint8_t key[1] = {0};
    EXPECT_THROW(bf.SetKey(key, 0), std::invalid_argument);

    const Bytes input(8, 0x41);
    std::int32_t length = 8;
    CSecureBuffer output;
    EXPECT_EQ(bf.EncryptBuffer(input.data(), length, key, 0, output), kEmptyKeyRefused);
    EXPECT_EQ(bf.DecryptBuffer(input.data(), length, key, 0, output), kEmptyKeyRefused);
    EXPECT_EQ(length, 8);
    EXPECT_EQ(output.Data(), nullptr);
}

TEST(AlignedLength, rounds_up_to_whole_blocks)
{
    const std::pair<std::uint32_t, std::uint32_t> table[] = {
        {0, 0}, {1, 8}, {7, 8}, {8, 8}, {9, 16}, {15, 16}, {16, 16}, {17, 24}, {0x7FFFFFF9u, 0x80000000u}};
    for (auto [in, out] : table) EXPECT_EQ(AlignedLength(in), out) << in;
}

class EcbFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        const Bytes key = test::PatternBytes(10, 99);
        bf.SetKey(key.data(), 10);
    }
    CBlowfishCipher bf;
};

TEST_F(EcbFixture, separate_buffer_completes_last_block_with_zeros)
{
    const Bytes input = {1, 2, 3, 4, 5};
    const Bytes padded = {1, 2, 3, 4, 5, 0, 0, 0};
    Bytes a(8, 0xEE), b(8, 0xEE);
    EXPECT_EQ(bf.EncodeBlocks(input.data(), a.data(), 5), 8u);
    EXPECT_EQ(bf.EncodeBlocks(padded.data(), b.data(), 8), 8u);
    EXPECT_EQ(a, b);
    EXPECT_EQ(input, (Bytes{1, 2, 3, 4, 5}));
}

TEST_F(EcbFixture, equal_plain_blocks_give_equal_cipher_blocks_anywhere)
{
    Bytes input = test::PatternBytes(64, 5);
    std::copy(input.begin(), input.begin() + 8, input.begin() + 40);
    Bytes out(64);
    bf.EncodeBlocks(input.data(), out.data(), 64);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 8, out.begin() + 40));
    EXPECT_FALSE(std::equal(out.begin(), out.begin() + 8, out.begin() + 8));
}

TEST(BufferEncryption, round_trip_restores_aligned_bytes_for_every_length)
{
    const CSecureBuffer key = MakeKeyBytes(u"鍵のテキスト");
    for (std::int32_t size : {0, 1, 7, 8, 9, 15, 16, 17, 1000, 4096, 4099}) {
        Bytes input = test::PatternBytes(static_cast<std::size_t>(size), 11);
        input.resize(AlignedLength(static_cast<std::uint32_t>(size)), 0);
        CBlowfishCipher enc, dec;
        std::int32_t length = size;
        CSecureBuffer cipherText, plainText;
        ASSERT_EQ(enc.EncryptBuffer(input.data(), length, key.Data(), int(key.Size()), cipherText), 0);
        EXPECT_EQ(length, std::int32_t(AlignedLength(std::uint32_t(size))));
        ASSERT_EQ(cipherText.Size(), std::size_t(length));
        ASSERT_EQ(dec.DecryptBuffer(cipherText.Data(), length, key.Data(), int(key.Size()), plainText), 0);
        EXPECT_EQ(Bytes(plainText.Data(), plainText.Data() + plainText.Size()), input) << size;
    }
}

TEST(KeyBytes, are_utf16le_code_units_without_terminator)
{
    const CSecureBuffer bytes = MakeKeyBytes(u"A鍵\U0001F511");
    const Bytes expected = {0x41, 0x00, 0x75, 0x93, 0x3D, 0xD8, 0x11, 0xDD};
    EXPECT_EQ(Bytes(bytes.Data(), bytes.Data() + bytes.Size()), expected);
    EXPECT_EQ(MakeKeyBytes(u"").Size(), 0u);
}

TEST(KeyBytes, only_first_36_code_units_count)
{
    const std::u16string base(36, u'鍵');
    const CSecureBuffer a = MakeKeyBytes(base + u"tail one"), b = MakeKeyBytes(base + u"other");
    CBlowfishCipher x, y;
    x.SetKey(a.Data(), int(a.Size()));
    y.SetKey(b.Data(), int(b.Size()));
    EXPECT_EQ(0, std::memcmp(x.SBoxes(), y.SBoxes(), 4096));
}

}  // namespace
}  // namespace quorvane
