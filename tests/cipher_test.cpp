// The cipher through the buffer calls: published vectors both ways, OpenSSL's Blowfish over random keys
// (native builds), and the threaded loops against the one-block network for every length and alignment.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#ifdef QUORVANE_OPENSSL_REFERENCE
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>
#endif

#include "cipher/blowfish_cipher.h"
#include "cipher/ecb_parallel.h"
#include "tests/support/files.h"

namespace quorvane {
namespace {

using test::Bytes;
using test::HexBytes;

// Published vectors (key, plain, cipher), each 32-bit half most significant byte first.
constexpr const char* kPublished[][3] = {
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

// Published vectors and OpenSSL read each 32-bit half most significant byte first; the container
// reads it least significant first. Reversing the bytes of every half maps one onto the other.
Bytes ReverseHalves(Bytes b)
{
    for (std::size_t i = 0; i + 4 <= b.size(); i += 4) std::reverse(b.begin() + i, b.begin() + i + 4);
    return b;
}

TEST(Cipher, published_vectors_hold_both_ways_on_a_rekeyed_object_and_a_fresh_one)
{
    CBlowfishCipher reused;  // keyed again for every vector: nothing of the last key may remain
    for (const auto& [key, plain, cipher] : kPublished) {
        const Bytes k = HexBytes(key), p = ReverseHalves(HexBytes(plain)), c = ReverseHalves(HexBytes(cipher));
        reused.SetKey(k.data(), 8);
        Bytes out(8);
        EXPECT_EQ(reused.EncodeBlocks(p.data(), out.data(), 8), 8u);
        EXPECT_EQ(out, c) << key;
        reused.DecodeBlocks(c.data(), out.data(), 8);
        EXPECT_EQ(out, p) << key;
    }
}

TEST(Cipher, empty_key_is_refused_and_leaves_the_callers_variables_alone)
{
    CBlowfishCipher bf;
    const std::uint8_t key[1] = {0};
    EXPECT_THROW(bf.SetKey(key, 0), std::invalid_argument);
}

#ifdef QUORVANE_OPENSSL_REFERENCE
Bytes OpenSslEcb(const Bytes& key, const Bytes& data, int mode)
{
    BF_KEY schedule;
    BF_set_key(&schedule, static_cast<int>(key.size()), key.data());
    Bytes out(data.size());
    for (std::size_t i = 0; i < data.size(); i += 8) BF_ecb_encrypt(data.data() + i, out.data() + i, &schedule, mode);
    return out;
}

TEST(Cipher, encode_and_decode_match_openssl_for_random_keys_and_lengths)
{
    std::mt19937 rng(2026);
    for (int round = 0; round < 200; ++round) {
        const std::size_t keyLength = 1 + rng() % 80;  // past 72 on purpose: OpenSSL cuts there too
        const Bytes key = test::PatternBytes(keyLength, rng());
        const Bytes plain = test::PatternBytes(8 * (rng() % 40), rng());
        CBlowfishCipher bf;
        bf.SetKey(key.data(), static_cast<std::int32_t>(key.size()));
        Bytes ours(plain.size()), back(plain.size());
        bf.EncodeBlocks(plain.data(), ours.data(), static_cast<std::uint32_t>(plain.size()));
        ASSERT_EQ(ours, ReverseHalves(OpenSslEcb(key, ReverseHalves(plain), BF_ENCRYPT))) << "key length " << keyLength;
        bf.DecodeBlocks(ours.data(), back.data(), static_cast<std::uint32_t>(ours.size()));
        ASSERT_EQ(back, ReverseHalves(OpenSslEcb(key, ReverseHalves(ours), BF_DECRYPT)));
        ASSERT_EQ(back, plain);
    }
}
#endif

// The reference: zero-completed, then one block at a time through the plain network.
Bytes OneBlockAtATime(const CBlowfishCipher& bf, Bytes data, bool encipher)
{
    data.resize(AlignedLength(static_cast<std::uint32_t>(data.size())), 0);
    for (std::size_t at = 0; at < data.size(); at += 8) {
        std::uint32_t l = test::Le32(&data[at]), r = test::Le32(&data[at + 4]);
        encipher ? bf.EncipherBlock(l, r) : bf.DecipherBlock(l, r);
        test::PutLe32(data, at, l);
        test::PutLe32(data, at + 4, r);
    }
    return data;
}

// `payload` at [16 + offset] amid guard bytes, stale bytes up to `room`: a stray write changes a guard.
Bytes Guarded(std::size_t offset, const Bytes& payload, std::size_t room)
{
    Bytes bytes(16 + offset, 0xA5);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    bytes.resize(16 + offset + room, 0xCC);
    bytes.resize(bytes.size() + 16, 0xA5);
    return bytes;
}

// Every length up to 49 blocks (each lane group, each tail), larger boundaries, and around the size where the
// plain calls start threads. Threads are swept at one alignment (slow to start under Wine), alignments at one.
TEST(Cipher, loops_equal_one_block_at_a_time_for_every_length_alignment_and_thread_count)
{
    std::vector<std::uint32_t> lengths;
    for (std::uint32_t n = 0; n < 8 * 49; ++n) lengths.push_back(n);
    for (std::uint32_t blocks : {63u, 64u, 65u, 127u, 128u, 129u, 255u, 256u, 257u, 299u})
        for (std::uint32_t rest : {0u, 3u, 7u}) lengths.push_back(8 * blocks + rest);
    const Bytes key = test::PatternBytes(13, 77);
    CBlowfishCipher bf;
    bf.SetKey(key.data(), static_cast<std::int32_t>(key.size()));
    for (const bool encode : {true, false}) {
        for (const std::uint32_t length : lengths) {
            // Decoding reads whole blocks: a partial length still covers its last block.
            const Bytes input = test::PatternBytes(encode ? length : AlignedLength(length), length + encode);
            const Bytes expected = OneBlockAtATime(bf, input, encode);
            const std::size_t n = expected.size();
            const bool sweepThreads = (length < 8 * 13 || length >= 8 * 49) && (length % 8 < 2 || length % 8 == 7);
            for (unsigned threads = 1; threads <= (sweepThreads ? 4u : 1u); ++threads) {
                for (std::size_t offset = threads > 1 ? 3 : 0; offset < (threads > 1 ? 4u : 8u); ++offset) {
                    const auto run = [&](const std::uint8_t* in, std::uint8_t* out) {
                        if (encode) return EncodeBlocksOnThreads(bf, in, out, length, threads);
                        DecodeBlocksOnThreads(bf, in, out, length, threads);
                        return static_cast<std::uint32_t>(n);
                    };
                    const auto where = ::testing::Message() << (encode ? "encode" : "decode") << ", length " << length
                                                            << ", threads " << threads << ", offset " << offset;
                    Bytes inPlace = Guarded(offset, input, n), target = Guarded(7 - offset, {}, n);
                    ASSERT_EQ(run(&inPlace[16 + offset], &inPlace[16 + offset]), n) << where;
                    ASSERT_EQ(inPlace, Guarded(offset, expected, n)) << "in place, " << where;
                    const Bytes source = Guarded(offset, input, input.size());
                    run(&source[16 + offset], &target[23 - offset]);
                    ASSERT_EQ(target, Guarded(7 - offset, expected, n)) << "separate, " << where;
                    ASSERT_EQ(source, Guarded(offset, input, input.size())) << "input changed, " << where;
                }
            }
        }
        for (const std::uint32_t length :
             {kParallelMinimumBytes - 8, kParallelMinimumBytes + 13, 3 * kParallelMinimumBytes + 5}) {
            const Bytes input = test::PatternBytes(encode ? length : AlignedLength(length), length);
            Bytes buffer = input;
            buffer.resize(AlignedLength(length), 0xCC);
            encode ? (void)bf.EncodeBlocks(buffer.data(), buffer.data(), length)
                   : bf.DecodeBlocks(buffer.data(), buffer.data(), length);
            ASSERT_EQ(buffer, OneBlockAtATime(bf, input, encode)) << (encode ? "encode " : "decode ") << length;
        }
    }
}

}  // namespace
}  // namespace quorvane
